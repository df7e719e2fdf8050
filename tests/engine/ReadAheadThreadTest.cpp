// The next block is read while the one before it is compared, both files at once, into buffers
// that start on a large page; what the run reports stays where and what it was.
#include "EngineHarness.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <thread>

namespace enginetest {
namespace {

constexpr std::int64_t kBlock = CMyMakeFile::kBlockSize;
constexpr std::int64_t kChunk = CMyMakeFile::kChunkSize;
constexpr std::uintptr_t kLargePage = std::uintptr_t{1} << 21;

bool OnLargePage(const BYTE* p) {
    return reinterpret_cast<std::uintptr_t>(p) % kLargePage == 0;
}

TEST(ReadAhead, BothBlocksOfEachFileStartOnALargePage) {
    EngineRun r;
    EXPECT_TRUE(OnLargePage(r.engine->m_pBufA));
    EXPECT_TRUE(OnLargePage(r.engine->m_pBufB));
    const BYTE* firstA = r.engine->m_pBufA;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 2 * kBlock - 1, {kBlock + 1});
    ASSERT_EQ(r.Run(a, b, r.Log()), 0);
    EXPECT_EQ(r.engine->Result().m_i64DiffCount, 1);
    // The second block went into the other half of each pair.
    EXPECT_EQ(r.engine->m_pBufA, firstA + kBlock);
    EXPECT_TRUE(OnLargePage(r.engine->m_pBufA));
    EXPECT_TRUE(OnLargePage(r.engine->m_pBufB));
}

TEST(ReadAhead, WithoutThreadsOfItsOwnEachBlockIsReadWhereItIsAsked) {
    EngineRun r;
    r.ui.m_bPlainReads = true;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 2 * kBlock + 100, {5, kBlock + 5, 2 * kBlock + 99});
    // The two threads asked for once the files are open are the reader's.
    r.ui.m_onOpen = [&](const std::string& path) {
        if (path == b)
            r.ui.FailThreadStarts(2);
    };
    std::mutex mutex;
    std::set<std::thread::id> readers;
    r.ui.m_onRead = [&](const std::string&, std::int64_t) {
        std::lock_guard lock(mutex);
        readers.insert(std::this_thread::get_id());
    };
    std::thread::id worker;
    r.ui.m_onProgress = [&](int) { worker = std::this_thread::get_id(); };

    ASSERT_EQ(r.Run(a, b, r.Log()), 0);

    EXPECT_EQ(readers, std::set<std::thread::id>{worker});
    EXPECT_EQ(r.ui.Reads(b), (std::vector<std::size_t>{kBlock, kBlock, 100}));
    std::string lines = ExpectedHeader(a, 2 * kBlock + 100, b, 2 * kBlock + 100, r.Log());
    for (std::int64_t d : {std::int64_t{5}, kBlock + 5, 2 * kBlock + 99})
        lines += Line(d, 0, 0x5A);
    EXPECT_EQ(ReadFile(r.Log()).substr(0, lines.size()), lines);
}

struct FailCase {
    const char* m_name;
    bool m_bFileA;
    std::int64_t m_i64At; // bytes of the file read well before its read fails
};

void PrintTo(const FailCase& c, std::ostream* os) {
    *os << c.m_name;
}

class ReadAheadFailure : public ::testing::TestWithParam<FailCase> {};

// The failed read of a block read ahead is told only once the block before it has been compared
// to its last chunk, as when that block was read after it.
TEST_P(ReadAheadFailure, IsToldWhereTheBlockIsDue) {
    const FailCase& c = GetParam();
    EngineRun r;
    r.ui.m_bPlainReads = true;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 3 * kBlock + 100, {5, kBlock + 5, 2 * kBlock + 5});
    r.ui.FailReads(c.m_bFileA ? a : b, static_cast<std::uint64_t>(c.m_i64At), EIO);

    EXPECT_EQ(r.Run(a, b, r.Log()), 0);

    EXPECT_EQ(r.ui.BoxTexts(),
              (std::vector<std::string>{c.m_bFileA ? "※ファイルAの読みとりに失敗"
                                                   : "※ファイルBの読みとりに失敗"}));
    EXPECT_EQ(r.engine->Result().m_i64Compared, c.m_i64At);
    EXPECT_EQ(r.engine->Result().m_i64DiffCount, c.m_i64At / kBlock);
    EXPECT_EQ(r.engine->Result().m_outcome, RunOutcome::kReadFailed);
    // Every chunk before it moved the bar, and nothing came after the box but the end.
    const std::vector<UiEvent> events = r.ui.Events();
    std::int64_t progress = 0;
    bool told = false;
    for (const UiEvent& e : events) {
        if (e.m_kind == UiEvent::Kind::Progress) {
            ++progress;
            EXPECT_FALSE(told) << "the bar moved after the box";
        }
        told = told || e.m_kind == UiEvent::Kind::Box;
    }
    EXPECT_EQ(progress, c.m_i64At / kChunk);
    EXPECT_EQ(r.Received(), (std::vector<UINT>{WM_DISABLE_CTRLS, WM_THREAD_END}));
}

INSTANTIATE_TEST_SUITE_P(Blocks, ReadAheadFailure,
                         ::testing::Values(FailCase{"a_second_block", true, kBlock},
                                           FailCase{"b_second_block", false, kBlock},
                                           FailCase{"a_last_block", true, 3 * kBlock},
                                           FailCase{"b_third_block", false, 2 * kBlock}),
                         [](const ::testing::TestParamInfo<FailCase>& info) {
                             return std::string(info.param.m_name);
                         });

// Holds the read of A's second block until released, and tells when the reads of both files'
// second blocks have begun.
struct SecondBlockGate {
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bReadingA = false, m_bReadingB = false, m_bReleased = false;
    int m_nProgress = 0;

    template <class Pred> bool WaitFor(Pred pred, int seconds = 20) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(seconds), pred);
    }
    void Set(bool& flag) {
        {
            std::lock_guard lock(m_mutex);
            flag = true;
        }
        m_cv.notify_all();
    }
};

TEST(ReadAhead, BothFilesAreReadAtOnceWhileTheBlockBeforeIsComparedAndAnAbortEndsTheWait) {
    EngineRun r;
    r.ui.m_bPlainReads = true;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 2 * kBlock + 100, {});
    SecondBlockGate gate;
    r.ui.m_onRead = [&, a](const std::string& path, std::int64_t pos) {
        if (pos != kBlock)
            return;
        gate.Set(path == a ? gate.m_bReadingA : gate.m_bReadingB);
        if (path == a)
            gate.WaitFor([&] { return gate.m_bReleased; });
    };
    bool overlapped = false;
    r.ui.m_onProgress = [&](int) {
        // The first chunk of the first block waits for both second blocks to be under way:
        // they could not be if the next block were read only after this one.
        if (gate.m_nProgress == 0)
            overlapped = gate.WaitFor([&] { return gate.m_bReadingA && gate.m_bReadingB; });
        std::lock_guard lock(gate.m_mutex);
        ++gate.m_nProgress;
        gate.m_cv.notify_all();
    };
    // Once the first block is compared the worker waits for A's second block, which does not
    // come: the window is closed meanwhile.
    bool gaveUp = false;
    std::thread closer([&] {
        gate.WaitFor([&] { return gate.m_nProgress == 16; });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        r.engine->m_bAbort = TRUE;
        for (int i = 0; i < 2000 && !gaveUp; ++i) {
            gaveUp = r.engine->Outcome() == RunOutcome::kAbandoned;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        gate.Set(gate.m_bReleased);
    });

    EXPECT_EQ(r.Run(a, b, r.Log()), 1);
    closer.join();

    EXPECT_TRUE(overlapped);
    EXPECT_TRUE(gaveUp) << "the worker waited for the read after the abort";
    EXPECT_EQ(r.engine->Result().m_i64Compared, kBlock);
    EXPECT_EQ(r.ui.BoxTexts(), std::vector<std::string>{});
    EXPECT_EQ(r.Received(), (std::vector<UINT>{WM_DISABLE_CTRLS}));
    // The window's clean-up closes what the abandoned run left open, after the read under way.
    r.engine->EndSearch();
    EXPECT_FALSE(r.engine->Result().m_bFilesOpen);
}

} // namespace
} // namespace enginetest
