#pragma once

#include "cellstate.h"

#include <vector>

namespace sim {

// What the cell really is, as opposed to what its controller and the tools believe: drawn from
// the robot type and the seed of a state. Only the instrument reads it.
struct CellTruth
{
    // The real robot's DH table: the nominal one with the hidden errors.
    std::vector<double> dh;
    // Joint zero errors in degrees, one per joint.
    std::vector<double> zeroError;
};

// The truth of the state's cell. Throws std::invalid_argument when the robot type is unknown.
CellTruth drawTruth(const CellState& state);

} // namespace sim
