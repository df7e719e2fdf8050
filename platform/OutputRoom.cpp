#include "platform/OutputRoom.h"

#include <cerrno>
#include <poll.h>

namespace platform {

bool WaitForOutputRoom(int fd, const std::function<bool()>& stop) {
    constexpr int kPollMs = 20;
    for (;;) {
        pollfd p{fd, POLLOUT, 0};
        const int n = ::poll(&p, 1, kPollMs);
        if (n > 0 || (n < 0 && errno != EINTR))
            return true;
        if (stop && stop())
            return false;
    }
}

} // namespace platform
