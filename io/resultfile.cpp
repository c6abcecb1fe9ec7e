#include "resultfile.h"

std::optional<nlohmann::json> loadJsonFile(const std::string&)
{
    return std::nullopt;
}

bool readOptimizationStatus(const std::string&)
{
    return false;
}

bool readDHParameters(std::map<std::string, DHParam>&, const std::string&)
{
    return false;
}

bool readAverageErrors(AverageErrors&, const std::string&)
{
    return false;
}

bool readZeroPoints(std::vector<double>&, const std::string&)
{
    return false;
}
