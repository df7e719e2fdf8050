// Every way the execute button refuses a run, in the order it checks them. None starts a worker.
#include "MainDlgFixture.h"

using namespace testsupport;

namespace {

class ExecuteRefusalTest : public MainDlgTest {
protected:
    void SetNames(const std::string& a, const std::string& b, const std::string& log) {
        m_ui.SetControlText(IDC_EDIT_FILE_A, a);
        m_ui.SetControlText(IDC_EDIT_FILE_B, b);
        m_ui.SetControlText(IDC_EDIT_LOG_FILE, log);
    }
    void ExpectNoRun() {
        EXPECT_FALSE(m_ui.IsWorkerRunning());
        EXPECT_EQ(m_dlg->m_pWorkThread, nullptr);
        EXPECT_FALSE(m_dlg->m_bExecute);
        EXPECT_TRUE(m_ui.IsControlEnabled(IDC_BTN_EXECUTE));
        EXPECT_FALSE(m_dlg->m_MakeFile.m_bRunning);
    }
};

TEST_F(ExecuteRefusalTest, NamesAreCheckedInOrderWithEqualityFirst) {
    struct Case {
        const char* m_pA;
        const char* m_pB;
        const char* m_pLog;
        const char* m_pBox;
        CMyMainDlg::ExecuteOutcome m_nOutcome;
    };
    const Case cases[] = {
        {"", "", "", "※　同一のファイルは比較できません", CMyMainDlg::kExecSameName},
        {"/x/a", "/x/a", "", "※　同一のファイルは比較できません", CMyMainDlg::kExecSameName},
        {"", "/x/b", "", "比較元のファイル名が不適切です。", CMyMainDlg::kExecEmptyName},
        {"/x/a", "", "", "比較先のファイル名が不適切です。", CMyMainDlg::kExecEmptyName},
        {"/x/a", "/x/b", "", "ログファイル名が不適切です。", CMyMainDlg::kExecEmptyName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "A [" << c.m_pA << "] B [" << c.m_pB << "] log [" << c.m_pLog << "]");
        Open();
        SetNames(c.m_pA, c.m_pB, c.m_pLog);
        m_ui.ClearEvents();
        ASSERT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
        EXPECT_EQ(Boxes(), std::vector<std::string>{c.m_pBox}) << c.m_pA << "|" << c.m_pB;
        EXPECT_EQ(m_dlg->m_nLastExecute, c.m_nOutcome);
        ExpectNoRun();
        m_dlg.reset();
    }
}

TEST_F(ExecuteRefusalTest, SameFileSpelledTwoWaysPassesTheEqualityTest) {
    WriteFile(m_dir / "a.bin", "a");
    Open();
    // The second spelling has no file behind the sizing, so the run stops there, silently.
    SetNames(m_dir / "a.bin", m_dir / "A.BIN", m_dir / "log.txt");
    ASSERT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(m_dlg->m_nLastExecute, CMyMainDlg::kExecRefreshB);
    ExpectNoRun();
}

TEST_F(ExecuteRefusalTest, FilesThatCannotBeSizedStopTheRunSilently) {
    WriteFile(m_dir / "b.bin", "b");
    Open();
    SetNames(m_dir / "missing.bin", m_dir / "b.bin", m_dir / "log.txt");
    ASSERT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(m_dlg->m_nLastExecute, CMyMainDlg::kExecRefreshA);
    ExpectNoRun();
}

TEST_F(ExecuteRefusalTest, SizeMessageGroupsTheComparedLengthBeforeTheWritabilityCheck) {
    WriteFile(m_dir / "a.bin", std::string(1000, 'a'));
    MakeSparse(m_dir / "b.bin", 1234567);
    WriteFile(m_dir / "log.txt", "old");
    MakeReadOnly(m_dir / "log.txt");
    CMyMainDlg& dlg = Open();
    Choose(IDC_BTN_FILE_A, m_dir / "a.bin");
    Choose(IDC_BTN_FILE_B, m_dir / "b.bin");
    Choose(IDC_BTN_LOG_FILE, m_dir / "log.txt");
    m_ui.ClearEvents();
    ASSERT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           "※　ファイルサイズが異なるので\n\t[ 1,000 ]Byte\n部分の比較をします。\n",
                           "※不一致情報を書き込むテキストファイルが書き込み不能です。\n"}));
    EXPECT_EQ(dlg.m_FileData.nSizeMode, SIZE_B_LONGER);
    EXPECT_EQ(dlg.m_FileData.i64SearchSize, 1000);
    EXPECT_EQ(dlg.m_nLastExecute, CMyMainDlg::kExecLogReadOnly);
    ExpectNoRun();
}

TEST_F(ExecuteRefusalTest, DeclinedQuestionAboutUnwritableFilesStartsNothing) {
    WriteFile(m_dir / "a.bin", "a");
    WriteFile(m_dir / "b.bin", "b");
    MakeReadOnly(m_dir / "a.bin");
    MakeReadOnly(m_dir / "b.bin");
    CMyMainDlg& dlg = Open();
    Choose(IDC_BTN_FILE_A, m_dir / "a.bin");
    Choose(IDC_BTN_FILE_B, m_dir / "b.bin");
    m_ui.QueueAnswer(IDNO);
    ASSERT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
    EXPECT_EQ(dlg.m_nLastExecute, CMyMainDlg::kExecDeclined);
    EXPECT_EQ(dlg.m_FileData.nSizeMode, SIZE_EQUAL);
    ExpectNoRun();
}

// The run empties its log first: a log that names the database, the trace or the settings file,
// however spelled, would lose it. Refused before any question, and nothing is touched.
TEST_F(ExecuteRefusalTest, LogNamingTheProgramsOwnFilesIsRefusedHoweverSpelled) {
    WriteFile(m_dir / "a.bin", "a");
    WriteFile(m_dir / "b.bin", "b");
    fs::create_symlink(m_prog / "DiffData.db", m_dir / "dangling.txt"); // no database yet
    fs::create_symlink(m_prog / "DataTrace.txt", m_dir / "trace.txt");
    const char* const kDB = "※ログファイルにデータベースファイルは指定できません。\n";
    const std::string progName = fs::path(m_prog.Str()).filename().string();
    const struct {
        std::string m_strLog;
        const char* m_pBox;
        CMyMainDlg::ExecuteOutcome m_nOutcome;
    } cases[] = {
        {m_prog / "./DiffData.db", kDB, CMyMainDlg::kExecLogIsDataBase},
        {m_dir / "dangling.txt", kDB, CMyMainDlg::kExecLogIsDataBase},
        {m_dir / "trace.txt", "※ログファイルにトレースファイルは指定できません。\n",
         CMyMainDlg::kExecLogIsTrace},
        {m_prog / ("../" + progName + "/octwtch.ini"),
         "※ログファイルに設定ファイルは指定できません。\n", CMyMainDlg::kExecLogIsSettings},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_strLog);
        Open();
        const std::string ini = ReadFile(m_prog / "octwtch.ini");
        SetNames(m_dir / "a.bin", m_dir / "b.bin", c.m_strLog);
        m_ui.ClearEvents();
        ASSERT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
        EXPECT_EQ(Boxes(), std::vector<std::string>{c.m_pBox}) << c.m_strLog;
        EXPECT_NE(Trace().find(c.m_pBox), std::string::npos);
        EXPECT_EQ(m_dlg->m_nLastExecute, c.m_nOutcome);
        ExpectNoRun();
        EXPECT_FALSE(fs::exists(m_prog / "DiffData.db"));
        EXPECT_EQ(ReadFile(m_prog / "octwtch.ini"), ini);
        m_dlg.reset();
    }
    // Any other name is a log like any other.
    Open();
    SetNames(m_dir / "a.bin", m_dir / "b.bin", m_dir / "DiffData.db");
    ASSERT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
    EXPECT_EQ(m_dlg->m_nLastExecute, CMyMainDlg::kExecStarted);
    WaitForWorker();
}

// A thread the system would not start ends neither the program nor the window: execute is
// refused with a box, and the window is as it was before the press.
TEST_F(ExecuteRefusalTest, WorkerThatCannotStartIsReportedAndLeavesTheWindowAsItWas) {
    WriteFile(m_dir / "a.bin", "ab");
    WriteFile(m_dir / "b.bin", "ax");
    Open();
    SetNames(m_dir / "a.bin", m_dir / "b.bin", m_dir / "log.txt");
    m_ui.FailThreadStarts(1);
    m_ui.ClearEvents();
    ASSERT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
    const std::string text = "※比較スレッドを開始できません。OnBtnExecute()\n";
    EXPECT_EQ(Boxes(), std::vector<std::string>{text});
    EXPECT_NE(Trace().find(text), std::string::npos);
    EXPECT_EQ(m_dlg->m_nLastExecute, CMyMainDlg::kExecNoThread);
    EXPECT_FALSE(m_ui.IsWorkerRunning());
    EXPECT_FALSE(m_dlg->m_bExecute);
    EXPECT_TRUE(m_ui.IsControlEnabled(IDC_BTN_EXECUTE));
    EXPECT_FALSE(m_dlg->m_MakeFile.m_bRunning);
    EXPECT_FALSE(fs::exists(m_dir / "log.txt"));
    // The next press runs.
    ASSERT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
    EXPECT_EQ(m_dlg->m_nLastExecute, CMyMainDlg::kExecStarted);
    WaitForWorker();
    EXPECT_TRUE(fs::exists(m_dir / "log.txt"));
}
} // namespace
