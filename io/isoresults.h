#pragma once

#include "lumoracalibration_global.h"

#include <string>
#include <vector>

// ISO figures of one test point.
struct IsoResult
{
    std::string name;
    double accuracy = 0.0;
    double repeatability = 0.0;
    double rms = 0.0;
    double stdDev = 0.0;
};

// Reads "iso_results" of the result file; out is untouched when the read fails.
LUMORACALIBRATION_EXPORT bool readIsoResults(std::vector<IsoResult>& out, const std::string& path);
