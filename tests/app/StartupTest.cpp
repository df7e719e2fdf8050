// Start-up, drops and the two ways out of the window.
#include "MainDlgFixture.h"

#include "app/CMyMainApp.h"

using namespace testsupport;
using support::UiEvent;

namespace {

class StartupTest : public MainDlgTest {};

TEST_F(StartupTest, EmptiesTheTraceAndEndsWithTheMarker) {
    WriteFile(m_prog / "DataTrace.txt", "left over from the last start\r\n");
    Open();
    EXPECT_EQ(m_prog.Trace(), TraceMarker());
}

TEST_F(StartupTest, SetsDefaultPathsAndControls) {
    CMyMainDlg& dlg = Open();
    EXPECT_EQ(Text(IDC_EDIT_FILE_A), "比較元のファイル名を入力");
    EXPECT_EQ(Text(IDC_EDIT_FILE_B), "比較先のファイル名を入力");
    EXPECT_EQ(Text(IDC_EDIT_LOG_FILE), m_prog / "Result.txt");
    EXPECT_EQ(dlg.m_FileData.strLogFile, m_prog / "Result.txt");
    EXPECT_EQ(dlg.m_strDBFile, m_prog / "DiffData.db");
    EXPECT_EQ(dlg.m_DiffDataBase.GetFileName(), m_prog / "DiffData.db");
    EXPECT_EQ(dlg.m_strModuleFold, m_prog.Str());
    EXPECT_EQ(m_ui.GetCheck(IDC_CHK_MAKE_DB), 1);
    EXPECT_EQ(m_ui.GetCheck(IDC_CHK_DISP_DIFF), 0);
    EXPECT_FALSE(m_ui.IsControlEnabled(IDC_BTN_STOP));
    EXPECT_EQ(m_ui.GetProgressPos(IDC_PROGRESS), 0);
    EXPECT_EQ(m_ui.WindowIcon(), IDR_MAINFRAME);
    EXPECT_EQ(dlg.m_nRepairable, 0);
    EXPECT_FALSE(dlg.m_bSelectedA);
    EXPECT_FALSE(dlg.m_bSelectedB);
    EXPECT_TRUE(dlg.m_bSelectedLog);
}

TEST_F(StartupTest, ControlsAreSetInOrderWithArrowsHiddenBeforeTheIcons) {
    Open();
    using K = UiEvent::Kind;
    struct Step {
        K m_kind;
        int m_nId;
        int m_nValue;
        std::string m_strText;
    };
    const std::vector<Step> expected = {
        {K::WindowIcon, 0, IDR_MAINFRAME, ""},
        {K::Text, IDC_EDIT_FILE_A, 0, "比較元のファイル名を入力"},
        {K::Text, IDC_EDIT_FILE_B, 0, "比較先のファイル名を入力"},
        {K::Progress, IDC_PROGRESS, 0, ""},
        {K::Enable, IDC_BTN_STOP, 0, ""},
        {K::Text, IDC_EDIT_LOG_FILE, 0, m_prog / "Result.txt"},
        {K::Check, IDC_CHK_MAKE_DB, 1, ""},
        {K::Check, IDC_CHK_DISP_DIFF, 0, ""},
        {K::Show, IDC_BTN_REPAIR_A, 0, ""},
        {K::Show, IDC_BTN_REPAIR_B, 0, ""},
        {K::Icon, IDC_ICON_A, IDR_MAINFRAME, ""}, // nothing chosen yet
        {K::Icon, IDC_ICON_B, IDR_MAINFRAME, ""},
        {K::Icon, IDC_ICON_LOG, IDR_MAINFRAME, ""}, // no log file yet
    };
    const std::vector<UiEvent> events = m_ui.Events();
    ASSERT_EQ(events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(events[i].m_kind, expected[i].m_kind) << i;
        EXPECT_EQ(events[i].m_nId, expected[i].m_nId) << i;
        EXPECT_EQ(events[i].m_nValue, expected[i].m_nValue) << i;
        EXPECT_EQ(events[i].m_strText, expected[i].m_strText) << i;
    }
}

TEST_F(StartupTest, LogIconShowsTheLogFileAsItIs) {
    WriteFile(m_prog / "Result.txt", "old");
    Open();
    EXPECT_EQ(LastIcon(IDC_ICON_LOG), IDI_WRITABLE);
}

TEST_F(StartupTest, ReadOnlyLogGetsTheProhibitedIcon) {
    WriteFile(m_prog / "Result.txt", "old");
    MakeReadOnly(m_prog / "Result.txt");
    Open();
    EXPECT_EQ(LastIcon(IDC_ICON_LOG), IDI_READONLY);
}

TEST_F(StartupTest, DropOnFileBTakesOnlyTheFirstName) {
    CMyMainDlg& dlg = Open();
    const std::string first = m_dir / "first.bin", second = m_dir / "second.bin";
    WriteFile(first, "1");
    WriteFile(second, "2");
    const std::string foldA = dlg.m_strFoldA, foldB = dlg.m_strFoldB;
    ASSERT_TRUE(m_ui.Drop(IDC_EDIT_FILE_B, {first, second, m_dir / "third.bin"}));
    EXPECT_EQ(Text(IDC_EDIT_FILE_B), first);
    EXPECT_EQ(dlg.m_FileData.strFileB, first);
    EXPECT_TRUE(dlg.m_bSelectedB);
    EXPECT_EQ(LastIcon(IDC_ICON_B), IDI_WRITABLE);
    // A drop changes neither FILE A nor the folders; the size line shows the dropped file's size.
    EXPECT_EQ(Text(IDC_EDIT_FILE_A), "比較元のファイル名を入力");
    EXPECT_EQ(dlg.m_strFoldA, foldA);
    EXPECT_EQ(dlg.m_strFoldB, foldB);
    EXPECT_EQ(Text(IDC_EDIT_SIZE_B), "└ 1 Byte");
    ASSERT_TRUE(m_ui.Drop(IDC_EDIT_FILE_B, {m_dir / "third.bin"}));
    EXPECT_EQ(Text(IDC_EDIT_SIZE_B), "※ファイルB: サイズエラー");
}

TEST_F(StartupTest, OnlyTheTwoInputBoxesTakeDrops) {
    Open();
    WriteFile(m_dir / "x.bin", "x");
    EXPECT_FALSE(m_ui.Drop(IDC_EDIT_LOG_FILE, {m_dir / "x.bin"}));
    EXPECT_FALSE(m_ui.Drop(IDC_EDIT_OUTPUT, {m_dir / "x.bin"}));
    EXPECT_TRUE(m_ui.Drop(IDC_EDIT_FILE_A, {m_dir / "x.bin"}));
    EXPECT_TRUE(m_ui.Drop(IDC_EDIT_FILE_A, {})); // an empty drop is taken and ignored
    EXPECT_EQ(Text(IDC_EDIT_FILE_A), m_dir / "x.bin");
}

TEST_F(StartupTest, ExitButtonAbortsTheEngineEscDoesNot) {
    CMyMainDlg& dlg = Open();
    ASSERT_TRUE(m_ui.Click(IDCANCEL));
    EXPECT_TRUE(m_ui.DialogEnded());
    EXPECT_EQ(m_ui.DialogResult(), IDCANCEL);
    EXPECT_FALSE(dlg.m_MakeFile.m_bAbort);
    ASSERT_TRUE(m_ui.Click(IDOK));
    EXPECT_EQ(m_ui.DialogResult(), IDOK);
    EXPECT_TRUE(dlg.m_MakeFile.m_bAbort);
}

TEST_F(StartupTest, AboutCommandShowsTheAboutBox) {
    CMyMainDlg& dlg = Open();
    dlg.OnSysCommand(0x12); // low four bits are ignored
    dlg.OnSysCommand(0xF060);
    auto about = m_ui.EventsOf(UiEvent::Kind::About);
    ASSERT_EQ(about.size(), 1u);
    EXPECT_EQ(about[0].m_strText, AboutDialogTemplate().m_strCaption);
}

// Presses a button of the window from inside its message loop.
class Presser : public ui::CWndTarget {
public:
    Presser(support::ScriptedUi& ui, int id) : m_ui(ui), m_nId(id) {}
    LRESULT WindowProc(UINT, WPARAM, LPARAM) override {
        m_ui.Click(m_nId);
        return 0;
    }
    void OnCommand(int) override {}
    void OnDropFiles(int, const std::vector<std::string>&) override {}

private:
    support::ScriptedUi& m_ui;
    int m_nId;
};

TEST_F(StartupTest, DoModalRunsTheWindowUntilItEndsThenShutsItDown) {
    CMyMainDlg dlg;
    Presser esc(m_ui, IDCANCEL);
    m_ui.PostMessage(&esc, 0, 0, 0);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(m_prog.Trace(), TraceMarker());
    // The settings were written at shutdown, and the window is gone.
    EXPECT_TRUE(fs::exists(m_prog / "octwtch.ini"));
    EXPECT_FALSE(m_ui.HasControl(IDC_BTN_EXECUTE));
}

TEST_F(StartupTest, WithoutTheCp932ConverterNeitherProgramStarts) {
    EXPECT_TRUE(CheckTextConverter());
    m_ui.SetConverterAvailable(false);
    EXPECT_FALSE(CheckTextConverter());
    EXPECT_EQ(Boxes(), std::vector<std::string>{"※文字コード変換 (CP932) が使えません。\n"
                                                "ファイルの文字が壊れるため起動できません。"});
    EXPECT_FALSE(fs::exists(m_prog / "DataTrace.txt")); // nothing written, not even the trace
}
} // namespace
