#include "instrument.h"

#include "workspace.h"

#include <Eigen/SVD>
#include <stdexcept>

namespace sim {

namespace {

constexpr double toRad = 3.14159265358979323846 / 180.0;
// Poses of the workspace the best model is fitted to, and the Gauss-Newton steps it takes.
constexpr int bestModelPoses = 500;
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

Pose BestModel::predict(const std::vector<double>& commandedDeg,
                        const std::vector<double>& compensation) const
{
    std::vector<double> q = commandedDeg;
    for (std::size_t j = 0; j < q.size() && j < compensation.size(); ++j)
        q[j] += zeroCompensation[j] - compensation[j];
    const Pose flange = flangePose(dh, q);
    Pose pose;
    pose.position = baseToInstrument * (flange.rotation * targetOffset + flange.position);
    pose.rotation = baseToInstrument.linear() * flange.rotation;
    return pose;
}

BestModel Instrument::bestModel() const
{
    const int axes = int(truth.zeroError.size());
    const std::vector<std::vector<double>> poses =
        sampleJointConfigurations(*type, bestModelPoses, bestModelStream);
    // The real target for the controller's command q: its physics is a function of the motor
    // angles alone, so fitting with no compensation and taking the fitted zero offsets as the
    // compensation is the same fit.
    std::vector<Pose> real;
    std::vector<double> positionWeight;
    for (const std::vector<double>& q : poses) {
        std::vector<double> motor = q;
        for (int j = 0; j < axes; ++j)
            motor[std::size_t(j)] += truth.zeroError[std::size_t(j)];
        const Pose base = targetPose(truth, physicalAngles(truth, motor));
        Pose seen;
        seen.position = truth.baseToInstrument * base.position;
        seen.rotation = truth.baseToInstrument.linear() * base.rotation;
        real.push_back(seen);
        positionWeight.push_back(1.0 / std::max(1e-4, positionNoiseAt(seen.position)));
    }
    const double orientationWeight = 1.0 / std::max(1e-5, noise.orientationNoiseDeg);
    // Parameters: alpha, a, d of each axis link, each joint's zero offset, the placement's
    // translation (instrument frame) and rotation (degrees, about the base's axes), the target.
    const int count = 4 * axes + 9;
    Eigen::VectorXd x = Eigen::VectorXd::Zero(count);
    for (int j = 0; j < axes; ++j)
        x[3 * axes + j] = truth.zeroError[std::size_t(j)];
    const auto modelOf = [&](const Eigen::VectorXd& p) {
        BestModel model;
        model.dh = truth.dh;
        for (int j = 0; j < axes; ++j) {
            for (int k = 0; k < 3; ++k)
                model.dh[std::size_t(4 * j + k)] += p[3 * j + k];
            model.zeroCompensation.push_back(p[3 * axes + j]);
        }
        const Eigen::Vector3d omega = p.segment<3>(4 * axes + 3) * toRad;
        Eigen::Isometry3d turn = Eigen::Isometry3d::Identity();
        if (omega.norm() > 0.0)
            turn.linear() = Eigen::AngleAxisd(omega.norm(), omega.normalized()).matrix();
        Eigen::Isometry3d shift = Eigen::Isometry3d::Identity();
        shift.translation() = p.segment<3>(4 * axes);
        model.baseToInstrument = shift * truth.baseToInstrument * turn;
        model.targetOffset = truth.targetOffset + p.segment<3>(4 * axes + 6);
        return model;
    };
    const std::vector<double> noCompensation(std::size_t(axes), 0.0);
    const auto residuals = [&](const Eigen::VectorXd& p) {
        const BestModel model = modelOf(p);
        Eigen::VectorXd r(6 * int(poses.size()));
        for (std::size_t i = 0; i < poses.size(); ++i) {
            const Pose predicted = model.predict(poses[i], noCompensation);
            r.segment<3>(6 * int(i)) = (predicted.position - real[i].position) * positionWeight[i];
            const Eigen::AngleAxisd error(real[i].rotation.transpose() * predicted.rotation);
            r.segment<3>(6 * int(i) + 3) = error.axis() * error.angle() / toRad * orientationWeight;
        }
        return r;
    };
    for (int step = 0; step < bestModelSteps; ++step) {
        const Eigen::VectorXd r = residuals(x);
        Eigen::MatrixXd jacobian(r.size(), count);
        const double h = 1e-6;
        for (int c = 0; c < count; ++c) {
            Eigen::VectorXd up = x;
            Eigen::VectorXd down = x;
            up[c] += h;
            down[c] -= h;
            jacobian.col(c) = (residuals(up) - residuals(down)) / (2.0 * h);
        }
        // Columns of one scale, so that the cut below means the same for every parameter: the
        // base frame and the target trade with some joint parameters, and parallel axes leave
        // pairs the data cannot tell apart; the smallest step moves none of them.
        const Eigen::VectorXd scale = jacobian.colwise().norm().cwiseMax(1e-12);
        Eigen::BDCSVD<Eigen::MatrixXd> svd(jacobian * scale.cwiseInverse().asDiagonal(),
                                           Eigen::ComputeThinU | Eigen::ComputeThinV);
        svd.setThreshold(1e-4);
        x -= scale.cwiseInverse().asDiagonal() * svd.solve(r);
    }
    return modelOf(x);
}

double isoAccuracyFloor(const CellState& state, const std::vector<std::vector<double>>& poses,
                        int cycles, std::uint64_t noiseSeed)
{
    const BestModel best = Instrument(state, noiseSeed).bestModel();
    CellState holding = state;
    holding.dh = best.dh;
    holding.zeroCompensation = best.zeroCompensation;
    Instrument instrument(holding, noiseSeed);
    const Eigen::Isometry3d instrumentToBase = best.baseToInstrument.inverse();
    double sum = 0.0;
    for (const std::vector<double>& q : poses) {
        const Pose commanded = flangePose(best.dh, q);
        const Eigen::Vector3d target = commanded.rotation * best.targetOffset + commanded.position;
        Eigen::Vector3d barycentre = Eigen::Vector3d::Zero();
        for (int cycle = 0; cycle < cycles; ++cycle)
            barycentre += instrumentToBase * instrument.measureOnce(q).position;
        sum += (barycentre / double(std::max(1, cycles)) - target).norm();
    }
    return poses.empty() ? 0.0 : sum / double(poses.size());
}

} // namespace sim
