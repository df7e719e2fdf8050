#include "engine/CMyLogSpace.h"

#include "platform/Clock.h"
#include "platform/FileStatus.h"

#include <algorithm>

std::int64_t CMyLogSpace::FreeBytes(int fd, const std::string& fold, std::int64_t i64LogBytes,
                                    std::int64_t i64Reserve) {
    const std::int64_t now = platform::MonotonicMs();
    if (m_bMeasured && now - m_i64MeasuredMs < kMaxAgeMs) {
        const std::int64_t estimate =
            m_i64Free - (BlocksOf(i64LogBytes) - m_i64LogBlocks) * m_i64Block;
        if (estimate >= i64Reserve + kNearBlocks * m_i64Block)
            return estimate;
    }
    const platform::DiskSpace space = platform::DiskSpaceOfHandle(fd, fold);
    m_bMeasured = true;
    m_i64MeasuredMs = now;
    // Compared as a signed number, as the reserve check always was.
    m_i64Free = static_cast<std::int64_t>(space.m_nFree);
    m_i64Block = std::max<std::int64_t>(1, static_cast<std::int64_t>(space.m_nBlock));
    m_i64LogBlocks = BlocksOf(i64LogBytes);
    return m_i64Free;
}
