#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>

namespace lumora::fuzz {

[[noreturn]] inline void broken(const char* invariant)
{
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

inline void check(bool holds, const char* invariant)
{
    if (!holds)
        broken(invariant);
}

// The file readers take a path, so every input goes through one file of this process. std::cerr
// is silenced: the loader reports every parse error there (sanitizers write elsewhere).
inline const std::string& writeInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumora-fuzz-XXXXXX";
        const int fd = mkstemp(pattern.data());
        check(fd >= 0, "a temporary input file");
        close(fd);
        std::cerr.setstate(std::ios::badbit);
        return pattern;
    }();
    static const int removal = std::atexit([] { std::remove(path.c_str()); });
    (void)removal;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    file.close();
    check(bool(file), "the input is written");
    return path;
}

} // namespace lumora::fuzz

// Qt 5.15's JSON parser loses a few hundred bytes on some objects with a duplicated member; a
// leak of this code's own allocations has no QtCore frame and still shows.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5Core.so\n";
}
