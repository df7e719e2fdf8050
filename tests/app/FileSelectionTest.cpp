// The select buttons, the size lines, the status icons and the writability check.
#include "MainDlgFixture.h"
#include "support/Watchdog.h"

#include <sys/stat.h>

using namespace testsupport;
using support::UiEvent;

namespace {

class FileSelectionTest : public MainDlgTest {};

TEST_F(FileSelectionTest, SizeLineGroupsTheDigits) {
    struct Case {
        std::int64_t m_i64Size;
        const char* m_pLine;
    };
    const Case cases[] = {
        {0, "└ 0 Byte"},
        {999, "└ 999 Byte"},
        {1000, "└ 1,000 Byte"},
        {1234567, "└ 1,234,567 Byte"},
        {5000000000LL, "└ 5,000,000,000 Byte"}, // beyond 32 bits, measured without reading
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_pLine);
        // Appended, not "f" + temporary: GCC 12 at -O3 warns (-Wrestrict) about the latter.
        const std::string path = m_dir / std::string("f").append(std::to_string(c.m_i64Size));
        MakeSparse(path, c.m_i64Size);
        Choose(IDC_BTN_FILE_A, path);
        EXPECT_EQ(Text(IDC_EDIT_SIZE_A), c.m_pLine);
        EXPECT_EQ(m_dlg->m_FileData.i64SizeA, c.m_i64Size);
    }
    MakeSparse(m_dir / "b", 1000);
    Choose(IDC_BTN_FILE_B, m_dir / "b");
    EXPECT_EQ(Text(IDC_EDIT_SIZE_B), "└ 1,000 Byte");
}

TEST_F(FileSelectionTest, ChosenFileSetsFolderIconAndFlag) {
    CMyMainDlg& dlg = Open();
    const std::string path = m_dir / "a.bin";
    WriteFile(path, "abc");
    m_ui.SetProgressPos(IDC_PROGRESS, 40);
    Choose(IDC_BTN_FILE_A, path);
    EXPECT_EQ(Text(IDC_EDIT_FILE_A), path);
    EXPECT_EQ(dlg.m_FileData.strFileA, path);
    EXPECT_EQ(dlg.m_strFoldA, m_dir.Str());
    EXPECT_TRUE(dlg.m_bSelectedA);
    EXPECT_EQ(LastIcon(IDC_ICON_A), IDI_WRITABLE);
    EXPECT_EQ(dlg.m_nStatusA, 1);
    EXPECT_EQ(m_ui.GetProgressPos(IDC_PROGRESS), 0);
    // The dialog opened in the folder remembered before.
    auto dialogs = m_ui.EventsOf(UiEvent::Kind::OpenDialog);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].m_strCaption, m_prog.Str());
}

TEST_F(FileSelectionTest, ReadOnlyFileBGetsTheProhibitedIcon) {
    CMyMainDlg& dlg = Open();
    const std::string path = m_dir / "b.bin";
    WriteFile(path, "abc");
    MakeReadOnly(path);
    Choose(IDC_BTN_FILE_B, path);
    EXPECT_EQ(LastIcon(IDC_ICON_B), IDI_READONLY);
    EXPECT_EQ(dlg.m_nStatusB, 2);
}

TEST_F(FileSelectionTest, FileThatCannotBeSizedIsRefusedAndLeavesTheRest) {
    struct Case {
        int m_nButton;
        const char* m_pName; // in m_dir; "" for the folder itself
        const char* m_pBox;
        const char* m_pReason;
        std::optional<platform::FileKind> m_kind; // what the result says the file is
        int m_nErrno;
    };
    const Case cases[] = {
        {IDC_BTN_FILE_A, "missing.bin", "ファイルAのサイズ取得に失敗。", "ファイルが見つかりません。",
         std::nullopt, ENOENT},
        {IDC_BTN_FILE_B, "missing.bin", "ファイルBのサイズ取得に失敗。", "ファイルが見つかりません。",
         std::nullopt, ENOENT},
        {IDC_BTN_FILE_A, "", "ファイルAのサイズ取得に失敗。",
         "フォルダです。比較するファイルを指定してください。", platform::FileKind::Folder, EISDIR},
        // Refused at once: measuring a named pipe would wait for a writer for ever.
        {IDC_BTN_FILE_B, "fifo", "ファイルBのサイズ取得に失敗。",
         "名前付きパイプです。比較できるのは通常のファイルとブロックデバイスだけです。",
         platform::FileKind::Fifo, ENXIO},
    };
    ::mkfifo((m_dir / "fifo").c_str(), 0600);
    Watchdog dog(60, "measuring files that cannot be sized");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_pBox);
        CMyMainDlg& dlg = Open();
        const bool bA = c.m_nButton == IDC_BTN_FILE_A;
        const std::string good = m_dir / "good.bin";
        WriteFile(good, "12345");
        EXPECT_EQ(Select(c.m_nButton, good).m_outcome, CommandOutcome::kSelected);
        const std::string sizeLine = Text(bA ? IDC_EDIT_SIZE_A : IDC_EDIT_SIZE_B);
        m_ui.ShowControl(IDC_BTN_REPAIR_A, true);
        const std::string fold = fs::path(m_dir.Str()).parent_path().string();
        const std::string bad = *c.m_pName ? m_dir / c.m_pName : m_dir.Str();
        (bA ? dlg.m_strFoldA : dlg.m_strFoldB) = fold;
        m_ui.ClearEvents();

        const CommandResult result = Select(c.m_nButton, bad);
        EXPECT_EQ(result.m_outcome, CommandOutcome::kUnmeasurable);
        EXPECT_EQ(result.m_nFile, bA ? 0 : 1);
        EXPECT_EQ(result.m_strPath, bad);
        EXPECT_EQ(result.m_kind, c.m_kind);
        EXPECT_EQ(result.m_nErrno, c.m_nErrno);
        // The box names the file and says why; the size line and the icon stop describing the
        // file chosen before.
        EXPECT_EQ(Boxes(), std::vector<std::string>{std::string(c.m_pBox) + "\n\t[ " + bad + " ]\n" +
                                                    c.m_pReason});
        EXPECT_EQ(Text(bA ? IDC_EDIT_FILE_A : IDC_EDIT_FILE_B), bad);
        EXPECT_EQ((bA ? dlg.m_FileData.strFileA : dlg.m_FileData.strFileB), bad);
        EXPECT_EQ((bA ? dlg.m_FileData.i64SizeA : dlg.m_FileData.i64SizeB), 0);
        EXPECT_NE(sizeLine, "");
        EXPECT_EQ(Text(bA ? IDC_EDIT_SIZE_A : IDC_EDIT_SIZE_B),
                  bA ? "※ファイルA: サイズエラー" : "※ファイルB: サイズエラー");
        EXPECT_EQ((bA ? dlg.m_strFoldA : dlg.m_strFoldB), fold);
        EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
        EXPECT_EQ(LastIcon(bA ? IDC_ICON_A : IDC_ICON_B), IDR_MAINFRAME);
        m_dlg.reset();
    }
}

TEST_F(FileSelectionTest, CancelledDialogChangesNothing) {
    CMyMainDlg& dlg = Open();
    m_ui.ShowControl(IDC_BTN_REPAIR_B, true);
    m_ui.ClearEvents();
    EXPECT_EQ(Select(IDC_BTN_FILE_B, std::nullopt).m_outcome, CommandOutcome::kCancelled);
    EXPECT_TRUE(m_ui.IsControlVisible(IDC_BTN_REPAIR_B));
    EXPECT_FALSE(dlg.m_bSelectedB);
    EXPECT_EQ(m_ui.Events().size(), 1u); // the dialog, nothing else
}

TEST_F(FileSelectionTest, LogNamedLikeTheDatabaseIsRefusedCaseSensitively) {
    CMyMainDlg& dlg = Open();
    const std::string old = dlg.m_strLogFile;
    EXPECT_EQ(Select(IDC_BTN_LOG_FILE, m_prog / "DiffData.db").m_outcome, CommandOutcome::kLogIsBase);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"※データベースファイルと同じファイル名は使えません。\n"});
    EXPECT_EQ(dlg.m_strLogFile, old);
    EXPECT_EQ(Text(IDC_EDIT_LOG_FILE), old);

    EXPECT_EQ(Select(IDC_BTN_LOG_FILE, m_prog / "diffdata.db").m_outcome, CommandOutcome::kSelected);
    EXPECT_EQ(dlg.m_strLogFile, m_prog / "diffdata.db");
    EXPECT_EQ(Text(IDC_EDIT_LOG_FILE), m_prog / "diffdata.db");
    // The save dialog opened in the folder of the log name of the time.
    auto dialogs = m_ui.EventsOf(UiEvent::Kind::SaveDialog);
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1].m_strCaption, m_prog.Str());
}

TEST_F(FileSelectionTest, StatusIconsFollowTheFilesState) {
    CMyMainDlg& dlg = Open();
    const std::string a = m_dir / "a.bin";
    WriteFile(a, "a");
    Choose(IDC_BTN_FILE_A, a);
    EXPECT_EQ(LastIcon(IDC_ICON_A), IDI_WRITABLE);
    MakeReadOnly(a);
    EXPECT_EQ(LastIcon(IDC_ICON_A), IDI_WRITABLE); // nothing changes until the next refresh
    EXPECT_TRUE(dlg.UpdateStatusIcons(0));
    EXPECT_EQ(LastIcon(IDC_ICON_A), IDI_READONLY);
    fs::remove(a);
    dlg.UpdateStatusIcons(-1);
    EXPECT_EQ(LastIcon(IDC_ICON_A), IDR_MAINFRAME);
    m_ui.ClearEvents();
    EXPECT_TRUE(dlg.UpdateStatusIcons(3)); // an unknown file: nothing
    EXPECT_TRUE(m_ui.EventsOf(UiEvent::Kind::Icon).empty());
}

TEST_F(FileSelectionTest, RefreshFileInfoRereadsTheBoxAndRemembersItsFolder) {
    CMyMainDlg& dlg = Open();
    TempDir other;
    const std::string b = other / "typed.bin";
    WriteFile(b, std::string(1234, 'x'));
    m_ui.SetControlText(IDC_EDIT_FILE_B, b);
    const std::string foldA = dlg.m_strFoldA;
    EXPECT_TRUE(dlg.RefreshFileInfo(1));
    EXPECT_EQ(dlg.m_FileData.strFileB, b);
    EXPECT_EQ(dlg.m_strFoldB, other.Str());
    EXPECT_EQ(dlg.m_strFoldA, foldA);
    EXPECT_EQ(Text(IDC_EDIT_SIZE_B), "└ 1,234 Byte");
    EXPECT_NE(Trace().find("○　ファイルBのフォルダデータ[" + other.Str() + "]\n"), std::string::npos);
    EXPECT_FALSE(dlg.RefreshFileInfo(2));
}

TEST_F(FileSelectionTest, RefreshFileInfoRefusesANameWithoutFolder) {
    CMyMainDlg& dlg = Open();
    {
        const ScopedFile typed("octw-typed-no-folder.bin"); // in the working folder
        WriteFile(typed.Str(), "abc");
        m_ui.SetControlText(IDC_EDIT_FILE_A, typed.Str());
        EXPECT_FALSE(dlg.RefreshFileInfo(0));
    }
    m_ui.SetControlText(IDC_EDIT_FILE_A, m_dir / "none.bin");
    EXPECT_FALSE(dlg.RefreshFileInfo(0));
}

TEST_F(FileSelectionTest, GetFileSizeWithoutPathTracesAndClears) {
    CMyMainDlg& dlg = Open();
    dlg.m_FileData.strFileB = "/x";
    dlg.m_FileData.i64SizeB = 7;
    EXPECT_EQ(dlg.GetFileSizeB64(nullptr), -1);
    EXPECT_EQ(dlg.m_FileData.strFileB, "");
    EXPECT_EQ(dlg.m_FileData.i64SizeB, 0);
    EXPECT_FALSE(dlg.m_FileData.bOpenB);
    EXPECT_EQ(TraceAfterMarker(), "引数が無効。GetFileSizeB64()\n");
}

class WritabilityTest : public MainDlgTest {
protected:
    // FILE A, FILE B and the log with the given read-only states, named in m_FileData.
    CMyMainDlg& Prepare(bool bReadOnlyA, bool bReadOnlyB, bool bReadOnlyLog, BOOL bUseDB) {
        CMyMainDlg& dlg = Open();
        dlg.m_FileData.strFileA = m_dir / "a.bin";
        dlg.m_FileData.strFileB = m_dir / "b.bin";
        dlg.m_strLogFile = m_dir / "log.txt";
        dlg.m_FileData.strLogFile = dlg.m_strLogFile; // as execute reads it from its box
        for (const std::string& f : {dlg.m_FileData.strFileA, dlg.m_FileData.strFileB, dlg.m_strLogFile})
            fs::remove(f);
        WriteFile(dlg.m_FileData.strFileA, "a");
        WriteFile(dlg.m_FileData.strFileB, "b");
        if (bReadOnlyA)
            MakeReadOnly(dlg.m_FileData.strFileA);
        if (bReadOnlyB)
            MakeReadOnly(dlg.m_FileData.strFileB);
        if (bReadOnlyLog) {
            WriteFile(dlg.m_strLogFile, "old");
            MakeReadOnly(dlg.m_strLogFile);
        }
        dlg.m_bUseDataBase = bUseDB;
        return dlg;
    }
    static constexpr const char* kBothUnwritable =
        "※両ファイルともに書き込み不能です。\r\n　データベースを作成しても修正出来ませんが\r\n"
        "　このまま実行しますか?";
    // The refusal names the log.
    const std::string kLogUnwritable =
        "※不一致情報を書き込むテキストファイルが書き込み不能です。\n\t[ " + (m_dir / "log.txt") +
        " ]\n";
};

TEST_F(WritabilityTest, RepairableBitsFollowTheTwoFiles) {
    struct Case {
        bool m_bReadOnlyA, m_bReadOnlyB;
        int m_nRepairable;
    };
    for (const Case& c : {Case{false, false, 3}, Case{false, true, 1}, Case{true, false, 2}}) {
        SCOPED_TRACE(::testing::Message() << "read-only A " << c.m_bReadOnlyA << ", B " << c.m_bReadOnlyB);
        CMyMainDlg& dlg = Prepare(c.m_bReadOnlyA, c.m_bReadOnlyB, false, TRUE);
        EXPECT_TRUE(dlg.CheckWritable());
        EXPECT_EQ(dlg.m_nRepairable, c.m_nRepairable);
        EXPECT_TRUE(Boxes().empty());
        m_dlg.reset();
    }
}

TEST_F(WritabilityTest, BothUnwritableAsksAndNoRefuses) {
    CMyMainDlg& dlg = Prepare(true, true, false, TRUE);
    m_ui.QueueAnswer(IDNO);
    EXPECT_FALSE(dlg.CheckWritable());
    auto boxes = m_ui.EventsOf(UiEvent::Kind::Box);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].m_strText, kBothUnwritable);
    EXPECT_EQ(boxes[0].m_buttons, ui::BoxButtons::YesNo);
    EXPECT_EQ(boxes[0].m_icon, ui::BoxIcon::Question);
    EXPECT_EQ(TraceAfterMarker(), "");
}

TEST_F(WritabilityTest, BothUnwritableYesGoesOnWithATraceLine) {
    CMyMainDlg& dlg = Prepare(true, true, false, TRUE);
    m_ui.QueueAnswer(IDYES);
    EXPECT_TRUE(dlg.CheckWritable());
    EXPECT_EQ(dlg.m_nRepairable, 0);
    EXPECT_EQ(TraceAfterMarker(), "(!)両ファイルともに書き込み不能ですが比較実行します\n");
}

TEST_F(WritabilityTest, WithoutDatabaseNoQuestionIsAsked) {
    CMyMainDlg& dlg = Prepare(true, true, false, FALSE);
    EXPECT_TRUE(dlg.CheckWritable());
    EXPECT_EQ(dlg.m_nRepairable, 0);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(WritabilityTest, ReadOnlyLogIsRefusedWithBoxAndTrace) {
    CMyMainDlg& dlg = Prepare(false, false, true, TRUE);
    EXPECT_FALSE(dlg.CheckWritable());
    EXPECT_EQ(Boxes(), std::vector<std::string>{kLogUnwritable});
    EXPECT_EQ(TraceAfterMarker(), kLogUnwritable);
}

TEST_F(WritabilityTest, QuestionComesBeforeTheLogRefusal) {
    CMyMainDlg& dlg = Prepare(true, true, true, TRUE);
    m_ui.QueueAnswer(IDYES);
    EXPECT_FALSE(dlg.CheckWritable());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kBothUnwritable, kLogUnwritable}));
}

} // namespace
