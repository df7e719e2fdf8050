// The difference map read from another thread while the worker fills it, as the window reads it.
#include "EngineHarness.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace enginetest {
namespace {

TEST(DiffMapLive, ReadWhileTheRunFillsItAndResetByTheNext) {
    constexpr std::int64_t kSize = 8 << 20, kEvery = 64;
    std::vector<std::int64_t> diffs;
    for (std::int64_t at = kEvery - 1; at < kSize; at += kEvery)
        diffs.push_back(at);
    EngineRun run;
    MakePair(run.File("a"), run.File("b"), kSize, diffs);
    const CMyDiffMap& map = run.engine->DiffMap();

    std::atomic<bool> done{false};
    std::atomic<bool> fellBack{false};
    std::thread reader([&] {
        std::int64_t last = 0;
        while (!done) {
            const std::int64_t total = map.Total();
            if (total < last)
                fellBack = true;
            last = total;
        }
    });
    run.Run(run.File("a"), run.File("b"), run.Log());
    done = true;
    reader.join();
    EXPECT_FALSE(fellBack) << "a count went down during the run";
    ASSERT_EQ(run.engine->Outcome(), RunOutcome::kCompleted);
    EXPECT_EQ(map.Length(), kSize);
    ASSERT_EQ(map.Buckets(), CMyDiffMap::kMaxBuckets);
    EXPECT_EQ(map.Total(), run.engine->m_i64DiffCount);
    // 2,048 bytes a bucket, a difference every 64.
    for (int i = 0; i < map.Buckets(); ++i)
        ASSERT_EQ(map.Count(i), 32) << i;

    MakePair(run.File("c"), run.File("d"), 100, {99});
    run.Run(run.File("c"), run.File("d"), run.File("second.txt"));
    EXPECT_EQ(map.Buckets(), 100);
    EXPECT_EQ(map.Total(), 1);
    EXPECT_EQ(map.Count(99), 1);
}

} // namespace
} // namespace enginetest
