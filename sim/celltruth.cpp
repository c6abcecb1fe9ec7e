#include "celltruth.h"

#include "cellrandom.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

namespace {

double boundedGaussian(CellRandom& random, double sigma, double limit)
{
    return std::clamp(random.gaussian(sigma), -limit, limit);
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
    return truth;
}

} // namespace sim
