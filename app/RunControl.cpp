// The execute and stop buttons, the two check boxes, the worker, and what the run's messages do
// to the window.
#include "app/CMyMainDlg.h"

#include "engine/RunTexts.h"
#include "platform/Format.h"
#include "util/PathUtil.h"
#include "util/SizeText.h"
#include "util/Trace.h"

using ui::Ui;

CommandResult CMyMainDlg::OnBtnExecute() {
    CommandResult result;
    if (m_editFileA.GetWindowText() == m_editFileB.GetWindowText()) {
        ui::ShowBox("※　同一のファイルは比較できません");
        result.m_outcome = CommandOutcome::kExecSameName;
        return result;
    }

    m_i64DiffCount = 0;
    m_i64DiffAdrs = 0;
    m_bDiffDataA = 0;
    m_bDiffDataB = 0;

    if (!CheckFileNames()) {
        result.m_outcome = CommandOutcome::kExecEmptyName;
        return result;
    }
    // A name that cannot be compared is named in a box with the reason, never refused silently.
    if (!RefreshFileInfo(0))
        return ShowSizingFailure(TRUE, m_editFileA.GetWindowText(), CommandOutcome::kExecRefreshA);
    if (!RefreshFileInfo(1))
        return ShowSizingFailure(FALSE, m_editFileB.GetWindowText(), CommandOutcome::kExecRefreshB);

    SetSizeRelation(&m_FileData);
    if (m_FileData.nSizeMode != SIZE_EQUAL && !m_bBrief)
        ui::ShowBox(SizesDifferText(m_FileData.i64SearchSize));

    m_FileData.strLogFile = m_editLogFile.GetWindowText();
    // The icon beside the log box shows the log this run writes, before anything is asked.
    UpdateStatusIcons(2);

    if (!m_bBrief && (!CheckLogName(&result) || !CheckWritable(&result)))
        return result;

    // The last run's end may still be on its way: it is handled before this run is set up.
    ControlThread(FALSE);
    // The arrows belong to the last run's store, which this run replaces or leaves unrepairable.
    ShowRepairBtn(FALSE);
    const BOOL bExecuteBefore = m_bExecute;
    m_btnExecute.EnableWindow(FALSE);
    UpdateData(FALSE);
    m_bExecute = TRUE;
    UpdateData(TRUE);

    RunSetup setup(&m_FileData, &m_ctrlProgress, &m_btnExecute, &m_btnStop);
    setup.m_bDisplayDiff = m_bDisplayDiff;
    setup.m_bBrief = m_bBrief;
    setup.m_remote = m_remote;
    if (m_bUseDataBase && !m_bBrief) {
        m_DiffDataBase.ResetDiffData();
        m_idStoreA = {};
        m_idStoreB = {};
        setup.m_pDiffDataBase = &m_DiffDataBase;
        setup.m_strDBFileName = m_strDBFile;
    }
    m_MakeFile.Configure(setup);
    m_bRunOpened = FALSE;
    // A run of hours must be stoppable without leaving the program.
    m_btnStop.ShowWindow(TRUE);
    m_btnStop.EnableWindow(TRUE);
    if (!ControlThread(m_bExecute)) {
        // Nothing runs: the window goes back to where it was before execute was pressed.
        m_MakeFile.m_bRunning = FALSE;
        m_bExecute = bExecuteBefore;
        m_btnExecute.EnableWindow(TRUE);
        m_btnStop.ShowWindow(FALSE);
        m_btnStop.EnableWindow(FALSE);
        const std::string strText = "※比較スレッドを開始できません。OnBtnExecute()\n";
        TraceAndShow(strText);
        result.m_outcome = CommandOutcome::kExecNoThread;
        return result;
    }
    m_editOutput.SetWindowText(kOutputPlaceholder);
    result.m_outcome = CommandOutcome::kExecStarted;
    return result;
}

BOOL CMyMainDlg::CheckFileNames() {
    if (m_editFileA.GetWindowText().empty()) {
        ui::ShowBox("比較元のファイル名が不適切です。");
        return FALSE;
    }
    if (m_editFileB.GetWindowText().empty()) {
        ui::ShowBox("比較先のファイル名が不適切です。");
        return FALSE;
    }
    if (m_editLogFile.GetWindowText().empty()) {
        ui::ShowBox("ログファイル名が不適切です。");
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
    // The worker has ended and its last message has been handled (OnRunEnded). A run that had
    // come to its own end meanwhile has said so itself.
    if (m_MakeFile.Outcome() != RunOutcome::kStopped)
        return;
    const std::string strText = StoppedText(m_FileData.strLogFile, m_bRunOpened != FALSE);
    TraceAndShow(strText, ui::BoxIcon::Exclamation);
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
        ui::CControl ctrl(id);
        if (ctrl.Exists())
            ctrl.EnableWindow(bEnable);
    }
}

void CMyMainDlg::ShowRepairBtn(BOOL bShow) {
    // Exactly the files this run can repair: an arrow of an earlier run would patch a file that
    // was not writable when this one started.
    const BOOL bAny = bShow && m_bUseDataBase;
    m_btnRepairA.ShowWindow(bAny && (m_nRepairable & 1) ? TRUE : FALSE);
    m_btnRepairB.ShowWindow(bAny && (m_nRepairable & 2) ? TRUE : FALSE);
}

void CMyMainDlg::OnRunEnded() {
    m_btnStop.ShowWindow(FALSE);
    m_btnStop.EnableWindow(FALSE);
    // A stop, a failed open or read and a full disk post no WM_ENABLE_CTRLS: the controls that
    // WM_DISABLE_CTRLS took are given back here, whatever way the run ended.
    EnableCtrls(TRUE);
    m_MakeFile.m_bRunning = FALSE;
}

CommandResult CMyMainDlg::LastRun() const {
    const RunResult ran = m_MakeFile.Result();
    CommandResult result;
    if (ran.m_outcome == RunOutcome::kOpenFailed && ran.m_nOpenFailed != -1) {
        const int nFile = ran.m_nOpenFailed;
        result = FileResult(CommandOutcome::kRan, nFile,
                            nFile == 0   ? m_FileData.strFileA
                            : nFile == 1 ? m_FileData.strFileB
                                         : m_FileData.strLogFile,
                            ran.m_nOpenErrno);
        if (nFile < 2)
            result.m_strRemoteWhy = m_MakeFile.RemoteFailure(nFile);
    } else if (ran.m_outcome != RunOutcome::kOpenFailed) {
        // Every other ending that names a file names the log.
        result.m_nFile = 2;
        result.m_strPath = m_FileData.strLogFile;
        result.m_nErrno = ran.m_nLogErrno;
    }
    result.m_outcome = CommandOutcome::kRan;
    result.m_ran = ran;
    return result;
}
