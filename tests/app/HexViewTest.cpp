// The view of both files behind the difference map: its rows, its texts, and the way from one
// differing byte to the next and back, on real files.
#include "app/CMyHexView.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>

namespace {

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i * 29 + 3);
    return s;
}

// FILE A and FILE B differing at `diffs`, with the map a run over them would have counted.
class HexViewTest : public ::testing::Test {
protected:
    void Make(std::size_t n, const std::set<std::int64_t>& diffs, std::size_t extraB = 0) {
        m_a = Pattern(n);
        m_b = Pattern(n + extraB);
        for (std::int64_t d : diffs)
            m_b[static_cast<std::size_t>(d)] = static_cast<char>(~m_b[static_cast<std::size_t>(d)]);
        testsupport::WriteFile(m_dir / "a", m_a);
        testsupport::WriteFile(m_dir / "b", m_b);
        m_map.Reset(static_cast<std::int64_t>(n));
        for (std::int64_t d : diffs)
            m_map.Add(d);
        m_view.SetFiles(m_dir / "a", m_dir / "b");
    }
    std::vector<std::int64_t> Walk(bool bForward, std::int64_t i64From) {
        std::vector<std::int64_t> seen;
        std::int64_t at = i64From, next = 0;
        while ((bForward ? m_view.NextDiff(at, &next) : m_view.PrevDiff(at, &next)) == 1) {
            if (seen.size() > 100000) // a loop, not a walk
                break;
            seen.push_back(next);
            at = next;
        }
        return seen;
    }

    testsupport::TempDir m_dir;
    std::string m_a, m_b;
    CMyDiffMap m_map;
    CMyHexView m_view{m_map};
};

TEST_F(HexViewTest, NextAndPreviousVisitEveryDifferenceInOrder) {
    struct Case {
        std::size_t n;
        std::set<std::int64_t> diffs;
    };
    const Case cases[] = {
        {100, {0, 1, 2, 50, 99}},                       // a bucket per byte
        {10000, {0, 17, 4095, 4096, 4097, 9999}},       // buckets of two or three bytes
        {3 << 20, {5, 0x10000 - 1, 0x10000, 0x2FFFFF}}, // across 64 KiB edges
        {3 << 20, {0x180000}},                          // one difference mid-file
        {4096, {}},
    };
    for (const Case& c : cases) {
        Make(c.n, c.diffs);
        const std::vector<std::int64_t> forward(c.diffs.begin(), c.diffs.end());
        const std::vector<std::int64_t> backward(c.diffs.rbegin(), c.diffs.rend());
        EXPECT_EQ(Walk(true, -1), forward) << c.n;
        EXPECT_EQ(Walk(false, static_cast<std::int64_t>(c.n)), backward) << c.n;
        // From past either end, and from the middle of a bucket.
        std::int64_t at = 0;
        EXPECT_EQ(m_view.NextDiff(static_cast<std::int64_t>(c.n) + 5, &at), 0);
        EXPECT_EQ(m_view.PrevDiff(0, &at), 0);
        if (!forward.empty()) {
            EXPECT_EQ(m_view.PrevDiff(static_cast<std::int64_t>(c.n) * 2, &at), 1);
            EXPECT_EQ(at, backward.front());
        }
    }
}

// Buckets the map counted nothing in are not read: a byte changed there after the run is passed
// over, the counted ones are still found.
TEST_F(HexViewTest, BucketsWithoutCountedDifferencesAreSkippedUnread) {
    Make(1 << 20, {0x1000, 0x80000});
    m_b[0x40000] = static_cast<char>(~m_b[0x40000]);
    testsupport::WriteFile(m_dir / "b", m_b);
    EXPECT_EQ(Walk(true, -1), (std::vector<std::int64_t>{0x1000, 0x80000}));
    EXPECT_EQ(Walk(false, 1 << 20), (std::vector<std::int64_t>{0x80000, 0x1000}));
}

// Half a GiB: buckets of 128 KiB, each read in two pieces, from either end.
TEST_F(HexViewTest, ABucketLongerThanOneReadIsReadPieceByPiece) {
    constexpr std::int64_t kSize = 1LL << 29;
    testsupport::MakeSparse(m_dir / "a", kSize);
    testsupport::MakeSparse(m_dir / "b", kSize);
    const std::vector<std::int64_t> diffs = {5, 0x1FFFF, 0x20000, kSize - 1};
    m_map.Reset(kSize);
    for (std::int64_t d : diffs) {
        testsupport::PokeByte(m_dir / "b", d, 0xA5);
        m_map.Add(d);
    }
    m_view.SetFiles(m_dir / "a", m_dir / "b");
    EXPECT_EQ(Walk(true, -1), diffs);
    EXPECT_EQ(Walk(false, kSize), std::vector<std::int64_t>(diffs.rbegin(), diffs.rend()));
}

TEST_F(HexViewTest, RowsShowBothFilesWithTheDifferingBytesMarked) {
    // FILE B is 20 bytes longer: its tail has no partner, and nothing past the compared length
    // is marked.
    Make(100, {0x21, 0x2F, 0x63}, 20);
    std::vector<HexRow> rows;
    ASSERT_EQ(m_view.ReadRows(0x25, 16, &rows), 0);
    ASSERT_EQ(rows.size(), 6u); // 0x20 to 0x77
    EXPECT_EQ(rows[0].m_i64Adrs, 0x20);
    EXPECT_EQ(rows[0].m_nDiffMask, (1u << 1) | (1u << 15));
    EXPECT_EQ(static_cast<char>(rows[0].m_abA[1]), m_a[0x21]);
    EXPECT_EQ(static_cast<char>(rows[0].m_abB[1]), m_b[0x21]);
    EXPECT_EQ(rows[4].m_nCountA, 4); // FILE A ends at 0x64
    EXPECT_EQ(rows[4].m_nCountB, 16);
    EXPECT_EQ(rows[4].m_nDiffMask, 1u << 3);
    EXPECT_EQ(rows[5].m_nCountA, 0);
    EXPECT_EQ(rows[5].m_nCountB, 8);
    EXPECT_EQ(rows[5].m_nDiffMask, 0u);
}

TEST_F(HexViewTest, TextsWriteAddressesAsTheLogDoes) {
    struct Case {
        std::int64_t adrs;
        const char* text;
    };
    for (const Case& c :
         {Case{0, "0000000000 h"}, Case{0x1F400, "000001F400 h"},
          Case{0xFFFFFFFFFFLL, "FFFFFFFFFF h"}, Case{0x123456789ABLL, "123456789AB h"}})
        EXPECT_EQ(CMyHexView::AdrsText(c.adrs), c.text);

    HexRow row;
    row.m_nCountA = 3;
    row.m_nCountB = 16;
    const BYTE a[] = {0x00, 0xAB, 0x7F};
    std::copy(std::begin(a), std::end(a), row.m_abA);
    std::fill(std::begin(row.m_abB), std::end(row.m_abB), 0xE0);
    EXPECT_EQ(CMyHexView::HexText(row, 0), "00 AB 7F" + std::string(39, ' '));
    std::string b;
    for (int i = 0; i < 16; ++i)
        b += i ? " E0" : "E0";
    EXPECT_EQ(CMyHexView::HexText(row, 1), b);

    CMyDiffMap map;
    map.Reset(0x1000000);
    for (std::int64_t i = 0; i < 1234; ++i)
        map.Add(0x1F400 + i);
    EXPECT_EQ(CMyHexView::BucketText(map, map.BucketOf(0x1F400)),
              "000001F000 h - 000001FFFF h  不一致 1,234 バイト");
}

TEST_F(HexViewTest, AFileThatCannotBeOpenedIsNamed) {
    Make(64, {3});
    std::vector<HexRow> rows;
    std::int64_t at = 0;
    m_view.SetFiles(m_dir / "a", m_dir / "gone");
    EXPECT_EQ(m_view.ReadRows(0, 4, &rows), -1);
    EXPECT_EQ(m_view.ErrorFile(), 1);
    EXPECT_EQ(m_view.Error(), ENOENT);
    m_view.SetFiles(m_dir / "gone", m_dir / "b");
    EXPECT_EQ(m_view.NextDiff(-1, &at), -1);
    EXPECT_EQ(m_view.ErrorFile(), 0);
}

} // namespace
