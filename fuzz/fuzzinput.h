#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>

namespace lumora::fuzz {

// The file readers take a path, so every input goes through one file of this process. std::cerr
// is silenced: the loader reports every parse error there (sanitizers write elsewhere).
inline const std::string& writeInput(const std::uint8_t* data, std::size_t size)
{
    static const char* const tmp = std::getenv("TMPDIR");
    static const std::string path =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/lumora-fuzz-" + std::to_string(getpid());
    [[maybe_unused]] static const int removal =
        (std::cerr.setstate(std::ios::badbit), std::atexit([] { std::remove(path.c_str()); }));
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

} // namespace lumora::fuzz

// Qt 5.15's JSON parser loses a few hundred bytes on some objects with a duplicated member; a
// leak of this code's own allocations has no QtCore frame and still shows.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5Core.so\n";
}
