// A slow link for the remote benchmark:
//
//   octw_bench_remote throttle BYTES_PER_SECOND [COUNT_FILE]
//
// copies standard input to standard output at that rate at most, and at the end appends the
// number of bytes it carried to COUNT_FILE, so that the benchmark can tell what crossed the link.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A token bucket of a tenth of a second: bursts stay short, the average stays at the rate.
int Throttle(double rate, const char* pCountFile) {
    std::vector<char> buf(64 * 1024);
    const Clock::time_point t0 = Clock::now();
    double carried = 0;
    int status = 0;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buf.data(), buf.size());
        if (n <= 0) {
            status = n == 0 ? 0 : 1;
            break;
        }
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w =
                ::write(STDOUT_FILENO, buf.data() + done, static_cast<std::size_t>(n - done));
            if (w <= 0)
                break;
            done += w;
        }
        carried += static_cast<double>(done);
        if (done < n) {
            status = 1;
            break;
        }
        std::this_thread::sleep_until(
            t0 + std::chrono::duration_cast<Clock::duration>(
                     std::chrono::duration<double>(carried / rate - 0.1)));
    }
    if (pCountFile != nullptr) {
        if (FILE* f = std::fopen(pCountFile, "a")) {
            std::fprintf(f, "%.0f\n", carried);
            std::fclose(f);
        }
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if ((argc == 3 || argc == 4) && std::string(argv[1]) == "throttle")
        return Throttle(std::atof(argv[2]), argc == 4 ? argv[3] : nullptr);
    std::fputs("usage: octw_bench_remote throttle BYTES_PER_SECOND [COUNT_FILE]\n", stderr);
    return 2;
}
