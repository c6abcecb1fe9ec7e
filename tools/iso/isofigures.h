#pragma once

#include <Eigen/Core>
#include <vector>

namespace iso {

// Pose accuracy and repeatability of one test point (ISO 9283 position figures), in mm.
struct PointFigures
{
    Eigen::Vector3d barycentre = Eigen::Vector3d::Zero();
    // AP: distance from the barycentre of the attained positions to the commanded position.
    double accuracy = 0.0;
    // RP = mean distance + 3 S_l, with l_j the distances of the attained positions from the
    // barycentre and S_l their sample standard deviation.
    double repeatability = 0.0;
    double meanDistance = 0.0;
    // Root mean square and sample standard deviation of the distances l_j.
    double rms = 0.0;
    double stdDev = 0.0;
    // AP_a, AP_b, AP_c: mean differences (degrees) of the attained attitude angles from the
    // commanded ones, each difference wrapped into (-180, 180] first.
    Eigen::Vector3d attitudeAccuracy = Eigen::Vector3d::Zero();
    // RP_a, RP_b, RP_c = 3 S, with S the sample standard deviation of each angle (degrees).
    Eigen::Vector3d attitudeRepeatability = Eigen::Vector3d::Zero();
};

// The angles a, b, c (degrees) of rotations about the base's x, y and z axes that make up a
// rotation, R = Rz(c) Ry(b) Rx(a).
Eigen::Vector3d attitudeAngles(const Eigen::Matrix3d& rotation);

// The figures of one point from its commanded and attained positions and attitudes (one
// attitude per attained position); attained must not be empty. One sample has no spread.
PointFigures computeFigures(const Eigen::Vector3d& commanded,
                            const std::vector<Eigen::Vector3d>& attained,
                            const Eigen::Vector3d& commandedAttitude,
                            const std::vector<Eigen::Vector3d>& attainedAttitude);

} // namespace iso
