#include "platform/LowFile.h"

#include "platform/Faults.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// The one place that retries a call interrupted by a signal.
template <typename F> auto RetryAfterSignal(F f) {
    decltype(f()) r;
    do {
        r = f();
    } while (r == -1 && errno == EINTR);
    return r;
}

bool HasNoWriteBit(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
}

} // namespace

int FileOpen(const std::string& path, int flags) {
    int oflags = O_CLOEXEC;
    switch (flags & kOpenReadWrite) {
    case kOpenRead:
        oflags |= O_RDONLY;
        break;
    case kOpenWrite:
        oflags |= O_WRONLY;
        break;
    default:
        oflags |= O_RDWR;
        break;
    }
    if (flags & kOpenCreate)
        oflags |= O_CREAT;
    if (flags & kOpenTruncate)
        oflags |= O_TRUNC;
    if (flags & kOpenAppend)
        oflags |= O_APPEND;
    // A truncating open would empty the file before its handle could be looked at.
    if ((flags & kOpenWrite) && (flags & kOpenTruncate) && HasNoWriteBit(path)) {
        errno = EACCES;
        return -1;
    }
    int fd = RetryAfterSignal([&] { return ::open(path.c_str(), oflags, 0666); });
    if (fd < 0)
        return -1;
    // Reading a folder as a file must fail at the open, not at the first read. One look at the
    // handle serves both checks: the trace is opened this way for every message.
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR
                        : (flags & kOpenWrite) && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0
                            ? EACCES
                            : 0;
        if (err != 0) {
            ::close(fd);
            errno = err;
            return -1;
        }
    }
    if (IFaultInjector* f = FaultInjector())
        f->OnOpen(fd, path);
    return fd;
}

std::int64_t FileRead(int fd, void* buf, std::size_t n) {
    if (IFaultInjector* f = FaultInjector()) {
        if (int err = f->OnRead(fd, n)) {
            errno = err;
            return -1;
        }
    }
    auto* p = static_cast<char*>(buf);
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = RetryAfterSignal([&] { return ::read(fd, p + done, n - done); });
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t FileWrite(int fd, const void* buf, std::size_t n) {
    std::size_t allowed = n;
    if (IFaultInjector* f = FaultInjector()) {
        if (int err = f->OnWrite(fd, allowed)) {
            errno = err;
            return -1;
        }
    }
    const auto* p = static_cast<const char*>(buf);
    std::size_t done = 0;
    while (done < allowed) {
        ssize_t r = RetryAfterSignal([&] { return ::write(fd, p + done, allowed - done); });
        if (r < 0)
            return -1;
        if (r == 0) { // no progress and no error: stop rather than spin
            errno = EIO;
            return -1;
        }
        done += static_cast<std::size_t>(r);
    }
    if (allowed < n) { // a write cut short by a test stands for a full disk
        errno = ENOSPC;
        return -1;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t FileSeek(int fd, std::int64_t offset, int origin) {
    int whence = origin == kSeekCur ? SEEK_CUR : origin == kSeekEnd ? SEEK_END : SEEK_SET;
    return ::lseek(fd, static_cast<off_t>(offset), whence);
}

std::int64_t FileTell(int fd) { return ::lseek(fd, 0, SEEK_CUR); }

int FileClose(int fd) {
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    if (IFaultInjector* f = FaultInjector())
        f->OnClose(fd);
    return ::close(fd); // never retried: the descriptor is gone even after EINTR
}

int LastError() { return errno; }

FileIdentity IdentityOfPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}

FileIdentity IdentityOfHandle(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return {};
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}

} // namespace platform
