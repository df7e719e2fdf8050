#pragma once
// Low-level files with 64-bit offsets. Handles are -1 when closed; on failure the result is -1
// and LastError() tells why (an errno value, as the callers that report it expect).
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum FileOpenFlags : int {
    kOpenRead = 0x1,
    kOpenWrite = 0x2,
    kOpenReadWrite = 0x3,
    kOpenCreate = 0x10,   // create when missing
    kOpenTruncate = 0x20, // empty it when present
    kOpenAppend = 0x40,
    // A file that is compared or repaired: only regular files and block devices are taken.
    kOpenCompared = 0x80,
    // The program's own files: a symbolic link at the path is not followed, the open fails (ELOOP).
    kOpenNoFollow = 0x100,
};

enum SeekOrigin : int { kSeekSet = 0, kSeekCur = 1, kSeekEnd = 2 };

// Opening a folder fails (EISDIR). Opening for writing a file that has no write permission bit
// fails with EACCES even for root, so read-only files stay read-only in every run. No open waits:
// a named pipe or a socket fails at once (ENXIO), as does any kind but a regular file or a block
// device with kOpenCompared.
int FileOpen(const std::string& path, int flags);
// Reads until `n` bytes or the end of the file: a short count means the file ended.
std::int64_t FileRead(int fd, void* buf, std::size_t n);
// Writes all `n` bytes or fails.
std::int64_t FileWrite(int fd, const void* buf, std::size_t n);
std::int64_t FileSeek(int fd, std::int64_t offset, int origin);
std::int64_t FileTell(int fd);
// The size of the file behind the handle, a block device's too: where a read finds its end.
std::int64_t FileEndOf(int fd);
int FileClose(int fd);
// Reads at `offset` without moving the file position; a short count means the file ended there.
std::int64_t FileReadAt(int fd, void* buf, std::size_t n, std::int64_t offset);
// Writes all `n` bytes at `offset`, without moving the file position, or fails.
std::int64_t FileWriteAt(int fd, const void* buf, std::size_t n, std::int64_t offset);
// Flushes what was written to the device (fsync): 0, or -1.
int FileSync(int fd);
// Tells the system that the file is read at scattered places, so that it reads ahead no further
// than each read asks: 0, or -1.
int FileAdviseRandom(int fd);

int LastError();

// Which file a path or handle names, however it is spelled, and its size and modification time
// when it was looked at.
struct FileIdentity {
    std::uint64_t m_dev = 0;
    std::uint64_t m_ino = 0;
    std::int64_t m_i64Size = 0;
    std::int64_t m_i64MtimeNs = 0;
    bool m_bValid = false;
    bool SameAs(const FileIdentity& o) const {
        return m_bValid && o.m_bValid && m_dev == o.m_dev && m_ino == o.m_ino;
    }
    // The same file, neither resized nor written since `then` was taken.
    bool Unchanged(const FileIdentity& then) const {
        return SameAs(then) && m_i64Size == then.m_i64Size && m_i64MtimeNs == then.m_i64MtimeNs;
    }
};
FileIdentity IdentityOfPath(const std::string& path);
FileIdentity IdentityOfHandle(int fd);

} // namespace platform
