// The two repair arrows: FILE A from FILE B ("↑") and FILE B from FILE A ("↓").
#include "app/CMyMainDlg.h"

#include "platform/Format.h"
#include "util/Trace.h"

void CMyMainDlg::OnBtnRepairA() { OnBtnRepair(TRUE); }

void CMyMainDlg::OnBtnRepairB() { OnBtnRepair(FALSE); }

void CMyMainDlg::OnBtnRepair(BOOL bFileA) {
    // The arrows are disabled only once the run's first message arrives; until then a click
    // would patch a file the worker is reading. It counts as a click on a disabled button.
    if (m_pWorkThread && m_pWorkThread->IsWorkerRunning())
        return;
    const std::string strPath = bFileA ? m_FileData.strFileA : m_FileData.strFileB;
    const std::string strQuestion = platform::Format(
        bFileA ? "FileA: 【 %s 】\nを修復しようとしています。\n元には戻せませんが本当に実行してよろしいですか?"
               : "FileB: 【 %s 】\nを修復しようとしています。\n元には戻せませんが本当に実行してよろしいですか?",
        strPath.c_str());
    // No is the default: the repair cannot be undone.
    if (platform::AskYesNo(strQuestion, platform::BoxIcon::Exclamation, 2, "修復ファイルの確認") !=
        IDYES) {
        WriteTrace(bFileA ? "▽ファイルAの修復を開始しませんでした。\n"
                          : "▽ファイルBの修復を開始しませんでした。\n");
        m_nLastRepair = 0;
        return;
    }

    m_DiffRepair.SetRepairTarget(bFileA);
    // A refused path leaves the one of an earlier command registered: never repair that.
    if (!m_DiffRepair.SetErrorFileName(strPath.c_str())) {
        WriteTrace("※修復に失敗しました。\n");
        m_nLastRepair = 0;
        return;
    }
    // The store holds the differences of the files the run compared. The path may since name
    // another file (a drop, a typed name, a file replaced on disk): patching that would corrupt it.
    const platform::FileIdentity& idStored = bFileA ? m_idStoreA : m_idStoreB;
    if (!platform::IdentityOfPath(strPath).SameAs(idStored)) {
        const std::string strText = platform::Format(
            "※比較したファイルと異なるため修復できません。%s\n\tFilePath[%s]\n",
            bFileA ? "OnBtnRepairA()" : "OnBtnRepairB()", strPath.c_str());
        WriteTrace(strText);
        platform::ShowBox(strText);
        WriteTrace("※修復に失敗しました。\n");
        m_nLastRepair = 0;
        return;
    }
    OnRepair();
}

void CMyMainDlg::OnRepair() {
    m_DiffRepair.SetDataBaseADRS(&m_DiffDataBase);
    const BOOL bOk = m_DiffRepair.DoRepair();
    WriteTrace(bOk ? "◎修復に成功しました。\n" : "※修復に失敗しました。\n");
    m_nLastRepair = bOk ? 1 : 0;
}
