#include "util/PathUtil.h"

#include "support/ProgramFolder.h"
#include "platform/Encoding.h"
#include "platform/FileStatus.h"
#include "platform/Format.h"
#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

#include <climits>

using namespace testsupport;

namespace {

// The trace as text, line ends as they lie on disk.
std::string TraceText(const ProgramFolder& prog) { return platform::Cp932ToUtf8(prog.Trace()); }

// --- Shift_JIS byte classes and the separator search -----------------------------------------

TEST(SjisBytes, ClassBoundaries) {
    const struct {
        int c;
        BOOL lead, trail;
    } table[] = {
        {0x3F, FALSE, FALSE}, {0x40, FALSE, TRUE}, {0x7E, FALSE, TRUE}, {0x7F, FALSE, FALSE},
        {0x80, FALSE, TRUE},  {0x81, TRUE, TRUE},  {0x9F, TRUE, TRUE},  {0xA0, FALSE, TRUE},
        {0xDF, FALSE, TRUE},  {0xE0, TRUE, TRUE},  {0xF5, TRUE, TRUE},  {0xF6, FALSE, TRUE},
        {0xFC, FALSE, TRUE},  {0xFD, FALSE, FALSE}, {0x00, FALSE, FALSE}, {0xFF, FALSE, FALSE},
    };
    for (auto t : table) {
        EXPECT_EQ(IsSjisLeadByte(static_cast<BYTE>(t.c)), t.lead) << std::hex << t.c;
        EXPECT_EQ(IsSjisTrailByte(static_cast<BYTE>(t.c)), t.trail) << std::hex << t.c;
    }
}

TEST(SjisReverseFind, SecondByteOfADoubleByteCharacterNeverMatches) {
    const struct {
        const char* str;
        char ch;
        int want;
    } table[] = {
        {"abc\\def\\g", '\\', 7},
        {"\x95\x5C", '\\', -1},                          // 表 alone
        {"C:\\\x95\x5C", '\\', 2},                       // folder ending in 表
        {"C:\\dir\x95\x5C\\file", '\\', 8},              // 表 ends a folder name
        {"C:\\\x83\x5C\\\x83\x5C.bin", '\\', 5},         // ソ in the folder and the file
        {"/data/\x95\x5C/\x83\x5C.bin", '/', 8},         // the Linux separator
        {"\xF5\x95\x5C", '\\', 2},                       // 0xF5 leads: 0x95 is its trail
        {"\xF6\x95\x5C", '\\', -1},                      // 0xF6 does not: 表 starts at 1
        {"\x80\x5C", '\\', 1},                           // 0x80 is no lead byte
        {"\xA0\x5C", '\\', 1},
        {"\xE0\x5C", '\\', -1},
        {"\x81\x7F", '\x7F', 1},                         // lead + non-trail: examined alone
        {"\x81\x7E", '\x7E', -1},
        {"\x81\x3F", '?', 1},
        {"\x81\x40", '@', -1},
        {"\x81\xFD", '\xFD', 1},
        {"\x81\xFC", '\xFC', -1},
        {"a\x95/b/", '/', 4},                            // "/" after a lead byte still counts
        {"", '\\', -1},
        // Searching for the terminator gives the length.
        {"", '\0', 0},
        {"abc", '\0', 3},
        {"\x95\x5C", '\0', 2},
        {"ab\x95", '\0', 3}, // a lead byte last: its "trail" is the terminator
    };
    for (auto t : table)
        EXPECT_EQ(SjisReverseFind(t.str, t.ch), t.want) << "string " << ::testing::PrintToString(
                                                               std::string(t.str));
    EXPECT_EQ(SjisReverseFind(nullptr, '/'), -1);
}

// --- SplitFileAndFold ---------------------------------------------------------------------------

TEST(SplitFileAndFold, LinuxPaths) {
    const struct {
        const char* path;
        BOOL result;
        const char* fold;
        const char* file;
    } table[] = {
        {"/data/a.bin", TRUE, "/data", "a.bin"},
        {"/a.bin", TRUE, "", "a.bin"}, // a file in the root: the folder is ""
        {"a.bin", FALSE, "a.bin", ""},
        {"/data/", TRUE, "/data", ""},
        {"/", FALSE, "/", ""},
        {"", FALSE, "", ""},
        {"/データ/表/ソ.bin", TRUE, "/データ/表", "ソ.bin"},
        {"/\x95\x5C/\x83\x5C.bin", TRUE, "/\x95\x5C", "\x83\x5C.bin"},
        {"/a/b/c/d", TRUE, "/a/b/c", "d"},
    };
    for (auto t : table) {
        std::string file = "stale", fold = "stale";
        EXPECT_EQ(SplitFileAndFold(t.path, &file, &fold), t.result) << t.path;
        EXPECT_EQ(fold, t.fold) << t.path;
        EXPECT_EQ(file, t.file) << t.path;
    }
}

TEST(SplitFileAndFold, PathMayAliasTheFolderString) {
    std::string fold = "/data/sub/a.bin", file;
    EXPECT_EQ(SplitFileAndFold(fold.c_str(), &file, &fold), TRUE);
    EXPECT_EQ(fold, "/data/sub");
    EXPECT_EQ(file, "a.bin");
}

TEST(SplitFileAndFold, NullPointersAreTracedAndChangeNothing) {
    ProgramFolder prog;
    std::string file = "f", fold = "d";
    EXPECT_EQ(SplitFileAndFold(nullptr, &file, &fold), FALSE);
    EXPECT_EQ(SplitFileAndFold("/x/y", nullptr, &fold), FALSE);
    EXPECT_EQ(SplitFileAndFold("/x/y", &file, nullptr), FALSE);
    EXPECT_EQ(file, "f");
    EXPECT_EQ(fold, "d");
    auto hex = [](const void* p) {
        return platform::Format("%I64X", static_cast<unsigned long long>(
                                             reinterpret_cast<std::uintptr_t>(p)));
    };
    std::string want;
    const char* head = "※引数が無効。SplitFileAndFold()\r\n";
    want += head + std::string("pStrFullPath=0, pStrFile=") + hex(&file) + ", pStrFold=" +
            hex(&fold) + "\r\n";
    const char* y = "/x/y";
    want += head + std::string("pStrFullPath=") + hex(y) + ", pStrFile=0, pStrFold=" + hex(&fold) +
            "\r\n";
    want += head + std::string("pStrFullPath=") + hex(y) + ", pStrFile=" + hex(&file) +
            ", pStrFold=0\r\n";
    EXPECT_EQ(TraceText(prog), want);
}

// --- AddComma ----------------------------------------------------------------------------------

TEST(AddComma, GroupsByThousandsFromTheRight) {
    const std::pair<std::string, std::string> table[] = {
        {"", ""},
        {"1", "1"},
        {"12", "12"},
        {"999", "999"},
        {"1000", "1,000"},
        {"9999", "9,999"},
        {"100000", "100,000"},
        {"999999", "999,999"},
        {"1234567", "1,234,567"},
        {"10000000", "10,000,000"},
        {"9223372036854775807", "9,223,372,036,854,775,807"},
    };
    for (const auto& [in, want] : table) {
        SCOPED_TRACE(in);
        std::string s = in;
        AddComma(&s);
        EXPECT_EQ(s, want) << in;
    }
    AddComma(nullptr); // must not crash
}

TEST(AddComma, ResultMustFitItsThousandCharacterArea) {
    std::string groups, digits750;
    for (int i = 0; i < 250; ++i) {
        digits750 += "123";
        groups += i ? ",123" : "123";
    }
    std::string s = digits750; // 750 digits + 249 commas = 999 characters: fits
    AddComma(&s);
    EXPECT_EQ(s.size(), 999u);
    EXPECT_EQ(s, groups);

    s = "4" + digits750; // 751 digits + 250 commas = 1001: left alone
    AddComma(&s);
    EXPECT_EQ(s, "4" + digits750);
}

// --- 64-bit values in message halves ------------------------------------------------------------

TEST(Int64Halves, RoundTrip) {
    const struct {
        std::int64_t value;
        std::uint32_t low;
        std::int32_t high;
    } table[] = {
        {0, 0, 0},
        {1, 1, 0},
        {-1, 0xFFFFFFFFu, -1},
        {0xFFFFFFFFll, 0xFFFFFFFFu, 0},
        {0x100000000ll, 0, 1},
        {5ll << 30, 0x40000000u, 1}, // 5 GiB
        {-(5ll << 30), 0xC0000000u, -2},
        {0x123456789ABCDEFll, 0x89ABCDEFu, 0x01234567},
        {INT64_MAX, 0xFFFFFFFFu, INT32_MAX},
        {INT64_MIN, 0, INT32_MIN},
    };
    for (auto t : table) {
        std::int32_t high = 12345;
        EXPECT_EQ(SplitInt64(t.value, &high), t.low) << t.value;
        EXPECT_EQ(high, t.high) << t.value;
        EXPECT_EQ(MakeInt64(t.low, t.high), t.value) << t.value;
    }
}

// --- free space, existence, write protection -----------------------------------------------------

TEST(CheckFoldFreeSize, MeasuresARealTinyDisk) {
    constexpr std::size_t kSize = 1 << 20;
    TinyTmpfs disk(kSize);
    OCTW_REQUIRE_TMPFS(disk);
    const std::uint64_t before = CheckFoldFreeSize(disk.Str().c_str());
    EXPECT_LE(before, kSize);
    EXPECT_GE(before, kSize - 64 * 1024);
    WriteFile(disk / "fill.bin", std::string(300 * 1024, 'x'));
    const std::uint64_t after = CheckFoldFreeSize(disk.Str().c_str());
    EXPECT_LE(after, before - 300 * 1024);
    EXPECT_EQ(CheckFoldFreeSize((disk / "fill.bin").c_str()), after); // the volume of a file
}

TEST(CheckFoldFreeSize, PathLengthLimit) {
    TempDir dir;
    // "/./././…" names the same folder at any length: 4095 bytes is still a path, 4096 is not.
    std::string path = dir.Str();
    while (path.size() + 2 <= PATH_MAX - 1)
        path += "/.";
    if (path.size() < PATH_MAX - 1)
        path += "/";
    ASSERT_EQ(path.size(), 4095u);
    EXPECT_GT(CheckFoldFreeSize(path.c_str()), 0u);
    path += "/";
    EXPECT_EQ(CheckFoldFreeSize(path.c_str()), 0u);
}

TEST(CheckFoldFreeSize, FailuresGiveZero) {
    ProgramFolder prog;
    EXPECT_EQ(CheckFoldFreeSize((prog / "missing").c_str()), 0u);
    EXPECT_EQ(CheckFoldFreeSize(""), 0u);
    EXPECT_EQ(TraceText(prog), "");
    EXPECT_EQ(CheckFoldFreeSize(nullptr), 0u);
    EXPECT_EQ(TraceText(prog), "※　引数が無効。CheckFoldFreeSize() \r\n");
}

TEST(CheckFoldFreeSize, AnsweredByTheScriptedBackend) {
    support::ScriptedUi ui;
    ui.SetFreeSpace(2047);
    EXPECT_EQ(CheckFoldFreeSize("/"), 2047u);
}

TEST(IxExistFile, AsksForTheRightKind) {
    ProgramFolder prog;
    WriteFile(prog / "a.bin", "x");
    const struct {
        std::string path;
        BOOL fold, want;
    } table[] = {
        {prog.Str(), TRUE, TRUE},          {prog.Str(), FALSE, FALSE},
        {prog / "a.bin", FALSE, TRUE},     {prog / "a.bin", TRUE, FALSE},
        {prog / "missing", FALSE, FALSE},  {prog / "missing", TRUE, FALSE},
        {"", FALSE, FALSE},                {"", TRUE, FALSE},
    };
    for (const auto& t : table)
        EXPECT_EQ(IxExistFile(t.path.c_str(), t.fold), t.want) << t.path << " fold " << t.fold;
    EXPECT_EQ(TraceText(prog), "");
    EXPECT_EQ(IxExistFile(nullptr, TRUE), FALSE);
    EXPECT_EQ(TraceText(prog), "※引数が無効。IxExistFile()\r\n");
}

TEST(IsFileReadOnly, HonoursMissingWriteBitsEvenForRoot) {
    ProgramFolder prog;
    WriteFile(prog / "rw.bin", "x");
    WriteFile(prog / "ro.bin", "x");
    MakeReadOnly(prog / "ro.bin");
    EXPECT_EQ(IsFileReadOnly((prog / "rw.bin").c_str()), 0);
    EXPECT_EQ(IsFileReadOnly((prog / "ro.bin").c_str()), 1);
    EXPECT_EQ(IsFileReadOnly((prog / "missing").c_str()), -1);
    EXPECT_EQ(IsFileReadOnly(""), -1);
    EXPECT_EQ(TraceText(prog), "");
    EXPECT_EQ(IsFileReadOnly(nullptr), -1);
    EXPECT_EQ(TraceText(prog), "※引数が無効です。IsFileReadOnly()\r\n");
}

// --- the executable's folder -------------------------------------------------------------------

TEST(GetModuleFold, FolderOfTheExecutable) {
    const std::pair<std::string, std::string> table[] = {
        {"/opt/octw/octetwatch", "/opt/octw"},
        {"/octetwatch", ""}, // in the root: "", never "/"
        {"/データ/表/octetwatch", "/データ/表"},
    };
    for (const auto& [exe, want] : table) {
        SCOPED_TRACE(exe);
        platform::OverrideExecutablePath(exe);
        std::string fold = "stale";
        EXPECT_EQ(GetModuleFold(&fold), 0);
        EXPECT_EQ(fold, want) << exe;
    }
    platform::OverrideExecutablePath("");
    EXPECT_EQ(GetModuleFold(nullptr), -1);
}

TEST(GetModuleFold, RealExecutable) {
    platform::OverrideExecutablePath("");
    std::string fold;
    ASSERT_EQ(GetModuleFold(&fold), 0);
    EXPECT_EQ(fold, fs::read_symlink("/proc/self/exe").parent_path().string());
    EXPECT_TRUE(fs::is_directory(fold));
    EXPECT_NE(fold.back(), '/');
}

} // namespace
