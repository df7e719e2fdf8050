// The execute and stop buttons, the two check boxes, the worker, and what the run's messages do
// to the window.
#include "app/CMyMainDlg.h"

#include "platform/Format.h"
#include "util/PathUtil.h"
#include "util/SizeText.h"
#include "util/Trace.h"

using platform::Ui;

void CMyMainDlg::OnBtnExecute() {
    if (m_editFileA.GetWindowText() == m_editFileB.GetWindowText()) {
        platform::ShowBox("※　同一のファイルは比較できません");
        m_nLastExecute = kExecSameName;
        return;
    }

    m_i64DiffCount = 0;
    m_i64DiffAdrs = 0;
    m_bDiffDataA = 0;
    m_bDiffDataB = 0;

    if (!CheckFileNames()) {
        m_nLastExecute = kExecEmptyName;
        return;
    }
    if (!RefreshFileInfo(0)) {
        m_nLastExecute = kExecRefreshA;
        return;
    }
    if (!RefreshFileInfo(1)) {
        m_nLastExecute = kExecRefreshB;
        return;
    }

    SetSizeRelation(&m_FileData);
    if (m_FileData.nSizeMode != SIZE_EQUAL)
        platform::ShowBox(SizesDifferText(m_FileData.i64SearchSize));

    m_FileData.strLogFile = m_editLogFile.GetWindowText();

    // Each sets m_nLastExecute to why it refused.
    if (!CheckLogName() || !CheckWritable())
        return;

    const BOOL bExecuteBefore = m_bExecute;
    m_btnExecute.EnableWindow(FALSE);
    UpdateData(FALSE);
    m_bExecute = TRUE;
    UpdateData(TRUE);

    RunSetup setup(&m_FileData, &m_ctrlProgress, &m_btnExecute, &m_btnStop);
    setup.m_bDisplayDiff = m_bDisplayDiff;
    if (m_bUseDataBase) {
        m_DiffDataBase.ResetDiffData();
        m_idStoreA = {};
        m_idStoreB = {};
        setup.m_pDiffDataBase = &m_DiffDataBase;
        setup.m_strDBFileName = m_strDBFile;
    }
    m_MakeFile.Configure(setup);
    if (!ControlThread(m_bExecute)) {
        // Nothing runs: the window goes back to where it was before execute was pressed.
        m_MakeFile.m_bRunning = FALSE;
        m_bExecute = bExecuteBefore;
        m_btnExecute.EnableWindow(TRUE);
        const std::string strText = "※比較スレッドを開始できません。OnBtnExecute()\n";
        WriteTrace(strText);
        platform::ShowBox(strText);
        m_nLastExecute = kExecNoThread;
        return;
    }
    m_nLastExecute = kExecStarted;

    m_editOutput.SetWindowText(kOutputPlaceholder);
}

BOOL CMyMainDlg::CheckFileNames() {
    if (m_editFileA.GetWindowText().empty()) {
        platform::ShowBox("比較元のファイル名が不適切です。");
        return FALSE;
    }
    if (m_editFileB.GetWindowText().empty()) {
        platform::ShowBox("比較先のファイル名が不適切です。");
        return FALSE;
    }
    if (m_editLogFile.GetWindowText().empty()) {
        platform::ShowBox("ログファイル名が不適切です。");
        return FALSE;
    }
    return TRUE;
}

BOOL CMyMainDlg::ControlThread(BOOL bStart) {
    if (bStart) {
        m_pWorkThread = &Ui();
        CMyMakeFile* pMakeFile = &m_MakeFile;
        return m_pWorkThread->StartWorker([pMakeFile] { return CompareThreadProc(pMakeFile); })
                   ? TRUE
                   : FALSE;
    }
    // Serves the worker's boxes and effects while it waits: neither thread blocks the other.
    if (m_pWorkThread)
        m_pWorkThread->WaitWorker();
    return TRUE;
}

void CMyMainDlg::OnBtnStop() {
    m_bExecute = FALSE;
    m_MakeFile.StopSearch();
    m_btnStop.EnableWindow(FALSE);
    ControlThread(m_bExecute);
    UpdateData(FALSE);
}

void CMyMainDlg::OnChkDispDiff() {
    UpdateData(TRUE);
    m_MakeFile.m_bDisplayDiff = m_bDisplayDiff;
}

void CMyMainDlg::OnChkMakeLog() {
    switch (m_chkMakeDB.GetCheck()) {
    case 0:
        m_bUseDataBase = FALSE;
        WriteTrace("データ作成チェックが外されました。OnChkMakeLog()\n");
        break;
    case 1:
        m_bUseDataBase = TRUE;
        WriteTrace("データ作成チェックが入りました。OnChkMakeLog()\n");
        break;
    default:
        WriteTrace("無効なチェック状態です。OnChkMakeLog()\n");
        break;
    }
}

void CMyMainDlg::ShowDiffLine() {
    if (!m_editOutput.Exists())
        return;
    m_editOutput.SetWindowText(platform::Format("(%I64d) %010I64X h : %02X , %02X", m_i64DiffCount,
                                                m_i64DiffAdrs, static_cast<unsigned>(m_bDiffDataA),
                                                static_cast<unsigned>(m_bDiffDataB)));
}

void CMyMainDlg::EnableCtrls(BOOL bEnable) {
    static constexpr int kIds[] = {IDC_BTN_EXECUTE,  IDC_BTN_FILE_A,   IDC_BTN_FILE_B,
                                   IDC_BTN_LOG_FILE, IDC_CHK_MAKE_DB,  IDC_BTN_REPAIR_A,
                                   IDC_BTN_REPAIR_B};
    for (int id : kIds) {
        platform::CControl ctrl(id);
        if (ctrl.Exists())
            ctrl.EnableWindow(bEnable);
    }
}

void CMyMainDlg::ShowRepairBtn(BOOL bShow) {
    if (bShow && m_bUseDataBase && m_nRepairable != 0) {
        // An arrow that is not to be shown keeps what it had.
        if (m_nRepairable == 1 || m_nRepairable == 3)
            m_btnRepairA.ShowWindow(TRUE);
        if (m_nRepairable == 2 || m_nRepairable == 3)
            m_btnRepairB.ShowWindow(TRUE);
        return;
    }
    m_btnRepairA.ShowWindow(FALSE);
    m_btnRepairB.ShowWindow(FALSE);
}
