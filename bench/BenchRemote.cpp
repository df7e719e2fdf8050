// The remote comparison's pieces on their own, for the benchmark:
//
//   octw_bench_remote compare FILE_A HOST FILE_B RSH...   FILE_A here against FILE_B on HOST,
//                                                        reached with the rsh words RSH and the
//                                                        remote program in OCTW_REMOTE_PROGRAM;
//                                                        prints remote_s=, diffs=, wire_bytes=
//   octw_bench_remote throttle BYTES_PER_SECOND          standard input to standard output at
//                                                        that rate at most
#include "platform/AlignedBuffer.h"
#include "platform/LowFile.h"
#include "remote/BlockMirror.h"
#include "remote/RemoteFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int64_t kBlock = 8 << 20;

int Compare(int argc, char** argv) {
    if (argc < 6) {
        std::fputs("usage: octw_bench_remote compare FILE_A HOST FILE_B RSH...\n", stderr);
        return 2;
    }
    const Clock::time_point t0 = Clock::now();
    remote::RemoteTarget target;
    target.m_rsh.assign(argv + 5, argv + argc);
    target.m_strHost = argv[3];
    if (const char* p = std::getenv("OCTW_REMOTE_PROGRAM"))
        target.m_program = {p};
    remote::RemoteFile far;
    if (!far.Connect(target) || !far.Open(argv[4], remote::RemoteFile::kOpenRead)) {
        std::fprintf(stderr, "octw_bench_remote: %s\n", far.ErrorText().c_str());
        return 2;
    }
    const int fd = platform::FileOpen(argv[2], platform::kOpenRead);
    platform::CAlignedBuffer near, farBlock;
    if (fd == -1 || !near.Allocate(kBlock, false) || !farBlock.Allocate(kBlock, false))
        return 2;
    const std::int64_t size =
        std::min(far.Size(), platform::FileSeek(fd, 0, platform::kSeekEnd));
    remote::BlockMirror mirror(far);
    std::int64_t asked = 0, diffs = 0;
    for (std::int64_t pos = 0; pos < size; pos += kBlock) {
        while (asked < size && mirror.MayAskBlock(asked, std::min(asked + kBlock, size))) {
            if (!mirror.AskBlock(asked, std::min(asked + kBlock, size)))
                break;
            asked = std::min(asked + kBlock, size);
        }
        const auto n = static_cast<std::size_t>(std::min(kBlock, size - pos));
        if (platform::FileReadAt(fd, near.Data(), n, pos) != static_cast<std::int64_t>(n) ||
            !mirror.TakeBlock(near.Data(), farBlock.Data())) {
            std::fprintf(stderr, "octw_bench_remote: %s\n", far.ErrorText().c_str());
            return 2;
        }
        if (std::memcmp(near.Data(), farBlock.Data(), n) != 0)
            for (std::size_t k = 0; k < n; ++k)
                diffs += near.Data()[k] != farBlock.Data()[k];
    }
    platform::FileClose(fd);
    if (!far.Close()) {
        std::fprintf(stderr, "octw_bench_remote: %s\n", far.ErrorText().c_str());
        return 2;
    }
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("remote_s=%.3f diffs=%lld wire_bytes=%llu size=%lld\n", s,
                static_cast<long long>(diffs),
                static_cast<unsigned long long>(far.BytesSent() + far.BytesReceived()),
                static_cast<long long>(size));
    return diffs == 0 ? 0 : 1;
}

// A token bucket of a tenth of a second: bursts stay short, the average stays at the rate.
int Throttle(double rate) {
    std::vector<char> buf(64 * 1024);
    const Clock::time_point t0 = Clock::now();
    double sent = 0;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buf.data(), buf.size());
        if (n <= 0)
            return n == 0 ? 0 : 1;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(STDOUT_FILENO, buf.data() + done, static_cast<std::size_t>(n - done));
            if (w <= 0)
                return 1;
            done += w;
        }
        sent += static_cast<double>(n);
        const Clock::time_point due =
            t0 + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(sent / rate - 0.1));
        std::this_thread::sleep_until(due);
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "compare")
        return Compare(argc, argv);
    if (mode == "throttle" && argc == 3)
        return Throttle(std::atof(argv[2]));
    std::fputs("usage: octw_bench_remote compare|throttle ...\n", stderr);
    return 2;
}
