#pragma once
// A large array that the kernel copies into or out of. Some processors copy several times slower
// into a destination that does not start on a cache line (a plain new[] of a few MiB starts 16
// bytes past a page), so these start on a page, or on a large page where large pages are advised.
#include <cstddef>

namespace platform {

class CAlignedBuffer {
public:
    static constexpr std::size_t kLargePage = std::size_t{1} << 21; // 2 MiB, as on x86-64

    CAlignedBuffer() = default;
    ~CAlignedBuffer();
    CAlignedBuffer(CAlignedBuffer&& other) noexcept;
    CAlignedBuffer& operator=(CAlignedBuffer&& other) noexcept;
    CAlignedBuffer(const CAlignedBuffer&) = delete;
    CAlignedBuffer& operator=(const CAlignedBuffer&) = delete;

    // `n` bytes on a page boundary, or with `bLargePages` on a large page's boundary and advised
    // to be backed by large pages. False (and nothing held) when the memory is not there.
    bool Allocate(std::size_t n, bool bLargePages);
    void Release();

    unsigned char* Data() const { return m_pData; }
    std::size_t Size() const { return m_nSize; }

private:
    unsigned char* m_pData = nullptr;
    std::size_t m_nSize = 0;
};

} // namespace platform
