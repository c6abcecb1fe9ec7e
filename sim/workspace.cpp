#include "workspace.h"

#include "cellrandom.h"

#include <algorithm>
#include <numeric>

namespace sim {

namespace {

// Keeps the sampled angles this share of the travel away from each limit.
constexpr double rangeMargin = 0.05;

} // namespace

std::vector<std::vector<double>> sampleJointConfigurations(const RobotType& type, int count,
                                                           std::uint64_t seed)
{
    CellRandom random(seed);
    std::vector<std::vector<double>> configurations(
        std::size_t(std::max(0, count)), std::vector<double>(std::size_t(type.axisCount)));
    std::vector<int> strata(configurations.size());
    for (int joint = 0; joint < type.axisCount; ++joint) {
        const JointRange range = type.jointRanges[std::size_t(joint)];
        const double margin = (range.maxDeg - range.minDeg) * rangeMargin;
        const double low = range.minDeg + margin;
        const double width = (range.maxDeg - margin - low) / double(std::max(1, count));
        std::iota(strata.begin(), strata.end(), 0);
        for (std::size_t i = strata.size(); i > 1; --i)
            std::swap(strata[i - 1], strata[std::size_t(random.uniform() * double(i))]);
        for (std::size_t i = 0; i < configurations.size(); ++i)
            configurations[i][std::size_t(joint)] =
                low + width * (double(strata[i]) + random.uniform());
    }
    return configurations;
}

} // namespace sim
