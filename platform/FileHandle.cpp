#include "platform/FileHandle.h"

#include "platform/LowFile.h"

namespace platform {

CFileHandle& CFileHandle::operator=(CFileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.Release();
    }
    return *this;
}

CFileHandle CFileHandle::Open(const std::string& path, int flags) {
    return CFileHandle(FileOpen(path, flags));
}

int CFileHandle::Close() {
    if (m_fd == -1)
        return 0;
    return FileClose(Release());
}

} // namespace platform
