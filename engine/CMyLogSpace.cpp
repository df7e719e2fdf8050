#include "engine/CMyLogSpace.h"

#include "platform/FileStatus.h"

#include <algorithm>
#include <new>

void CMyLogSpace::Reset() {
    m_bMeasured = false;
    // A ticker whose thread could not start is tried again at the next run.
    if (!m_bTicking) {
        try {
            m_pTicker = std::make_unique<platform::CTicker>(
                m_bOld, std::chrono::milliseconds(kMaxAgeMs));
        } catch (const std::bad_alloc&) {
        }
    }
    m_bTicking = m_pTicker != nullptr && m_pTicker->Running();
}

void CMyLogSpace::Stop() {
    m_pTicker = nullptr;
    m_bTicking = false;
}

std::int64_t CMyLogSpace::FreeBytes(int fd, const std::string& fold, std::int64_t i64LogBytes,
                                    std::int64_t i64Reserve) {
    if (m_bMeasured && m_bTicking && !m_bOld.load(std::memory_order_relaxed)) {
        const std::int64_t estimate =
            m_i64Free - (BlocksOf(i64LogBytes) - m_i64LogBlocks) * m_i64Block;
        if (estimate >= i64Reserve + kNearBlocks * m_i64Block)
            return estimate;
    }
    // Lowered first: a tick during the measurement makes the next line measure again.
    m_bOld.store(false, std::memory_order_relaxed);
    const platform::DiskSpace space = platform::DiskSpaceOfHandle(fd, fold);
    m_bMeasured = true;
    // Compared as a signed number, as the reserve check always was.
    m_i64Free = static_cast<std::int64_t>(space.m_nFree);
    m_i64Block = std::max<std::int64_t>(1, static_cast<std::int64_t>(space.m_nBlock));
    m_i64LogBlocks = BlocksOf(i64LogBytes);
    return m_i64Free;
}
