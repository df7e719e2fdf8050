// The engine's pieces that need no worker: the difference line, the setters, the overwrite
// question and the opening of the log.
#include "EngineHarness.h"

#include "engine/CMyOverwriteDlg.h"

#include <gtest/gtest.h>

namespace enginetest {
namespace {

struct LineCase {
    std::int64_t m_adrs;
    int m_mode;
    std::int64_t m_sizeA, m_sizeB;
    const char* m_expected;
};

TEST(FormatDiffLine, AddressWidthAndTheColumnOfTheShorterFile) {
    const LineCase cases[] = {
        {0x1A0, SIZE_EQUAL, 1000, 1000, "00000001A0 h :   4F      6F\n"},
        {0, SIZE_NOT_SET, 0, 0, "0000000000 h :   4F      6F\n"},
        {0xFFFFFFFFFF, SIZE_EQUAL, 0, 0, "FFFFFFFFFF h :   4F      6F\n"},
        {std::int64_t{1} << 40, SIZE_EQUAL, 0, 0, "10000000000 h :   4F      6F\n"},
        {INT64_MAX, SIZE_EQUAL, 0, 0, "7FFFFFFFFFFFFFFF h :   4F      6F\n"},
        {0x0123456789ABCDEF, SIZE_EQUAL, 0, 0, "123456789ABCDEF h :   4F      6F\n"},
        // FILE A longer: from FILE B's size on, B has no byte.
        {99, SIZE_A_LONGER, 200, 100, "0000000063 h :   4F      6F\n"},
        {100, SIZE_A_LONGER, 200, 100, "0000000064 h :   4F      --\n"},
        // FILE B longer: from FILE A's size on, A has no byte.
        {100, SIZE_B_LONGER, 100, 200, "0000000064 h :   --      6F\n"},
        {100, SIZE_EQUAL, 100, 200, "0000000064 h :   4F      6F\n"},
    };
    testsupport::ProgramFolder prog;
    support::ScriptedUi ui;
    CMyMakeFile engine;
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.m_expected);
        engine.m_nSizeMode = c.m_mode;
        engine.m_i64SizeA = c.m_sizeA;
        engine.m_i64SizeB = c.m_sizeB;
        char line[CMyMakeFile::kLineRoom];
        // Written as the log holds it, with CR LF.
        std::string want = c.m_expected;
        want.insert(want.size() - 1, "\r");
        EXPECT_EQ(engine.FormatDiffLine(line, c.m_adrs, 0x4F, 0x6F), want) << c.m_adrs;
    }
}

// --- setters ---

TEST(Setters, NullControlsAndRecordAreRefusedInABoxAndKeepTheOldValue) {
    testsupport::ProgramFolder prog;
    support::ScriptedUi ui;
    CMyMakeFile engine;
    const ui::CControl progress(IDC_PROGRESS), exe(IDC_BTN_EXECUTE), stop(IDC_BTN_STOP);
    engine.SetPorgCtrl(&progress);
    engine.SetBtnExe(&exe);
    engine.SetBtnStop(&stop);
    FILEDATA data;
    data.strFileA = "/kept";
    engine.SetFileDataEx(&data);

    engine.SetPorgCtrl(nullptr);
    engine.SetBtnExe(nullptr);
    engine.SetBtnStop(nullptr);
    engine.SetFileDataEx(nullptr);

    EXPECT_EQ(ui.BoxTexts(), (std::vector<std::string>{
                                 "※ 引数が無効。CMyMakeFIle::SetPorgCtrl",
                                 "※　引数が無効。CMyMakeFile::SetBtnExe()",
                                 "※　引数が無効。CMyMakeFile::SetBtnStop()",
                                 "※　引数が無効です。CMyMakeFile::SetFileDataEx()",
                             }));
    EXPECT_EQ(engine.m_pProgCtrl, &progress);
    EXPECT_EQ(engine.m_pBtnExe, &exe);
    EXPECT_EQ(engine.m_pBtnStop, &stop);
    EXPECT_EQ(engine.m_strFileA, "/kept");
}

TEST(Setters, DatabaseRegistrationFollowsTheRunState) {
    testsupport::ProgramFolder prog;
    support::ScriptedUi ui;
    CMyMakeFile engine;
    CMyDiffDataBase store;

    EXPECT_FALSE(engine.SetUseDBFile(TRUE)); // no store yet
    EXPECT_FALSE(engine.m_bUseDB);
    EXPECT_FALSE(engine.SetDiffDataBaseADRS(nullptr));
    engine.m_bFinish = TRUE; // a finished run, not yet reset
    EXPECT_FALSE(engine.SetDiffDataBaseADRS(&store));
    EXPECT_EQ(engine.m_pDiffDataBase, nullptr);
    EXPECT_EQ(prog.Trace(),
              OnDisk("※データベースのインスタンスが登録されていません。CMyMakeFile::SetUseDBFile()\n"
                     "\tbUse[1]\n"
                     "※引数が無効です。CMyMakeFIle::SetDiffDataBaseADRS()\n"
                     "※実行中には登録できません。CMyMakeFIle::SetDiffDataBaseADRS()\n"));

    engine.ResetSearchState();
    EXPECT_TRUE(engine.SetDiffDataBaseADRS(&store));
    EXPECT_TRUE(engine.SetUseDBFile(TRUE));
    EXPECT_TRUE(engine.m_bUseDB);
    EXPECT_TRUE(engine.SetUseDBFile(FALSE));
    EXPECT_FALSE(engine.m_bUseDB);
    EXPECT_TRUE(ui.BoxTexts().empty());
}

TEST(Setters, DatabasePathMustBeAcceptedByTheStore) {
    testsupport::ProgramFolder prog;
    support::ScriptedUi ui;
    CMyMakeFile engine;
    CMyDiffDataBase store;
    ASSERT_TRUE(engine.SetDiffDataBaseADRS(&store));

    const std::string good = prog / "DiffData.db";
    EXPECT_TRUE(engine.SetDiffDBFileName(good.c_str()));
    EXPECT_EQ(engine.m_strDBFileName, good);
    EXPECT_EQ(store.GetFileName(), good);

    EXPECT_FALSE(engine.SetDiffDBFileName("relative.db"));
    EXPECT_FALSE(engine.SetDiffDBFileName(nullptr));
    EXPECT_EQ(engine.m_strDBFileName, good);
    EXPECT_NE(prog.Trace().find(OnDisk("※引数が無効。CMyMakeFile::SetDiffDBFileName()\n")),
              std::string::npos);
}

// --- the overwrite question ---

TEST(OverwriteDlg, QuestionNamesTheFileAndReturnsToItsFirstFormWhenClosed) {
    support::ScriptedUi ui;
    CMyOverwriteDlg dlg;
    EXPECT_EQ(dlg.m_strMessage, "※同名のログファイルが存在します。\n上書きしますか?");
    dlg.SetMessage("/tmp/50%s.txt");
    EXPECT_EQ(dlg.m_strMessage,
              "※同名のログファイル\r\n[ /tmp/50%s.txt ]\r\nが存在します。上書きしますか?");

    ui.QueueAnswer(IDCANCEL);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(ui.BoxTexts(), (std::vector<std::string>{
                                 "※同名のログファイル\r\n[ /tmp/50%s.txt ]\r\nが存在します。上書きしますか?"}));
    EXPECT_EQ(dlg.m_strMessage, CMyOverwriteDlg::kDefaultMessage);

    dlg.SetMessage("/x");
    dlg.SetMessage(nullptr);
    EXPECT_EQ(dlg.m_strMessage, CMyOverwriteDlg::kDefaultMessage);
    ui.QueueAnswer(IDOK);
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

// --- opening the log ---

class OpenLog : public ::testing::Test {
protected:
    testsupport::ProgramFolder prog;
    testsupport::TempDir dir;
    support::ScriptedUi ui;
    CMyMakeFile engine;
    platform::CTextFile file;
    platform::FileError error;
};

TEST_F(OpenLog, AbsentLogIsCreatedWithoutAQuestion) {
    engine.m_strLogFile = dir / "new.txt";
    EXPECT_TRUE(engine.OpenLogFile(&file, &error));
    EXPECT_TRUE(std::filesystem::exists(engine.m_strLogFile));
    EXPECT_TRUE(ui.BoxTexts().empty());
}

TEST_F(OpenLog, AcceptedOverwriteEmptiesTheLog) {
    engine.m_strLogFile = dir / "old.txt";
    WriteFile(engine.m_strLogFile, "old content");
    ui.QueueAnswer(IDOK);
    EXPECT_TRUE(engine.OpenLogFile(&file, &error));
    EXPECT_EQ(std::filesystem::file_size(engine.m_strLogFile), 0u);
}

} // namespace
} // namespace enginetest

namespace enginetest {
namespace {

// Fails every checked allocation of a read buffer from the n-th on.
class BufferAllocationFails : public platform::IFaultInjector {
public:
    explicit BufferAllocationFails(int n) : m_nFail(n) {}
    void OnOpen(int, const std::string&) override {}
    int OnClose(int) override { return 0; }
    int OnRead(int, std::int64_t, std::size_t&) override { return 0; }
    int OnWrite(int, std::size_t&) override { return 0; }
    bool OnFreeSpace(const std::string&, std::uint64_t&) override { return false; }
    bool OnAllocate(std::size_t bytes) override {
        return bytes != CMyMakeFile::kBlockSize || ++m_nSeen < m_nFail;
    }

private:
    int m_nFail;
    int m_nSeen = 0;
};

// Without a backend the box goes to standard error, where the death test can read it.
TEST(EngineDeathTest, NoReadBufferEndsTheProcessAfterSayingWhich) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            BufferAllocationFails fault(1);
            platform::SetFaultInjector(&fault);
            CMyMakeFile engine;
        },
        ::testing::ExitedWithCode(EXIT_FAILURE), "バッファAが確保できません");
    EXPECT_EXIT(
        {
            BufferAllocationFails fault(2);
            platform::SetFaultInjector(&fault);
            CMyMakeFile engine;
        },
        ::testing::ExitedWithCode(EXIT_FAILURE), "バッファBが確保できません");
}

} // namespace
} // namespace enginetest
