#include "kinematics.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

Pose flangePose(const std::vector<double>& dh, const std::vector<double>& jointsDeg)
{
    const int links = int(dh.size() / 4);
    if (links < 1 || dh.size() % 4 != 0 || jointsDeg.size() != std::size_t(links - 1))
        throw std::invalid_argument("DH table and joint angles do not match");
    const Eigen::Matrix4d m = flangeTransform(dh.data(), links, jointsDeg.data());
    Pose pose;
    pose.position = m.block<3, 1>(0, 3);
    pose.rotation = m.block<3, 3>(0, 0);
    return pose;
}

double rotationAngleDeg(const Eigen::Matrix3d& from, const Eigen::Matrix3d& to)
{
    const Eigen::AngleAxisd difference(from.transpose() * to);
    return std::abs(difference.angle()) * 180.0 / 3.14159265358979323846;
}

} // namespace sim
