// The block plan, the chunks and the progress bar; differences wherever they fall; 64-bit sizes.
#include "EngineHarness.h"

#include <gtest/gtest.h>

namespace enginetest {
namespace {

constexpr std::int64_t kMiB = 1 << 20;
constexpr std::size_t kBlock = CMyMakeFile::kBlockSize;

std::vector<std::string> DiffLines(const std::string& log) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while ((pos = log.find(" h :   ", pos)) != std::string::npos) {
        const std::size_t begin = log.rfind('\n', pos) + 1;
        const std::size_t end = log.find('\n', pos) + 1;
        out.push_back(log.substr(begin, end - begin));
        pos = end;
    }
    return out;
}

TEST(BlockPlan, WorkedExampleReadsThreeBlocksAndMovesTheBar41Times) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    const std::int64_t size = 20 * kMiB + 100;
    MakePair(a, b, size, {});
    r.ui.m_bPlainReads = true; // the files are all holes: a map would spare every read

    ASSERT_EQ(r.Run(a, b, r.Log()), 0);

    EXPECT_EQ(r.ui.Reads(a), (std::vector<std::size_t>{kBlock, kBlock, 4 * kMiB + 100}));
    EXPECT_EQ(r.ui.Reads(b), (std::vector<std::size_t>{kBlock, kBlock, 4 * kMiB + 100}));
    std::vector<int> expected;
    for (std::int64_t chunk = 1; chunk <= 40; ++chunk)
        expected.push_back(static_cast<int>(chunk * 524288 * 100 / size));
    expected.push_back(100); // the tail of 100 bytes
    EXPECT_EQ(r.ui.ProgressPositions(), expected);
    EXPECT_EQ(r.engine->Result().m_i64Compared, size);
}

TEST(BlockPlan, ExactlyOneBlockEndsWithAReadOfNothingAndAnEmptyTail) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, kBlock, {kBlock - 1});
    r.ui.m_bPlainReads = true;

    ASSERT_EQ(r.Run(a, b, r.Log()), 0);

    EXPECT_EQ(r.ui.Reads(a), (std::vector<std::size_t>{kBlock, 0}));
    EXPECT_EQ(r.ui.ProgressPositions(), (std::vector<int>{6, 12, 18, 25, 31, 37, 43, 50, 56, 62,
                                                          68, 75, 81, 87, 93, 100, 100}));
    EXPECT_EQ(DiffLines(ReadFile(r.Log())), (std::vector<std::string>{Line(kBlock - 1, 0, 0x5A)}));
}

TEST(BlockPlan, EmptyFilesSetTheBarToTheEnd) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 0, {});

    ASSERT_EQ(r.Run(a, b, r.Log()), 0);

    EXPECT_EQ(r.ui.ProgressPositions(), (std::vector<int>{100}));
    EXPECT_EQ(r.ui.BoxTexts(), (std::vector<std::string>{"壊れたデータはありませんでした\n\n"
                                                         "FILE A :               0 BYTE\n"
                                                         "FILE B :               0 BYTE\n"
                                                         "SEARCH :               0 BYTE"}));
    const std::string header = ExpectedHeader(a, 0, b, 0, r.Log());
    const std::string log = ReadFile(r.Log());
    EXPECT_TRUE(IsFooter(log.substr(header.size())));
}

struct EdgeCase {
    const char* m_name;
    std::int64_t m_size;
    std::vector<std::int64_t> m_diffs;
};

void PrintTo(const EdgeCase& c, std::ostream* os) { *os << c.m_name; }

class DifferencesAtEdges : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(DifferencesAtEdges, EveryDifferenceIsLoggedStoredAndCountedInOrder) {
    const EdgeCase& c = GetParam();
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, c.m_size, c.m_diffs);

    RunOptions opt;
    opt.m_bUseDB = true;
    ASSERT_EQ(r.Run(a, b, r.Log(), opt), 0);

    std::vector<std::string> expected;
    for (std::int64_t d : c.m_diffs)
        expected.push_back(Line(d, 0, 0x5A));
    EXPECT_EQ(DiffLines(ReadFile(r.Log())), expected);
    EXPECT_EQ(r.engine->Result().m_i64DiffCount, static_cast<std::int64_t>(c.m_diffs.size()));
    ASSERT_EQ(r.store.GetDiffNum(), static_cast<std::int64_t>(c.m_diffs.size()));
    for (std::uint32_t i = 0; i < c.m_diffs.size(); ++i) {
        std::int64_t adrs = -1;
        BYTE da = 1, db = 1;
        ASSERT_TRUE(r.store.GetDiffData(i, &adrs, &da, &db));
        EXPECT_EQ(adrs, c.m_diffs[i]);
        EXPECT_EQ(da, 0x00);
        EXPECT_EQ(db, 0x5A);
    }
}

constexpr std::int64_t kChunk = CMyMakeFile::kChunkSize;
INSTANTIATE_TEST_SUITE_P(
    Edges, DifferencesAtEdges,
    ::testing::Values(
        EdgeCase{"chunk_and_block_boundaries", kBlock + 600 * 1024,
                 {0, kChunk - 1, kChunk, kBlock - 1, kBlock, kBlock + kChunk - 1, kBlock + kChunk,
                  kBlock + 600 * 1024 - 1}},
        EdgeCase{"last_byte_in_the_tail", 3 * kChunk + 7, {3 * kChunk + 6}},
        EdgeCase{"last_byte_in_the_last_whole_chunk", 2 * kChunk, {0, 2 * kChunk - 1}},
        EdgeCase{"every_byte_differs", 300, [] {
                     std::vector<std::int64_t> all;
                     for (std::int64_t i = 0; i < 300; ++i)
                         all.push_back(i);
                     return all;
                 }()},
        EdgeCase{"one_byte_file", 1, {0}}),
    [](const ::testing::TestParamInfo<EdgeCase>& info) { return std::string(info.param.m_name); });

TEST(LargeFiles, AddressesCountsAndProgressBeyondFourGiB) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    const std::int64_t size = (std::int64_t{1} << 32) + 100;
    const std::vector<std::int64_t> diffs{0xFFFFFFFF, 0x100000000, 0x100000005, size - 1};
    MakePair(a, b, size, diffs);

    RunOptions opt;
    opt.m_bDisplay = true;
    opt.m_bUseDB = true;
    ASSERT_EQ(r.Run(a, b, r.Log(), opt), 0);

    EXPECT_EQ(DiffLines(ReadFile(r.Log())),
              (std::vector<std::string>{"00FFFFFFFF h :   00      5A\r\n",
                                        "0100000000 h :   00      5A\r\n",
                                        "0100000005 h :   00      5A\r\n",
                                        "0100000063 h :   00      5A\r\n"}));
    // The live display gets each address and count in two halves.
    std::vector<std::tuple<UINT, WPARAM, LPARAM>> shown;
    for (const auto& m : r.window.m_messages)
        if (std::get<0>(m) >= WM_DIFF_ADRS && std::get<0>(m) <= WM_DIFF_COUNT)
            shown.push_back(m);
    ASSERT_EQ(shown.size(), 12u);
    EXPECT_EQ(shown[6], std::make_tuple(WM_DIFF_ADRS, WPARAM{5}, LPARAM{1}));
    EXPECT_EQ(shown[7], std::make_tuple(WM_DIFF_DATA, WPARAM{0x00}, LPARAM{0x5A}));
    EXPECT_EQ(shown[8], std::make_tuple(WM_DIFF_COUNT, WPARAM{3}, LPARAM{0}));

    const std::vector<int> pos = r.ui.ProgressPositions();
    ASSERT_EQ(pos.size(), 8192u + 1u); // 8192 whole chunks and the tail
    EXPECT_EQ(pos[2047], 24);          // 1 GiB of 4 GiB + 100 bytes
    EXPECT_EQ(pos[8191], 99);
    EXPECT_EQ(pos.back(), 100);
    EXPECT_TRUE(std::is_sorted(pos.begin(), pos.end()));
    EXPECT_EQ(r.engine->Result().m_i64Compared, size);
    EXPECT_NE(r.ui.BoxTexts()[0].find("SEARCH :   4,294,967,396 BYTE"), std::string::npos);
}

} // namespace
} // namespace enginetest
