#include "diffdb/CMyDiffRepair.h"

#include "diffdb/CMyDiffDataBase.h"
#include "platform/FileHandle.h"
#include "platform/Format.h"
#include "platform/LowFile.h"
#include "ui/Ui.h"
#include "util/Messages.h"
#include "util/PathUtil.h"
#include "util/Trace.h"

#include <algorithm>
#include <cerrno>

namespace {

constexpr const char* kOpenFailed =
    "※修復ファイルのオープンに失敗。CMyDiffRepair::DoRepair()\n\tFileName[%s]\n";
constexpr const char* kChangedSince =
    "※比較した後にファイルが変更されたため修復できません。CMyDiffRepair::DoRepair()\n"
    "\tFileName[%s]\n";
constexpr const char* kReadFailed =
    "※修復ファイルの読み込みに失敗。CMyDiffRepair::DoRepair()\n\tFileName[%s]\n";

} // namespace

BOOL CMyDiffRepair::SetErrorFileName(const char* pFileName) {
    if (pFileName == nullptr) {
        WriteTrace("※引数が無効です。CMyDiffRepair::SetErrFileName()\n");
        return FALSE;
    }
    if (m_pTarget == nullptr && !IxExistFile(pFileName, FALSE)) {
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
    if (m_pTarget != nullptr)
        return DoRepairThere();
    // Neither created nor truncated: only bytes at stored addresses change.
    platform::CFileHandle file = platform::CFileHandle::Open(
        m_strErrorFileName, platform::kOpenReadWrite | platform::kOpenCompared);
    if (!file.IsOpen()) {
        TraceAndShow(platform::Format(kOpenFailed, m_strErrorFileName.c_str()));
        return FALSE;
    }

    // Every record and every address is read before the first write: a store that cannot be read
    // or a file that holds neither byte somewhere is refused untouched. The identity is checked on
    // the handle that is written: the file may change while the confirmation waits.
    m_Writer.SetDataBaseADRS(m_pDataBase);
    m_Writer.SetPatchSource(m_bTargetA);
    const char* pRefusal = nullptr;
    if (m_idExpected.m_bValid && !platform::IdentityOfHandle(file.Get()).Unchanged(m_idExpected))
        pRefusal = kChangedSince;
    else if (!m_Writer.HasAllRecords())
        pRefusal = "※データベースからの読みとりに失敗 DoRepair()\n";
    else if (!m_Writer.SetFile(file.Get()) || !m_Writer.CheckFile())
        pRefusal = kReadFailed;
    else if (m_Writer.GetVerdict() == CMyInPlaceWriter::kVerdictMismatch)
        pRefusal = kChangedSince;
    BOOL bWritten = FALSE;
    if (pRefusal == nullptr) {
        bWritten = m_Writer.DoWrite();
        m_idAfter = platform::IdentityOfHandle(file.Get());
    }
    m_Writer.SetFile(-1);
    // Closed before any box: the user may look at the file while the box is up.
    file.Close();
    if (pRefusal != nullptr) {
        TraceAndShow(platform::Format(pRefusal, m_strErrorFileName.c_str()));
        return FALSE;
    }
    // The buttons stay for another try.
    if (!bWritten) {
        ReportStop();
        return FALSE;
    }

    ReportDone();
    return TRUE;
}


// The same steps as a repair here, each run where the file lies: its identity, the check of every
// address, the write with its flush and read-back. A connection lost during the write is a write
// that failed: what was written is told from the counts that came back.
BOOL CMyDiffRepair::DoRepairThere() {
    auto refuse = [this](const char* pText) {
        if (!m_pTarget->FailureText().empty())
            ui::ShowBox(m_pTarget->FailureText());
        m_pTarget->Close();
        TraceAndShow(platform::Format(pText, m_strErrorFileName.c_str()));
        return FALSE;
    };
    platform::FileIdentity idNow;
    if (!m_pTarget->Open(&idNow))
        return refuse(kOpenFailed);
    m_Writer.SetDataBaseADRS(m_pDataBase);
    m_Writer.SetPatchSource(m_bTargetA);
    if (m_idExpected.m_bValid && !idNow.Unchanged(m_idExpected))
        return refuse(kChangedSince);
    if (!m_Writer.HasAllRecords())
        return refuse("※データベースからの読みとりに失敗 DoRepair()\n");
    BOOL bOk = FALSE;
    if (!m_pTarget->RunWriter(*m_pDataBase, m_bTargetA, true, &m_Writer, &bOk) || !bOk)
        return refuse(kReadFailed);
    if (m_Writer.GetVerdict() == CMyInPlaceWriter::kVerdictMismatch)
        return refuse(kChangedSince);
    m_Writer.m_i64Written = 0;
    if (!m_pTarget->RunWriter(*m_pDataBase, m_bTargetA, false, &m_Writer, &bOk)) {
        m_Writer.m_bCounted = FALSE;
        m_Writer.m_nFailure = CMyInPlaceWriter::kFailWrite;
        m_Writer.m_nErrno = EIO;
        bOk = FALSE;
    }
    if (!m_pTarget->FailureText().empty())
        ui::ShowBox(m_pTarget->FailureText());
    m_idAfter = m_pTarget->IdentityNow();
    if (!m_idAfter.m_bValid)
        m_idAfter = idNow; // writing had begun
    m_pTarget->Close();
    if (!bOk) {
        ReportStop();
        return FALSE;
    }
    ReportDone();
    return TRUE;
}

void CMyDiffRepair::ReportDone() {
    const std::int64_t i64Num = m_pDataBase->GetDiffNum();
    ui::Ui().PostMessage(ui::Ui().MainWindow(), WM_HIDE_REPAIR_BTN, 0, 0);
    const std::string strText = platform::Format(
        "◎ファイルの修復が完了しました。\n再検査をお勧めします。\n\tErrorFileName[ %s ]\n\tErrorCount[ "
        "%015I64d ]\n",
        m_strErrorFileName.c_str(), i64Num);
    TraceAndShow(strText);
}

// The trace lines of the byte that could not be written, then a box saying why the repair
// stopped and how many bytes it left repaired and unrepaired.
void CMyDiffRepair::ReportStop() {
    const CMyInPlaceWriter& w = m_Writer;
    const std::int64_t i64Num = m_pDataBase->GetDiffNum();
    const char* pWhy = "※ファイルの修復に失敗したデータがあります。\n";
    switch (w.m_nFailure) {
    case CMyInPlaceWriter::kFailWrite: {
        // A write cut short may have landed in part: the first byte read back unrepaired is the
        // one that failed.
        const auto& adrs = m_pDataBase->m_ai64Adrs;
        const auto k = static_cast<std::size_t>(
            w.m_bCounted && w.m_i64FirstFrom >= 0
                ? w.m_i64FirstFrom
                : std::lower_bound(adrs.begin(), adrs.begin() + i64Num, w.m_i64FailAdrs) -
                      adrs.begin());
        if (k >= static_cast<std::size_t>(i64Num))
            break;
        const std::int64_t i64Adrs = adrs[k];
        const unsigned nA = m_pDataBase->m_abDataA[k];
        const unsigned nB = m_pDataBase->m_abDataB[k];
        if (w.m_nErrno == EBADF)
            WriteTrace("※ファイル ハンドルが無効、またはファイルが書き込みモードで開かれていません。\n");
        else if (w.m_nErrno == ENOSPC)
            WriteTrace("※十分な領域が残っていません。\n");
        WriteTrace(platform::Format(
            "※書き込み失敗。ModifyFileData()\n\tAddress[ %010I64d ], NewData[ %02X ]\n", i64Adrs,
            m_bTargetA ? nB : nA));
        WriteTrace(platform::Format(
            "※ファイルの修正に失敗。ADRS[%010I64X]: DataA[%02X] -> DataB[%02X]\n", i64Adrs, nA, nB));
        break;
    }
    case CMyInPlaceWriter::kFailChanged:
        pWhy = "※修復中にファイルが変更されたため修復を中止しました。\n";
        break;
    case CMyInPlaceWriter::kFailSync:
        pWhy = "※修復したデータをディスクに書き出せませんでした。\n";
        break;
    default:
        pWhy = "※修復したデータを読み返せませんでした。\n";
        break;
    }
    // Counted from what the file holds now; when it could not be read back, from the writes.
    const std::int64_t i64Repaired = w.m_bCounted ? w.m_i64To : w.m_i64Written;
    const std::string strText = platform::Format(
        "%s\tErrorFileName[ %s ]\n\tRepairedCount[ %015I64d ]\n\tFailedCount[ %015I64d ]\n", pWhy,
        m_strErrorFileName.c_str(), i64Repaired, i64Num - i64Repaired);
    TraceAndShow(strText);
}
