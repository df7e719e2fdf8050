// The difference map's buckets and counts, and the joining of differences into ranges.
#include "engine/CMyDiffMap.h"
#include "engine/CMyRangeTracker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

// Buckets cover the length once, in order, each within a byte of length / buckets; an address
// belongs to the bucket that holds it.
TEST(DiffMap, BucketsCoverTheLengthEvenly) {
    for (const std::int64_t length :
         {std::int64_t{0}, std::int64_t{1}, std::int64_t{2}, std::int64_t{4095}, std::int64_t{4096},
          std::int64_t{4097}, std::int64_t{1000003}, (std::int64_t{5} << 30) + 3,
          (std::int64_t{1} << 62) + 5}) {
        SCOPED_TRACE(length);
        CMyDiffMap map;
        map.Reset(length);
        const int buckets = map.Buckets();
        EXPECT_EQ(buckets, std::min<std::int64_t>(length, CMyDiffMap::kMaxBuckets));
        EXPECT_EQ(map.Length(), length);
        EXPECT_EQ(map.BucketOf(-1), -1);
        EXPECT_EQ(map.BucketOf(length), -1);
        if (buckets == 0)
            continue;
        EXPECT_EQ(map.BucketFirst(0), 0);
        EXPECT_EQ(map.BucketEnd(buckets - 1), length);
        const std::int64_t small = length / buckets;
        for (int i = 0; i < buckets; ++i) {
            const std::int64_t first = map.BucketFirst(i), end = map.BucketEnd(i);
            if (i > 0) {
                ASSERT_EQ(first, map.BucketEnd(i - 1)) << i;
            }
            ASSERT_TRUE(end - first == small || end - first == small + 1) << i;
            ASSERT_EQ(map.BucketOf(first), i);
            ASSERT_EQ(map.BucketOf(end - 1), i);
        }
    }
}

// Each difference is counted once, in its bucket, in whatever order the addresses come; a reset
// forgets the last run.
TEST(DiffMap, CountsSitInTheBucketsOfTheirAddresses) {
    constexpr std::int64_t kLength = 10'000'019;
    std::mt19937_64 random(7);
    std::vector<std::int64_t> addresses;
    for (int i = 0; i < 20000; ++i)
        addresses.push_back(static_cast<std::int64_t>(random() % kLength));
    std::sort(addresses.begin(), addresses.end());
    // A second pass from an earlier address, as a caller that went back would make.
    addresses.insert(addresses.end(), {0, kLength - 1, 5, 5, kLength / 2});
    CMyDiffMap map;
    map.Reset(123);
    map.Add(7);
    map.Reset(kLength);
    for (const std::int64_t adrs : addresses)
        map.Add(adrs);
    EXPECT_EQ(map.Total(), static_cast<std::int64_t>(addresses.size()));
    for (int i = 0; i < map.Buckets(); ++i) {
        const auto inside = std::count_if(addresses.begin(), addresses.end(), [&](std::int64_t a) {
            return a >= map.BucketFirst(i) && a < map.BucketEnd(i);
        });
        ASSERT_EQ(map.Count(i), inside) << i;
    }
}

struct SeenRanges : CMyRangeSink {
    void OnRange(const DiffRange& range) override { m_ranges.push_back(range); }
    std::vector<DiffRange> m_ranges;
};

// Consecutive addresses make one range; its bytes are kept up to the limit and not beyond; the
// open range goes out once, at the flush.
TEST(RangeTracker, JoinsConsecutiveDifferencesAndKeepsShortRangesBytes) {
    SeenRanges seen;
    CMyRangeTracker tracker;
    tracker.Reset(&seen);
    std::vector<std::int64_t> addresses = {3, 4, 5, 7};
    for (std::int64_t a = 100; a < 100 + DiffRange::kKeptBytes + 1; ++a)
        addresses.push_back(a);
    for (std::int64_t a = 1000; a < 1000 + DiffRange::kKeptBytes; ++a)
        addresses.push_back(a);
    for (const std::int64_t a : addresses)
        tracker.Add(a, static_cast<BYTE>(a), static_cast<BYTE>(~a));
    EXPECT_EQ(seen.m_ranges.size(), 3u);
    tracker.Flush();
    tracker.Flush();
    ASSERT_EQ(seen.m_ranges.size(), 4u);
    EXPECT_EQ(tracker.Count(), 4);
    const std::int64_t expected[][2] = {{3, 3}, {7, 1}, {100, 65}, {1000, 64}};
    for (std::size_t i = 0; i < 4; ++i) {
        const DiffRange& r = seen.m_ranges[i];
        EXPECT_EQ(r.m_i64First, expected[i][0]);
        EXPECT_EQ(r.m_i64Length, expected[i][1]);
        EXPECT_EQ(r.BytesKept(), i != 2);
        for (std::int64_t k = 0; r.BytesKept() && k < r.m_i64Length; ++k) {
            ASSERT_EQ(r.m_bytesA[k], static_cast<BYTE>(r.m_i64First + k));
            ASSERT_EQ(r.m_bytesB[k], static_cast<BYTE>(~(r.m_i64First + k)));
        }
    }
    tracker.Reset(&seen);
    EXPECT_EQ(tracker.Count(), 0);
    tracker.Flush();
    EXPECT_EQ(seen.m_ranges.size(), 4u);
}

} // namespace
