#include "platform/StandardDescriptors.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

bool OpenClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number is taken, and the ones below are open by now: this is `fd`.
        const int opened = ::open("/dev/null", O_RDONLY | O_NOFOLLOW);
        if (opened == -1)
            return false;
        if (opened != fd) {
            const bool moved = ::dup2(opened, fd) == fd;
            ::close(opened);
            if (!moved)
                return false;
        }
    }
    return true;
}

} // namespace platform
