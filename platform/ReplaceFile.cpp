#include "platform/ReplaceFile.h"

#include "platform/Faults.h"
#include "platform/LowFile.h"
#include "platform/RetryAfterSignal.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// A name of its own beside the old file, hidden, tried until one is free.
std::string TempName(const std::string& fold, const std::string& base, unsigned attempt) {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    char tail[48];
    std::snprintf(tail, sizeof tail, ".%d.%lx%u.tmp", static_cast<int>(::getpid()),
                  static_cast<unsigned long>(ts.tv_nsec), attempt);
    return fold + "/." + base + tail;
}

constexpr unsigned kNameAttempts = 100;

int SyncFold(const std::string& fold) {
    const int fd = RetryAfterSignal(
        [&] { return ::open(fold.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        return -1;
    int r = RetryAfterSignal([&] { return ::fsync(fd); });
    // Some file systems cannot flush a folder at all: the rename is then as safe as it gets.
    if (r != 0 && errno == EINVAL)
        r = 0;
    const int err = errno;
    ::close(fd);
    errno = err;
    return r;
}

} // namespace

bool CReplacement::Begin(const std::string& path) {
    Abandon();
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return false;
        }
        if (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) {
            errno = EACCES;
            return false;
        }
    }
    const std::size_t slash = path.rfind('/');
    m_strPath = path;
    m_strFold = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    // An unnamed file leaves nothing behind when the program is killed before it is in place.
    m_fd = RetryAfterSignal(
        [&] { return ::open(m_strFold.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666); });
    if (m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // This file system has no unnamed files: a fresh name, never an existing file or a link.
        const std::string base = path.substr(slash + 1);
        for (unsigned i = 0; m_fd < 0 && i < kNameAttempts; ++i) {
            m_strTemp = TempName(m_strFold, base, i);
            m_fd = RetryAfterSignal([&] {
                return ::open(m_strTemp.c_str(),
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            });
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
        if (m_fd < 0)
            m_strTemp.clear();
    }
    if (m_fd < 0)
        return false;
    if (IFaultInjector* f = FaultInjector())
        f->OnOpen(m_fd, m_strPath);
    return true;
}

// Gives an unnamed file a name beside the old one, so that it can be renamed over it.
bool CReplacement::NameTheFile() {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", m_fd);
    const std::size_t slash = m_strPath.rfind('/');
    const std::string base = m_strPath.substr(slash + 1);
    for (unsigned i = 0; i < kNameAttempts; ++i) {
        const std::string name = TempName(m_strFold, base, i);
        if (::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            m_strTemp = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool CReplacement::Commit() {
    if (m_fd < 0) {
        errno = EBADF;
        return false;
    }
    bool ok = FileSync(m_fd) == 0 && (!m_strTemp.empty() || NameTheFile());
    int err = ok ? 0 : errno;
    // A file that could not be closed may not hold what was written.
    if (FileClose(m_fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    m_fd = -1;
    if (ok && RetryAfterSignal([&] { return ::rename(m_strTemp.c_str(), m_strPath.c_str()); }) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        Abandon();
        errno = err;
        return false;
    }
    m_strTemp.clear();
    return SyncFold(m_strFold) == 0;
}

void CReplacement::Abandon() {
    const int err = errno;
    if (m_fd >= 0) {
        FileClose(m_fd);
        m_fd = -1;
    }
    if (!m_strTemp.empty()) {
        ::unlink(m_strTemp.c_str());
        m_strTemp.clear();
    }
    errno = err;
}

} // namespace platform
