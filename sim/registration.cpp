#include "registration.h"

#include <Eigen/SVD>

namespace sim {

Eigen::Isometry3d registerPoints(const std::vector<Eigen::Vector3d>& from,
                                 const std::vector<Eigen::Vector3d>& to)
{
    Eigen::Isometry3d transform = Eigen::Isometry3d::Identity();
    const std::size_t count = std::min(from.size(), to.size());
    if (count < 3)
        return transform;
    Eigen::Vector3d fromCentre = Eigen::Vector3d::Zero();
    Eigen::Vector3d toCentre = Eigen::Vector3d::Zero();
    for (std::size_t i = 0; i < count; ++i) {
        fromCentre += from[i];
        toCentre += to[i];
    }
    fromCentre /= double(count);
    toCentre /= double(count);
    Eigen::Matrix3d covariance = Eigen::Matrix3d::Zero();
    for (std::size_t i = 0; i < count; ++i)
        covariance += (from[i] - fromCentre) * (to[i] - toCentre).transpose();
    const Eigen::JacobiSVD<Eigen::Matrix3d> svd(covariance,
                                                Eigen::ComputeFullU | Eigen::ComputeFullV);
    // A reflection fits mirrored point sets better, but no instrument stands in a mirror.
    Eigen::Matrix3d fix = Eigen::Matrix3d::Identity();
    fix(2, 2) = (svd.matrixV() * svd.matrixU().transpose()).determinant() < 0.0 ? -1.0 : 1.0;
    transform.linear() = svd.matrixV() * fix * svd.matrixU().transpose();
    transform.translation() = toCentre - transform.linear() * fromCentre;
    return transform;
}

} // namespace sim
