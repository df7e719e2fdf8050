#pragma once
#include <cstdint>
#include <string>

namespace platform {

enum class FileKind { Regular, Folder, BlockDevice, CharDevice, Fifo, Socket, Other };

struct FileStatus {
    FileKind m_kind = FileKind::Regular;
    // No write permission bit, or this user may not write it (also when running as root).
    bool m_bReadOnly = false;
    std::int64_t m_i64Size = 0;
};

// False when the path names nothing (or cannot be looked at).
bool GetFileStatus(const std::string& path, FileStatus* status);

// Whether the path itself is a symbolic link.
bool IsSymbolicLink(const std::string& path);

// Bytes the current user can still write on the volume that holds the folder; 0 on any failure.
std::uint64_t FreeSpaceOfFold(const std::string& fold);
// The same for the volume of an open file, with the volume's block size (the unit in which a
// growing file takes space from it); `fold` is what a test's fault injector is told.
struct DiskSpace {
    std::uint64_t m_nFree = 0;
    std::uint64_t m_nBlock = 0;
};
DiskSpace DiskSpaceOfHandle(int fd, const std::string& fold);

// Full path of the running executable.
std::string ExecutablePath();
// Tests stand the program in a folder of their own.
void OverrideExecutablePath(const std::string& path);

std::string CurrentFolder();

} // namespace platform
