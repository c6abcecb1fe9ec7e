#pragma once

#include <cstdint>
#include <random>

namespace sim {

// Seeded random numbers that come out the same on every platform: the engine's output is fixed
// by the standard, the distributions are our own (the standard library's are not portable), so
// the host process and the tool processes draw the same hidden robot from the same seed.
class CellRandom
{
public:
    explicit CellRandom(std::uint64_t seed)
        : engine(seed)
    {}

    // Uniform in [0, 1).
    double uniform() { return double(engine() >> 11) * (1.0 / 9007199254740992.0); }
    double uniform(double low, double high) { return low + (high - low) * uniform(); }
    // Standard normal (Box-Muller).
    double gaussian();
    double gaussian(double sigma) { return sigma * gaussian(); }

private:
    std::mt19937_64 engine;
    bool hasSpare = false;
    double spare = 0.0;
};

} // namespace sim
