#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <streambuf>
#include <string>
#include <unistd.h>

namespace lumora::fuzz {

// The readers take a path, so every input goes through one file of this process.
inline const std::string& inputPath()
{
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumora-fuzz-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0) {
            std::perror("mkstemp");
            std::abort();
        }
        close(fd);
        return pattern;
    }();
    return path;
}

inline void removeInput()
{
    std::remove(inputPath().c_str());
}

// Swallows everything written to it.
class NullBuffer final : public std::streambuf
{
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// Creates the file and silences std::cerr: the loader reports every parse error there, which
// would drown the fuzzer's own output (sanitizer reports do not go through std::cerr).
inline void setUp()
{
    static NullBuffer sink;
    std::cerr.rdbuf(&sink);
    inputPath();
    std::atexit(removeInput);
}

inline const std::string& writeInput(const std::uint8_t* data, std::size_t size)
{
    std::ofstream file(inputPath(), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    file.close();
    if (!file) {
        std::perror("writing the fuzz input");
        std::abort();
    }
    return inputPath();
}

} // namespace lumora::fuzz
