// The two repair arrows: FILE A from FILE B ("↑") and FILE B from FILE A ("↓").
#include "app/CMyMainDlg.h"

#include "platform/Format.h"
#include "util/RemoteName.h"
#include "util/SizeText.h"
#include "util/Trace.h"

namespace {

void RefuseRepair(const char* pText, const char* pWho, const std::string& strPath) {
    const std::string strText = platform::Format(pText, pWho, strPath.c_str());
    WriteTrace(strText);
    ui::ShowBox(strText);
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

void CMyMainDlg::OnBtnRepairA() { OnBtnRepair(TRUE); }

void CMyMainDlg::OnBtnRepairB() { OnBtnRepair(FALSE); }

void CMyMainDlg::OnBtnRepair(BOOL bFileA) {
    // The arrows are disabled only once the run's first message arrives; until then a click
    // would patch a file the worker is reading. It counts as a click on a disabled button.
    if (m_pWorkThread && m_pWorkThread->IsWorkerRunning())
        return;
    const std::string strPath = bFileA ? m_FileData.strFileA : m_FileData.strFileB;
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
        m_nLastRepair = 0;
        return;
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
        m_nLastRepair = 0;
        return;
    }

    m_DiffRepair.SetRepairTarget(bFileA);
    m_DiffRepair.SetTarget(bRemote ? &target : nullptr);
    // A refused path leaves the one of an earlier command registered: never repair that. The file
    // may have gone while the question waited.
    if (!m_DiffRepair.SetErrorFileName(strPath.c_str())) {
        m_DiffRepair.SetTarget(nullptr);
        RefuseRepair("※修復するファイルが見つかりません。%s\n\tFilePath[%s]\n", pWho, strPath);
        WriteTrace("※修復に失敗しました。\n");
        m_nLastRepair = 0;
        return;
    }
    // Checked again on the handle the repair writes through.
    m_DiffRepair.SetFileIdentity(idStored);
    OnRepair();
    m_DiffRepair.SetTarget(nullptr);
    // The repair's own writes are no change to refuse a retry for.
    if (m_DiffRepair.m_idAfter.m_bValid)
        idStored = m_DiffRepair.m_idAfter;
}

void CMyMainDlg::OnRepair() {
    m_DiffRepair.SetDataBaseADRS(&m_DiffDataBase);
    const BOOL bOk = m_DiffRepair.DoRepair();
    WriteTrace(bOk ? "◎修復に成功しました。\n" : "※修復に失敗しました。\n");
    m_nLastRepair = bOk ? 1 : 0;
    // The store holds at most its limit of the run's differences: the rest still differ.
    const std::int64_t i64Kept = m_DiffDataBase.GetDiffNum();
    if (!bOk || i64Kept >= m_i64StoreFound)
        return;
    const std::string strText = platform::Format(
        "※修復したのは、比較で見つかった不一致 %s バイトのうち\n%s バイトだけです。\n"
        "まだ %s バイトが修復されていません。\nもう一度比較して修復してください。\n"
        "\tFileName[ %s ]\n",
        GroupedDigits(m_i64StoreFound).c_str(), GroupedDigits(i64Kept).c_str(),
        GroupedDigits(m_i64StoreFound - i64Kept).c_str(), m_DiffRepair.m_strErrorFileName.c_str());
    WriteTrace(strText);
    ui::ShowBox(strText, ui::BoxIcon::Exclamation);
}
