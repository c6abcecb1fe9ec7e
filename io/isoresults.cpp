#include "isoresults.h"

#include "resultfile.h"

using nlohmann::json;

namespace {

// A member of the wrong type reads as if it were absent: the element keeps its place, so the
// results after it stay in the rows of their own test points.
std::string optionalString(const json& object, const char* key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

double optionalNumber(const json& object, const char* key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_number() ? it->get<double>() : 0.0;
}

} // namespace

bool readIsoResults(std::vector<IsoResult>& out, const std::string& path)
{
    const std::optional<json> document = loadJsonFile(path);
    if (!document || !document->is_object())
        return false;
    const auto results = document->find("iso_results");
    if (results == document->end() || !results->is_array())
        return false;

    std::vector<IsoResult> read;
    for (const json& element : *results) {
        if (!element.is_object())
            continue;
        IsoResult result;
        result.name = optionalString(element, "name");
        result.accuracy = optionalNumber(element, "Accuracy");
        result.repeatability = optionalNumber(element, "Repeatability");
        result.rms = optionalNumber(element, "RMS");
        result.stdDev = optionalNumber(element, "StdDev");
        read.push_back(std::move(result));
    }
    out.swap(read);
    return true;
}
