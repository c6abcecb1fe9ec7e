#pragma once

#include "cellstate.h"
#include "kinematics.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace sim {

// One measurement of the target: the commanded joint angles (degrees) and the target's pose
// as the instrument reports it, in the instrument's own frame (mm).
struct Measurement
{
    enum Set { Unassigned, Fit, Check };

    std::vector<double> jointsDeg;
    Pose pose;
    // False when the instrument measured the position alone.
    bool hasRotation = true;
    // Whether a calibration fits the measurement or holds it out to check the fit.
    Set set = Unassigned;
};

using MeasureProgress = std::function<void(int done, int total)>;

// Where the tools get their measurements from: the cell's instrument, or a recording of a real
// one. The tools see nothing of the cell but what comes through here.
class MeasurementSource
{
public:
    virtual ~MeasurementSource() = default;

    // What the measurements come from, for reports.
    virtual QString description() const = 0;
    // Measures the target at each configuration of plan in turn (one angle per axis), calling
    // progress after each. A recording ignores the plan and returns what it holds. Empty with a
    // message on failure.
    virtual std::optional<std::vector<Measurement>>
    measure(const std::vector<std::vector<double>>& plan, const MeasureProgress& progress,
            QString* error) = 0;
};

// The cell's instrument, with its own noise drawn from noiseSeed. Throws std::invalid_argument
// when the state does not describe a known robot.
std::unique_ptr<MeasurementSource> openSimulatedInstrument(const CellState& state,
                                                           std::uint64_t noiseSeed);

} // namespace sim
