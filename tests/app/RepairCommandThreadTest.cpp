// The repair arrows after a run: which file they patch, and every way they refuse.
#include "MainDlgFixture.h"

#include <cstdio>

using namespace testsupport;
using support::UiEvent;

namespace {

class RepairCommandTest : public MainDlgTest {
protected:
    // A run over A = "ABCDEF" and B = "AXCDEY" with the database on; both arrows visible after.
    CMyMainDlg& RunWithDatabase() {
        WriteFile(m_a, "ABCDEF");
        WriteFile(m_b, "AXCDEY");
        CMyMainDlg& dlg = Open();
        Choose(IDC_BTN_FILE_A, m_a);
        Choose(IDC_BTN_FILE_B, m_b);
        EXPECT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
        WaitForWorker();
        EXPECT_EQ(dlg.LastRun().m_ran.m_outcome, RunOutcome::kCompleted);
        EXPECT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
        EXPECT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_B));
        m_ui.ClearEvents();
        return dlg;
    }
    // Presses an arrow with the given answer to its question, and handles what it posted.
    CommandResult Press(int nArrow, int nAnswer) {
        m_ui.QueueAnswer(nAnswer);
        EXPECT_TRUE(m_ui.CanClick(nArrow));
        const CommandResult result =
            nArrow == IDC_BTN_REPAIR_A ? m_dlg->OnBtnRepairA() : m_dlg->OnBtnRepairB();
        m_ui.Pump();
        return result;
    }
    // The trace written since the run ended.
    std::string TraceSince() {
        const std::string t = Trace();
        return t.substr(std::min(t.size(), m_nTraceMark));
    }
    void MarkTrace() { m_nTraceMark = Trace().size(); }

    std::string m_a = m_dir / "a.bin";
    std::string m_b = m_dir / "b.bin";
    std::size_t m_nTraceMark = 0;
};

TEST_F(RepairCommandTest, RepairingAMakesTheFilesEqualAndHidesTheArrows) {
    RunWithDatabase();
    MarkTrace();
    const CommandResult result = Press(IDC_BTN_REPAIR_A, IDYES);
    EXPECT_EQ(ReadFile(m_a), "AXCDEY");
    EXPECT_EQ(ReadFile(m_b), "AXCDEY");
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_B));
    EXPECT_EQ(result.m_outcome, CommandOutcome::kRepaired);
    auto boxes = m_ui.EventsOf(UiEvent::Kind::Box);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].m_strText, "FileA: 【 " + m_a +
                                      " 】\nを修復しようとしています。\n元には戻せませんが本当に実行"
                                      "してよろしいですか?");
    EXPECT_EQ(boxes[0].m_strCaption, "修復ファイルの確認");
    EXPECT_EQ(boxes[0].m_buttons, ui::BoxButtons::YesNo);
    EXPECT_EQ(boxes[0].m_icon, ui::BoxIcon::Exclamation);
    EXPECT_EQ(boxes[0].m_nDefaultButton, 2); // Enter says No
    EXPECT_EQ(TraceSince(), boxes[1].m_strText + "◎修復に成功しました。\n");
}

TEST_F(RepairCommandTest, RepairingBMakesTheFilesEqual) {
    RunWithDatabase();
    const CommandResult result = Press(IDC_BTN_REPAIR_B, IDYES);
    EXPECT_EQ(ReadFile(m_b), "ABCDEF");
    EXPECT_EQ(ReadFile(m_a), "ABCDEF");
    EXPECT_EQ(result.m_outcome, CommandOutcome::kRepaired);
    EXPECT_EQ(m_ui.BoxTexts()[0].substr(0, 10), "FileB: 【");
}

TEST_F(RepairCommandTest, DeclinedRepairTracesOnlyAndChangesNothing) {
    CMyMainDlg& dlg = RunWithDatabase();
    MarkTrace();
    const CommandResult resultA = Press(IDC_BTN_REPAIR_A, IDNO);
    const CommandResult resultB = Press(IDC_BTN_REPAIR_B, IDNO);
    EXPECT_EQ(ReadFile(m_a), "ABCDEF");
    EXPECT_EQ(ReadFile(m_b), "AXCDEY");
    EXPECT_EQ(TraceSince(), "▽ファイルAの修復を開始しませんでした。\n"
                            "▽ファイルBの修復を開始しませんでした。\n");
    EXPECT_TRUE(dlg.m_DiffRepair.m_strErrorFileName.empty());
    EXPECT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
    EXPECT_EQ(resultA.m_outcome, CommandOutcome::kRepairDeclined);
    EXPECT_EQ(resultB.m_outcome, CommandOutcome::kRepairDeclined);
}

TEST_F(RepairCommandTest, TargetMadeReadOnlySinceTheRunFailsWithABoxAndKeepsTheArrows) {
    RunWithDatabase();
    MakeReadOnly(m_a);
    MarkTrace();
    const CommandResult result = Press(IDC_BTN_REPAIR_A, IDYES);
    EXPECT_EQ(ReadFile(m_a), "ABCDEF");
    const std::string failed =
        "※修復ファイルのオープンに失敗。CMyDiffRepair::DoRepair()\n\tFileName[" + m_a + "]\n";
    EXPECT_EQ(TraceSince(), failed + "※修復に失敗しました。\n");
    ASSERT_EQ(m_ui.BoxTexts().size(), 2u);
    EXPECT_EQ(m_ui.BoxTexts()[1], failed);
    EXPECT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
    EXPECT_EQ(result.m_outcome, CommandOutcome::kRepairFailed);
}

TEST_F(RepairCommandTest, FileDroppedSinceTheRunIsNotPatched) {
    RunWithDatabase();
    const std::string dropped = m_dir / "dropped.bin";
    WriteFile(dropped, "ABCDEF");
    ASSERT_TRUE(m_ui.Drop(IDC_EDIT_FILE_A, {dropped}));
    ASSERT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A)); // a drop leaves the arrows
    const CommandResult result = Press(IDC_BTN_REPAIR_A, IDYES);
    EXPECT_EQ(ReadFile(dropped), "ABCDEF");
    EXPECT_EQ(ReadFile(m_a), "ABCDEF");
    EXPECT_EQ(result.m_outcome, CommandOutcome::kRepairRefused);
}

TEST_F(RepairCommandTest, RefusedPathNeverFallsBackToAnEarlierOne) {
    CMyMainDlg& dlg = RunWithDatabase();
    // The repair of B registers B's path, and fails because B is read-only.
    MakeReadOnly(m_b);
    Press(IDC_BTN_REPAIR_B, IDYES);
    ASSERT_EQ(dlg.m_DiffRepair.m_strErrorFileName, m_b);
    fs::permissions(m_b, fs::perms::owner_write, fs::perm_options::add);
    // FILE A is gone: its repair must not patch the B registered before.
    fs::remove(m_a);
    MarkTrace();
    m_ui.ClearEvents();
    ASSERT_TRUE(m_ui.CanClick(IDC_BTN_REPAIR_A));
    const CommandResult result = dlg.OnBtnRepairA();
    EXPECT_EQ(ReadFile(m_b), "AXCDEY");
    const std::string missing =
        "※修復するファイルが見つかりません。OnBtnRepairA()\n\tFilePath[" + m_a + "]\n";
    EXPECT_EQ(TraceSince(), missing + "※修復に失敗しました。\n");
    EXPECT_EQ(Boxes(), std::vector<std::string>{missing}); // refused before any question
    EXPECT_EQ(result.m_outcome, CommandOutcome::kRepairRefused);
}

TEST_F(RepairCommandTest, StoreOfAFailedRunRepairsNothing) {
    CMyMainDlg& dlg = RunWithDatabase();
    // A second run over the same files that cannot open its log: the store was emptied for it,
    // and the arrows of the first run went with it.
    fs::create_directory(m_dir / "logdir");
    m_ui.SetControlText(IDC_EDIT_LOG_FILE, m_dir / "logdir");
    ASSERT_TRUE(m_ui.Click(IDC_BTN_EXECUTE));
    WaitForWorker();
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_B));
    // Were it reached anyway, the emptied store would not patch a file it does not describe.
    const CommandResult result = dlg.OnBtnRepairA();
    EXPECT_EQ(ReadFile(m_a), "ABCDEF");
    EXPECT_EQ(result.m_outcome, CommandOutcome::kRepairNoDataBase);
    EXPECT_EQ(result.m_nFile, 0);
}

// A file replaced, written or cut short since the run is refused before the question is asked,
// with a box that names it; the bytes stored for the file as it was are not written into it.
TEST_F(RepairCommandTest, FileChangedSinceTheRunIsRefusedBeforeTheQuestion) {
    const struct {
        const char* m_pWhy;
        void (*m_change)(const std::string& path);
    } changes[] = {
        {"※比較したファイルと異なるため修復できません。",
         [](const std::string& p) {
             WriteFile(p + ".new", "QQQQQQ");
             fs::rename(p + ".new", p);
         }},
        {"※比較した後にファイルが変更されたため修復できません。",
         [](const std::string& p) { fs::resize_file(p, 3); }},
        {"※比較した後にファイルが変更されたため修復できません。",
         [](const std::string& p) {
             WriteFile(p, "AQCDEY");
             // A write within the clock's tick after the run would keep the time the run saw.
             fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(1));
         }},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.m_pWhy);
        fs::remove(m_prog / "Result.txt"); // no overwrite question
        CMyMainDlg& dlg = RunWithDatabase();
        c.m_change(m_b);
        const std::string changed = ReadFile(m_b);
        MarkTrace();
        ASSERT_TRUE(m_ui.CanClick(IDC_BTN_REPAIR_B));
        const CommandResult result = dlg.OnBtnRepairB();
        const std::string text =
            std::string(c.m_pWhy) + "OnBtnRepairB()\n\tFilePath[" + m_b + "]\n";
        EXPECT_EQ(Boxes(), std::vector<std::string>{text});
        EXPECT_EQ(TraceSince(), text + "※修復に失敗しました。\n");
        EXPECT_EQ(ReadFile(m_b), changed);
        EXPECT_EQ(result.m_outcome, CommandOutcome::kRepairRefused);
        EXPECT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_B));
        m_dlg.reset();
    }
}
} // namespace
