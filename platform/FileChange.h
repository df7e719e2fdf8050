#pragma once
// Whether a file read for a while is still the one that was opened, with what it held then.
#include "platform/LowFile.h"

#include <string>

namespace platform {

// True when the file open on `fd`, opened as `path` when `atOpen` was taken of it, has been
// neither resized nor written since (its size and modification time are as they were), and
// `path` still names it. A block device is judged by its name alone: the size and times of its
// node say nothing about writes to the disk behind it.
bool FileUnchangedSinceOpen(int fd, const std::string& path, const FileIdentity& atOpen);

} // namespace platform
