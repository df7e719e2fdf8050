#include "platform/Terminal.h"

#include "platform/Environment.h"

#include <cstdlib>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

int TerminalColumns(int fd) {
    constexpr int kFallback = 80;
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    const std::string columns = EnvValue("COLUMNS");
    char* end = nullptr;
    const long n = std::strtol(columns.c_str(), &end, 10);
    if (!columns.empty() && *end == '\0' && n > 0 && n < 100000)
        return static_cast<int>(n);
    return kFallback;
}

} // namespace platform
