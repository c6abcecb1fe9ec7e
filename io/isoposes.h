#pragma once

#include "lumoracalibration_global.h"

#include <array>
#include <map>
#include <string>

using IsoPoseMap = std::map<std::string, std::array<double, 6>>;

// The named test poses of the first group of the default poses file that lists robotName.
// Throws std::runtime_error on every failure.
LUMORACALIBRATION_EXPORT IsoPoseMap getDefaultIsoPoses(const std::string& path,
                                                       const std::string& robotName);
