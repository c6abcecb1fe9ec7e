#pragma once

#include "lumoracalibration_global.h"

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

// Optimised DH parameters of one joint.
struct DHParam
{
    double alpha = 0.0;
    double a = 0.0;
    double d = 0.0;
    double theta_offset = 0.0;
};

struct AverageErrors
{
    double avgPosError = 0.0;
    double avgAttError = 0.0;
};

// Parses the JSON document of a file; empty when the file cannot be opened or parsed (a parse
// error is reported on standard error).
LUMORACALIBRATION_EXPORT std::optional<nlohmann::json> loadJsonFile(const std::string& path);

// True only when the result file's "status" converts to the integer 1.
LUMORACALIBRATION_EXPORT bool readOptimizationStatus(const std::string& path);

// Fills out from "dh_parameters"; an absent or non-object table leaves out untouched.
LUMORACALIBRATION_EXPORT bool readDHParameters(std::map<std::string, DHParam>& out,
                                               const std::string& path);

// Sets both average errors, 0.0 for an absent member.
LUMORACALIBRATION_EXPORT bool readAverageErrors(AverageErrors& out, const std::string& path);

// Replaces out with the numbers of "zero_points", in file order; an element that is not a
// number fails the read.
LUMORACALIBRATION_EXPORT bool readZeroPoints(std::vector<double>& out, const std::string& path);

// The same readers on a document loaded once with loadJsonFile, for a caller that needs several
// parts of one file.
LUMORACALIBRATION_EXPORT bool readOptimizationStatusOf(const nlohmann::json& document);
LUMORACALIBRATION_EXPORT bool readDHParametersOf(std::map<std::string, DHParam>& out,
                                                 const nlohmann::json& document);
LUMORACALIBRATION_EXPORT bool readAverageErrorsOf(AverageErrors& out,
                                                  const nlohmann::json& document);
LUMORACALIBRATION_EXPORT bool readZeroPointsOf(std::vector<double>& out,
                                               const nlohmann::json& document);
