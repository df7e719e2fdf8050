#pragma once
// Advisory locks on an open file (flock): held by the open file, gone when it is closed, so a
// program that dies leaves none behind and no lock file is needed.
#include <cstdint>

namespace platform {

// 0, or -1 with LastError(): EWOULDBLOCK when another holds a lock in the way and `bWait` is false.
// Changing a held lock's kind is not atomic: for a moment the file is unlocked.
int FileLockShared(int fd, bool bWait);
int FileLockExclusive(int fd, bool bWait);
int FileUnlock(int fd);
// Cuts or extends the file to `i64Size` bytes: 0, or -1.
int FileTruncate(int fd, std::int64_t i64Size);

} // namespace platform
