#pragma once

#include "robottypes.h"

#include <cstdint>
#include <vector>

namespace sim {

// Joint configurations spread over the joint ranges (stratified per joint, a margin kept from
// the limits), the same for the same seed.
std::vector<std::vector<double>> sampleJointConfigurations(const RobotType& type, int count,
                                                           std::uint64_t seed);

} // namespace sim
