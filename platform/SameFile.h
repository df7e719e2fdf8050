#pragma once
// Whether two paths name the same file, however each is spelled: relative, through a symbolic or a
// hard link, or naming a file that does not exist yet.
#include <string>

namespace platform {

// The absolute path that opening `path` would reach: its folder with every link, "." and ".."
// resolved, and a final symbolic link followed even when what it names does not exist yet. Empty
// when there is no such folder.
std::string ResolvedPath(const std::string& path);

// Same device and inode when both exist; otherwise the same resolved path.
bool SameFile(const std::string& a, const std::string& b);

} // namespace platform
