#include "platform/StandardOutput.h"

#include <cerrno>
#include <cstdio>
#include <stdio_ext.h>

namespace platform {

bool CloseStandardOutput(int* pErrno) {
    *pErrno = 0;
    const bool bFailedBefore = std::ferror(stdout) != 0;
    const bool bPending = __fpending(stdout) != 0;
    errno = 0;
    if (std::fclose(stdout) != 0) {
        if (errno == EBADF && !bPending && !bFailedBefore)
            return true;
        *pErrno = errno;
        return false;
    }
    return !bFailedBefore;
}

} // namespace platform
