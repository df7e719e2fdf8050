// Every way the execute button refuses a run, in the order it checks them. None starts a worker.
#include "MainDlgFixture.h"

#include <sys/stat.h>

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
        CommandOutcome m_outcome;
    };
    const Case cases[] = {
        {"", "", "", "※　同一のファイルは比較できません", CommandOutcome::kExecSameName},
        {"/x/a", "/x/a", "", "※　同一のファイルは比較できません", CommandOutcome::kExecSameName},
        {"", "/x/b", "", "比較元のファイル名が不適切です。", CommandOutcome::kExecEmptyName},
        {"/x/a", "", "", "比較先のファイル名が不適切です。", CommandOutcome::kExecEmptyName},
        {"/x/a", "/x/b", "", "ログファイル名が不適切です。", CommandOutcome::kExecEmptyName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "A [" << c.m_pA << "] B [" << c.m_pB << "] log [" << c.m_pLog << "]");
        Open();
        SetNames(c.m_pA, c.m_pB, c.m_pLog);
        m_ui.ClearEvents();
        ASSERT_TRUE(m_ui.CanClick(IDC_BTN_EXECUTE));
        EXPECT_EQ(m_dlg->OnBtnExecute().m_outcome, c.m_outcome);
        EXPECT_EQ(Boxes(), std::vector<std::string>{c.m_pBox}) << c.m_pA << "|" << c.m_pB;
        ExpectNoRun();
        m_dlg.reset();
    }
}

TEST_F(ExecuteRefusalTest, SameFileSpelledTwoWaysPassesTheEqualityTest) {
    WriteFile(m_dir / "a.bin", "a");
    Open();
    // The second spelling has no file behind it, so the run stops at its sizing.
    SetNames(m_dir / "a.bin", m_dir / "A.BIN", m_dir / "log.txt");
    ASSERT_TRUE(m_ui.CanClick(IDC_BTN_EXECUTE));
    EXPECT_EQ(m_dlg->OnBtnExecute().m_outcome, CommandOutcome::kExecRefreshB);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"ファイルBのサイズ取得に失敗。\n\t[ " +
                                                (m_dir / "A.BIN") + " ]\nファイルが見つかりません。"});
    ExpectNoRun();
}

// A typed FILE A or FILE B that cannot be compared is refused with a box that names it and says
// why, and the size line under it no longer shows the size of the file named before.
TEST_F(ExecuteRefusalTest, NameThatCannotBeComparedIsRefusedWithItsReason) {
    WriteFile(m_dir / "a.bin", std::string(1500, 'a'));
    WriteFile(m_dir / "b.bin", "b");
    fs::create_directory(m_dir / "folder");
    ASSERT_EQ(::mkfifo((m_dir / "pipe").c_str(), 0600), 0);
    const struct {
        std::string m_strName;
        const char* m_pReason;
    } cases[] = {
        {m_dir / "missing.bin", "ファイルが見つかりません。"},
        {m_dir / "folder", "フォルダです。比較するファイルを指定してください。"},
        {m_dir / "pipe",
         "名前付きパイプです。比較できるのは通常のファイルとブロックデバイスだけです。"},
        {"a.bin", "フォルダを含む名前 (/ で始まる名前) を指定してください。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_strName);
        Open();
        Choose(IDC_BTN_FILE_A, m_dir / "a.bin");
        ASSERT_EQ(Text(IDC_EDIT_SIZE_A), "└ 1,500 Byte");
        ASSERT_TRUE(m_ui.Type(IDC_EDIT_FILE_A, c.m_strName));
        EXPECT_EQ(Text(IDC_EDIT_SIZE_A), ""); // typing names another file
        ASSERT_TRUE(m_ui.Type(IDC_EDIT_FILE_B, m_dir / "b.bin"));
        m_ui.ClearEvents();
        ASSERT_TRUE(m_ui.CanClick(IDC_BTN_EXECUTE));
        EXPECT_EQ(m_dlg->OnBtnExecute().m_outcome, CommandOutcome::kExecRefreshA);
        const std::string box =
            "ファイルAのサイズ取得に失敗。\n\t[ " + c.m_strName + " ]\n" + c.m_pReason;
        EXPECT_EQ(Boxes(), std::vector<std::string>{box});
        EXPECT_NE(Trace().find(box), std::string::npos);
        EXPECT_EQ(Text(IDC_EDIT_SIZE_A), "※ファイルA: サイズエラー");
        EXPECT_EQ(LastIcon(IDC_ICON_A), IDR_MAINFRAME);
        ExpectNoRun();
        // The select button says the same of a name chosen in its dialog.
        Choose(IDC_BTN_FILE_A, m_dir / "a.bin");
        m_ui.ClearEvents();
        if (c.m_strName[0] == '/') {
            Choose(IDC_BTN_FILE_A, c.m_strName);
            EXPECT_EQ(Boxes(), std::vector<std::string>{box});
            EXPECT_EQ(Text(IDC_EDIT_SIZE_A), "※ファイルA: サイズエラー");
        }
        m_dlg.reset();
    }
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
    ASSERT_TRUE(m_ui.CanClick(IDC_BTN_EXECUTE));
    EXPECT_EQ(dlg.OnBtnExecute().m_outcome, CommandOutcome::kExecLogReadOnly);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           "※　ファイルサイズが異なるので\n\t[ 1,000 ]Byte\n部分の比較をします。\n",
                           "※不一致情報を書き込むテキストファイルが書き込み不能です。\n\t[ " +
                               (m_dir / "log.txt") + " ]\n"}));
    EXPECT_EQ(dlg.m_FileData.nSizeMode, SIZE_B_LONGER);
    EXPECT_EQ(dlg.m_FileData.i64SearchSize, 1000);
    ExpectNoRun();
}

// A read-only log typed into its box is refused before anyone is asked to overwrite it, and its
// icon shows it read-only as soon as it is named.
TEST_F(ExecuteRefusalTest, ReadOnlyTypedLogIsRefusedWithoutTheOverwriteQuestion) {
    WriteFile(m_dir / "a.bin", "a");
    WriteFile(m_dir / "b.bin", "b");
    WriteFile(m_dir / "ro.log", "old");
    MakeReadOnly(m_dir / "ro.log");
    Open();
    ASSERT_TRUE(m_ui.Type(IDC_EDIT_FILE_A, m_dir / "a.bin"));
    ASSERT_TRUE(m_ui.Type(IDC_EDIT_FILE_B, m_dir / "b.bin"));
    ASSERT_TRUE(m_ui.Type(IDC_EDIT_LOG_FILE, m_dir / "ro.log"));
    EXPECT_EQ(LastIcon(IDC_ICON_LOG), IDI_READONLY);
    m_ui.ClearEvents();
    ASSERT_TRUE(m_ui.CanClick(IDC_BTN_EXECUTE));
    EXPECT_EQ(m_dlg->OnBtnExecute().m_outcome, CommandOutcome::kExecLogReadOnly);
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "※不一致情報を書き込むテキストファイルが書き込み不能です。\n\t[ " +
                           (m_dir / "ro.log") + " ]\n"});
    EXPECT_TRUE(m_ui.EventsOf(support::UiEvent::Kind::Overwrite).empty());
    ExpectNoRun();
    EXPECT_EQ(ReadFile(m_dir / "ro.log"), "old");
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
    ASSERT_TRUE(m_ui.CanClick(IDC_BTN_EXECUTE));
    EXPECT_EQ(dlg.OnBtnExecute().m_outcome, CommandOutcome::kExecDeclined);
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
        CommandOutcome m_outcome;
    } cases[] = {
        {m_prog / "./DiffData.db", kDB, CommandOutcome::kExecLogIsDataBase},
        {m_dir / "dangling.txt", kDB, CommandOutcome::kExecLogIsDataBase},
        {m_dir / "trace.txt", "※ログファイルにトレースファイルは指定できません。\n",
         CommandOutcome::kExecLogIsTrace},
        {m_prog / ("../" + progName + "/octwtch.ini"),
         "※ログファイルに設定ファイルは指定できません。\n", CommandOutcome::kExecLogIsSettings},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_strLog);
        Open();
        const std::string ini = ReadFile(m_prog / "octwtch.ini");
        SetNames(m_dir / "a.bin", m_dir / "b.bin", c.m_strLog);
        m_ui.ClearEvents();
        ASSERT_TRUE(m_ui.CanClick(IDC_BTN_EXECUTE));
        EXPECT_EQ(m_dlg->OnBtnExecute().m_outcome, c.m_outcome);
        EXPECT_EQ(Boxes(), std::vector<std::string>{c.m_pBox}) << c.m_strLog;
        EXPECT_NE(Trace().find(c.m_pBox), std::string::npos);
        ExpectNoRun();
        EXPECT_FALSE(fs::exists(m_prog / "DiffData.db"));
        EXPECT_EQ(ReadFile(m_prog / "octwtch.ini"), ini);
        m_dlg.reset();
    }
    // Any other name is a log like any other.
    Open();
    SetNames(m_dir / "a.bin", m_dir / "b.bin", m_dir / "DiffData.db");
    ASSERT_TRUE(m_ui.CanClick(IDC_BTN_EXECUTE));
    EXPECT_EQ(m_dlg->OnBtnExecute().m_outcome, CommandOutcome::kExecStarted);
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
    ASSERT_TRUE(m_ui.CanClick(IDC_BTN_EXECUTE));
    EXPECT_EQ(m_dlg->OnBtnExecute().m_outcome, CommandOutcome::kExecNoThread);
    const std::string text = "※比較スレッドを開始できません。OnBtnExecute()\n";
    EXPECT_EQ(Boxes(), std::vector<std::string>{text});
    EXPECT_NE(Trace().find(text), std::string::npos);
    EXPECT_FALSE(m_ui.IsWorkerRunning());
    EXPECT_FALSE(m_dlg->m_bExecute);
    EXPECT_TRUE(m_ui.IsControlEnabled(IDC_BTN_EXECUTE));
    EXPECT_FALSE(m_dlg->m_MakeFile.m_bRunning);
    EXPECT_FALSE(fs::exists(m_dir / "log.txt"));
    // The next press runs.
    ASSERT_TRUE(m_ui.CanClick(IDC_BTN_EXECUTE));
    EXPECT_EQ(m_dlg->OnBtnExecute().m_outcome, CommandOutcome::kExecStarted);
    WaitForWorker();
    EXPECT_TRUE(fs::exists(m_dir / "log.txt"));
}
} // namespace
