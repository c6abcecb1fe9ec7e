#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

// Files of outside data are read only when they are regular files of at most this size: opening
// a named pipe or a device blocks the reader, and a huge file freezes it.
constexpr std::uintmax_t maxDataFileBytes = 16 * 1024 * 1024;

// Whether path (as the readers open it) is a regular file within maxDataFileBytes.
inline bool isDataFile(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path file(path);
    if (!std::filesystem::is_regular_file(file, error))
        return false;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    return !error && size <= maxDataFileBytes;
}
