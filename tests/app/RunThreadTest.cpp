// Whole runs started from the execute button: what the window shows while and after they go.
#include "MainDlgFixture.h"

using namespace testsupport;
using platform::UiEvent;

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
        ASSERT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
        ASSERT_EQ(m_dlg->m_nLastExecute, CMyMainDlg::kExecStarted);
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
    EXPECT_EQ(dlg.m_MakeFile.Outcome(), RunOutcome::kCompleted);
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
        nInfo += e.m_icon == platform::BoxIcon::Information;
    EXPECT_EQ(nInfo, 1);
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
    EXPECT_EQ(dlg.m_MakeFile.m_i64SearchSize, 1000);
    EXPECT_EQ(dlg.m_MakeFile.m_i64DiffCount, 1);
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
    ASSERT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
    EXPECT_EQ(dlg.m_nLastExecute, CMyMainDlg::kExecRefreshB);
    WriteFile(m_b, "AXC");
    // Now a log that cannot be opened: a folder of that name.
    fs::create_directory(m_dir / "logdir");
    m_ui.SetControlText(IDC_EDIT_LOG_FILE, m_dir / "logdir");
    m_ui.QueueAnswer(IDOK); // overwrite it
    Execute();
    EXPECT_EQ(m_ui.PostedMessages(), std::vector<UINT>{WM_THREAD_END});
    EXPECT_TRUE(dlg.m_MakeFile.m_bRunning); // only a normal end clears it
    EXPECT_EQ(dlg.m_MakeFile.Outcome(), RunOutcome::kOpenFailed);
    EXPECT_TRUE(m_ui.IsControlEnabled(IDC_BTN_EXECUTE));
    Close();
    EXPECT_FALSE(dlg.m_MakeFile.m_bOpenA);
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
