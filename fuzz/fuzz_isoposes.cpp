// The bytes as the default poses file, read for one fixed robot. Only std::runtime_error is an
// expected outcome; any other exception terminates and so counts as a crash.
#include "fuzzinput.h"
#include "isoposes.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        getDefaultIsoPoses(lumora::fuzz::writeInput(data, size), "LR-7");
    } catch (const std::runtime_error&) {
    }
    return 0;
}
