#include "platform/AlignedBuffer.h"

#include "platform/Memory.h"

#include <cstdlib>
#include <unistd.h>
#include <utility>

namespace platform {

CAlignedBuffer::~CAlignedBuffer() {
    Release();
}

CAlignedBuffer::CAlignedBuffer(CAlignedBuffer&& other) noexcept
    : m_pData(std::exchange(other.m_pData, nullptr)), m_nSize(std::exchange(other.m_nSize, 0)) {}

CAlignedBuffer& CAlignedBuffer::operator=(CAlignedBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        m_pData = std::exchange(other.m_pData, nullptr);
        m_nSize = std::exchange(other.m_nSize, 0);
    }
    return *this;
}

bool CAlignedBuffer::Allocate(std::size_t n, bool bLargePages) {
    Release();
    const long page = ::sysconf(_SC_PAGESIZE);
    const std::size_t align =
        bLargePages ? kLargePage : static_cast<std::size_t>(page > 0 ? page : 4096);
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t room = (n + align - 1) / align * align;
    void* p = room > 0 ? std::aligned_alloc(align, room) : nullptr;
    if (p == nullptr)
        return false;
    m_pData = static_cast<unsigned char*>(p);
    m_nSize = n;
    if (bLargePages)
        AdviseLargePages(m_pData, room);
    return true;
}

void CAlignedBuffer::Release() {
    std::free(m_pData);
    m_pData = nullptr;
    m_nSize = 0;
}

} // namespace platform
