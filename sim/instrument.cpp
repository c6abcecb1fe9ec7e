#include "instrument.h"

#include <stdexcept>

namespace sim {

Instrument::Instrument(const CellState& state, std::uint64_t seed)
    : trueDh(state.trueDh())
    , zeroError(state.deviations().zeroError)
    , compensation(state.zeroCompensation)
    , noise(state.instrument)
    , random(seed)
{
    if (trueDh.empty() || zeroError.size() != compensation.size())
        throw std::invalid_argument("cell state does not describe a known robot");
}

std::vector<double> Instrument::trueAngles(const std::vector<double>& commandedDeg) const
{
    if (commandedDeg.size() != zeroError.size())
        throw std::invalid_argument("one joint angle per axis expected");
    std::vector<double> angles(commandedDeg.size());
    for (std::size_t i = 0; i < angles.size(); ++i)
        angles[i] = commandedDeg[i] + zeroError[i] - compensation[i];
    return angles;
}

Pose Instrument::attainedPose(const std::vector<double>& commandedDeg) const
{
    return flangePose(trueDh, trueAngles(commandedDeg));
}

Pose Instrument::measure(const std::vector<double>& commandedDeg)
{
    std::vector<double> angles = trueAngles(commandedDeg);
    for (double& angle : angles)
        angle += random.gaussian(noise.jointJitterDeg);
    Pose pose = flangePose(trueDh, angles);
    for (int axis = 0; axis < 3; ++axis)
        pose.position[axis] += random.gaussian(noise.positionNoiseMm);
    Eigen::Vector3d tilt;
    for (int axis = 0; axis < 3; ++axis)
        tilt[axis] = random.gaussian(noise.orientationNoiseDeg) * 3.14159265358979323846 / 180.0;
    if (tilt.norm() > 0.0)
        pose.rotation = pose.rotation * Eigen::AngleAxisd(tilt.norm(), tilt.normalized());
    return pose;
}

} // namespace sim
