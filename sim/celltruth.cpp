#include "celltruth.h"

#include "cellrandom.h"
#include "kinematics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace sim {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double toRad = pi / 180.0;
constexpr double gravity = 9.81;
// Sag of the target under gravity where it is largest, mm.
constexpr double smallestSag = 0.02;
constexpr double largestSag = 0.1;
// Joint 2 carries the larger load and is built stiffer.
constexpr double referenceStiffness[2] = {2.0e6, 1.0e6};

double boundedGaussian(CellRandom& random, double sigma, double limit)
{
    return std::clamp(random.gaussian(sigma), -limit, limit);
}

// Deflection (degrees) of joints 2 and 3 under the weight of the links beyond them and the
// payload at the target. Each link's mass sits halfway between its frame origins.
std::array<double, 2> sag(const CellTruth& truth, const std::vector<double>& anglesDeg)
{
    std::array<double, 2> deflection{0.0, 0.0};
    const int links = int(truth.dh.size() / 4);
    const int axes = links - 1;
    if (axes < 3 || (truth.stiffness[0] <= 0.0 && truth.stiffness[1] <= 0.0))
        return deflection;
    std::vector<Eigen::Vector3d> origins{Eigen::Vector3d::Zero()};
    std::vector<Eigen::Vector3d> axesZ{Eigen::Vector3d::UnitZ()};
    Eigen::Matrix4d frame = Eigen::Matrix4d::Identity();
    for (int link = 0; link < links; ++link) {
        const double* p = truth.dh.data() + 4 * link;
        const double theta = link < axes ? p[3] + anglesDeg[std::size_t(link)] : p[3];
        frame = frame * dhLinkTransform(p[0], p[1], p[2], theta);
        origins.push_back(frame.block<3, 1>(0, 3));
        axesZ.push_back(frame.block<3, 1>(0, 2));
    }
    const Eigen::Vector3d target =
        frame.block<3, 3>(0, 0) * truth.targetOffset + frame.block<3, 1>(0, 3);
    for (int j = 1; j <= 2; ++j) {
        const double stiffness = truth.stiffness[j - 1];
        if (stiffness <= 0.0)
            continue;
        // N mm from kg and mm.
        Eigen::Vector3d torque =
            (target - origins[std::size_t(j)]).cross(Eigen::Vector3d(0, 0, -gravity)) *
            truth.payloadKg;
        for (int k = j; k < axes && k < int(truth.linkMassesKg.size()); ++k) {
            const Eigen::Vector3d centre =
                0.5 * (origins[std::size_t(k)] + origins[std::size_t(k + 1)]);
            torque += (centre - origins[std::size_t(j)]).cross(Eigen::Vector3d(0, 0, -gravity)) *
                      truth.linkMassesKg[std::size_t(k)];
        }
        deflection[std::size_t(j - 1)] =
            axesZ[std::size_t(j)].dot(torque) * 0.001 / stiffness / toRad;
    }
    return deflection;
}

// Scales the stiffness so that the largest sag over the reach of joints 2 and 3 is sagMm.
void fitStiffness(CellTruth& truth, const RobotType& type, double sagMm)
{
    truth.stiffness[0] = referenceStiffness[0];
    truth.stiffness[1] = referenceStiffness[1];
    double largest = 0.0;
    std::vector<double> q(std::size_t(type.axisCount), 0.0);
    for (int a = 0; a <= 16; ++a) {
        for (int b = 0; b <= 16; ++b) {
            const JointRange r2 = type.jointRanges[1];
            const JointRange r3 = type.jointRanges[2];
            q[1] = r2.minDeg + (r2.maxDeg - r2.minDeg) * a / 16.0;
            q[2] = r3.minDeg + (r3.maxDeg - r3.minDeg) * b / 16.0;
            const Eigen::Vector3d rigid = targetPose(truth, q).position;
            const std::array<double, 2> bent = sag(truth, q);
            std::vector<double> sagged = q;
            sagged[1] += bent[0];
            sagged[2] += bent[1];
            largest = std::max(largest, (targetPose(truth, sagged).position - rigid).norm());
        }
    }
    if (largest <= 0.0)
        return;
    truth.stiffness[0] *= largest / sagMm;
    truth.stiffness[1] *= largest / sagMm;
}

} // namespace

CellTruth drawTruth(const CellState& state)
{
    const RobotType* type = state.robotType();
    if (!type)
        throw std::invalid_argument("cell state does not describe a known robot");
    // a and d errors of tenths of a millimetre, alpha errors of hundredths of a degree on the
    // axis links; the flange link is exact and theta errors are joint zero errors.
    CellRandom random(state.seed ^ 0x5eed0fce11ULL);
    CellTruth truth;
    truth.dh = type->nominalDh;
    for (int link = 0; link < type->axisCount; ++link) {
        truth.dh[std::size_t(4 * link + 0)] += boundedGaussian(random, 0.02, 0.06);
        truth.dh[std::size_t(4 * link + 1)] += boundedGaussian(random, 0.15, 0.5);
        truth.dh[std::size_t(4 * link + 2)] += boundedGaussian(random, 0.15, 0.5);
    }
    for (int joint = 0; joint < type->axisCount; ++joint)
        truth.zeroError.push_back(boundedGaussian(random, 0.03, 0.1));

    // Drawn whether a source is on or not, so that a switch changes nothing else.
    CellRandom more(state.seed ^ 0xce11f7a3e5ULL);
    const double distance = more.uniform(2000.0, 4000.0);
    const double bearing = more.uniform(0.0, 2.0 * pi);
    const Eigen::Vector3d instrumentOrigin(distance * std::cos(bearing),
                                           distance * std::sin(bearing), more.uniform(0.0, 1000.0));
    const double yaw = more.uniform(0.0, 2.0 * pi);
    const double tiltY = more.uniform(-2.0, 2.0) * toRad;
    const double tiltX = more.uniform(-2.0, 2.0) * toRad;
    Eigen::Isometry3d instrumentInBase = Eigen::Isometry3d::Identity();
    instrumentInBase.linear() = (Eigen::AngleAxisd(yaw, Eigen::Vector3d::UnitZ()) *
                                 Eigen::AngleAxisd(tiltY, Eigen::Vector3d::UnitY()) *
                                 Eigen::AngleAxisd(tiltX, Eigen::Vector3d::UnitX()))
                                    .toRotationMatrix();
    instrumentInBase.translation() = instrumentOrigin;
    Eigen::Vector3d targetError;
    for (int axis = 0; axis < 3; ++axis)
        targetError[axis] = more.uniform(-1.0, 1.0);
    const double sagMm = more.uniform(smallestSag, largestSag);
    for (int joint = 0; joint < type->axisCount; ++joint) {
        TransmissionError e;
        e.once = more.uniform(0.0005, 0.001);
        e.oncePhase = more.uniform(0.0, 2.0 * pi);
        e.twice = more.uniform(0.0005, 0.001);
        e.twicePhase = more.uniform(0.0, 2.0 * pi);
        truth.transmission.push_back(e);
    }

    const ErrorSources& on = state.sources;
    if (on.placement)
        truth.baseToInstrument = instrumentInBase.inverse();
    if (on.targetOffset)
        truth.targetOffset = Eigen::Vector3d(0.0, 0.0, 100.0) + targetError;
    if (!on.transmission)
        truth.transmission.assign(truth.transmission.size(), TransmissionError());
    truth.linkMassesKg = state.linkMassesKg;
    truth.payloadKg = state.payloadKg;
    if (on.gravity)
        fitStiffness(truth, *type, sagMm);
    return truth;
}

std::vector<double> physicalAngles(const CellTruth& truth, const std::vector<double>& anglesDeg)
{
    std::vector<double> q = anglesDeg;
    for (std::size_t j = 0; j < q.size() && j < truth.transmission.size(); ++j) {
        const TransmissionError& e = truth.transmission[j];
        const double turn = anglesDeg[j] * toRad;
        q[j] +=
            e.once * std::sin(turn + e.oncePhase) + e.twice * std::sin(2.0 * turn + e.twicePhase);
    }
    const std::array<double, 2> bent = sag(truth, q);
    if (q.size() >= 3) {
        q[1] += bent[0];
        q[2] += bent[1];
    }
    return q;
}

Pose targetPose(const CellTruth& truth, const std::vector<double>& anglesDeg)
{
    Pose pose = flangePose(truth.dh, anglesDeg);
    pose.position += pose.rotation * truth.targetOffset;
    return pose;
}

} // namespace sim
