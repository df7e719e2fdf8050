// Whole runs started from the execute button: what the window shows while and after they go.
#include "MainDlgFixture.h"

#include "engine/RunTexts.h"

#include <cerrno>
#include <chrono>
#include <thread>

using namespace testsupport;
using support::UiEvent;

namespace {

class RunTest : public MainDlgTest {
protected:
    // FILE A and FILE B chosen with their buttons, the log left at its default.
    CMyMainDlg& Prepare(const std::string& a, const std::string& b) {
        WriteFile(m_a, a);
        WriteFile(m_b, b);
        CMyMainDlg& dlg = Open();
        Choose(IDC_BTN_FILE_A, m_a);
        Choose(IDC_BTN_FILE_B, m_b);
        return dlg;
    }
    // Presses execute and waits for the worker, handling what it posts.
    void Execute() {
        ASSERT_TRUE(m_ui.CanClick(IDC_BTN_EXECUTE));
        ASSERT_EQ(m_dlg->OnBtnExecute().m_outcome, CommandOutcome::kExecStarted);
        WaitForWorker();
    }
    std::vector<std::string> OutputLines() {
        std::vector<std::string> lines;
        for (const UiEvent& e : m_ui.EventsOf(UiEvent::Kind::Text))
            if (e.m_nId == IDC_EDIT_OUTPUT)
                lines.push_back(e.m_strText);
        return lines;
    }

    std::string m_a = m_dir / "a.bin";
    std::string m_b = m_dir / "b.bin";
};

TEST_F(RunTest, LiveDisplayShowsEachDifferenceAfterThePlaceholder) {
    Prepare("ABCDEFGH", "ABxDEFyH");
    ASSERT_TRUE(m_ui.Click(IDC_CHK_DISP_DIFF));
    Execute();
    EXPECT_EQ(OutputLines(), (std::vector<std::string>{"異なるデータの出力欄",
                                                       "(1) 0000000002 h : 43 , 78",
                                                       "(2) 0000000006 h : 47 , 79"}));
    EXPECT_EQ(m_dlg->m_i64DiffCount, 2);
}

TEST_F(RunTest, WithoutLiveDisplayThePlaceholderStays) {
    Prepare("ABCDEFGH", "ABxDEFyH");
    Execute();
    EXPECT_EQ(OutputLines(), std::vector<std::string>{"異なるデータの出力欄"});
}

TEST_F(RunTest, NormalEndWithDatabaseShowsTheArrowsOfWritableFiles) {
    WriteFile(m_a, "ABC");
    WriteFile(m_b, "AXC");
    MakeReadOnly(m_b);
    CMyMainDlg& dlg = Open();
    Choose(IDC_BTN_FILE_A, m_a);
    Choose(IDC_BTN_FILE_B, m_b);
    Execute();
    EXPECT_EQ(m_ui.PostedMessages(),
              (std::vector<UINT>{WM_DISABLE_CTRLS, WM_SHOW_REPAIR_BTN, WM_ENABLE_CTRLS,
                                 WM_THREAD_END}));
    EXPECT_EQ(dlg.m_nRepairable, 1);
    EXPECT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_B));
    EXPECT_TRUE(m_ui.IsControlEnabled(IDC_BTN_EXECUTE));
    EXPECT_TRUE(m_ui.IsControlEnabled(IDC_BTN_FILE_A));
    EXPECT_EQ(m_ui.GetProgressPos(IDC_PROGRESS), 100);
    EXPECT_FALSE(dlg.m_MakeFile.m_bRunning);
    EXPECT_EQ(dlg.m_MakeFile.Result().m_outcome, RunOutcome::kCompleted);
    EXPECT_TRUE(dlg.m_bExecute);
    EXPECT_EQ(LastIcon(IDC_ICON_LOG), IDI_WRITABLE); // the run created the log
    EXPECT_EQ(ReadFile(m_prog / "DiffData.db"),
              std::string("\x01\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0BX", 18));
}

TEST_F(RunTest, EqualFilesHideTheArrows) {
    CMyMainDlg& dlg = Prepare("same", "same");
    m_ui.ShowControl(IDC_BTN_REPAIR_A, true);
    Execute();
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_B));
    EXPECT_EQ(dlg.m_i64DiffCount, 0);
    auto boxes = m_ui.EventsOf(UiEvent::Kind::Box);
    ASSERT_FALSE(boxes.empty());
    // The summary is the one box with the information icon.
    int nInfo = 0;
    for (const UiEvent& e : boxes)
        nInfo += e.m_icon == ui::BoxIcon::Information;
    EXPECT_EQ(nInfo, 1);
}

// Files of different sizes are not the same, whatever their common part: the summary says which
// is shorter, with the warning icon.
TEST_F(RunTest, SummaryOfFilesOfDifferentSizesWarnsAndNamesTheShorter) {
    const struct {
        const char* m_pA;
        const char* m_pB;
        std::string m_strSummary;
        ui::BoxIcon m_icon;
    } cases[] = {
        {"", "xyz",
         "壊れたデータはありませんでした\n\nFILE A :               0 BYTE\n"
         "FILE B :               3 BYTE\nSEARCH :               0 BYTE\n\n"
         "※ファイルサイズが異なるので、同じファイルではありません。\nFILE A は空のファイルです。",
         ui::BoxIcon::Exclamation},
        {"abc", "ab",
         "壊れたデータはありませんでした\n\nFILE A :               3 BYTE\n"
         "FILE B :               2 BYTE\nSEARCH :               2 BYTE\n\n"
         "※ファイルサイズが異なるので、同じファイルではありません。\n"
         "FILE B の方が短く、\n共通部分 (先頭の 2 バイト) は一致しています。",
         ui::BoxIcon::Exclamation},
        {"abc", "xbcd",
         "1バイトのデータが一致しませんでした。\n\nFILE A :               3 BYTE\n"
         "FILE B :               4 BYTE\nSEARCH :               3 BYTE\n\n"
         "※ファイルサイズが異なるので、同じファイルではありません。\n"
         "FILE A の方が短く、\n共通部分 (先頭の 3 バイト) だけを比較しました。",
         ui::BoxIcon::Exclamation},
        {"abc", "abc",
         "壊れたデータはありませんでした\n\nFILE A :               3 BYTE\n"
         "FILE B :               3 BYTE\nSEARCH :               3 BYTE",
         ui::BoxIcon::Information},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.m_pA) + " | " + c.m_pB);
        Prepare(c.m_pA, c.m_pB);
        ASSERT_TRUE(m_ui.Click(IDC_CHK_MAKE_DB)); // the database's notes are not the point here
        fs::remove(m_prog / "Result.txt");
        m_ui.ClearEvents();
        Execute();
        std::vector<UiEvent> summary;
        for (const UiEvent& e : m_ui.EventsOf(UiEvent::Kind::Box))
            if (IsSummaryText(e.m_strText))
                summary.push_back(e);
        ASSERT_EQ(summary.size(), 1u);
        EXPECT_EQ(summary[0].m_strText, c.m_strSummary);
        EXPECT_EQ(summary[0].m_icon, c.m_icon);
        m_dlg.reset();
    }
}

// A run that ends before its last byte (the stop button, a full disk under the log): a box names
// the log, which lacks its closing lines; no database; the window is ready for the next run.
TEST_F(RunTest, RunEndedEarlyIsExplainedAndLeavesTheWindowReady) {
    std::string a(600000, 'a');
    std::string b = a;
    b[100] = 'x';
    b[599999] = 'y'; // after the first unit of work: a stopped run never gets there
    const std::string log = m_dir / "early.log";
    for (const bool bStop : {true, false}) {
        SCOPED_TRACE(bStop ? "stop" : "full disk");
        fs::remove(log);
        CMyMainDlg& dlg = Prepare(a, b);
        ASSERT_TRUE(m_ui.Type(IDC_EDIT_LOG_FILE, log));
        EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_STOP));
        if (bStop) {
            // The worker waits at the question until this thread serves it: under way for sure.
            WriteFile(log, "old");
            m_ui.AnswerOverwriteOnUiThread(true);
            m_ui.QueueAnswer(IDOK);
        } else {
            m_ui.SetFreeSpace(1000);
        }
        m_ui.ClearEvents();
        ASSERT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
        EXPECT_TRUE(m_ui.IsControlVisible(IDC_BTN_STOP));
        EXPECT_TRUE(m_ui.IsControlEnabled(IDC_BTN_STOP));
        if (bStop) {
            Watchdog dog(60, "the worker reaching the overwrite question");
            while (!m_ui.OverwriteWaiting())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_TRUE(m_ui.Click(IDC_BTN_STOP));
        } else {
            WaitForWorker();
        }
        EXPECT_FALSE(m_ui.IsWorkerRunning());
        EXPECT_EQ(dlg.m_MakeFile.Result().m_outcome, bStop ? RunOutcome::kStopped : RunOutcome::kDiskReserve);
        const std::vector<UiEvent> boxes = m_ui.EventsOf(UiEvent::Kind::Box);
        ASSERT_EQ(boxes.size(), 1u);
        const std::string unfinished =
            "\n\nログファイル[ " + log +
            " ]\nには、それまでに見つかった不一致だけが書かれています。\n"
            "終わりの行はなく、データベースは作成していません。";
        EXPECT_EQ(boxes[0].m_strText,
                  (bStop ? "※比較を中止しました。"
                         : "※異なるデータがありましたが\nディスクの空き容量がありません。") +
                      unfinished);
        EXPECT_EQ(boxes[0].m_icon,
                  bStop ? ui::BoxIcon::Exclamation : ui::BoxIcon::None);
        EXPECT_NE(boxes[0].m_strText.find(log), std::string::npos);
        if (bStop) {
            EXPECT_NE(Trace().find(boxes[0].m_strText), std::string::npos);
        }
        const std::string text = ReadCp932(log);
        EXPECT_NE(text.find("Octetwatch 結果出力ファイル"), std::string::npos);
        EXPECT_EQ(text.find("0000000064 h :   61      78") != std::string::npos, bStop);
        EXPECT_EQ(text.find("00000927BF h"), std::string::npos);
        EXPECT_EQ(text.find("Generated by"), std::string::npos);
        EXPECT_FALSE(fs::exists(m_prog / "DiffData.db"));
        // Ready for the next run.
        EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_STOP));
        for (int id : {IDC_BTN_EXECUTE, IDC_BTN_FILE_A, IDC_BTN_FILE_B, IDC_BTN_LOG_FILE,
                       IDC_CHK_MAKE_DB})
            EXPECT_TRUE(m_ui.IsControlEnabled(id)) << id;
        EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
        EXPECT_FALSE(dlg.m_MakeFile.m_bRunning);
        m_ui.SetFreeSpace(std::nullopt);
        m_ui.AnswerOverwriteOnUiThread(false);
        m_ui.QueueAnswer(IDOK);
        Execute();
        EXPECT_EQ(dlg.m_MakeFile.Result().m_outcome, RunOutcome::kCompleted);
        EXPECT_NE(ReadCp932(log).find("00000927BF h"), std::string::npos);
        EXPECT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
        m_dlg.reset();
        fs::remove(m_prog / "DiffData.db");
    }
}

// The store keeps the first 1,000,000 differences: the database's box and the repair's say how
// many the run found and how many still differ afterwards.
TEST_F(RunTest, MoreDifferencesThanTheDatabaseHoldsAreCountedInItsBoxesAndAfterTheRepair) {
    constexpr std::int64_t kFound = CMyDiffDataBase::kMaxItems + 3;
    MakeSparse(m_a, kFound);
    WriteFile(m_b, std::string(kFound, '\x5A'));
    CMyMainDlg& dlg = Open();
    Choose(IDC_BTN_FILE_A, m_a);
    Choose(IDC_BTN_FILE_B, m_b);
    m_ui.ClearEvents();
    Execute();
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].rfind("1,000,003バイトのデータが一致しませんでした。\n\n", 0), 0u) << boxes[0];
    EXPECT_EQ(boxes[1], "◎不一致情報データベースを作成しました。\n" + DataBasePartText(kFound, 1000000));
    EXPECT_NE(boxes[1].find("1,000,003"), std::string::npos);
    EXPECT_NE(boxes[1].find("1,000,000"), std::string::npos);
    ASSERT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));

    m_ui.ClearEvents();
    m_ui.QueueAnswer(IDYES);
    ASSERT_TRUE(m_ui.CanClick(IDC_BTN_REPAIR_A));
    const CommandResult result = dlg.OnBtnRepairA();
    m_ui.Pump();
    boxes = Boxes();
    ASSERT_EQ(boxes.size(), 3u); // the question, the repair's own box, what is left
    EXPECT_EQ(boxes[1].rfind("◎ファイルの修復が完了しました。", 0), 0u);
    EXPECT_EQ(boxes[2], "※修復したのは、比較で見つかった不一致 1,000,003 バイトのうち\n"
                        "1,000,000 バイトだけです。\nまだ 3 バイトが修復されていません。\nもう一度"
                        "比較して修復してください。\n\tFileName[ " + m_a + " ]\n");
    EXPECT_EQ(m_ui.EventsOf(UiEvent::Kind::Box).back().m_icon, ui::BoxIcon::Exclamation);
    EXPECT_EQ(result.m_outcome, CommandOutcome::kRepairedPart);
    EXPECT_EQ(result.m_i64Done, 1000000);
    EXPECT_EQ(result.m_i64Found, kFound);
    const std::string after = ReadFile(m_a);
    EXPECT_EQ(after.substr(0, 1000000), std::string(1000000, '\x5A'));
    EXPECT_EQ(after.substr(1000000), std::string(3, '\0'));
}

TEST_F(RunTest, DifferentSizesAreComparedOverTheCommonLength) {
    const std::string a(1000, 'a');
    std::string b(1234567, 'a');
    b[999] = 'b';
    b[1000] = 'c'; // beyond the common length: not reported
    CMyMainDlg& dlg = Prepare(a, b);
    Execute();
    EXPECT_EQ(m_ui.BoxTexts().front(),
              "※　ファイルサイズが異なるので\n\t[ 1,000 ]Byte\n部分の比較をします。\n");
    EXPECT_EQ(dlg.m_MakeFile.Result().m_i64SearchSize, 1000);
    EXPECT_EQ(dlg.m_MakeFile.Result().m_i64DiffCount, 1);
}

TEST_F(RunTest, BothUnwritableAndYesRunsWithoutArrows) {
    WriteFile(m_a, "ABC");
    WriteFile(m_b, "AXC");
    MakeReadOnly(m_a);
    MakeReadOnly(m_b);
    CMyMainDlg& dlg = Open();
    Choose(IDC_BTN_FILE_A, m_a);
    Choose(IDC_BTN_FILE_B, m_b);
    m_ui.QueueAnswer(IDYES);
    Execute();
    EXPECT_EQ(dlg.m_nRepairable, 0);
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_B));
    EXPECT_NE(Trace().find("(!)両ファイルともに書き込み不能ですが比較実行します\n"), std::string::npos);
}

// After a run in which FILE B was read-only, the arrow of an earlier run's FILE B is gone.
TEST_F(RunTest, ArrowsShowExactlyWhatTheLastRunCanRepair) {
    Prepare("ABC", "AXC");
    Execute();
    ASSERT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
    ASSERT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_B));
    MakeReadOnly(m_b);
    m_ui.QueueAnswer(IDOK); // overwrite the log of the first run
    Execute();
    EXPECT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_B));
    // A run that ends without a database leaves none: the store was emptied when it started.
    m_ui.SetControlText(IDC_EDIT_LOG_FILE, m_dir / "logdir");
    fs::create_directory(m_dir / "logdir");
    m_ui.QueueAnswer(IDOK);
    Execute();
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_B));
}

TEST_F(RunTest, TypedLogNameIsUsedButTheRememberedOneStays) {
    CMyMainDlg& dlg = Prepare("ABC", "AXC");
    const std::string remembered = dlg.m_strLogFile;
    m_ui.SetControlText(IDC_EDIT_LOG_FILE, m_dir / "typed.txt");
    Execute();
    EXPECT_TRUE(fs::exists(m_dir / "typed.txt"));
    EXPECT_FALSE(fs::exists(remembered));
    EXPECT_EQ(dlg.m_strLogFile, remembered);
}

TEST_F(RunTest, FailedOpenLeavesTheRunStateForShutdown) {
    CMyMainDlg& dlg = Prepare("ABC", "AXC");
    fs::remove(m_b); // gone between the sizing and the run's open is the same as gone now
    m_ui.SetControlText(IDC_EDIT_FILE_B, m_b);
    ASSERT_TRUE(m_ui.CanClick(IDC_BTN_EXECUTE));
    EXPECT_EQ(dlg.OnBtnExecute().m_outcome, CommandOutcome::kExecRefreshB);
    WriteFile(m_b, "AXC");
    // Now a log that cannot be opened: a folder of that name.
    fs::create_directory(m_dir / "logdir");
    m_ui.SetControlText(IDC_EDIT_LOG_FILE, m_dir / "logdir");
    m_ui.QueueAnswer(IDOK); // overwrite it
    m_ui.ClearEvents();
    Execute();
    EXPECT_EQ(m_ui.PostedMessages(), std::vector<UINT>{WM_THREAD_END});
    // The box says which file could not be opened.
    const std::vector<std::string> boxes = Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().rfind("ファイルをオープンできません\n", 0), 0u) << boxes.back();
    EXPECT_NE(boxes.back().find("\nログファイル[ " + (m_dir / "logdir") + " ]"), std::string::npos);
    EXPECT_FALSE(dlg.m_MakeFile.m_bRunning); // its end has been handled
    // The run's result names the file that would not open, what it is and why.
    const CommandResult ran = dlg.LastRun();
    EXPECT_EQ(ran.m_outcome, CommandOutcome::kRan);
    EXPECT_EQ(ran.m_ran.m_outcome, RunOutcome::kOpenFailed);
    EXPECT_EQ(ran.m_nFile, 2);
    EXPECT_EQ(ran.m_strPath, m_dir / "logdir");
    EXPECT_EQ(ran.m_kind, platform::FileKind::Folder);
    EXPECT_EQ(ran.m_nErrno, EISDIR);
    EXPECT_TRUE(m_ui.IsControlEnabled(IDC_BTN_EXECUTE));
    Close();
    EXPECT_FALSE(dlg.m_MakeFile.Result().m_bFilesOpen);
}

TEST_F(RunTest, SecondRunAfterTheFirstStartsAfresh) {
    CMyMainDlg& dlg = Prepare("ABC", "AXC");
    Execute();
    ASSERT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
    m_ui.ClearEvents();
    m_ui.QueueAnswer(IDOK); // overwrite the log of the first run
    Execute();
    EXPECT_EQ(dlg.m_DiffDataBase.GetDiffNum(), 1);
    EXPECT_EQ(m_ui.PostedMessages(),
              (std::vector<UINT>{WM_DISABLE_CTRLS, WM_SHOW_REPAIR_BTN, WM_ENABLE_CTRLS,
                                 WM_THREAD_END}));
}

} // namespace
