#include "engine/CMyDiffMap.h"

#include <algorithm>
#include <cassert>

namespace {

// i * length / buckets without overflow: a length near 2^63 times 4,096 does not fit 64 bits.
std::int64_t Scaled(std::int64_t i, std::int64_t i64Length, int nBuckets) {
    return static_cast<std::int64_t>(static_cast<__int128>(i) * i64Length / nBuckets);
}

} // namespace

void CMyDiffMap::Reset(std::int64_t i64Length) {
    const std::int64_t length = std::max<std::int64_t>(i64Length, 0);
    // Readers that see the new bucket count before the counts are cleared draw one stale frame;
    // a count is never read past the array.
    m_nBuckets.store(0, std::memory_order_release);
    for (auto& count : m_counts)
        count.store(0, std::memory_order_relaxed);
    const int buckets = static_cast<int>(std::min<std::int64_t>(length, kMaxBuckets));
    m_i64Length.store(length, std::memory_order_release);
    m_nBuckets.store(buckets, std::memory_order_release);
    m_nCur = 0;
    m_i64CurFirst = 0;
    m_i64CurEnd = buckets > 0 ? BucketEnd(0) : 0;
}

void CMyDiffMap::Add(std::int64_t i64Adrs) {
    if (i64Adrs >= m_i64CurEnd || i64Adrs < m_i64CurFirst) [[unlikely]] {
        StepTo(i64Adrs);
        if (i64Adrs >= m_i64CurEnd || i64Adrs < m_i64CurFirst)
            return; // outside the length: nothing compared there
    }
    // One writer: a load and a store, not a locked add.
    std::atomic<std::int64_t>& count = m_counts[static_cast<std::size_t>(m_nCur)];
    count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void CMyDiffMap::StepTo(std::int64_t i64Adrs) {
    const int nBucket = BucketOf(i64Adrs);
    assert(nBucket >= 0 && "a difference outside the compared length");
    if (nBucket < 0)
        return;
    m_nCur = nBucket;
    m_i64CurFirst = BucketFirst(nBucket);
    m_i64CurEnd = BucketEnd(nBucket);
}

std::int64_t CMyDiffMap::BucketFirst(int i) const {
    const int buckets = Buckets();
    return buckets > 0 ? Scaled(i, Length(), buckets) : 0;
}

std::int64_t CMyDiffMap::BucketEnd(int i) const { return BucketFirst(i + 1); }

// The last bucket whose first address is not beyond the address: the largest i with
// i * length / buckets <= adrs, that is i < (adrs + 1) * buckets / length.
int CMyDiffMap::BucketOf(std::int64_t i64Adrs) const {
    const std::int64_t length = Length();
    const int buckets = Buckets();
    if (i64Adrs < 0 || i64Adrs >= length || buckets == 0)
        return -1;
    const __int128 over = (static_cast<__int128>(i64Adrs) + 1) * buckets - 1;
    return static_cast<int>(over / length);
}

std::int64_t CMyDiffMap::Count(int i) const {
    if (i < 0 || i >= kMaxBuckets)
        return 0;
    return m_counts[static_cast<std::size_t>(i)].load(std::memory_order_relaxed);
}

std::int64_t CMyDiffMap::Total() const {
    std::int64_t total = 0;
    const int buckets = Buckets();
    for (int i = 0; i < buckets; ++i)
        total += Count(i);
    return total;
}
