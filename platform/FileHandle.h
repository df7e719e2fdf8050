#pragma once
// An open file, closed when its handle goes: whatever way a function leaves, the file is closed in
// one place, once.
#include <string>

namespace platform {

class CFileHandle {
public:
    CFileHandle() = default;
    // Takes over `fd` (-1: none).
    explicit CFileHandle(int fd) : m_fd(fd) {}
    ~CFileHandle() { Close(); }
    CFileHandle(CFileHandle&& other) noexcept : m_fd(other.Release()) {}
    CFileHandle& operator=(CFileHandle&& other) noexcept;
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    // As FileOpen: closed, with LastError() telling why, when the open failed.
    static CFileHandle Open(const std::string& path, int flags);

    bool IsOpen() const { return m_fd != -1; }
    int Get() const { return m_fd; }
    // 0, or -1 when the system reported an error (the file is closed either way); 0 when none was
    // open.
    int Close();
    // Gives the descriptor up without closing it.
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd = -1;
};

} // namespace platform
