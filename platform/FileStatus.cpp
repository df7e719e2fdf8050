#include "platform/FileStatus.h"

#include "platform/Faults.h"
#include "platform/Mutex.h"

#include <climits>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {
namespace {
CMutex g_exeMutex;
std::string g_strExeOverride GUARDED_BY(g_exeMutex);

std::uint64_t FreeBytes(const struct statvfs& vfs) {
    return static_cast<std::uint64_t>(vfs.f_bavail) * static_cast<std::uint64_t>(vfs.f_frsize);
}
} // namespace

bool GetFileStatus(const std::string& path, FileStatus* status) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return false;
    status->m_kind = S_ISREG(st.st_mode)    ? FileKind::Regular
                     : S_ISDIR(st.st_mode)  ? FileKind::Folder
                     : S_ISBLK(st.st_mode)  ? FileKind::BlockDevice
                     : S_ISCHR(st.st_mode)  ? FileKind::CharDevice
                     : S_ISFIFO(st.st_mode) ? FileKind::Fifo
                     : S_ISSOCK(st.st_mode) ? FileKind::Socket
                                            : FileKind::Other;
    status->m_bReadOnly = (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
    status->m_i64Size = static_cast<std::int64_t>(st.st_size);
    return true;
}

bool IsSymbolicLink(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::uint64_t FreeSpaceOfFold(const std::string& fold) {
    std::uint64_t bytes = 0;
    if (IFaultInjector* f = FaultInjector(); f && f->OnFreeSpace(fold, bytes))
        return bytes;
    struct statvfs vfs {};
    if (::statvfs(fold.c_str(), &vfs) != 0)
        return 0;
    return FreeBytes(vfs);
}

DiskSpace DiskSpaceOfHandle(int fd, const std::string& fold) {
    constexpr std::uint64_t kCommonBlock = 4096; // when the system cannot tell
    DiskSpace space;
    struct statvfs vfs {};
    const bool known = ::fstatvfs(fd, &vfs) == 0;
    space.m_nBlock = known && vfs.f_frsize > 0 ? vfs.f_frsize : kCommonBlock;
    if (IFaultInjector* f = FaultInjector(); f && f->OnFreeSpace(fold, space.m_nFree))
        return space;
    space.m_nFree = known ? FreeBytes(vfs) : 0;
    return space;
}

std::string ExecutablePath() {
    {
        CMutexLock lock(g_exeMutex);
        if (!g_strExeOverride.empty())
            return g_strExeOverride;
    }
    char buf[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0)
        return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

void OverrideExecutablePath(const std::string& path) {
    CMutexLock lock(g_exeMutex);
    g_strExeOverride = path;
}

std::string CurrentFolder() {
    char buf[PATH_MAX + 1];
    if (::getcwd(buf, sizeof buf) == nullptr)
        return {};
    return buf;
}

} // namespace platform
