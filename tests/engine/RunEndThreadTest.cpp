// Every way a run ends: what the user is shown, what the main window is sent, what the log and the
// database hold afterwards.
#include "EngineHarness.h"

#include "util/PathUtil.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <fcntl.h>
#include "util/SizeText.h"

#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

namespace enginetest {
namespace {

using Msgs = std::vector<UINT>;
// The box of a full disk names the log, which lacks its closing lines.
std::string DiskFull(const std::string& log) {
    return "※異なるデータがありましたが\nディスクの空き容量がありません。\n\nログファイル[ " + log +
           " ]\nには、それまでに見つかった不一致だけが書かれています。\n"
           "終わりの行はなく、データベースは作成していません。";
}

std::string Summary(std::int64_t diffs, const std::string& size) {
    std::string head = diffs ? GroupedDigits(diffs) + "バイトのデータが一致しませんでした。\n\n"
                             : std::string("壊れたデータはありませんでした\n\n");
    char tail[200];
    std::snprintf(tail, sizeof tail, "FILE A : %15s BYTE\nFILE B : %15s BYTE\nSEARCH : %15s BYTE",
                  size.c_str(), size.c_str(), size.c_str());
    return head + tail;
}

// The execute button is enabled again and the stop button disabled, last of all.
void ExpectButtonsReleased(TestUi& ui) {
    std::vector<std::pair<int, int>> changes;
    for (const UiEvent& e : ui.EventsOf(UiEvent::Kind::Enable))
        changes.emplace_back(e.m_nId, e.m_nValue);
    EXPECT_EQ(changes, (std::vector<std::pair<int, int>>{{IDC_BTN_EXECUTE, 1}, {IDC_BTN_STOP, 0}}));
    EXPECT_TRUE(ui.IsControlEnabled(IDC_BTN_EXECUTE));
}

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t pos = 0; (pos = text.find(part, pos)) != std::string::npos; pos += part.size())
        ++n;
    return n;
}

// --- normal completion ---

struct NormalCase {
    const char* m_name;
    bool m_bDiffs;
    bool m_bUseDB;
    Msgs m_posted;
    std::vector<std::string> m_extraBoxes; // after the summary
};

class NormalEnd : public ::testing::TestWithParam<NormalCase> {};

TEST_P(NormalEnd, SummaryThenDatabaseDecisionThenMessages) {
    const NormalCase& c = GetParam();
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 2000, c.m_bDiffs ? std::vector<std::int64_t>{16, 17} : std::vector<std::int64_t>{});
    RunOptions opt;
    opt.m_bUseDB = c.m_bUseDB;

    ASSERT_EQ(r.Run(a, b, r.Log(), opt), 0);

    std::vector<std::string> boxes{Summary(c.m_bDiffs ? 2 : 0, "2,000")};
    boxes.insert(boxes.end(), c.m_extraBoxes.begin(), c.m_extraBoxes.end());
    EXPECT_EQ(r.ui.BoxTexts(), boxes);
    EXPECT_EQ(r.ui.EventsOf(UiEvent::Kind::Box)[0].m_icon, ui::BoxIcon::Information);
    for (std::size_t i = 1; i < boxes.size(); ++i)
        EXPECT_EQ(r.ui.EventsOf(UiEvent::Kind::Box)[i].m_icon, ui::BoxIcon::None);
    EXPECT_EQ(r.Received(), c.m_posted);
    ExpectButtonsReleased(r.ui);
    EXPECT_FALSE(r.engine->Result().m_bFilesOpen);
    // Each database text goes once to the trace as well.
    for (const std::string& text : c.m_extraBoxes)
        EXPECT_EQ(CountOf(r.prog.Trace(), OnDisk(text)), 1u);
    const bool saved = c.m_bDiffs && c.m_bUseDB;
    ASSERT_EQ(std::filesystem::exists(r.DB()), saved);
    if (saved) {
        EXPECT_EQ(ReadFile(r.DB()), std::string("\x02\0\0\0\0\0\0\0"
                                                "\x10\0\0\0\0\0\0\0\x00\x5A"
                                                "\x11\0\0\0\0\0\0\0\x00\x5A",
                                                28));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, NormalEnd,
    ::testing::Values(
        NormalCase{"differences_no_database", true, false,
                   {WM_DISABLE_CTRLS, WM_HIDE_REPAIR_BTN, WM_ENABLE_CTRLS, WM_THREAD_END},
                   {}},
        NormalCase{"no_differences_no_database", false, false,
                   {WM_DISABLE_CTRLS, WM_HIDE_REPAIR_BTN, WM_ENABLE_CTRLS, WM_HIDE_REPAIR_BTN,
                    WM_THREAD_END},
                   {}},
        NormalCase{"differences_database", true, true,
                   {WM_DISABLE_CTRLS, WM_SHOW_REPAIR_BTN, WM_ENABLE_CTRLS, WM_THREAD_END},
                   {"◎不一致情報データベースを作成しました。\n"}},
        NormalCase{"no_differences_database", false, true,
                   {WM_DISABLE_CTRLS, WM_HIDE_REPAIR_BTN, WM_ENABLE_CTRLS, WM_HIDE_REPAIR_BTN,
                    WM_THREAD_END},
                   {"○不一致データがないのでデータベースファイルは作成しません。\n"}}),
    [](const ::testing::TestParamInfo<NormalCase>& info) { return std::string(info.param.m_name); });

TEST(DatabaseSpace, FreeSpaceEqualToTheExpectedSizeIsNotEnough) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    std::vector<std::int64_t> diffs;
    for (std::int64_t i = 0; i < 300; ++i)
        diffs.push_back(i * 3);
    MakePair(a, b, 1000, diffs);
    r.ui.SetFreeSpace(300 * 10 + 8); // the log's reserve is met, the database's size is not exceeded
    RunOptions opt;
    opt.m_bUseDB = true;

    ASSERT_EQ(r.Run(a, b, r.Log(), opt), 0);

    const std::string text =
        "※不一致情報データベースファイルを作成する空き容量がありません。SaveDBFileData()\n"
        "\tExpectFileSize[ 3,008 ] Byte\n\tDiskFreeSize[ 3,008 ] Byte\n";
    EXPECT_EQ(r.ui.BoxTexts(), (std::vector<std::string>{Summary(300, "1,000"), text}));
    EXPECT_EQ(CountOf(r.prog.Trace(), OnDisk(text)), 1u);
    EXPECT_EQ(r.Received(), (Msgs{WM_DISABLE_CTRLS, WM_HIDE_REPAIR_BTN, WM_ENABLE_CTRLS,
                                  WM_THREAD_END}));
    EXPECT_FALSE(std::filesystem::exists(r.DB()));
}

TEST(DatabaseSpace, IsMeasuredOnTheDiskTheDatabaseGoesTo) {
    // The program's folder has room; the database's own folder, a one-page disk, has not.
    testsupport::TinyTmpfs disk(4096);
    OCTW_REQUIRE_TMPFS(disk);
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    std::vector<std::int64_t> diffs;
    for (std::int64_t i = 0; i < 1000; ++i)
        diffs.push_back(i * 3);
    MakePair(a, b, 3000, diffs);
    RunOptions opt;
    opt.m_bUseDB = true;
    opt.m_strDB = disk / "DiffData.db";

    ASSERT_EQ(r.Run(a, b, r.Log(), opt), 0);

    const std::vector<std::string> boxes = r.ui.BoxTexts();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].rfind("※不一致情報データベースファイルを作成する空き容量がありません。"
                             "SaveDBFileData()\n\tExpectFileSize[ 10,008 ] Byte\n",
                             0),
              0u)
        << boxes[1];
    EXPECT_EQ(r.Received(), (Msgs{WM_DISABLE_CTRLS, WM_HIDE_REPAIR_BTN, WM_ENABLE_CTRLS,
                                  WM_THREAD_END}));
    EXPECT_FALSE(std::filesystem::exists(disk / "DiffData.db"));
}

TEST(DatabaseSpace, StoreAtItsLimitStillLetsEveryDifferenceBeLogged) {
    EngineRun r;
    // Below every address of the run: the store keeps its addresses ascending.
    for (std::int64_t i = 0; i < CMyDiffDataBase::kMaxItems - 1; ++i)
        ASSERT_TRUE(r.store.AddDiffData(i - CMyDiffDataBase::kMaxItems, 1, 2));
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 100, {10, 20, 30});
    RunOptions opt;
    opt.m_bUseDB = true;
    opt.m_bResetStore = false;

    ASSERT_EQ(r.Run(a, b, r.Log(), opt), 0);

    EXPECT_EQ(r.engine->Result().m_i64DiffCount, 3);
    EXPECT_EQ(r.store.GetDiffNum(), CMyDiffDataBase::kMaxItems);
    EXPECT_EQ(CountOf(r.prog.Trace(), OnDisk("※アイテム数が多すぎて追加できません。")), 2u);
    EXPECT_NE(ReadFile(r.Log()).find(Line(30, 0, 0x5A)), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(r.DB()), 10000008u);
}

// --- runs that end early (every failure is in FaultMatrixThreadTest) ---

TEST(StopRequest, TakesEffectAfterTheCurrentChunk) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 2 * CMyMakeFile::kChunkSize, {7, CMyMakeFile::kChunkSize + 7});
    CMyMakeFile* engine = r.engine.get();
    r.ui.m_onProgress = [engine](int) { engine->StopSearch(); };

    ASSERT_EQ(r.Run(a, b, r.Log()), 0);

    EXPECT_EQ(r.ui.BoxTexts(), std::vector<std::string>{});
    EXPECT_EQ(r.Received(), (Msgs{WM_DISABLE_CTRLS, WM_THREAD_END}));
    const std::string expected = ExpectedHeader(a, 1048576, b, 1048576, r.Log()) + Line(7, 0, 0x5A);
    EXPECT_EQ(ReadFile(r.Log()), expected); // no closing lines
    ExpectButtonsReleased(r.ui);
    EXPECT_FALSE(r.engine->Result().m_bFilesOpen);
}

TEST(Abort, EndsTheWorkerAtOnceAndLeavesTheFilesToTheCleanUp) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 2 * CMyMakeFile::kChunkSize, {7, CMyMakeFile::kChunkSize + 7});
    CMyMakeFile* engine = r.engine.get();
    r.ui.m_onProgress = [engine](int) { engine->m_bAbort = TRUE; };

    EXPECT_EQ(r.Run(a, b, r.Log()), 1);

    EXPECT_EQ(r.ui.BoxTexts(), std::vector<std::string>{});
    EXPECT_EQ(r.Received(), (Msgs{WM_DISABLE_CTRLS}));
    EXPECT_TRUE(r.ui.EventsOf(UiEvent::Kind::Enable).empty());
    EXPECT_EQ(ReadFile(r.Log()),
              ExpectedHeader(a, 1048576, b, 1048576, r.Log()) + Line(7, 0, 0x5A));
    EXPECT_TRUE(r.engine->Result().m_bFilesOpen);
    EXPECT_TRUE(r.engine->m_bRunning);
    r.engine->EndSearch(); // the main window's destruction
    EXPECT_FALSE(r.engine->Result().m_bFilesOpen);
}

// The disk is measured seldom and the log's own blocks are counted off in between: on a disk
// only the run writes to, the run still stops at the very line a measurement per line stops it
// at. On tmpfs a log of L bytes takes ceil(L / 4096) of the P pages that were free, so the line
// refused is the first that finds the log past P - 1 pages: nothing is left below the reserve.
struct ReserveCase {
    const char* m_name;
    bool m_bInTail; // the refused line lies in the bytes after the last whole chunk
};

class RealFullDisk : public ::testing::TestWithParam<ReserveCase> {};

TEST_P(RealFullDisk, StopsAtTheLineAQueryPerLineWouldStopAt) {
    constexpr std::int64_t kPage = 4096, kStride = 64;
    testsupport::TinyTmpfs disk(1024 * kPage);
    OCTW_REQUIRE_TMPFS(disk);
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin"), log = disk / "Result.txt";
    WriteFile(disk / "filler", std::string(870 * kPage, 'f'));
    struct statvfs vfs {};
    ASSERT_EQ(::statvfs(disk.Str().c_str(), &vfs), 0);
    const auto pages = static_cast<std::int64_t>(vfs.f_bavail * vfs.f_frsize) / kPage;
    const auto header = static_cast<std::int64_t>(ExpectedHeader(a, 0, b, 0, log).size());
    const auto line = static_cast<std::int64_t>(Line(0, 0, 0).size());
    const std::int64_t lines = (kPage * (pages - 1) - header) / line + 1;
    const std::int64_t refused = lines * kStride + kStride - 1; // the address of the refused line
    const std::int64_t chunk = CMyMakeFile::kChunkSize;
    const std::int64_t size = GetParam().m_bInTail ? refused / chunk * chunk + chunk - 1
                                                   : (refused / chunk + 2) * chunk;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (std::int64_t i = kStride - 1; i < size; i += kStride)
        bytes[static_cast<std::size_t>(i)] = 0x5A;
    WriteFile(b, bytes);
    testsupport::MakeSparse(a, size);

    const int exit = r.Run(a, b, log);

    const std::string got = ReadFile(log);
    std::string expected = ExpectedHeader(a, size, b, size, log);
    for (std::int64_t i = 0; i < lines; ++i)
        expected += Line(i * kStride + kStride - 1, 0, 0x5A);
    EXPECT_EQ(r.engine->Result().m_i64DiffCount, lines);
    ASSERT_GE(got.size(), expected.size());
    EXPECT_EQ(got.substr(0, expected.size()), expected);
    EXPECT_EQ(got.find(" h :", expected.size()), std::string::npos);
    // The estimate did its work: far fewer measurements than lines.
    EXPECT_LT(r.ui.FreeQueries(), static_cast<std::size_t>(lines / 4));
    // In the tail as in a whole chunk: no closing lines, no summary. The window stays: it gets
    // the run's end, and its execute button back.
    EXPECT_EQ(exit, 1);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(r.ui.BoxTexts(), (std::vector<std::string>{DiskFull(log)}));
    EXPECT_EQ(r.Received(), (Msgs{WM_DISABLE_CTRLS, WM_THREAD_END}));
    EXPECT_EQ(r.engine->Result().m_outcome, RunOutcome::kDiskReserve);
    EXPECT_FALSE(r.engine->m_bAbort); // the window's flag: the worker gave up on its own
}

INSTANTIATE_TEST_SUITE_P(Where, RealFullDisk,
                         ::testing::Values(ReserveCase{"in_a_whole_chunk", false},
                                           ReserveCase{"in_the_tail", true}),
                         [](const ::testing::TestParamInfo<ReserveCase>& info) {
                             return std::string(info.param.m_name);
                         });

// Another program fills the disk while the run waits between two chunks: the figure the run
// counts from is too old after 100 ms, so the next line measures the disk again and stops there.
TEST(DiskReserve, AnotherProgramFillingTheDiskIsSeenAfterAtMostATick) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 2 * CMyMakeFile::kChunkSize, {7, CMyMakeFile::kChunkSize + 7});
    r.ui.m_freeAnswers = {std::uint64_t{1} << 40, 0}; // plenty, then nothing
    r.ui.m_onProgress = [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(300)); };

    r.Run(a, b, r.Log());

    EXPECT_EQ(r.ui.FreeQueries(), 2u);
    EXPECT_EQ(r.ui.BoxTexts(), std::vector<std::string>{DiskFull(r.Log())});
    EXPECT_EQ(r.engine->Result().m_outcome, RunOutcome::kDiskReserve);
    EXPECT_EQ(ReadFile(r.Log()),
              ExpectedHeader(a, 1048576, b, 1048576, r.Log()) + Line(7, 0, 0x5A));
}

// --- the database save ---

TEST(DatabaseSave, NeverWritesOverFileB) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 100, {1, 2, 3});
    const std::string link = r.prog / "DiffData.db";
    std::filesystem::create_symlink(b, link); // the database path names FILE B
    const std::string before = ReadFile(b);
    RunOptions opt;
    opt.m_bUseDB = true;
    opt.m_strDB = link;

    ASSERT_EQ(r.Run(a, b, r.Log(), opt), 0);

    EXPECT_EQ(r.ui.BoxTexts().back(), "※不一致情報データベースの作成に失敗しました。\n");
    EXPECT_EQ(ReadFile(b), before);
    EXPECT_EQ(r.Received(), (Msgs{WM_DISABLE_CTRLS, WM_HIDE_REPAIR_BTN, WM_ENABLE_CTRLS,
                                  WM_THREAD_END}));
}

TEST(Identity, TheRunRecordsWhichFilesItCompared) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 10, {});
    ASSERT_EQ(r.Run(a, b, r.Log()), 0);
    EXPECT_TRUE(r.engine->Result().m_idFileA.SameAs(platform::IdentityOfPath(a)));
    EXPECT_TRUE(r.engine->Result().m_idFileB.SameAs(platform::IdentityOfPath(b)));
    EXPECT_FALSE(r.engine->Result().m_idFileA.SameAs(r.engine->Result().m_idFileB));
}

} // namespace
} // namespace enginetest
