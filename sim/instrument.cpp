#include "instrument.h"

#include "workspace.h"

#include <Eigen/SVD>
#include <stdexcept>

namespace sim {

namespace {

constexpr double toRad = 3.14159265358979323846 / 180.0;
// Poses of the workspace the best model is fitted to, and the Gauss-Newton steps it takes.
constexpr int bestModelPoses = 150;
constexpr std::uint64_t bestModelStream = 0xb357ULL;
constexpr int bestModelSteps = 6;

} // namespace

Instrument::Instrument(const CellState& state, std::uint64_t noiseSeed)
    : truth(drawTruth(state))
    , compensation(state.zeroCompensation)
    , noise(state.instrument)
    , distanceNoise(state.sources.distanceNoise)
    , type(state.robotType())
    , random(noiseSeed)
{
    if (truth.zeroError.size() != compensation.size())
        throw std::invalid_argument("cell state does not describe a known robot");
}

QString Instrument::description() const
{
    return QStringLiteral("simulated instrument");
}

std::vector<double> Instrument::motorAngles(const std::vector<double>& commandedDeg) const
{
    if (commandedDeg.size() != truth.zeroError.size())
        throw std::invalid_argument("one joint angle per axis expected");
    std::vector<double> angles(commandedDeg.size());
    for (std::size_t i = 0; i < angles.size(); ++i)
        angles[i] = commandedDeg[i] + truth.zeroError[i] - compensation[i];
    return angles;
}

Pose Instrument::targetInBase(const std::vector<double>& commandedDeg) const
{
    return targetPose(truth, physicalAngles(truth, motorAngles(commandedDeg)));
}

Pose Instrument::exactMeasurement(const std::vector<double>& commandedDeg) const
{
    const Pose base = targetInBase(commandedDeg);
    Pose pose;
    pose.position = truth.baseToInstrument * base.position;
    pose.rotation = truth.baseToInstrument.linear() * base.rotation;
    return pose;
}

double Instrument::positionNoiseAt(const Eigen::Vector3d& point) const
{
    return noise.positionNoiseMm +
           (distanceNoise ? noise.positionNoiseMmPerM * point.norm() / 1000.0 : 0.0);
}

Pose Instrument::measureOnce(const std::vector<double>& commandedDeg)
{
    std::vector<double> angles = motorAngles(commandedDeg);
    for (double& angle : angles)
        angle += random.gaussian(noise.jointJitterDeg);
    const Pose base = targetPose(truth, physicalAngles(truth, angles));
    Pose pose;
    pose.position = truth.baseToInstrument * base.position;
    pose.rotation = truth.baseToInstrument.linear() * base.rotation;
    const double sigma = positionNoiseAt(pose.position);
    for (int axis = 0; axis < 3; ++axis)
        pose.position[axis] += random.gaussian(sigma);
    Eigen::Vector3d tilt;
    for (int axis = 0; axis < 3; ++axis)
        tilt[axis] = random.gaussian(noise.orientationNoiseDeg) * toRad;
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

ControllerModel Instrument::bestControllerModel() const
{
    const int axes = int(truth.zeroError.size());
    const std::vector<std::vector<double>> poses =
        sampleJointConfigurations(*type, bestModelPoses, bestModelStream);
    // The real target for the controller's command q: its physics is a function of the motor
    // angles alone, so fitting with no compensation and taking the fitted zero offsets as the
    // compensation is the same fit.
    std::vector<Eigen::Vector3d> real;
    for (const std::vector<double>& q : poses) {
        std::vector<double> motor = q;
        for (int j = 0; j < axes; ++j)
            motor[std::size_t(j)] += truth.zeroError[std::size_t(j)];
        real.push_back(targetPose(truth, physicalAngles(truth, motor)).position);
    }
    // Parameters: alpha, a, d of each axis link, then each joint's zero offset.
    Eigen::VectorXd x = Eigen::VectorXd::Zero(4 * axes);
    for (int j = 0; j < axes; ++j)
        x[3 * axes + j] = truth.zeroError[std::size_t(j)];
    const auto residuals = [&](const Eigen::VectorXd& p) {
        std::vector<double> dh = truth.dh;
        for (int j = 0; j < axes; ++j) {
            for (int k = 0; k < 3; ++k)
                dh[std::size_t(4 * j + k)] += p[3 * j + k];
        }
        Eigen::VectorXd r(3 * int(poses.size()));
        for (std::size_t i = 0; i < poses.size(); ++i) {
            std::vector<double> q = poses[i];
            for (int j = 0; j < axes; ++j)
                q[std::size_t(j)] += p[3 * axes + j];
            const Pose model = flangePose(dh, q);
            r.segment<3>(3 * int(i)) =
                model.rotation * truth.targetOffset + model.position - real[i];
        }
        return r;
    };
    for (int step = 0; step < bestModelSteps; ++step) {
        const Eigen::VectorXd r = residuals(x);
        Eigen::MatrixXd jacobian(r.size(), x.size());
        const double h = 1e-6;
        for (int c = 0; c < x.size(); ++c) {
            Eigen::VectorXd up = x;
            Eigen::VectorXd down = x;
            up[c] += h;
            down[c] -= h;
            jacobian.col(c) = (residuals(up) - residuals(down)) / (2.0 * h);
        }
        // Parallel axes leave pairs the positions cannot tell apart: the smallest step moves
        // neither of them.
        Eigen::BDCSVD<Eigen::MatrixXd> svd(jacobian, Eigen::ComputeThinU | Eigen::ComputeThinV);
        svd.setThreshold(1e-4);
        x -= svd.solve(r);
    }
    ControllerModel model;
    model.dh = truth.dh;
    for (int j = 0; j < axes; ++j) {
        for (int k = 0; k < 3; ++k)
            model.dh[std::size_t(4 * j + k)] += x[3 * j + k];
        model.zeroCompensation.push_back(x[3 * axes + j]);
    }
    return model;
}

double isoAccuracyFloor(const CellState& state, const std::vector<std::vector<double>>& poses,
                        int cycles, std::uint64_t noiseSeed)
{
    const ControllerModel best = Instrument(state, noiseSeed).bestControllerModel();
    CellState holding = state;
    holding.dh = best.dh;
    holding.zeroCompensation = best.zeroCompensation;
    Instrument instrument(holding, noiseSeed);
    const Eigen::Isometry3d instrumentToBase = instrument.cellTruth().baseToInstrument.inverse();
    double sum = 0.0;
    for (const std::vector<double>& q : poses) {
        const Pose commanded = flangePose(best.dh, q);
        const Eigen::Vector3d target =
            commanded.rotation * instrument.cellTruth().targetOffset + commanded.position;
        Eigen::Vector3d barycentre = Eigen::Vector3d::Zero();
        for (int cycle = 0; cycle < cycles; ++cycle)
            barycentre += instrumentToBase * instrument.measureOnce(q).position;
        sum += (barycentre / double(std::max(1, cycles)) - target).norm();
    }
    return poses.empty() ? 0.0 : sum / double(poses.size());
}

} // namespace sim
