// CMyDiffRepair on real files, from a store filled by hand.
#include "MainDlgFixture.h"

#include "diffdb/CMyDiffDataBase.h"
#include "diffdb/CMyDiffRepair.h"
#include "platform/Format.h"
#include "platform/LowFile.h"

#include <cerrno>

using namespace testsupport;
using support::UiEvent;

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
    support::ScriptedUi m_ui;
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
    EXPECT_EQ(m_ui.OpenHandles(m_a), 0);
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
    EXPECT_EQ(m_ui.OpenHandles(m_a), 0);
}

// The first byte that cannot be written stops the repair: the file then holds FILE B's bytes
// below it and its own from it on, the shape a repair or a patch finishes or undoes.
TEST_F(DiffRepairTest, FailedByteStopsTheRepairThere) {
    struct Case {
        const char* m_name;
        std::int64_t m_i64Step; // spacing of the three differences
        std::uint64_t m_nFail;  // bytes written before the fault
        int m_err;
        std::size_t m_nDone;    // differences repaired
        const char* m_pCause;
    };
    const Case cases[] = {
        {"first_write_fails", 5000, 0, EIO, 0, ""},
        {"second_of_three_writes", 5000, 1, EIO, 1, ""},
        // The three bytes share one write, cut short by a full disk after its first byte.
        {"one_write_cut_short", 2, 1, ENOSPC, 1, "※十分な領域が残っていません。\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_name);
        std::string a(12000, 'a'), b = a, want = a;
        m_store.ResetDiffData();
        for (std::size_t k = 0; k < 3; ++k) {
            const auto i64Adrs = static_cast<std::int64_t>(k) * c.m_i64Step;
            b[static_cast<std::size_t>(i64Adrs)] = static_cast<char>('X' + k);
            if (k < c.m_nDone)
                want[static_cast<std::size_t>(i64Adrs)] = static_cast<char>('X' + k);
            m_store.AddDiffData(i64Adrs, 'a', static_cast<BYTE>('X' + k));
        }
        WriteFile(m_a, a);
        WriteFile(m_prog / "DataTrace.txt", "");
        m_ui.FailWrites(m_a, c.m_nFail, c.m_err);
        EXPECT_FALSE(Repair(m_a, TRUE));
        EXPECT_EQ(ReadFile(m_a), want);
        const auto nAt = static_cast<std::int64_t>(c.m_nDone) * c.m_i64Step;
        const std::string failed = platform::Format(
            "※ファイルの修復に失敗したデータがあります。\n\tErrorFileName[ %s ]\n\tRepairedCount[ "
            "%015I64d ]\n\tFailedCount[ %015I64d ]\n",
            m_a.c_str(), static_cast<std::int64_t>(c.m_nDone), static_cast<std::int64_t>(3 - c.m_nDone));
        EXPECT_EQ(m_ui.BoxTexts().back(), failed);
        EXPECT_EQ(Trace(), std::string(c.m_pCause) +
                               platform::Format("※書き込み失敗。ModifyFileData()\n\tAddress[ %010I64d ], "
                                                "NewData[ %02X ]\n※ファイルの修正に失敗。ADRS[%010I64X]: "
                                                "DataA[61] -> DataB[%02X]\n",
                                                nAt, 'X' + static_cast<unsigned>(c.m_nDone), nAt,
                                                'X' + static_cast<unsigned>(c.m_nDone)) +
                               failed);
        EXPECT_TRUE(m_ui.PostedMessages().empty()); // the buttons stay for another try
        // Another try finishes it.
        m_ui.FailWrites(m_a, UINT64_MAX, 0);
        EXPECT_TRUE(m_repair.DoRepair());
        EXPECT_EQ(ReadFile(m_a), b);
        m_ui.ClearEvents();
    }
}

TEST_F(DiffRepairTest, UnreadableStoreStopsWithABox) {
    m_store.m_bHasData = FALSE; // the count says one, but nothing can be read
    EXPECT_FALSE(Repair(m_a, TRUE));
    EXPECT_EQ(m_ui.BoxTexts(), std::vector<std::string>{"※データベースからの読みとりに失敗 DoRepair()\n"});
    EXPECT_EQ(m_ui.OpenHandles(m_a), 0);
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

// Checked on the handle it writes through, and at every address before the first write: a file
// cut short after its identity was taken (while the confirmation waited, say), or holding neither
// byte somewhere, is refused untouched, and never grown back.
TEST_F(DiffRepairTest, FileChangedSinceTheRunIsNotWritten) {
    WriteFile(m_a, "ABCD");
    m_store.AddDiffData(3, 'D', 'Y');
    for (bool bIdentity : {true, false}) {
        SCOPED_TRACE(bIdentity ? "identity" : "bytes");
        m_repair.SetFileIdentity(bIdentity ? platform::IdentityOfPath(m_a) : platform::FileIdentity{});
        if (bIdentity)
            fs::resize_file(m_a, 3);
        else
            WriteFile(m_a, "AQCD");
        EXPECT_FALSE(Repair(m_a, TRUE));
        EXPECT_EQ(ReadFile(m_a), bIdentity ? "ABC" : "AQCD");
        const std::string text = "※比較した後にファイルが変更されたため修復できません。"
                                 "CMyDiffRepair::DoRepair()\n\tFileName[" +
                                 m_a + "]\n";
        EXPECT_EQ(m_ui.BoxTexts(), std::vector<std::string>{text});
        EXPECT_EQ(Trace(), text);
        EXPECT_FALSE(m_repair.m_idAfter.m_bValid);
        m_ui.ClearEvents();
        WriteFile(m_prog / "DataTrace.txt", "");
    }
}
} // namespace
