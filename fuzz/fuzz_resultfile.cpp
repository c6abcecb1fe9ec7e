// The bytes as the optimisation result file, given to every reader of that file.
#include "fuzzinput.h"
#include "isoresults.h"
#include "resultfile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    lumora::fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = lumora::fuzz::writeInput(data, size);

    std::map<std::string, DHParam> joints;
    AverageErrors errors;
    std::vector<double> points;
    std::vector<IsoResult> results;
    const bool document = loadJsonFile(path).has_value();
    // Every reader runs on every input, so no short-circuit here.
    bool anyRead = readOptimizationStatus(path);
    anyRead = readDHParameters(joints, path) || anyRead;
    anyRead = readAverageErrors(errors, path) || anyRead;
    anyRead = readZeroPoints(points, path) || anyRead;
    anyRead = readIsoResults(results, path) || anyRead;

    // No reader may report success without a document.
    if (anyRead && !document)
        __builtin_trap();
    return 0;
}
