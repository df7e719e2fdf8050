// Every point at which a run can fail, on real files: what the user is told, how the worker ends,
// and that nothing of the user's is damaged: no byte of FILE A or FILE B changes (a repair changes
// stored differences only), and the log is the true log or a clean prefix of it.
#include "EngineHarness.h"

#include "diffdb/CMyDiffRepair.h"
#include "support/Watchdog.h"
#include "util/SizeText.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace enginetest {
namespace {

using Msgs = std::vector<UINT>;
namespace fs = std::filesystem;

constexpr std::int64_t kBlock = CMyMakeFile::kBlockSize;
const Msgs kNormalEnd{WM_DISABLE_CTRLS, WM_HIDE_REPAIR_BTN, WM_ENABLE_CTRLS, WM_THREAD_END};
const Msgs kSaved{WM_DISABLE_CTRLS, WM_SHOW_REPAIR_BTN, WM_ENABLE_CTRLS, WM_THREAD_END};
const Msgs kOpenFailed{WM_THREAD_END};
const Msgs kReadFailed{WM_DISABLE_CTRLS, WM_THREAD_END};
// A full disk abandons the run, but the window stays: it is given its end.
const Msgs kAborted{WM_DISABLE_CTRLS, WM_THREAD_END};

enum class Fault {
    RemoveA,
    PipeA,
    RemoveB,
    LogFolder,
    LogInMissingFolder,
    LogPipe,
    OldLogKept,
    LogIsA,
    LogIsLinkToB,
    ReadA,
    ReadB,
    ShrinkA,
    GrowB,    // 1,000 bytes appended to FILE B during the run
    WriteA,   // a byte of FILE A written in place during the run: same size, newer time
    ReplaceB, // another file renamed over FILE B's name during the run
    LogWrite,
    LogFooter,
    LogClose,
    DiskInChunk,
    DiskInTail,
    DBWrite,
    RepairWrite,
    Allocation,
};

// What the log holds afterwards.
enum class Log {
    None,      // no regular file of that name
    Untouched, // the older log, as it was
    Empty,     // created, nothing written: the first read failed
    Prefix,    // the header and the first m_nLines lines (-1: as many as the run counted)
    Whole,     // the header, every line and the closing lines
    Input,     // the log named an input file, checked as such
};

struct Row {
    const char* m_name;
    Fault m_fault;
    std::int64_t m_nArg; // bytes read before a read fails; allocations let through
    int m_nErr;
    std::vector<std::string> m_boxes; // {A}, {B}, {LOG}, {SUMMARY} stand for what they name
    int m_nExit;
    Log m_log;
    int m_nLines;
    Msgs m_msgs;
    RunOutcome m_outcome;
};

std::string Summary(std::int64_t diffs, std::int64_t size) {
    std::string grouped = std::to_string(size);
    AddComma(&grouped);
    std::string head = diffs ? GroupedDigits(diffs) + "バイトのデータが一致しませんでした。\n\n"
                             : std::string("壊れたデータはありませんでした\n\n");
    char tail[200];
    std::snprintf(tail, sizeof tail, "FILE A : %15s BYTE\nFILE B : %15s BYTE\nSEARCH : %15s BYTE",
                  grouped.c_str(), grouped.c_str(), grouped.c_str());
    return head + tail;
}

void PrintTo(const Row& row, std::ostream* os) { *os << row.m_name; }

class FaultMatrix : public ::testing::TestWithParam<Row> {};

TEST_P(FaultMatrix, TellsTheUserAndDamagesNothing) {
    const Row& row = GetParam();
    EngineRun r;
    // The pair is sparse: a map of its holes would spare the very reads these rows make fail.
    r.ui.m_bPlainReads = true;
    std::string a = r.File("a.bin"), b = r.File("b.bin"), log = r.Log();
    // Two full blocks and a partial one: a read can fail at the first, a middle and the last.
    std::int64_t size = 2 * kBlock + 100;
    std::vector<std::int64_t> diffs{5, kBlock + 5, 2 * kBlock + 5};
    RunOptions opt;
    std::unique_ptr<testsupport::TinyTmpfs> disk;
    switch (row.m_fault) {
    case Fault::DiskInChunk: // so many differences that the log outgrows a real disk
    case Fault::DiskInTail:
        size = row.m_fault == Fault::DiskInChunk ? 2 * CMyMakeFile::kChunkSize : 2400;
        diffs.clear();
        for (std::int64_t i = 0; i < 1000; ++i)
            diffs.push_back(300 + i * 2);
        disk = std::make_unique<testsupport::TinyTmpfs>(16 * 4096);
        if (!disk->Mounted())
            GTEST_SKIP() << "mounting a tmpfs needs root";
        WriteFile(*disk / "filler", std::string(14 * 4096, 'f')); // two pages left
        log = *disk / "Result.txt";
        break;
    case Fault::LogInMissingFolder:
        log = r.File("none/Result.txt");
        break;
    case Fault::LogIsA:
        log = r.File("./a.bin");
        break;
    case Fault::LogIsLinkToB:
        log = r.File("link.txt");
        break;
    default:
        break;
    }
    // FILE A is zero but where FILE B differs (0x5A); both hold 0x11 at 200, which a block
    // compared with stale bytes would report at 8 MiB + 200.
    MakePair(a, b, size, diffs);
    testsupport::PokeByte(a, 200, 0x11);
    testsupport::PokeByte(b, 200, 0x11);
    const std::string oldA = ReadFile(a), oldB = ReadFile(b);
    std::string expectA = oldA, expectB = oldB;
    // What a row changes during the run, once, on the read of the middle block (on the worker).
    std::function<void()> change;
    std::atomic<bool> changed{false};
    r.ui.m_onRead = [&](const std::string&, std::int64_t pos) {
        if (change && pos >= kBlock && !changed.exchange(true))
            change();
    };

    switch (row.m_fault) {
    case Fault::RemoveA:
    case Fault::PipeA: // measured by the window, then replaced before the worker opens it
        opt.m_beforeStart = [&] {
            fs::remove(a);
            if (row.m_fault == Fault::PipeA)
                ::mkfifo(a.c_str(), 0600);
        };
        break;
    case Fault::RemoveB:
        opt.m_beforeStart = [&] { fs::remove(b); };
        break;
    case Fault::LogFolder:
        fs::create_directory(log);
        r.ui.QueueAnswer(IDOK);
        break;
    case Fault::LogPipe:
        ::mkfifo(log.c_str(), 0600);
        break;
    case Fault::OldLogKept:
        WriteFile(log, "older log");
        r.ui.QueueAnswer(IDCANCEL);
        break;
    case Fault::LogIsLinkToB:
        fs::create_hard_link(b, log);
        break;
    case Fault::ReadA:
    case Fault::ReadB:
        r.ui.FailReads(row.m_fault == Fault::ReadA ? a : b, row.m_nArg, row.m_nErr);
        break;
    case Fault::ShrinkA:
        opt.m_beforeStart = [&] { fs::resize_file(a, kBlock + 10); };
        break;
    case Fault::GrowB:
        expectB += std::string(1000, 'g');
        change = [&] {
            std::ofstream(b, std::ios::binary | std::ios::app) << std::string(1000, 'g');
        };
        break;
    case Fault::WriteA:
        // Made long ago: the write's time differs from it however coarse the clock.
        fs::last_write_time(a, fs::file_time_type::clock::now() - std::chrono::hours(1));
        expectA[7] = 'w';
        change = [&] { testsupport::PokeByte(a, 7, 'w'); };
        break;
    case Fault::ReplaceB:
        expectB = "another file";
        change = [&] {
            WriteFile(r.File("b.new"), expectB);
            fs::rename(r.File("b.new"), b);
        };
        break;
    case Fault::LogWrite:
        r.ui.FailWrites(log, ExpectedHeader(a, size, b, size, log).size() + Line(0, 0, 0).size(),
                        row.m_nErr);
        break;
    case Fault::LogFooter: {
        std::size_t lines = ExpectedHeader(a, size, b, size, log).size();
        for (std::int64_t d : diffs)
            lines += Line(d, 0, 0x5A).size();
        r.ui.FailWrites(log, lines, EIO);
        break;
    }
    case Fault::LogClose:
        r.ui.FailCloses(log, EIO);
        break;
    case Fault::DBWrite:
        r.ui.FailWrites(r.DB(), 8 + 10, ENOSPC);
        opt.m_bUseDB = true;
        break;
    case Fault::RepairWrite:
        r.ui.FailWrites(a, 1, ENOSPC);
        opt.m_bUseDB = true;
        break;
    case Fault::Allocation:
        r.ui.FailAllocations(1, 0, static_cast<int>(row.m_nArg));
        opt.m_bUseDB = true;
        break;
    default:
        break;
    }

    {
        testsupport::Watchdog dog(120, row.m_name);
        EXPECT_EQ(r.Run(a, b, log, opt), row.m_nExit);
        if (row.m_fault == Fault::RepairWrite) {
            CMyDiffRepair repair;
            repair.SetRepairTarget(TRUE);
            ASSERT_TRUE(repair.SetErrorFileName(a.c_str()));
            repair.SetDataBaseADRS(&r.store);
            repair.SetFileIdentity(r.engine->Result().m_idFileA);
            EXPECT_FALSE(repair.DoRepair());
        }
    }

    // What the user was told, and what the window was sent.
    const std::int64_t counted = r.engine->Result().m_i64DiffCount;
    std::vector<std::string> boxes;
    for (std::string box : row.m_boxes) {
        const std::pair<const char*, std::string> subst[] = {
            {"{A}", a}, {"{B}", b}, {"{LOG}", log}, {"{SUMMARY}", Summary(counted, size)}};
        for (const auto& [key, value] : subst)
            for (std::size_t pos; (pos = box.find(key)) != std::string::npos;)
                box.replace(pos, std::strlen(key), value);
        boxes.push_back(box);
    }
    EXPECT_EQ(r.ui.BoxTexts(), boxes);
    EXPECT_EQ(r.Received(), row.m_msgs);
    EXPECT_EQ(r.engine->Result().m_outcome, row.m_outcome);
    // An aborted run leaves its files to the window's clean-up; every other end closes them.
    if (!r.engine->m_bAbort) {
        EXPECT_FALSE(r.engine->Result().m_bFilesOpen);
    }

    // No input byte changed, but those a repair wrote at stored differences before it failed.
    if (row.m_fault == Fault::RepairWrite)
        expectA[static_cast<std::size_t>(diffs[0])] = 0x5A;
    if (row.m_fault != Fault::ShrinkA && fs::is_regular_file(a)) {
        EXPECT_TRUE(ReadFile(a) == expectA) << "FILE A changed";
    }
    if (fs::is_regular_file(b)) {
        EXPECT_TRUE(ReadFile(b) == expectB) << "FILE B changed";
    }

    // The true log, or a clean prefix of it.
    const std::size_t nLines = row.m_log == Log::Whole ? diffs.size()
                               : row.m_nLines < 0      ? static_cast<std::size_t>(counted)
                                                       : static_cast<std::size_t>(row.m_nLines);
    std::string lines = ExpectedHeader(a, size, b, size, log);
    for (std::size_t i = 0; i < nLines; ++i)
        lines += Line(diffs[i], 0, 0x5A);
    const std::string got = fs::is_regular_file(log) ? ReadFile(log) : std::string("(none)");
    switch (row.m_log) {
    case Log::None:
        EXPECT_EQ(got, "(none)");
        break;
    case Log::Untouched:
        EXPECT_EQ(got, "older log");
        break;
    case Log::Empty:
        EXPECT_EQ(got, "");
        break;
    case Log::Prefix:
        EXPECT_EQ(got, lines);
        EXPECT_EQ(static_cast<std::size_t>(counted), nLines);
        break;
    case Log::Whole:
        EXPECT_EQ(got.substr(0, lines.size()), lines);
        EXPECT_TRUE(IsFooter(got.substr(std::min(got.size(), lines.size()))));
        break;
    case Log::Input:
        break;
    }
}

const std::string kOpenA = "※ファイルAのオープンに失敗。AllFileOpen()\n\t[ {A} ]\n";
const std::string kQuestion = "※同名のログファイル\r\n[ {LOG} ]\r\nが存在します。上書きしますか?";
const std::string kNoOpen = "ファイルをオープンできません\nファイル アクセス禁止\nログファイル[ {LOG} ]";
const std::string kLogIsInput = "※ログファイルに比較するファイルは指定できません。";
const std::string kReadA = "※ファイルAの読みとりに失敗", kReadB = "※ファイルBの読みとりに失敗";
const std::string kUnfinished = "ログファイル[ {LOG} ]\n"
                                "には、それまでに見つかった不一致だけが書かれています。\n"
                                "終わりの行はなく、データベースは作成していません。";
const std::string kDiskFull =
    "※異なるデータがありましたが\nディスクの空き容量がありません。\n\n" + kUnfinished;
const std::string kLogEnd = "※ログファイルの終わりを書き込めませんでした。\n\t[ {LOG} ]\n";
const std::string kCreated = "◎不一致情報データベースを作成しました。\n";
const std::string kChanged = "が変更されました。比較結果は正しくありません。\n\t[ ";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Points, FaultMatrix, ::testing::Values(
    Row{"open_a_missing", Fault::RemoveA, 0, 0, {kOpenA}, 0, Log::None, 0, kOpenFailed, RunOutcome::kOpenFailed},
    Row{"open_a_named_pipe_fails_at_once", Fault::PipeA, 0, 0, {kOpenA}, 0, Log::None, 0, kOpenFailed, RunOutcome::kOpenFailed},
    Row{"open_b_missing", Fault::RemoveB, 0, 0,
        {"※ファイルBのオープンに失敗。AllFileOpen()\n\t[ {B} ]\n"}, 0, Log::None, 0, kOpenFailed, RunOutcome::kOpenFailed},
    Row{"open_log_folder", Fault::LogFolder, 0, 0, {kQuestion, kNoOpen}, 0, Log::None, 0, kOpenFailed, RunOutcome::kOpenFailed},
    Row{"open_log_in_missing_folder_is_a_bad_path", Fault::LogInMissingFolder, 0, 0,
        {"ファイルをオープンできません\n不正パス\nログファイル[ {LOG} ]"}, 0, Log::None, 0, kOpenFailed, RunOutcome::kOpenFailed},
    Row{"open_log_named_pipe_fails_at_once_unasked", Fault::LogPipe, 0, 0, {kNoOpen}, 0,
        Log::None, 0, kOpenFailed, RunOutcome::kOpenFailed},
    Row{"overwrite_declined", Fault::OldLogKept, 0, 0, {kQuestion}, 0, Log::Untouched, 0, kOpenFailed,
        RunOutcome::kDeclined},
    Row{"log_is_file_a_spelled_otherwise", Fault::LogIsA, 0, 0, {kLogIsInput}, 0, Log::Input, 0,
        kOpenFailed, RunOutcome::kOpenFailed},
    Row{"log_is_a_hard_link_to_file_b", Fault::LogIsLinkToB, 0, 0, {kLogIsInput}, 0, Log::Input, 0,
        kOpenFailed, RunOutcome::kOpenFailed},
    Row{"read_a_first_block", Fault::ReadA, 0, EIO, {kReadA}, 0, Log::Empty, 0, kReadFailed, RunOutcome::kReadFailed},
    Row{"read_b_first_block", Fault::ReadB, 0, EIO, {kReadB}, 0, Log::Empty, 0, kReadFailed, RunOutcome::kReadFailed},
    Row{"read_a_middle_block", Fault::ReadA, kBlock, EIO, {kReadA}, 0, Log::Prefix, 1, kReadFailed, RunOutcome::kReadFailed},
    Row{"read_b_middle_block", Fault::ReadB, kBlock, EIO, {kReadB}, 0, Log::Prefix, 1, kReadFailed, RunOutcome::kReadFailed},
    Row{"read_a_last_block", Fault::ReadA, 2 * kBlock, EIO, {kReadA}, 0, Log::Prefix, 2, kReadFailed, RunOutcome::kReadFailed},
    Row{"read_b_last_block", Fault::ReadB, 2 * kBlock, EIO, {kReadB}, 0, Log::Prefix, 2, kReadFailed, RunOutcome::kReadFailed},
    Row{"short_read_of_a_file_that_shrank_compares_no_stale_byte", Fault::ShrinkA, 0, 0, {kReadA}, 0,
        Log::Prefix, 1, kReadFailed, RunOutcome::kReadFailed},
    Row{"log_write_disk_full", Fault::LogWrite, 0, ENOSPC, {kDiskFull}, 1, Log::Prefix, 1, kAborted, RunOutcome::kDiskReserve},
    Row{"log_write_quota", Fault::LogWrite, 0, EDQUOT, {kDiskFull}, 1, Log::Prefix, 1, kAborted, RunOutcome::kDiskReserve},
    // Only a full disk is called one.
    Row{"log_write_io_error", Fault::LogWrite, 0, EIO,
        {"※ログファイルへの書き込みに失敗。ハードウェア エラー\n\n" + kUnfinished}, 1, Log::Prefix, 1,
        kAborted, RunOutcome::kLogWriteFailed},
    // A file changed during the run gives no result: the run ends as after a short read, its
    // log without closing lines, no summary, no database.
    Row{"file_b_grew_during_the_run", Fault::GrowB, 0, 0, {"※比較中にファイルB" + kChanged + "{B} ]\n"},
        0, Log::Prefix, 3, kReadFailed, RunOutcome::kFileChanged},
    Row{"file_a_written_in_place_during_the_run", Fault::WriteA, 0, 0,
        {"※比較中にファイルA" + kChanged + "{A} ]\n"}, 0, Log::Prefix, 3, kReadFailed, RunOutcome::kFileChanged},
    Row{"file_b_replaced_during_the_run", Fault::ReplaceB, 0, 0,
        {"※比較中にファイルB" + kChanged + "{B} ]\n"}, 0, Log::Prefix, 3, kReadFailed, RunOutcome::kFileChanged},
    Row{"disk_reserve_in_a_whole_chunk_real_disk", Fault::DiskInChunk, 0, 0, {kDiskFull}, 1,
        Log::Prefix, -1, kAborted, RunOutcome::kDiskReserve},
    // In the tail as anywhere else: no closing lines, no summary, no database.
    Row{"disk_reserve_in_the_tail_real_disk", Fault::DiskInTail, 0, 0, {kDiskFull}, 1,
        Log::Prefix, -1, kAborted, RunOutcome::kDiskReserve},
    // Every byte compared, but the log lacks its end or may not hold it: said before the summary.
    Row{"log_closing_lines", Fault::LogFooter, 0, 0, {kLogEnd, "{SUMMARY}"}, 0, Log::Prefix, 3,
        kNormalEnd, RunOutcome::kLogUnfinished},
    Row{"log_close", Fault::LogClose, 0, 0, {kLogEnd, "{SUMMARY}"}, 0, Log::Whole, 0, kNormalEnd,
        RunOutcome::kLogUnfinished},
    Row{"database_write", Fault::DBWrite, 0, 0,
        {"{SUMMARY}", "※不一致情報データベースの作成に失敗しました。\n"}, 0, Log::Whole, 0, kNormalEnd, RunOutcome::kCompleted},
    Row{"repair_write", Fault::RepairWrite, 0, 0,
        {"{SUMMARY}", kCreated, "※ファイルの修復に失敗したデータがあります。\n\tErrorFileName[ {A} ]"
                                "\n\tRepairedCount[ 000000000000001 ]\n\tFailedCount[ 000000000000002 ]\n"}, 0, Log::Whole, 0, kSaved, RunOutcome::kCompleted},
    Row{"allocation_of_the_open_work_area", Fault::Allocation, 0, 0,
        {"※メモリー確保失敗。AllFileOpen()\n"}, 0, Log::None, 0, kOpenFailed, RunOutcome::kOpenFailed},
    Row{"allocation_of_the_log_work_area", Fault::Allocation, 1, 0,
        {"Can not get memory area!\n At OpenLogFile"}, 0, Log::None, 0, kOpenFailed, RunOutcome::kOpenFailed},
    // The store refuses the first difference; the log still has every one.
    Row{"allocation_of_the_store", Fault::Allocation, 2, 0,
        {"※アドレスデータの追加に失敗: CMyDiffDataBase::AddDiffData()\n\tADRS[0000000005], "
         "DataA[00], DataB[5A]\n", "{SUMMARY}",
         kCreated + "※比較で見つかった不一致 3 バイトのうち、\nデータベースに入れたのは 2 バイトだけです。\n"
                    "修復しても 1 バイトが残ります。\n修復の後にもう一度比較して修復してください。\n"}, 0, Log::Whole, 0, kSaved, RunOutcome::kCompleted}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.m_name); });
// clang-format on

} // namespace
} // namespace enginetest
