// CMyDiffRepair and ModifyFileData on real files, from a store filled by hand.
#include "MainDlgFixture.h"

#include "diffdb/CMyDiffDataBase.h"
#include "diffdb/CMyDiffRepair.h"
#include "platform/LowFile.h"

#include <cerrno>

using namespace testsupport;
using platform::UiEvent;

namespace {

class DiffRepairTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(m_a, "ABC");
        WriteFile(m_b, "AXC");
        m_store.AddDiffData(1, 'B', 'X');
    }
    BOOL Repair(const std::string& path, BOOL bTargetA) {
        m_repair.SetRepairTarget(bTargetA);
        EXPECT_TRUE(m_repair.SetErrorFileName(path.c_str()));
        EXPECT_TRUE(m_repair.SetDataBaseADRS(&m_store));
        return m_repair.DoRepair();
    }
    std::string Trace() { return ReadCp932(m_prog / "DataTrace.txt"); }

    ProgramFolder m_prog;
    TempDir m_dir;
    platform::ScriptedUi m_ui;
    CMyDiffDataBase m_store;
    CMyDiffRepair m_repair;
    std::string m_a = m_dir / "a.bin";
    std::string m_b = m_dir / "b.bin";
};

TEST_F(DiffRepairTest, RepairingAWritesTheBytesOfB) {
    EXPECT_TRUE(Repair(m_a, TRUE));
    EXPECT_EQ(ReadFile(m_a), "AXC");
    EXPECT_EQ(ReadFile(m_b), "AXC");
    const std::string done = "◎ファイルの修復が完了しました。\n再検査をお勧めします。\n\tErrorFileName[ " +
                             m_a + " ]\n\tErrorCount[ 000000000000001 ]\n";
    EXPECT_EQ(m_ui.BoxTexts(), std::vector<std::string>{done});
    EXPECT_EQ(Trace(), done);
    EXPECT_EQ(m_ui.PostedMessages(), std::vector<UINT>{WM_HIDE_REPAIR_BTN});
    EXPECT_EQ(m_repair.m_nFile, -1);
    EXPECT_FALSE(m_repair.m_bFileOpen);
}

TEST_F(DiffRepairTest, RepairTwiceWritesTheSameAgain) {
    EXPECT_TRUE(Repair(m_a, TRUE));
    EXPECT_TRUE(m_repair.DoRepair());
    EXPECT_EQ(ReadFile(m_a), "AXC");
    auto boxes = m_ui.BoxTexts();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], boxes[1]);
}

TEST_F(DiffRepairTest, EmptyStoreOpensAndClosesTheFileUnchanged) {
    m_store.ResetDiffData();
    EXPECT_TRUE(Repair(m_a, TRUE));
    EXPECT_EQ(ReadFile(m_a), "ABC");
    EXPECT_NE(Trace().find("ErrorCount[ 000000000000000 ]"), std::string::npos);
    EXPECT_EQ(m_ui.PostedMessages(), std::vector<UINT>{WM_HIDE_REPAIR_BTN});
}

TEST_F(DiffRepairTest, ReadOnlyFileFailsWithABox) {
    MakeReadOnly(m_a);
    EXPECT_FALSE(Repair(m_a, TRUE));
    EXPECT_EQ(ReadFile(m_a), "ABC");
    const std::string failed =
        "※修復ファイルのオープンに失敗。CMyDiffRepair::DoRepair()\n\tFileName[" + m_a + "]\n";
    EXPECT_EQ(Trace(), failed);
    EXPECT_EQ(m_ui.BoxTexts(), std::vector<std::string>{failed});
    EXPECT_TRUE(m_ui.PostedMessages().empty());
    EXPECT_EQ(m_repair.m_nFile, -1);
}

TEST_F(DiffRepairTest, UnwrittenByteEndsAsFailureAfterTheOtherBytes) {
    // Three differences; the second byte written fails, the first and third are written.
    WriteFile(m_a, "ABCDEF");
    WriteFile(m_b, "XBYDZF");
    m_store.ResetDiffData();
    m_store.AddDiffData(0, 'A', 'X');
    m_store.AddDiffData(2, 'C', 'Y');
    m_store.AddDiffData(4, 'E', 'Z');
    m_ui.FailWrites(m_a, 1, ENOSPC);
    EXPECT_FALSE(Repair(m_a, TRUE));
    EXPECT_EQ(ReadFile(m_a), "XBCDEF"); // the limit holds for every later write too
    const std::string failed = "※ファイルの修復に失敗したデータがあります。\n\tErrorFileName[ " + m_a +
                               " ]\n\tFailedCount[ 000000000000002 ]\n";
    EXPECT_EQ(m_ui.BoxTexts(), std::vector<std::string>{failed});
    EXPECT_EQ(Trace(),
              "※十分な領域が残っていません。\n"
              "※書き込み失敗。ModifyFileData()\n\tAddress[ 0000000002 ], NewData[ 59 ]\n"
              "※ファイルの修正に失敗。ADRS[0000000002]: DataA[43] -> DataB[59]\n"
              "※十分な領域が残っていません。\n"
              "※書き込み失敗。ModifyFileData()\n\tAddress[ 0000000004 ], NewData[ 5A ]\n"
              "※ファイルの修正に失敗。ADRS[0000000004]: DataA[45] -> DataB[5A]\n" +
                  failed);
    EXPECT_TRUE(m_ui.PostedMessages().empty()); // the buttons stay for another try
}

TEST_F(DiffRepairTest, UnreadableStoreStopsWithABox) {
    m_store.m_bHasData = FALSE; // the count says one, but nothing can be read
    EXPECT_FALSE(Repair(m_a, TRUE));
    EXPECT_EQ(m_ui.BoxTexts(), std::vector<std::string>{"※データベースからの読みとりに失敗 DoRepair()\n"});
    EXPECT_EQ(m_repair.m_nFile, -1);
    EXPECT_FALSE(m_repair.m_bFileOpen);
}

TEST_F(DiffRepairTest, SetErrorFileNameRefusesFoldersAndMissingFiles) {
    ASSERT_TRUE(m_repair.SetErrorFileName(m_a.c_str()));
    EXPECT_FALSE(m_repair.SetErrorFileName(m_dir.Str().c_str()));
    EXPECT_FALSE(m_repair.SetErrorFileName((m_dir / "none").c_str()));
    EXPECT_FALSE(m_repair.SetErrorFileName(nullptr));
    EXPECT_EQ(m_repair.m_strErrorFileName, m_a);
    EXPECT_EQ(Trace(), "※ファイルは存在しません。CMyDiffRepair::SetErrorFileName()\n\tFilePath[" +
                           m_dir.Str() + "]\n" +
                           "※ファイルは存在しません。CMyDiffRepair::SetErrorFileName()\n\tFilePath[" +
                           (m_dir / "none") + "]\n" +
                           "※引数が無効です。CMyDiffRepair::SetErrFileName()\n");
}

TEST_F(DiffRepairTest, NothingRegisteredIsRefused) {
    EXPECT_FALSE(m_repair.DoRepair());
    EXPECT_FALSE(m_repair.SetDataBaseADRS(nullptr));
    m_repair.SetDataBaseADRS(&m_store);
    EXPECT_FALSE(m_repair.DoRepair());
    EXPECT_EQ(Trace(), "※エラー情報データベースクラスが登録されていません。CMyDiffRepair::DoRepair()\n"
                       "※引数が無効です。CMyDiffRepair::SetDataBaseADRS()\n"
                       "※修復対象のファイルが登録されていません。CMyDiffRepair::DoRepair()\n");
}

TEST_F(DiffRepairTest, ModifyFileDataRefusesBadHandleAndAddress) {
    EXPECT_FALSE(ModifyFileData(-1, 0x10, 0xAB));
    const int fd = platform::FileOpen(m_a, platform::kOpenReadWrite);
    ASSERT_NE(fd, -1);
    EXPECT_FALSE(ModifyFileData(fd, -1, 0xCD));
    EXPECT_FALSE(ModifyFileData(fd, 3, 'Z')); // a file that shrank is not grown back
    EXPECT_TRUE(ModifyFileData(fd, 2, 'Y'));
    platform::FileClose(fd);
    EXPECT_EQ(ReadFile(m_a), "ABY");
    EXPECT_EQ(Trace(),
              "※無効なファイルハンドル。ModifyFileData()\n\tHandle[-1] ADRS[ 0000000010 ] "
              "Data[ AB ]\n"
              "※無効なアドレス指定。ModifyFileData()\n\tAddress[ FFFFFFFFFFFFFFFF ], "
              "NewData[ CD ]\n"
              "※ファイルの終わりを越えるアドレス。ModifyFileData()\n\tAddress[ 0000000003 ], "
              "NewData[ 5A ]\n");
}

TEST_F(DiffRepairTest, ModifyFileDataOnAReadOnlyHandleTracesTheCause) {
    const int fd = platform::FileOpen(m_a, platform::kOpenRead);
    ASSERT_NE(fd, -1);
    EXPECT_FALSE(ModifyFileData(fd, 1, 'Q'));
    platform::FileClose(fd);
    EXPECT_EQ(Trace(), "※ファイル ハンドルが無効、またはファイルが書き込みモードで開かれていません。\n"
                       "※書き込み失敗。ModifyFileData()\n\tAddress[ 0000000001 ], NewData[ 51 ]\n");
}

// Checked on the handle it writes through: a file cut short after its identity was taken (while
// the confirmation waited, say) is refused before any write, and never grown back.
TEST_F(DiffRepairTest, FileChangedSinceItsIdentityWasTakenIsNotWritten) {
    m_repair.SetFileIdentity(platform::IdentityOfPath(m_a));
    fs::resize_file(m_a, 1);
    EXPECT_FALSE(Repair(m_a, TRUE));
    EXPECT_EQ(ReadFile(m_a), "A");
    const std::string text = "※比較した後にファイルが変更されたため修復できません。"
                             "CMyDiffRepair::DoRepair()\n\tFileName[" +
                             m_a + "]\n";
    EXPECT_EQ(m_ui.BoxTexts(), std::vector<std::string>{text});
    EXPECT_EQ(Trace(), text);
    EXPECT_FALSE(m_repair.m_idAfter.m_bValid);
}
} // namespace
