#include "platform/LowFile.h"

#include "platform/Faults.h"
#include "platform/RetryAfterSignal.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {
namespace {

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
    if (flags & kOpenNoFollow)
        oflags |= O_NOFOLLOW;
    // A truncating open would empty the file before its handle could be looked at.
    if ((flags & kOpenWrite) && (flags & kOpenTruncate) && HasNoWriteBit(path)) {
        errno = EACCES;
        return -1;
    }
    // Without O_NONBLOCK the open of a named pipe waits for its other end, for ever if none comes.
    int fd = RetryAfterSignal([&] { return ::open(path.c_str(), oflags | O_NONBLOCK, 0666); });
    if (fd < 0)
        return -1;
    // A folder must fail at the open, not at the first read; a pipe or socket at the open, not at a
    // read or write that never ends. One look at the handle serves every check: the trace is
    // opened this way for every message.
    struct stat st {};
    int err = ::fstat(fd, &st) != 0 ? errno : 0;
    if (err == 0 && S_ISDIR(st.st_mode))
        err = EISDIR;
    else if (err == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
        err = ENXIO;
    else if (err == 0 && (flags & kOpenCompared) && !S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
        err = ENXIO;
    else if (err == 0 && (flags & kOpenWrite) && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0)
        err = EACCES;
    else if (err == 0 && !S_ISREG(st.st_mode)) {
        // O_NONBLOCK means nothing to a regular file; a device keeps its ordinary, waiting reads.
        const int fl = ::fcntl(fd, F_GETFL);
        if (fl == -1 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) == -1)
            err = errno;
    }
    if (err != 0) {
        ::close(fd);
        errno = err;
        return -1;
    }
    if (IFaultInjector* f = FaultInjector())
        f->OnOpen(fd, path);
    return fd;
}

namespace {

// Transfers until `n` bytes are done; `step(p, left, done)` makes one system call. A read stops
// early at the end of the file; a write that makes no progress fails rather than spins.
// `i64At` is where the read begins, -1 for the handle's position.
template <class Step>
std::int64_t ReadFully(int fd, void* buf, std::size_t n, std::int64_t i64At, Step step) {
    if (IFaultInjector* f = FaultInjector()) {
        if (int err = f->OnRead(fd, i64At >= 0 ? i64At : FileTell(fd), n)) {
            errno = err;
            return -1;
        }
    }
    auto* p = static_cast<char*>(buf);
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = RetryAfterSignal([&] { return step(p + done, n - done, done); });
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<std::int64_t>(done);
}

template <class Step>
std::int64_t WriteFully(int fd, const void* buf, std::size_t n, Step step) {
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
        ssize_t r = RetryAfterSignal([&] { return step(p + done, allowed - done, done); });
        if (r < 0)
            return -1;
        if (r == 0) {
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

} // namespace

std::int64_t FileRead(int fd, void* buf, std::size_t n) {
    return ReadFully(fd, buf, n, -1,
                     [fd](char* p, std::size_t left, std::size_t) { return ::read(fd, p, left); });
}

std::int64_t FileWrite(int fd, const void* buf, std::size_t n) {
    // The system call itself: the library's write() is also a point where a thread may be
    // cancelled, and the bookkeeping for that around every call is a measurable part of a log
    // line's cost. No thread of this program is ever cancelled.
    return WriteFully(fd, buf, n, [fd](const char* p, std::size_t left, std::size_t) {
        return static_cast<ssize_t>(::syscall(SYS_write, fd, p, left));
    });
}

std::int64_t FileSeek(int fd, std::int64_t offset, int origin) {
    int whence = origin == kSeekCur ? SEEK_CUR : origin == kSeekEnd ? SEEK_END : SEEK_SET;
    return ::lseek(fd, static_cast<off_t>(offset), whence);
}

std::int64_t FileTell(int fd) { return ::lseek(fd, 0, SEEK_CUR); }

std::int64_t FileEndOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return -1;
    if (S_ISREG(st.st_mode))
        return static_cast<std::int64_t>(st.st_size);
    // A block device's size is not in its status; its end is found where a seek to it lands.
    return ::lseek(fd, 0, SEEK_END);
}

int FileClose(int fd) {
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    const int injected = FaultInjector() != nullptr ? FaultInjector()->OnClose(fd) : 0;
    // Never retried: the descriptor is gone even after EINTR, which loses nothing written.
    if (::close(fd) != 0 && errno != EINTR)
        return -1;
    if (injected != 0) {
        errno = injected;
        return -1;
    }
    return 0;
}

std::int64_t FileReadAt(int fd, void* buf, std::size_t n, std::int64_t offset) {
    return ReadFully(fd, buf, n, offset, [fd, offset](char* p, std::size_t left, std::size_t done) {
        return ::pread(fd, p, left, static_cast<off_t>(offset) + static_cast<off_t>(done));
    });
}

std::int64_t FileWriteAt(int fd, const void* buf, std::size_t n, std::int64_t offset) {
    return WriteFully(fd, buf, n, [fd, offset](const char* p, std::size_t left, std::size_t done) {
        return ::pwrite(fd, p, left, static_cast<off_t>(offset) + static_cast<off_t>(done));
    });
}

int FileSync(int fd) { return RetryAfterSignal([&] { return ::fsync(fd); }); }

int FileAdviseRandom(int fd) {
    const int err = ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    if (err != 0) {
        errno = err;
        return -1;
    }
    return 0;
}

int LastError() { return errno; }

namespace {
FileIdentity IdentityOf(const struct stat& st) {
    FileIdentity id;
    id.m_dev = static_cast<std::uint64_t>(st.st_dev);
    id.m_ino = static_cast<std::uint64_t>(st.st_ino);
    id.m_i64Size = static_cast<std::int64_t>(st.st_size);
    id.m_i64MtimeNs =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.m_bValid = true;
    return id;
}
} // namespace

FileIdentity IdentityOfPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return IdentityOf(st);
}

FileIdentity IdentityOfHandle(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return {};
    return IdentityOf(st);
}

} // namespace platform
