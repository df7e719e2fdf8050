#include "diffdb/CMyDiffRepair.h"

#include "diffdb/CMyDiffDataBase.h"
#include "platform/Format.h"
#include "platform/LowFile.h"
#include "platform/Ui.h"
#include "util/Messages.h"
#include "util/PathUtil.h"
#include "util/Trace.h"

#include <cerrno>

BOOL CMyDiffRepair::SetErrorFileName(const char* pFileName) {
    if (pFileName == nullptr) {
        WriteTrace("※引数が無効です。CMyDiffRepair::SetErrFileName()\n");
        return FALSE;
    }
    if (!IxExistFile(pFileName, FALSE)) {
        WriteTrace(platform::Format(
            "※ファイルは存在しません。CMyDiffRepair::SetErrorFileName()\n\tFilePath[%s]\n",
            pFileName));
        return FALSE;
    }
    m_strErrorFileName = pFileName;
    return TRUE;
}

BOOL CMyDiffRepair::SetDataBaseADRS(CMyDiffDataBase* pDataBase) {
    if (pDataBase == nullptr) {
        WriteTrace("※引数が無効です。CMyDiffRepair::SetDataBaseADRS()\n");
        return FALSE;
    }
    m_pDataBase = pDataBase;
    return TRUE;
}

BOOL CMyDiffRepair::DoRepair() {
    m_idAfter = {};
    if (m_pDataBase == nullptr) {
        WriteTrace("※エラー情報データベースクラスが登録されていません。CMyDiffRepair::DoRepair()\n");
        return FALSE;
    }
    if (m_strErrorFileName.empty()) {
        WriteTrace("※修復対象のファイルが登録されていません。CMyDiffRepair::DoRepair()\n");
        return FALSE;
    }
    // Neither created nor truncated: only bytes at stored addresses change.
    m_nFile =
        platform::FileOpen(m_strErrorFileName, platform::kOpenReadWrite | platform::kOpenCompared);
    if (m_nFile == -1) {
        const std::string strText = platform::Format(
            "※修復ファイルのオープンに失敗。CMyDiffRepair::DoRepair()\n\tFileName[%s]\n",
            m_strErrorFileName.c_str());
        WriteTrace(strText);
        platform::ShowBox(strText);
        return FALSE;
    }
    m_bFileOpen = TRUE;

    auto closeFile = [this] {
        platform::FileClose(m_nFile);
        m_nFile = -1;
        m_bFileOpen = FALSE;
    };

    // Checked on the handle that is written: the file may change while the confirmation waits.
    if (m_idExpected.m_bValid && !platform::IdentityOfHandle(m_nFile).Unchanged(m_idExpected)) {
        closeFile();
        const std::string strText = platform::Format(
            "※比較した後にファイルが変更されたため修復できません。CMyDiffRepair::DoRepair()\n"
            "\tFileName[%s]\n",
            m_strErrorFileName.c_str());
        WriteTrace(strText);
        platform::ShowBox(strText);
        return FALSE;
    }

    const std::int64_t i64Num = m_pDataBase->GetDiffNum();
    std::int64_t i64Failed = 0;
    for (std::int64_t i = 0; i < i64Num; ++i) {
        std::int64_t i64Adrs = 0;
        BYTE bDataA = 0;
        BYTE bDataB = 0;
        if (!m_pDataBase->GetDiffData(static_cast<std::uint32_t>(i), &i64Adrs, &bDataA, &bDataB)) {
            const std::string strText = "※データベースからの読みとりに失敗 DoRepair()\n";
            WriteTrace(strText);
            platform::ShowBox(strText);
            m_idAfter = platform::IdentityOfHandle(m_nFile);
            closeFile();
            return FALSE;
        }
        // A failed byte does not stop the repair: the others are still worth writing.
        if (!ModifyFileData(m_nFile, i64Adrs, m_bTargetA ? bDataB : bDataA)) {
            WriteTrace(platform::Format("※ファイルの修正に失敗。ADRS[%010I64X]: DataA[%02X] -> "
                                        "DataB[%02X]\n",
                                        i64Adrs, static_cast<unsigned>(bDataA),
                                        static_cast<unsigned>(bDataB)));
            ++i64Failed;
        }
    }
    m_idAfter = platform::IdentityOfHandle(m_nFile);
    closeFile();

    // A repair that left bytes unwritten is no success: the buttons stay for another try.
    if (i64Failed != 0) {
        const std::string strText = platform::Format(
            "※ファイルの修復に失敗したデータがあります。\n\tErrorFileName[ %s ]\n\tFailedCount[ "
            "%015I64d ]\n",
            m_strErrorFileName.c_str(), i64Failed);
        WriteTrace(strText);
        platform::ShowBox(strText);
        return FALSE;
    }

    platform::Ui().PostMessage(platform::Ui().MainWindow(), WM_HIDE_REPAIR_BTN, 0, 0);
    const std::string strText = platform::Format(
        "◎ファイルの修復が完了しました。\n再検査をお勧めします。\n\tErrorFileName[ %s ]\n\tErrorCount[ "
        "%015I64d ]\n",
        m_strErrorFileName.c_str(), i64Num);
    WriteTrace(strText);
    platform::ShowBox(strText);
    return TRUE;
}

BOOL ModifyFileData(int nFile, std::int64_t i64Adrs, BYTE bData) {
    const unsigned nData = bData;
    if (nFile == -1) {
        WriteTrace(platform::Format("※無効なファイルハンドル。ModifyFileData()\n\tHandle[%d] ADRS[ "
                                    "%010I64X ] Data[ %02X ]\n",
                                    nFile, i64Adrs, nData));
        return FALSE;
    }
    if (i64Adrs < 0) {
        WriteTrace(platform::Format(
            "※無効なアドレス指定。ModifyFileData()\n\tAddress[ %010I64X ], NewData[ %02X ]\n",
            i64Adrs, nData));
        return FALSE;
    }
    const std::int64_t i64End = platform::FileSeek(nFile, 0, platform::kSeekEnd);
    if (i64End != -1 && i64Adrs >= i64End) {
        WriteTrace(platform::Format("※ファイルの終わりを越えるアドレス。ModifyFileData()"
                                    "\n\tAddress[ %010I64d ], NewData[ %02X ]\n",
                                    i64Adrs, nData));
        return FALSE;
    }
    if (platform::FileSeek(nFile, i64Adrs, platform::kSeekSet) != i64Adrs) {
        WriteTrace(platform::Format(
            "※シーク失敗。ModifyFileData()\n\tAddress[ %010I64d ], NewData[ %02X ]\n", i64Adrs,
            nData));
        return FALSE;
    }
    if (platform::FileWrite(nFile, &bData, 1) != -1)
        return TRUE;
    switch (platform::LastError()) {
    case EBADF:
        WriteTrace("※ファイル ハンドルが無効、またはファイルが書き込みモードで開かれていません。\n");
        break;
    case ENOSPC:
        WriteTrace("※十分な領域が残っていません。\n");
        break;
    default:
        break;
    }
    WriteTrace(platform::Format("※書き込み失敗。ModifyFileData()\n\tAddress[ %010I64d ], NewData[ %02X ]\n",
                                i64Adrs, nData));
    return FALSE;
}
