#pragma once

#include <Eigen/Core>
#include <Eigen/Geometry>
#include <cmath>
#include <vector>

namespace sim {

// Flange pose in the robot's base frame: position in mm, orientation as a rotation matrix.
struct Pose
{
    Eigen::Vector3d position = Eigen::Vector3d::Zero();
    Eigen::Matrix3d rotation = Eigen::Matrix3d::Identity();
};

// Standard DH link transform Rz(theta) Tz(d) Tx(a) Rx(alpha), angles in degrees. A template so
// that the identification can differentiate it automatically.
template <typename T>
Eigen::Matrix<T, 4, 4> dhLinkTransform(const T& alphaDeg, const T& a, const T& d, const T& thetaDeg)
{
    using std::cos;
    using std::sin;
    const T toRad = T(3.14159265358979323846 / 180.0);
    const T ca = cos(alphaDeg * toRad);
    const T sa = sin(alphaDeg * toRad);
    const T ct = cos(thetaDeg * toRad);
    const T st = sin(thetaDeg * toRad);
    Eigen::Matrix<T, 4, 4> m;
    m << ct, -st * ca, st * sa, a * ct, //
        st, ct * ca, -ct * sa, a * st,  //
        T(0), sa, ca, d,                //
        T(0), T(0), T(0), T(1);
    return m;
}

// Flange transform for a DH table of linkCount links (four values each) and linkCount - 1
// joint angles in degrees; joint k turns link k, the trailing flange link has no joint.
template <typename T>
Eigen::Matrix<T, 4, 4> flangeTransform(const T* dh, int linkCount, const T* jointsDeg)
{
    Eigen::Matrix<T, 4, 4> pose = Eigen::Matrix<T, 4, 4>::Identity();
    for (int link = 0; link < linkCount; ++link) {
        const T* p = dh + 4 * link;
        const T theta = link < linkCount - 1 ? p[3] + jointsDeg[link] : p[3];
        pose = pose * dhLinkTransform(p[0], p[1], p[2], theta);
    }
    return pose;
}

// Flange pose of a DH table (axis count + 1 links) at the given joint angles (one per axis).
Pose flangePose(const std::vector<double>& dh, const std::vector<double>& jointsDeg);

// Angle of the rotation that takes one orientation to the other, in degrees.
double rotationAngleDeg(const Eigen::Matrix3d& from, const Eigen::Matrix3d& to);

} // namespace sim
