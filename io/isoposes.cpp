#include "isoposes.h"

#include "datafile.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

using nlohmann::json;

namespace {

[[noreturn]] void fail(const std::string& message)
{
    throw std::runtime_error(message);
}

json parseFile(const std::string& path)
{
    std::ifstream file;
    if (isDataFile(path))
        file.open(path);
    if (!file.is_open())
        fail("Failed to open JSON file: " + path);
    json document;
    try {
        file >> document;
    } catch (const json::exception& e) {
        // Also a number beyond double range, which the library reports as out_of_range.
        fail(std::string("JSON parse error: ") + e.what());
    }
    return document;
}

// Robot names are compared in the order listed; a name that is no string is only an error
// when it is reached before a match, as a plain conversion of each name would be.
bool listsRobot(const json& robots, const std::string& robotName)
{
    for (const json& name : robots) {
        if (!name.is_string())
            fail("Invalid robot name in config: expected a string");
        if (name.get_ref<const std::string&>() == robotName)
            return true;
    }
    return false;
}

const json& findGroup(const json& document, const std::string& robotName)
{
    const auto configs = document.is_object() ? document.find("configs") : document.end();
    if (configs == document.end() || !configs->is_array())
        fail("Invalid JSON structure: missing 'configs' array");
    for (const json& group : *configs) {
        if (!group.is_object() || !group.contains("robots") || !group.contains("iso_poses"))
            continue;
        if (listsRobot(group.at("robots"), robotName))
            return group;
    }
    fail("Robot not found in config: " + robotName);
}

IsoPoseMap readPoses(const json& poses)
{
    IsoPoseMap result;
    if (!poses.is_object()) {
        // null and [] hold no pose; anything else cannot name its poses.
        if (poses.empty())
            return result;
        fail("Invalid JSON structure: 'iso_poses' is not an object");
    }
    for (const auto& [name, pose] : poses.items()) {
        if (!pose.is_array() || pose.size() != 6)
            fail("Invalid point data for " + name + ": expected 6 elements");
        std::array<double, 6> values{};
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!pose[i].is_number())
                fail("Invalid point data for " + name + ": expected numbers");
            values[i] = pose[i].get<double>();
        }
        result.emplace(name, values);
    }
    return result;
}

} // namespace

IsoPoseMap getDefaultIsoPoses(const std::string& path, const std::string& robotName)
{
    try {
        const json document = parseFile(path);
        return readPoses(findGroup(document, robotName).at("iso_poses"));
    } catch (const std::runtime_error&) {
        throw;
    } catch (const json::exception& e) {
        // The checks above leave the library nothing to object to; keep the promise regardless.
        fail(std::string("Invalid JSON structure: ") + e.what());
    } catch (const std::exception& e) {
        fail(std::string("Failed to read JSON file: ") + path + ": " + e.what());
    }
}
