// What each message of the run does to the window, and the two check boxes.
#include "MainDlgFixture.h"

#include "util/PathUtil.h"

using namespace testsupport;

namespace {

class WindowMessagesTest : public MainDlgTest {
protected:
    void PostDiff(std::int64_t i64Adrs, BYTE a, BYTE b, std::int64_t i64Count) {
        std::int32_t high = 0;
        std::uint32_t low = SplitInt64(i64Adrs, &high);
        m_dlg->WindowProc(WM_DIFF_ADRS, low, high);
        m_dlg->WindowProc(WM_DIFF_DATA, a, b);
        low = SplitInt64(i64Count, &high);
        m_dlg->WindowProc(WM_DIFF_COUNT, low, high);
    }
    static constexpr int kInputs[] = {IDC_BTN_EXECUTE, IDC_BTN_FILE_A,  IDC_BTN_FILE_B,
                                      IDC_BTN_LOG_FILE, IDC_CHK_MAKE_DB, IDC_BTN_REPAIR_A,
                                      IDC_BTN_REPAIR_B};
    static constexpr int kUntouched[] = {IDOK, IDC_EDIT_FILE_A, IDC_EDIT_FILE_B, IDC_EDIT_LOG_FILE,
                                         IDC_CHK_DISP_DIFF};
};

TEST_F(WindowMessagesTest, LiveLineShowsCountAddressAndBothBytes) {
    Open();
    PostDiff(500, 0x41, 0x42, 3);
    EXPECT_EQ(Text(IDC_EDIT_OUTPUT), "(3) 00000001F4 h : 41 , 42");
    PostDiff(0x123456789ALL, 0x00, 0xFF, 5000000000LL);
    EXPECT_EQ(Text(IDC_EDIT_OUTPUT), "(5000000000) 123456789A h : 00 , FF");
}

TEST_F(WindowMessagesTest, DisableAndEnableTouchOnlyTheInputControls) {
    Open();
    m_dlg->WindowProc(WM_DISABLE_CTRLS, 0, 0);
    for (int id : kInputs)
        EXPECT_FALSE(m_ui.IsControlEnabled(id)) << id;
    for (int id : kUntouched)
        EXPECT_TRUE(m_ui.IsControlEnabled(id)) << id;
    m_dlg->WindowProc(WM_ENABLE_CTRLS, 0, 0);
    for (int id : kInputs)
        EXPECT_TRUE(m_ui.IsControlEnabled(id)) << id;
}

TEST_F(WindowMessagesTest, RepairArrowsFollowTheDatabaseAndTheWritableFiles) {
    struct Case {
        BOOL m_bUseDB;
        int m_nRepairable;
        bool m_bWasA, m_bWasB; // visible before
        UINT m_message;
        bool m_bA, m_bB;       // visible after
    };
    const Case cases[] = {
        {TRUE, 3, false, false, WM_SHOW_REPAIR_BTN, true, true},
        {TRUE, 1, false, false, WM_SHOW_REPAIR_BTN, true, false},
        {TRUE, 2, false, false, WM_SHOW_REPAIR_BTN, false, true},
        {TRUE, 2, true, false, WM_SHOW_REPAIR_BTN, false, true}, // an earlier run's arrow goes
        {TRUE, 0, true, true, WM_SHOW_REPAIR_BTN, false, false},
        {FALSE, 3, true, true, WM_SHOW_REPAIR_BTN, false, false},
        {TRUE, 3, true, true, WM_HIDE_REPAIR_BTN, false, false},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "database " << c.m_bUseDB << ", writable " << c.m_nRepairable << ", message " << c.m_message);
        m_dlg->m_bUseDataBase = c.m_bUseDB;
        m_dlg->m_nRepairable = c.m_nRepairable;
        m_ui.ShowControl(IDC_BTN_REPAIR_A, c.m_bWasA);
        m_ui.ShowControl(IDC_BTN_REPAIR_B, c.m_bWasB);
        m_dlg->WindowProc(c.m_message, 0, 0);
        EXPECT_EQ(m_ui.IsControlVisible(IDC_BTN_REPAIR_A), c.m_bA) << &c - cases;
        EXPECT_EQ(m_ui.IsControlVisible(IDC_BTN_REPAIR_B), c.m_bB) << &c - cases;
    }
}

TEST_F(WindowMessagesTest, UncheckingTheDatabaseLeavesVisibleArrowsAlone) {
    Open();
    m_dlg->m_nRepairable = 3;
    m_dlg->WindowProc(WM_SHOW_REPAIR_BTN, 0, 0);
    ASSERT_TRUE(m_ui.Click(IDC_CHK_MAKE_DB));
    EXPECT_FALSE(m_dlg->m_bUseDataBase);
    EXPECT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
    EXPECT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_B));
}

// The run's last message, however it ended: the log's icon, the controls back, the stop button
// gone.
TEST_F(WindowMessagesTest, ThreadEndRefreshesOnlyTheLogIconAndGivesTheControlsBack) {
    Open();
    m_dlg->WindowProc(WM_DISABLE_CTRLS, 0, 0);
    m_ui.ShowControl(IDC_BTN_STOP, true);
    m_ui.ClearEvents();
    WriteFile(m_prog / "Result.txt", "new log");
    m_dlg->WindowProc(WM_THREAD_END, 0, 0);
    auto icons = m_ui.EventsOf(support::UiEvent::Kind::Icon);
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].m_nId, IDC_ICON_LOG);
    EXPECT_EQ(icons[0].m_nValue, IDI_WRITABLE);
    for (int id : kInputs)
        EXPECT_TRUE(m_ui.IsControlEnabled(id)) << id;
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_STOP));
}

TEST_F(WindowMessagesTest, DatabaseCheckBoxTracesEachState) {
    CMyMainDlg& dlg = Open();
    ASSERT_TRUE(m_ui.Click(IDC_CHK_MAKE_DB));
    EXPECT_FALSE(dlg.m_bUseDataBase);
    ASSERT_TRUE(m_ui.Click(IDC_CHK_MAKE_DB));
    EXPECT_TRUE(dlg.m_bUseDataBase);
    m_ui.SetCheck(IDC_CHK_MAKE_DB, 2);
    dlg.OnChkMakeLog();
    EXPECT_TRUE(dlg.m_bUseDataBase);
    EXPECT_EQ(TraceAfterMarker(), "データ作成チェックが外されました。OnChkMakeLog()\n"
                                  "データ作成チェックが入りました。OnChkMakeLog()\n"
                                  "無効なチェック状態です。OnChkMakeLog()\n");
}

} // namespace
