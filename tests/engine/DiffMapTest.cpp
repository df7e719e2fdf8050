// The difference map's buckets: where its counts go.
#include "engine/CMyDiffMap.h"

#include <gtest/gtest.h>

#include <algorithm>

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

} // namespace
