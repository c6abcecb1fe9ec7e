#include "isoposes.h"

#include <stdexcept>

IsoPoseMap getDefaultIsoPoses(const std::string& path, const std::string&)
{
    throw std::runtime_error("Failed to open JSON file: " + path);
}
