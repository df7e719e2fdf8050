#include "platform/FileLock.h"

#include "platform/RetryAfterSignal.h"

#include <cerrno>
#include <sys/file.h>
#include <unistd.h>

namespace platform {
namespace {
int Lock(int fd, int op) {
    return RetryAfterSignal([&] { return ::flock(fd, op); });
}
} // namespace

int FileLockShared(int fd, bool bWait) { return Lock(fd, LOCK_SH | (bWait ? 0 : LOCK_NB)); }
int FileLockExclusive(int fd, bool bWait) { return Lock(fd, LOCK_EX | (bWait ? 0 : LOCK_NB)); }
int FileUnlock(int fd) { return Lock(fd, LOCK_UN); }

int FileTruncate(int fd, std::int64_t i64Size) {
    return RetryAfterSignal([&] { return ::ftruncate(fd, static_cast<off_t>(i64Size)); });
}

} // namespace platform
