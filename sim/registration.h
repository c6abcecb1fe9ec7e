#pragma once

#include <Eigen/Geometry>
#include <vector>

namespace sim {

// The rigid transform that best carries the points of from onto those of to (least squares,
// closed form from the singular value decomposition of their cross-covariance), so it needs
// no starting guess. Identity when there are fewer than three pairs.
Eigen::Isometry3d registerPoints(const std::vector<Eigen::Vector3d>& from,
                                 const std::vector<Eigen::Vector3d>& to);

} // namespace sim
