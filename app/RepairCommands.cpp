// The two repair arrows: FILE A from FILE B ("↑") and FILE B from FILE A ("↓").
#include "app/CMyMainDlg.h"

#include "platform/Format.h"
#include "util/RemoteName.h"
#include "util/SizeText.h"
#include "util/Trace.h"

namespace {

void RefuseRepair(const char* pText, const char* pWho, const std::string& strPath) {
    const std::string strText = platform::Format(pText, pWho, strPath.c_str());
    TraceAndShow(strText);
}

// The store holds the differences of the files the run compared, as they were then. The path may
// since name another file (a drop, a typed name, a file replaced on disk) or the file may have
// been written or cut short: patching either would corrupt it.
bool IsStoredFile(const std::string& strPath, const platform::FileIdentity& idNow,
                  const platform::FileIdentity& idStored, const char* pWho) {
    if (!idNow.m_bValid)
        RefuseRepair("※修復するファイルが見つかりません。%s\n\tFilePath[%s]\n", pWho, strPath);
    else if (!idNow.SameAs(idStored))
        RefuseRepair("※比較したファイルと異なるため修復できません。%s\n\tFilePath[%s]\n", pWho,
                     strPath);
    else if (!idNow.Unchanged(idStored))
        RefuseRepair("※比較した後にファイルが変更されたため修復できません。%s\n\tFilePath[%s]\n",
                     pWho, strPath);
    else
        return true;
    return false;
}

} // namespace

CommandResult CMyMainDlg::OnBtnRepairA() { return OnBtnRepair(TRUE); }

CommandResult CMyMainDlg::OnBtnRepairB() { return OnBtnRepair(FALSE); }

CommandResult CMyMainDlg::OnBtnRepair(BOOL bFileA) {
    const std::string strPath = bFileA ? m_FileData.strFileA : m_FileData.strFileB;
    CommandResult result;
    result.m_nFile = bFileA ? 0 : 1;
    result.m_strPath = strPath;
    // The arrows are disabled only once the run's first message arrives; until then a click
    // would patch a file the worker is reading. It counts as a click on a disabled button.
    if (m_pWorkThread && m_pWorkThread->IsWorkerRunning()) {
        result.m_outcome = CommandOutcome::kRepairBusy;
        return result;
    }
    // An arrow is offered only for a file the last run found writable and saved a database for;
    // the command-line program asks without looking at the arrows.
    const ui::CControl& btn = bFileA ? m_btnRepairA : m_btnRepairB;
    if (!btn.IsWindowVisible() || !btn.IsWindowEnabled()) {
        result.m_outcome = (m_nRepairable & (bFileA ? 1 : 2)) == 0
                               ? CommandOutcome::kRepairNotWritable
                               : CommandOutcome::kRepairNoDataBase;
        return result;
    }
    const char* pWho = bFileA ? "OnBtnRepairA()" : "OnBtnRepairB()";
    platform::FileIdentity& idStored = bFileA ? m_idStoreA : m_idStoreB;
    // Before the question: the user is never asked to confirm a repair that cannot be made. A
    // remote file is looked at by its server, on the connection the repair then writes through.
    const bool bRemote = IsRemoteName(strPath);
    CRemoteRepairTarget target(strPath, m_remote);
    platform::FileIdentity idNow;
    if (!bRemote) {
        idNow = platform::IdentityOfPath(strPath);
    } else if (!target.Open(&idNow)) {
        ui::ShowBox(target.FailureText());
        idNow = {};
    }
    if (!IsStoredFile(strPath, idNow, idStored, pWho)) {
        WriteTrace("※修復に失敗しました。\n");
        result.m_outcome = CommandOutcome::kRepairRefused;
        return result;
    }
    const std::string strQuestion = platform::Format(
        bFileA ? "FileA: 【 %s 】\nを修復しようとしています。\n元には戻せませんが本当に実行してよろしいですか?"
               : "FileB: 【 %s 】\nを修復しようとしています。\n元には戻せませんが本当に実行してよろしいですか?",
        strPath.c_str());
    // No is the default: the repair cannot be undone.
    if (ui::AskYesNo(strQuestion, ui::BoxIcon::Exclamation, 2, "修復ファイルの確認") !=
        IDYES) {
        WriteTrace(bFileA ? "▽ファイルAの修復を開始しませんでした。\n"
                          : "▽ファイルBの修復を開始しませんでした。\n");
        result.m_outcome = CommandOutcome::kRepairDeclined;
        return result;
    }

    m_DiffRepair.SetRepairTarget(bFileA);
    m_DiffRepair.SetTarget(bRemote ? &target : nullptr);
    // A refused path leaves the one of an earlier command registered: never repair that. The file
    // may have gone while the question waited.
    if (!m_DiffRepair.SetErrorFileName(strPath.c_str())) {
        m_DiffRepair.SetTarget(nullptr);
        RefuseRepair("※修復するファイルが見つかりません。%s\n\tFilePath[%s]\n", pWho, strPath);
        WriteTrace("※修復に失敗しました。\n");
        result.m_outcome = CommandOutcome::kRepairRefused;
        return result;
    }
    // Checked again on the handle the repair writes through.
    m_DiffRepair.SetFileIdentity(idStored);
    const CommandOutcome outcome = OnRepair().m_outcome;
    m_DiffRepair.SetTarget(nullptr);
    result.m_outcome = outcome;
    result.m_i64Done = m_DiffDataBase.GetDiffNum();
    result.m_i64Found = m_i64StoreFound;
    // Writing had begun when the file was looked at after it.
    result.m_bWriteBegun = m_DiffRepair.m_idAfter.m_bValid;
    // The repair's own writes are no change to refuse a retry for.
    if (m_DiffRepair.m_idAfter.m_bValid)
        idStored = m_DiffRepair.m_idAfter;
    return result;
}

CommandResult CMyMainDlg::OnRepair() {
    CommandResult result;
    m_DiffRepair.SetDataBaseADRS(&m_DiffDataBase);
    const BOOL bOk = m_DiffRepair.DoRepair();
    WriteTrace(bOk ? "◎修復に成功しました。\n" : "※修復に失敗しました。\n");
    result.m_outcome = bOk ? CommandOutcome::kRepaired : CommandOutcome::kRepairFailed;
    // The store holds at most its limit of the run's differences: the rest still differ.
    const std::int64_t i64Kept = m_DiffDataBase.GetDiffNum();
    if (!bOk || i64Kept >= m_i64StoreFound)
        return result;
    result.m_outcome = CommandOutcome::kRepairedPart;
    const std::string strText = platform::Format(
        "※修復したのは、比較で見つかった不一致 %s バイトのうち\n%s バイトだけです。\n"
        "まだ %s バイトが修復されていません。\nもう一度比較して修復してください。\n"
        "\tFileName[ %s ]\n",
        GroupedDigits(m_i64StoreFound).c_str(), GroupedDigits(i64Kept).c_str(),
        GroupedDigits(m_i64StoreFound - i64Kept).c_str(), m_DiffRepair.m_strErrorFileName.c_str());
    TraceAndShow(strText, ui::BoxIcon::Exclamation);
    return result;
}
