#pragma once

#include "cellrandom.h"
#include "celltruth.h"
#include "measurementsource.h"

#include <cstdint>
#include <vector>

namespace sim {

// What a calibration can find: the DH table (axis count + 1 links) and zero compensation the
// controller holds, and where the instrument stands and the target sits.
struct BestModel
{
    std::vector<double> dh;
    std::vector<double> zeroCompensation;
    Eigen::Isometry3d baseToInstrument = Eigen::Isometry3d::Identity();
    Eigen::Vector3d targetOffset = Eigen::Vector3d::Zero();

    // What the instrument would see at the commanded angles if the cell were this model, with
    // the controller holding compensation.
    Pose predict(const std::vector<double>& commandedDeg,
                 const std::vector<double>& compensation) const;
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

    // The model a calibration would find with unlimited noise-free data: the axis links'
    // alpha, a and d, the zero compensation, the placement and the target offset fitted, with
    // the weights of the instrument's noise, to the noise-free measurements over the workspace.
    // What it leaves is sag and transmission error, which no parameter of the model captures.
    BestModel bestModel() const;

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
// per axis) when the controller holds the best model and the measured target is taken to the
// base frame through its placement: what noise, sag and transmission error leave.
double isoAccuracyFloor(const CellState& state, const std::vector<std::vector<double>>& poses,
                        int cycles, std::uint64_t noiseSeed);

} // namespace sim
