// Stand-in calibration tool for the progress benchmark: prints the phase line and
// BENCH_PROGRESS_LINES progress lines as fast as it can, leaves a small result file below the
// root given with --path and exits 0.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    std::string root;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--path") == 0)
            root = argv[i + 1];
    }
    const char* count = std::getenv("BENCH_PROGRESS_LINES");
    const long total = count ? std::atol(count) : 100000;

    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    std::fputs("[PHASE] OPTIMIZATION\n", stdout);
    for (long i = 1; i <= total; ++i)
        std::printf("[PROGRESS] %ld/%ld\n", i, total);
    std::fflush(stdout);

    if (root.empty())
        return 2;
    std::FILE* result = std::fopen((root + "/optimized_dh.json").c_str(), "w");
    if (!result)
        return 3;
    std::fputs("{\"status\": 1, \"avg_pos_error\": 0.1, \"avg_att_error\": 0.01,\n"
               " \"dh_parameters\": {",
               result);
    for (int joint = 1; joint <= 7; ++joint)
        std::fprintf(result,
                     "%s\"joint_%d\": {\"alpha\": 0, \"a\": 0, \"d\": 0, \"theta_offset\": 0}",
                     joint > 1 ? ", " : "", joint);
    // One zero point per axis of the benchmark's six-axis robot, or the page refuses the result.
    std::fputs("},\n \"zero_points\": [0, 0, 0, 0, 0, 0]}\n", result);
    return std::fclose(result) == 0 ? 0 : 3;
}
