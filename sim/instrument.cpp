#include "instrument.h"

#include <stdexcept>

namespace sim {

Instrument::Instrument(const CellState& state, std::uint64_t noiseSeed)
    : truth(drawTruth(state))
    , compensation(state.zeroCompensation)
    , noise(state.instrument)
    , random(noiseSeed)
{
    if (truth.zeroError.size() != compensation.size())
        throw std::invalid_argument("cell state does not describe a known robot");
}

QString Instrument::description() const
{
    return QStringLiteral("simulated instrument");
}

std::vector<double> Instrument::trueAngles(const std::vector<double>& commandedDeg) const
{
    if (commandedDeg.size() != truth.zeroError.size())
        throw std::invalid_argument("one joint angle per axis expected");
    std::vector<double> angles(commandedDeg.size());
    for (std::size_t i = 0; i < angles.size(); ++i)
        angles[i] = commandedDeg[i] + truth.zeroError[i] - compensation[i];
    return angles;
}

Pose Instrument::exactMeasurement(const std::vector<double>& commandedDeg) const
{
    return flangePose(truth.dh, trueAngles(commandedDeg));
}

Pose Instrument::measureOnce(const std::vector<double>& commandedDeg)
{
    std::vector<double> angles = trueAngles(commandedDeg);
    for (double& angle : angles)
        angle += random.gaussian(noise.jointJitterDeg);
    Pose pose = flangePose(truth.dh, angles);
    for (int axis = 0; axis < 3; ++axis)
        pose.position[axis] += random.gaussian(noise.positionNoiseMm);
    Eigen::Vector3d tilt;
    for (int axis = 0; axis < 3; ++axis)
        tilt[axis] = random.gaussian(noise.orientationNoiseDeg) * 3.14159265358979323846 / 180.0;
    if (tilt.norm() > 0.0)
        pose.rotation = pose.rotation * Eigen::AngleAxisd(tilt.norm(), tilt.normalized());
    return pose;
}

std::optional<std::vector<Measurement>>
Instrument::measure(const std::vector<std::vector<double>>& plan, const MeasureProgress& progress,
                    QString* error)
{
    std::vector<Measurement> out;
    for (const std::vector<double>& joints : plan) {
        if (joints.size() != truth.zeroError.size()) {
            if (error)
                *error = QStringLiteral("a pose of %1 joint angles for a robot of %2 axes")
                             .arg(joints.size())
                             .arg(truth.zeroError.size());
            return std::nullopt;
        }
        Measurement m;
        m.jointsDeg = joints;
        m.pose = measureOnce(joints);
        out.push_back(std::move(m));
        if (progress)
            progress(int(out.size()), int(plan.size()));
    }
    return out;
}

std::unique_ptr<MeasurementSource> openSimulatedInstrument(const CellState& state,
                                                           std::uint64_t noiseSeed)
{
    return std::make_unique<Instrument>(state, noiseSeed);
}

} // namespace sim
