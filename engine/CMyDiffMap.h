#pragma once
// Where along the compared length the differences lie: a fixed number of buckets, counted as the
// worker finds them, read live by whoever draws the picture.
#include <array>
#include <atomic>
#include <cstdint>

// Differences counted per bucket of the compared length: 4,096 buckets, or one per byte when
// the length is smaller. Written by the worker, read live by the window: counts are atomics.
// Bucket i covers [i * length / buckets, (i + 1) * length / buckets), rounded down, so buckets
// differ in size by at most one byte and together cover every address once.
class CMyDiffMap {
public:
    static constexpr int kMaxBuckets = 4096;

    CMyDiffMap() = default;
    CMyDiffMap(const CMyDiffMap&) = delete;
    CMyDiffMap& operator=(const CMyDiffMap&) = delete;

    void Reset(std::int64_t i64Length);          // before a run, on the worker's side
    void Add(std::int64_t i64Adrs);              // the worker, per difference
    std::int64_t Length() const { return m_i64Length.load(std::memory_order_acquire); }
    int Buckets() const { return m_nBuckets.load(std::memory_order_acquire); }
    std::int64_t BucketFirst(int i) const;       // first address of bucket i
    std::int64_t BucketEnd(int i) const;         // one past its last
    int BucketOf(std::int64_t i64Adrs) const;    // -1 outside the length
    std::int64_t Count(int i) const;             // any thread
    std::int64_t Total() const;                  // the sum of the counts, any thread

private:
    void StepTo(std::int64_t i64Adrs);

    // The worker's own, first: differences arrive in rising order, so the bucket of the next one
    // is most often this one, known by comparing against its end.
    int m_nCur = 0;
    std::int64_t m_i64CurFirst = 0;
    std::int64_t m_i64CurEnd = 0;
    std::atomic<std::int64_t> m_i64Length{0};
    std::atomic<int> m_nBuckets{0};
    std::array<std::atomic<std::int64_t>, kMaxBuckets> m_counts{};
};
