// Each reader of the result file and the default poses reader on a file of about 1 MB: every
// section of the file is large, so each reader parses the whole document and walks its own
// part. Prints figures only.

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <fstream>
#include <isoposes.h>
#include <isoresults.h>
#include <map>
#include <resultfile.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::size_t targetBytes = 1 << 20;

std::string resultPath;
std::string posesPath;
std::size_t resultBytes = 0;
std::size_t posesBytes = 0;

double value(int i)
{
    return (i % 2000) * 0.0123456789 - 12.3;
}

// Joint table, zero points and ISO results each take about a third of the file.
std::string resultDocument()
{
    std::ostringstream out;
    out.precision(12);
    out << "{\n  \"status\": 1,\n  \"avg_pos_error\": 0.1234,\n  \"avg_att_error\": 0.0123,\n"
        << "  \"dh_parameters\": {";
    int i = 0;
    for (; std::size_t(out.tellp()) < targetBytes / 3; ++i)
        out << (i ? ",\n" : "\n") << "    \"joint_" << i + 1 << "\": {\"alpha\": " << value(i)
            << ", \"a\": " << value(i + 1) << ", \"d\": " << value(i + 2)
            << ", \"theta_offset\": " << value(i + 3) << "}";
    out << "\n  },\n  \"zero_points\": [";
    for (i = 0; std::size_t(out.tellp()) < 2 * targetBytes / 3; ++i)
        out << (i ? ", " : "") << value(i);
    out << "],\n  \"iso_results\": [";
    for (i = 0; std::size_t(out.tellp()) < targetBytes - 200; ++i)
        out << (i ? ",\n" : "\n") << "    {\"name\": \"P" << i % 5 + 1
            << "\", \"Accuracy\": " << value(i) << ", \"Repeatability\": " << value(i + 1)
            << ", \"RMS\": " << value(i + 2) << ", \"StdDev\": " << value(i + 3) << "}";
    out << "\n  ]\n}\n";
    return out.str();
}

// Many robot groups; the robot asked for is listed in the last one.
std::string posesDocument()
{
    std::ostringstream out;
    out.precision(8);
    out << "{\n  \"configs\": [";
    for (int group = 0; std::size_t(out.tellp()) < targetBytes - 600; ++group) {
        out << (group ? ",\n" : "\n") << "    {\"robots\": [\"R" << group << "-A\", \"R" << group
            << "-B\"], \"iso_poses\": {";
        for (int point = 1; point <= 5; ++point) {
            out << (point > 1 ? ", " : "") << "\"point" << point << "\": [";
            for (int j = 0; j < 6; ++j)
                out << (j ? ", " : "") << value(group * 30 + point * 6 + j);
            out << "]";
        }
        out << "}}";
    }
    out << ",\n    {\"robots\": [\"LX6-900\"], \"iso_poses\": {\"point1\": [1, 2, 3, 4, 5, 6], "
           "\"point2\": [1, 2, 3, 4, 5, 6], \"point3\": [1, 2, 3, 4, 5, 6], "
           "\"point4\": [1, 2, 3, 4, 5, 6], \"point5\": [1, 2, 3, 4, 5, 6]}}\n  ]\n}\n";
    return out.str();
}

std::size_t writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
    return text.size();
}

template <class Read> void measure(benchmark::State& state, std::size_t bytes, Read read)
{
    for (auto _ : state) {
        if (!read()) {
            state.SkipWithError("the reader failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void loadJson(benchmark::State& state)
{
    measure(state, resultBytes, [] { return loadJsonFile(resultPath).has_value(); });
}

void optimizationStatus(benchmark::State& state)
{
    measure(state, resultBytes, [] { return readOptimizationStatus(resultPath); });
}

void dhParameters(benchmark::State& state)
{
    std::map<std::string, DHParam> joints;
    measure(state, resultBytes, [&] { return readDHParameters(joints, resultPath); });
    state.counters["joints"] = double(joints.size());
}

void averageErrors(benchmark::State& state)
{
    AverageErrors errors;
    measure(state, resultBytes, [&] { return readAverageErrors(errors, resultPath); });
}

void zeroPoints(benchmark::State& state)
{
    std::vector<double> values;
    measure(state, resultBytes, [&] { return readZeroPoints(values, resultPath); });
    state.counters["values"] = double(values.size());
}

void isoResults(benchmark::State& state)
{
    std::vector<IsoResult> results;
    measure(state, resultBytes, [&] { return readIsoResults(results, resultPath); });
    state.counters["results"] = double(results.size());
}

void defaultIsoPoses(benchmark::State& state)
{
    measure(state, posesBytes, [] { return getDefaultIsoPoses(posesPath, "LX6-900").size() == 5; });
}

} // namespace

BENCHMARK(loadJson)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(optimizationStatus)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(dhParameters)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(averageErrors)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(zeroPoints)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(isoResults)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(defaultIsoPoses)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "bench_readers: no temporary folder\n");
        return 1;
    }
    resultPath = dir.filePath(QStringLiteral("optimized_dh.json")).toStdString();
    posesPath = dir.filePath(QStringLiteral("default_iso_poses.json")).toStdString();
    resultBytes = writeFile(resultPath, resultDocument());
    posesBytes = writeFile(posesPath, posesDocument());
    std::printf("result file: %zu bytes; default poses file: %zu bytes\n", resultBytes, posesBytes);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
