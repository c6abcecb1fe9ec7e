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
};

// The angles a, b, c (degrees) of rotations about the base's x, y and z axes that make up a
// rotation, R = Rz(c) Ry(b) Rx(a).
Eigen::Vector3d attitudeAngles(const Eigen::Matrix3d& rotation);

// The figures of one point; attained must not be empty. One sample has no spread: S_l = 0.
PointFigures computeFigures(const Eigen::Vector3d& commanded,
                            const std::vector<Eigen::Vector3d>& attained);

} // namespace iso
