// Stand-in tool for the flood benchmark: writes BENCH_FLOOD_BYTES bytes as fast as the pipe
// takes them, then exits 1 (so the runner reads no result file).
//   BENCH_FLOOD_MODE=stderr       everything on standard error
//   BENCH_FLOOD_MODE=line         one line on standard output, without a line feed
//   BENCH_FLOOD_MODE=lines        short lines on standard output, a progress line now and then

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

bool writeAll(int fd, const char* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written <= 0)
            return false;
        bytes += written;
        size -= size_t(written);
    }
    return true;
}

} // namespace

int main()
{
    const char* modeText = std::getenv("BENCH_FLOOD_MODE");
    const char* bytesText = std::getenv("BENCH_FLOOD_BYTES");
    const std::string mode = modeText ? modeText : "stderr";
    const long long total = bytesText ? std::atoll(bytesText) : (1LL << 30);

    static char block[1 << 16];
    int fd = STDOUT_FILENO;
    if (mode == "stderr" || mode == "line") {
        std::memset(block, mode == "stderr" ? 'e' : 'x', sizeof block);
        fd = mode == "stderr" ? STDERR_FILENO : STDOUT_FILENO;
    } else {
        // 32-byte lines; one in 2048 is a progress line the runner shows.
        constexpr char progress[] = "[PROGRESS] 1/2                 \n";
        constexpr char other[] = "iteration 000042 cost 0.1250000\n";
        static_assert(sizeof progress == 33 && sizeof other == 33, "32-byte lines");
        for (size_t used = 0; used + 32 <= sizeof block; used += 32)
            std::memcpy(block + used, used == 0 ? progress : other, 32);
    }
    for (long long sent = 0; sent < total; sent += sizeof block) {
        if (!writeAll(fd, block, sizeof block))
            return 2;
    }
    return 1;
}
