#pragma once

#include "cellrandom.h"
#include "celltruth.h"
#include "measurementsource.h"

#include <cstdint>
#include <vector>

namespace sim {

// What a controller can hold: a DH table (axis count + 1 links) and a zero compensation.
struct ControllerModel
{
    std::vector<double> dh;
    std::vector<double> zeroCompensation;
};

// The measuring instrument of the cell, the only reader of its truth. The real robot runs its
// commands through its zero errors and the controller's compensation (angle = commanded + zero
// error - compensation), its transmissions and its sag, and jitters a little; the instrument
// sees the target in its own frame and adds noise that grows with the distance.
class Instrument final : public MeasurementSource
{
public:
    Instrument(const CellState& state, std::uint64_t noiseSeed);

    QString description() const override;
    std::optional<std::vector<Measurement>> measure(const std::vector<std::vector<double>>& plan,
                                                    const MeasureProgress& progress,
                                                    QString* error) override;

    // One noisy measurement.
    Pose measureOnce(const std::vector<double>& commandedDeg);
    // What the instrument would report without jitter or noise.
    Pose exactMeasurement(const std::vector<double>& commandedDeg) const;
    // The target's pose in the base frame, without jitter.
    Pose targetInBase(const std::vector<double>& commandedDeg) const;
    // Standard deviation of the position noise per axis at a point of the instrument frame.
    double positionNoiseAt(const Eigen::Vector3d& point) const;

    // The model that, held by the controller, comes closest to the real robot: the axis links'
    // alpha, a and d and the zero compensation fitted to the noise-free target positions over
    // the workspace, in the true base frame with the true target offset. What it leaves is
    // noise, sag and transmission error, which no parameter of the model captures.
    ControllerModel bestControllerModel() const;

    const CellTruth& cellTruth() const { return truth; }

private:
    std::vector<double> motorAngles(const std::vector<double>& commandedDeg) const;

    CellTruth truth;
    std::vector<double> compensation;
    InstrumentSettings noise;
    bool distanceNoise = true;
    const RobotType* type = nullptr;
    CellRandom random;
};

// Mean ISO pose accuracy (mm) of an ISO run of cycles visits to each pose (joint angles, one
// per axis) when the controller holds its best model and the measured target is taken to the
// base frame through the true placement: the floor no calibration can go below.
double isoAccuracyFloor(const CellState& state, const std::vector<std::vector<double>>& poses,
                        int cycles, std::uint64_t noiseSeed);

} // namespace sim
