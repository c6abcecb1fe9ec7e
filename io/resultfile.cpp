#include "resultfile.h"

#include "datafile.h"

#include <cstdint>
#include <fstream>
#include <iostream>

using nlohmann::json;

namespace {

// The member of an object document, or null when the document is no object or lacks it.
const json* member(const json& object, const char* key)
{
    if (!object.is_object())
        return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

// Reads an optional numeric member: absent gives 0.0, anything but a number fails.
bool optionalNumber(const json& object, const char* key, double& value)
{
    const json* found = member(object, key);
    if (!found) {
        value = 0.0;
        return true;
    }
    if (!found->is_number())
        return false;
    value = found->get<double>();
    return true;
}

// Integer conversion of "status" compared with 1, without the wrap-around of a narrowing cast
// (4294967297 is not 1) and without undefined float-to-int conversion of huge values.
bool statusIsOne(const json& status)
{
    switch (status.type()) {
    case json::value_t::boolean:
        return status.get<bool>();
    case json::value_t::number_integer:
        return status.get<std::int64_t>() == 1;
    case json::value_t::number_unsigned:
        return status.get<std::uint64_t>() == 1u;
    case json::value_t::number_float: {
        // Truncation toward zero gives 1 exactly for [1, 2); NaN fails both comparisons.
        const double value = status.get<double>();
        return value >= 1.0 && value < 2.0;
    }
    default:
        return false;
    }
}

} // namespace

std::optional<json> loadJsonFile(const std::string& path)
{
    if (!isDataFile(path))
        return std::nullopt;
    std::ifstream file(path);
    if (!file.is_open())
        return std::nullopt;
    std::optional<json> document(std::in_place);
    try {
        file >> *document;
    } catch (const std::exception& e) {
        std::cerr << "JSON Parsing Error: " << e.what() << std::endl;
        return std::nullopt;
    }
    return document;
}

bool readOptimizationStatusOf(const json& document)
{
    const json* status = member(document, "status");
    return status && statusIsOne(*status);
}

bool readDHParametersOf(std::map<std::string, DHParam>& out, const json& document)
{
    const json* table = member(document, "dh_parameters");
    if (!table || !table->is_object())
        return true;

    std::map<std::string, DHParam> joints;
    for (const auto& [name, joint] : table->items()) {
        if (!joint.is_object())
            return false;
        DHParam param;
        if (!optionalNumber(joint, "alpha", param.alpha) || !optionalNumber(joint, "a", param.a) ||
            !optionalNumber(joint, "d", param.d) ||
            !optionalNumber(joint, "theta_offset", param.theta_offset))
            return false;
        joints[name] = param;
    }
    out.swap(joints);
    return true;
}

bool readAverageErrorsOf(AverageErrors& out, const json& document)
{
    AverageErrors errors;
    if (!optionalNumber(document, "avg_pos_error", errors.avgPosError) ||
        !optionalNumber(document, "avg_att_error", errors.avgAttError))
        return false;
    out = errors;
    return true;
}

bool readZeroPointsOf(std::vector<double>& out, const json& document)
{
    const json* points = member(document, "zero_points");
    if (!points || !points->is_array())
        return false;
    std::vector<double> values;
    values.reserve(points->size());
    // A skipped element would shift every later offset onto the wrong joint.
    for (const json& point : *points) {
        if (!point.is_number())
            return false;
        values.push_back(point.get<double>());
    }
    out.swap(values);
    return true;
}

bool readOptimizationStatus(const std::string& path)
{
    const std::optional<json> document = loadJsonFile(path);
    return document && readOptimizationStatusOf(*document);
}

bool readDHParameters(std::map<std::string, DHParam>& out, const std::string& path)
{
    const std::optional<json> document = loadJsonFile(path);
    return document && readDHParametersOf(out, *document);
}

bool readAverageErrors(AverageErrors& out, const std::string& path)
{
    const std::optional<json> document = loadJsonFile(path);
    return document && readAverageErrorsOf(out, *document);
}

bool readZeroPoints(std::vector<double>& out, const std::string& path)
{
    const std::optional<json> document = loadJsonFile(path);
    return document && readZeroPointsOf(out, *document);
}
