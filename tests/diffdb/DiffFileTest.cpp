// The database file: its path rules and its bytes.
#include "support/ProgramFolder.h"
#include "support/TestSupport.h"

#include "diffdb/CMyDiffDBReader.h"
#include "diffdb/CMyDiffDataBase.h"
#include "platform/Encoding.h"
#include "support/ScriptedUi.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using testsupport::OnDisk;

using testsupport::ReadFile;
using testsupport::WriteFile;

std::string Le64(std::uint64_t v) {
    std::string out;
    for (int i = 0; i < 8; ++i, v >>= 8)
        out.push_back(static_cast<char>(v & 0xFF));
    return out;
}

std::string Record(std::int64_t adrs, char a, char b) {
    return Le64(static_cast<std::uint64_t>(adrs)) + a + b;
}

// --- path rules ---

struct PathCase {
    const char* m_name;
    std::string m_path; // "@" stands for the test's folder
    const char* m_trace; // nullptr: accepted
};

class DatabasePath : public ::testing::TestWithParam<PathCase> {};

TEST_P(DatabasePath, RulesInOrder) {
    const PathCase& c = GetParam();
    testsupport::ProgramFolder prog;
    testsupport::TempDir dir;
    WriteFile(dir / "plain-file", "x");
    std::string path = c.m_path;
    if (auto at = path.find('@'); at != std::string::npos)
        path.replace(at, 1, dir.Str());
    CMyDiffDataBase store;
    const std::string before = prog / "DiffData.db";
    ASSERT_TRUE(store.SetFileName(before.c_str()));

    const BOOL ok = store.SetFileName(path.c_str());

    if (c.m_trace == nullptr) {
        EXPECT_TRUE(ok);
        EXPECT_EQ(store.GetFileName(), path);
        EXPECT_EQ(prog.Trace(), "");
    } else {
        EXPECT_FALSE(ok);
        EXPECT_EQ(store.GetFileName(), before);
        std::string expected = c.m_trace;
        if (auto at = expected.find('@'); at != std::string::npos)
            expected.replace(at, 1, path);
        EXPECT_EQ(prog.Trace(), OnDisk(expected));
    }
}

const std::string kSize = "※無効なファイル名サイズです。CMyDiffDataBase::SetFileName()\n\tFileName[@], NameLen[";
const char* const kName = "※無効なファイル名です。CMyDiffDataBase::SetFileName()\n\tFileName[@]\n";
const char* const kPath = "※無効なパスです。CMyDiffDataBase::SetFileName()\n\tFileName[@]\n";
const char* const kFold =
    "※指定したDBファイルパスのフォルダは存在しません。CMyDiffDataBase::SetFileName()\n\tFileName[@]\n";
const std::string kSize0 = kSize + "0]\n";
const std::string kSize1 = kSize + "1]\n";
const std::string kSize4096 = kSize + "4096]\n";

INSTANTIATE_TEST_SUITE_P(
    Rules, DatabasePath,
    ::testing::Values(
        PathCase{"empty", "", kSize0.c_str()},
        PathCase{"bare_root", "/", kSize1.c_str()},
        PathCase{"shortest", "/x", nullptr},
        PathCase{"in_the_root", "/DiffData.db", nullptr},
        PathCase{"relative", "DiffData.db", kName},
        PathCase{"relative_two_bytes", "ab", kName},
        PathCase{"dot_relative", "./x/DiffData.db", kName},
        PathCase{"ends_in_separator", "@/", kPath},
        PathCase{"empty_folder_name", "@//DiffData.db", kPath},
        PathCase{"double_separator_at_root", "//DiffData.db", kPath},
        PathCase{"folder_missing", "@/no-such-folder/DiffData.db", kFold},
        PathCase{"folder_is_a_file", "@/plain-file/DiffData.db", kFold},
        PathCase{"in_an_existing_folder", "@/DiffData.db", nullptr},
        PathCase{"japanese_name", "@/差分データ.db", nullptr},
        PathCase{"longest_in_the_root", std::string("/").append(4094, 'n'), nullptr},
        PathCase{"too_long", std::string("/").append(4095, 'n'), kSize4096.c_str()}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.m_name); });

TEST(DatabasePathLength, ExactlyTheLimitPassesAndOneMoreFails) {
    testsupport::ProgramFolder prog;
    testsupport::TempDir dir;
    CMyDiffDataBase store;
    const std::string prefix = dir.Str() + "/";
    const std::string limit = prefix + std::string(4095 - prefix.size(), 'n');
    ASSERT_EQ(limit.size(), 4095u);
    EXPECT_TRUE(store.SetFileName(limit.c_str()));
    const std::string over = limit + "n";
    EXPECT_FALSE(store.SetFileName(over.c_str()));
    EXPECT_EQ(store.GetFileName(), limit);
}

TEST(DatabasePathLength, NullAndOpenFileAreRefused) {
    testsupport::ProgramFolder prog;
    CMyDiffDataBase store;
    EXPECT_FALSE(store.SetFileName(nullptr));
    store.m_bFileOpen = TRUE;
    EXPECT_FALSE(store.SetFileName("/x"));
    store.m_bFileOpen = FALSE;
    EXPECT_EQ(prog.Trace(), OnDisk("※引数が無効。CMyDiffDataBase::SetFileName()\n"
                                   "※既にファイルが開かれています。CMyDiffDataBase::SetFileName()\n"));
}

// --- the file ---

TEST(DatabaseFile, OneDifferenceGivesTheEighteenBytes) {
    testsupport::ProgramFolder prog;
    CMyDiffDataBase store;
    store.AddDiffData(0x10, 0x41, 0x42);
    const std::string path = prog / "DiffData.db";
    ASSERT_TRUE(store.SaveDBFileData(path.c_str()));
    EXPECT_EQ(ReadFile(path), std::string("\x01\0\0\0\0\0\0\0\x10\0\0\0\0\0\0\0\x41\x42", 18));
    EXPECT_FALSE(store.m_bFileOpen);
    EXPECT_EQ(store.m_nFile, -1);
}

TEST(DatabaseFile, LongerOldFileIsReplacedAndEveryRecordIsInPlace) {
    testsupport::ProgramFolder prog;
    CMyDiffDataBase store;
    const std::string path = prog / "DiffData.db";
    WriteFile(path, std::string(200000, '\xEE'));
    // More records than one write carries, so the gathering across writes is covered.
    const std::int64_t n = 10007;
    for (std::int64_t i = 0; i < n; ++i)
        store.AddDiffData(0x0102030405060708 + i * 3, static_cast<BYTE>(i), static_cast<BYTE>(~i));

    ASSERT_TRUE(store.SaveDBFileData(path.c_str()));

    const std::string bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), static_cast<std::size_t>(8 + 10 * n));
    EXPECT_EQ(bytes.substr(0, 8), Le64(n));
    for (std::int64_t i = 0; i < n; ++i) {
        const std::string rec = bytes.substr(static_cast<std::size_t>(8 + 10 * i), 10);
        ASSERT_EQ(rec.substr(0, 8), Le64(0x0102030405060708 + i * 3)) << i;
        ASSERT_EQ(static_cast<BYTE>(rec[8]), static_cast<BYTE>(i)) << i;
        ASSERT_EQ(static_cast<BYTE>(rec[9]), static_cast<BYTE>(~i)) << i;
    }
    EXPECT_TRUE(store.m_bHasData);
}

TEST(DatabaseFile, EmptyStoreWritesEightZeroBytes) {
    testsupport::ProgramFolder prog;
    CMyDiffDataBase store;
    const std::string path = prog / "DiffData.db";
    ASSERT_TRUE(store.SaveDBFileData(path.c_str()));
    EXPECT_EQ(ReadFile(path), std::string(8, '\0'));
    EXPECT_FALSE(store.m_bHasData);
}

TEST(DatabaseFile, RefusedPathTouchesNoFile) {
    testsupport::ProgramFolder prog;
    CMyDiffDataBase store;
    store.AddDiffData(1, 2, 3);
    const std::string path = prog / "missing-folder/DiffData.db";
    EXPECT_FALSE(store.SaveDBFileData(path.c_str()));
    EXPECT_FALSE(std::filesystem::exists(prog / "missing-folder"));
}

TEST(DatabaseFile, OpenFailureIsTracedAndLeavesTheFileAlone) {
    testsupport::ProgramFolder prog;
    CMyDiffDataBase store;
    store.AddDiffData(1, 2, 3);
    const std::string path = prog / "folder.db";
    std::filesystem::create_directory(path);
    EXPECT_FALSE(store.SaveDBFileData(path.c_str()));
    EXPECT_NE(prog.Trace().find(OnDisk("※書き込みファイルのオープンに失敗。SaveDBFileData()\n\tFileName[" +
                                       path + "]\n")),
              std::string::npos);
    EXPECT_EQ(store.m_nFile, -1);
    EXPECT_FALSE(store.m_bFileOpen);
}

// The names a folder holds, sorted.
std::vector<std::string> Names(const std::string& fold) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(fold))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

const std::string kOldDatabase = Le64(1) + Record(0x10, 'A', 'B');

struct WriteFailure {
    const char* m_name;
    std::uint64_t m_after; // bytes the disk takes
    int m_err;
    int m_closeErr; // what closing the file reports
};

class DatabaseWriteFails : public ::testing::TestWithParam<WriteFailure> {};

TEST_P(DatabaseWriteFails, SaveReportsFalseAndKeepsTheOldDatabaseWhole) {
    testsupport::ProgramFolder prog;
    support::ScriptedUi ui;
    CMyDiffDataBase store;
    for (int i = 0; i < 5000; ++i)
        store.AddDiffData(i, 1, 2);
    const std::string path = prog / "DiffData.db";
    WriteFile(path, kOldDatabase);
    ui.FailWrites(path, GetParam().m_after, GetParam().m_err);
    ui.FailCloses(path, GetParam().m_closeErr);

    EXPECT_FALSE(store.SaveDBFileData(path.c_str()));

    EXPECT_EQ(ReadFile(path), kOldDatabase);
    EXPECT_EQ(Names(prog.Str()), std::vector<std::string>{"DiffData.db"});
    EXPECT_FALSE(store.m_bFileOpen);
    EXPECT_EQ(store.m_nFile, -1);
    // The path is free to change again.
    EXPECT_TRUE(store.SetFileName(path.c_str()));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DatabaseWriteFails,
    ::testing::Values(WriteFailure{"header", 0, ENOSPC, 0},
                      WriteFailure{"header_cut_short", 5, EIO, 0},
                      WriteFailure{"first_record", 8 + 3, ENOSPC, 0},
                      WriteFailure{"later_records", 8 + 10 * 4500, EIO, 0},
                      WriteFailure{"close", 1u << 30, 0, EIO}),
    [](const ::testing::TestParamInfo<WriteFailure>& info) { return std::string(info.param.m_name); });

TEST(DatabaseFile, FullDiskKeepsTheOldDatabaseAndLeavesNoOtherFile) {
    testsupport::TinyTmpfs disk(64 * 1024);
    OCTW_REQUIRE_TMPFS(disk);
    testsupport::ProgramFolder prog;
    const std::string path = disk / "DiffData.db";
    WriteFile(path, kOldDatabase);
    CMyDiffDataBase store;
    for (int i = 0; i < 10000; ++i) // 100,008 bytes
        store.AddDiffData(i, 1, 2);
    EXPECT_FALSE(store.SaveDBFileData(path.c_str()));
    EXPECT_EQ(ReadFile(path), kOldDatabase);
    EXPECT_EQ(Names(disk.Str()), std::vector<std::string>{"DiffData.db"});

    CMyDiffDataBase small;
    small.AddDiffData(7, 'x', 'y');
    ASSERT_TRUE(small.SaveDBFileData(path.c_str()));
    EXPECT_EQ(ReadFile(path), Le64(1) + Record(7, 'x', 'y'));
    EXPECT_EQ(Names(disk.Str()), std::vector<std::string>{"DiffData.db"});
}

// A link planted at the database's path is replaced; the file it names is never written.
TEST(DatabaseFile, LinkAtThePathIsReplacedNotFollowed) {
    testsupport::ProgramFolder prog;
    testsupport::TempDir other;
    WriteFile(other / "notes", "mine");
    const std::string path = prog / "DiffData.db";
    std::filesystem::create_symlink(other / "notes", path);
    CMyDiffDataBase store;
    store.AddDiffData(0x10, 0x41, 0x42);
    ASSERT_TRUE(store.SaveDBFileData(path.c_str()));
    EXPECT_EQ(ReadFile(other / "notes"), "mine");
    EXPECT_FALSE(std::filesystem::is_symlink(path));
    EXPECT_EQ(ReadFile(path), kOldDatabase);
}

TEST(DatabaseFile, WriteDiffRecordWritesTenBytesAtThePosition) {
    testsupport::ProgramFolder prog;
    CMyDiffDataBase store;
    store.AddDiffData(0x1122334455667788, 0xAA, 0xBB);
    const std::string path = prog / "rec.bin";
    store.m_nFile = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(store.m_nFile, 0);
    store.m_bFileOpen = TRUE;
    EXPECT_TRUE(store.WriteDiffRecord(0));
    EXPECT_FALSE(store.WriteDiffRecord(1)); // no such record
    store.ResetDiffData();                  // closes a handle left open
    EXPECT_EQ(store.m_nFile, -1);
    EXPECT_EQ(ReadFile(path), Le64(0x1122334455667788) + "\xAA\xBB");
}

// --- reading it back ---

TEST(DatabaseReader, ReadsBackWhatTheStoreWrote) {
    testsupport::ProgramFolder prog;
    CMyDiffDataBase written;
    const std::int64_t big = (std::int64_t{1} << 40) + 7;
    written.AddDiffData(0, 0x00, 0xFF);
    written.AddDiffData(0x10, 0x41, 0x42);
    written.AddDiffData(big, 0x80, 0x7F);
    const std::string path = prog / "DiffData.db";
    ASSERT_TRUE(written.SaveDBFileData(path.c_str()));

    CMyDiffDataBase store;
    CMyDiffDBReader reader;
    ASSERT_TRUE(reader.ReadDBFileData(path.c_str(), &store));
    EXPECT_EQ(store.GetDiffNum(), 3);
    EXPECT_EQ(store.m_ai64Adrs, written.m_ai64Adrs);
    EXPECT_EQ(store.m_abDataA, written.m_abDataA);
    EXPECT_EQ(store.m_abDataB, written.m_abDataB);
    EXPECT_TRUE(store.m_bHasData);
    EXPECT_EQ(prog.Trace(), "");
}

struct DamagedCase {
    const char* m_name;
    std::string m_bytes;
    int m_nRefusal;
    std::int64_t m_i64Index; // the record named, -1 for none
};

class DatabaseReaderRefuses : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DatabaseReaderRefuses, AndLeavesTheStoreEmpty) {
    const DamagedCase& c = GetParam();
    testsupport::TempDir dir;
    WriteFile(dir / "DiffData.db", c.m_bytes);
    CMyDiffDataBase store;
    store.AddDiffData(5, 1, 2); // what an earlier read left
    CMyDiffDBReader reader;
    EXPECT_FALSE(reader.ReadDBFileData((dir / "DiffData.db").c_str(), &store));
    EXPECT_EQ(reader.m_nRefusal, c.m_nRefusal);
    EXPECT_EQ(reader.m_i64Index, c.m_i64Index);
    EXPECT_EQ(store.GetDiffNum(), 0);
    EXPECT_TRUE(store.m_ai64Adrs.empty());
    EXPECT_FALSE(store.m_bHasData);
}

const std::string kTwo = Le64(2) + Record(1, 'A', 'B');

INSTANTIATE_TEST_SUITE_P(
    Damaged, DatabaseReaderRefuses,
    ::testing::Values(
        DamagedCase{"empty", "", CMyDiffDBReader::kRefusalSize, -1},
        DamagedCase{"header_cut", Le64(0).substr(0, 7), CMyDiffDBReader::kRefusalSize, -1},
        DamagedCase{"record_cut", Le64(1) + Record(1, 'A', 'B').substr(0, 9),
                    CMyDiffDBReader::kRefusalSize, -1},
        DamagedCase{"count_above_size", kTwo, CMyDiffDBReader::kRefusalCount, -1},
        DamagedCase{"count_below_size", Le64(0) + Record(1, 'A', 'B'),
                    CMyDiffDBReader::kRefusalCount, -1},
        // A count that would ask for exabytes if it were believed.
        DamagedCase{"count_huge", Le64(std::uint64_t{1} << 62) + Record(1, 'A', 'B'),
                    CMyDiffDBReader::kRefusalCount, -1},
        DamagedCase{"count_negative", Le64(~std::uint64_t{0}) + Record(1, 'A', 'B'),
                    CMyDiffDBReader::kRefusalCount, -1},
        DamagedCase{"negative_address", Le64(2) + Record(1, 'A', 'B') + Record(-1, 'A', 'B'),
                    CMyDiffDBReader::kRefusalNegativeAdrs, 1},
        DamagedCase{"address_repeated", Le64(2) + Record(7, 'A', 'B') + Record(7, 'C', 'D'),
                    CMyDiffDBReader::kRefusalOrder, 1},
        DamagedCase{"address_going_back",
                    Le64(3) + Record(7, 'A', 'B') + Record(9, 'A', 'B') + Record(8, 'A', 'B'),
                    CMyDiffDBReader::kRefusalOrder, 2},
        DamagedCase{"no_difference", Le64(1) + Record(7, 'A', 'A'),
                    CMyDiffDBReader::kRefusalSameBytes, 0}),
    [](const ::testing::TestParamInfo<DamagedCase>& info) { return std::string(info.param.m_name); });

TEST(DatabaseReader, MoreRecordsThanTheStoreKeepsAreRefusedUnread) {
    testsupport::TempDir dir;
    CMyDiffDataBase store;
    CMyDiffDBReader reader;
    // A sparse file of 1,000,001 records: refused on its size alone.
    testsupport::MakeSparse(dir / "big.db", 8 + 10 * (CMyDiffDataBase::kMaxItems + 1));
    EXPECT_FALSE(reader.ReadDBFileData((dir / "big.db").c_str(), &store));
    EXPECT_EQ(reader.m_nRefusal, CMyDiffDBReader::kRefusalTooMany);
    // Exactly the limit passes the size and is read: its zero count then disagrees.
    testsupport::MakeSparse(dir / "full.db", 8 + 10 * CMyDiffDataBase::kMaxItems);
    EXPECT_FALSE(reader.ReadDBFileData((dir / "full.db").c_str(), &store));
    EXPECT_EQ(reader.m_nRefusal, CMyDiffDBReader::kRefusalCount);
    EXPECT_FALSE(reader.ReadDBFileData((dir / "missing.db").c_str(), &store));
    EXPECT_EQ(reader.m_nRefusal, CMyDiffDBReader::kRefusalOpen);
    EXPECT_EQ(reader.m_nErrno, ENOENT);
}

} // namespace
