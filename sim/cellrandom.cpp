#include "cellrandom.h"

#include <cmath>

namespace sim {

double CellRandom::gaussian()
{
    if (hasSpare) {
        hasSpare = false;
        return spare;
    }
    double u1 = uniform();
    while (u1 <= 0.0)
        u1 = uniform();
    const double u2 = uniform();
    const double radius = std::sqrt(-2.0 * std::log(u1));
    const double angle = 2.0 * 3.14159265358979323846 * u2;
    spare = radius * std::sin(angle);
    hasSpare = true;
    return radius * std::cos(angle);
}

} // namespace sim
