// The bytes as the default poses file, read for one fixed robot. Only std::runtime_error is an
// expected outcome; any other exception terminates and so counts as a crash.
#include "fuzzinput.h"
#include "isoposes.h"

#include <stdexcept>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    lumora::fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = lumora::fuzz::writeInput(data, size);
    try {
        const IsoPoseMap poses = getDefaultIsoPoses(path, "LR-7");
        (void)poses;
    } catch (const std::runtime_error&) {
    }
    return 0;
}
