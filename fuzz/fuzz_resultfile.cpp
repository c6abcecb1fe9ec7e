// The bytes as the optimisation result file, given to every reader of that file.
#include "fuzzinput.h"
#include "isoresults.h"
#include "resultfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = lumora::fuzz::writeInput(data, size);
    std::map<std::string, DHParam> joints;
    AverageErrors errors;
    std::vector<double> points;
    std::vector<IsoResult> results;
    const bool document = loadJsonFile(path).has_value();
    // Every reader runs on every input: no short-circuit.
    const int read = readOptimizationStatus(path) + readDHParameters(joints, path) +
                     readAverageErrors(errors, path) + readZeroPoints(points, path) +
                     readIsoResults(results, path);
    // No reader succeeds without a document.
    if (!document && read != 0)
        __builtin_trap();
    return 0;
}
