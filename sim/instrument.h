#pragma once

#include "cellrandom.h"
#include "cellstate.h"
#include "kinematics.h"

#include <cstdint>
#include <vector>

namespace sim {

// The measuring instrument of the cell, registered to the robot's base frame: it reports the
// flange pose the real robot attains for commanded joint angles. The real robot runs its
// commands through its zero errors and the controller's compensation (true angle = commanded
// + zero error - compensation) and jitters a little; the instrument adds its own noise.
class Instrument
{
public:
    Instrument(const CellState& state, std::uint64_t seed);

    // One noisy measurement.
    Pose measure(const std::vector<double>& commandedDeg);
    // The attained pose without jitter or instrument noise.
    Pose attainedPose(const std::vector<double>& commandedDeg) const;

    const InstrumentSettings& settings() const { return noise; }

private:
    std::vector<double> trueAngles(const std::vector<double>& commandedDeg) const;

    std::vector<double> trueDh;
    std::vector<double> zeroError;
    std::vector<double> compensation;
    InstrumentSettings noise;
    CellRandom random;
};

} // namespace sim
