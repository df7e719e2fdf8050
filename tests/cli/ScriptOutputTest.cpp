// What the command line prints besides the boxes: the picture's columns and levels, and the
// JSON summary's text.
#include "cli/JsonOutput.h"
#include "cli/MapPicture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Bars(const char* pattern) {
    static const char* const kBars[] = {"▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};
    std::string out;
    for (const char* p = pattern; *p != '\0'; ++p)
        out += kBars[*p - '0'];
    return out;
}

// Buckets are folded into the columns, or stretched over them when they are fewer; a column
// with any difference is never drawn as one without.
TEST(MapPicture, ColumnsTakeTheirShareOfTheBuckets) {
    std::vector<std::int64_t> crowdThenOne;
    for (std::int64_t a = 0; a < 2000; ++a)
        crowdThenOne.push_back(a);
    crowdThenOne.push_back(5 << 17);
    const struct {
        std::int64_t m_length;
        std::vector<std::int64_t> m_diffs;
        int m_columns;
        const char* m_bars; // levels 0 to 7
        const char* m_last;
    } cases[] = {
        // 5 one-byte buckets stretched over 8 columns (the fewest drawn): columns 0,0,1,1,2,3,3,4.
        {5, {4}, 30, "00000007", "0000000004"},
        {5, {0, 1, 1, 2}, 30, "44774000", "0000000004"},
        // 4,096 buckets into 8 columns of 512 (128 KiB); one difference beside 2,000 is seen.
        {1 << 20, crowdThenOne, 30, "70000100", "00000FFFFF"},
        {std::int64_t{1} << 33, {(std::int64_t{1} << 33) - 1}, 38, "0000000000000007", "01FFFFFFFF"},
    };
    for (const auto& c : cases) {
        CMyDiffMap map;
        map.Reset(c.m_length);
        for (std::int64_t a : c.m_diffs)
            map.Add(a);
        EXPECT_EQ(MapPicture(map, c.m_columns),
                  std::string("0000000000 ") + Bars(c.m_bars) + " " + c.m_last);
    }
    CMyDiffMap empty;
    empty.Reset(0);
    EXPECT_EQ(MapPicture(empty, 80), "");
    EXPECT_EQ(SummaryEnding(empty, "/x/Result.txt", 80), "LOG    : /x/Result.txt\n");
}

// The log's path is a JSON string whatever bytes it has.
TEST(JsonSummary, PathIsEscapedAndKeptUtf8) {
    CMyDiffMap map;
    map.Reset(3);
    map.Add(2);
    RunReport report;
    report.m_run.m_outcome = RunOutcome::kCompleted;
    report.m_run.m_i64SizeA = report.m_run.m_i64SizeB = report.m_run.m_i64SearchSize = 3;
    report.m_run.m_i64DiffCount = report.m_i64Ranges = 1;
    report.m_strLog = "/d/\"q\"\\\t\x7f\xff\xe3\x81\x82\xed\xa0\x80.txt";
    report.m_pMap = &map;
    EXPECT_EQ(JsonSummary(report),
              "{\"summary\":{\"outcome\":\"completed\",\"reason\":null,\"same\":false,\"size_a\":3,"
              "\"size_b\":3,\"compared\":3,\"differences\":1,\"ranges\":1,\"log\":"
              "\"/d/\\\"q\\\"\\\\\\u0009\\u007F\\uFFFD\xe3\x81\x82\\uFFFD\\uFFFD\\uFFFD.txt\","
              "\"map\":{\"length\":3,\"buckets\":3,\"counts\":[0,0,1]}}}");
}

} // namespace
