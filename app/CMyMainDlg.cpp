#include "app/CMyMainDlg.h"

#include "platform/Format.h"
#include "res/Dialogs.h"
#include "util/Messages.h"
#include "util/PathUtil.h"
#include "util/ProgramFolds.h"
#include "util/Trace.h"

using ui::Ui;

CMyMainDlg::CMyMainDlg() = default;

CMyMainDlg::~CMyMainDlg() {
    // The worker uses the engine and the store, which die with this object: a dialog destroyed
    // without its shutdown (a test, an early return) still must not leave the worker behind.
    if (m_pWorkThread && m_pWorkThread->IsWorkerRunning()) {
        m_MakeFile.m_bAbort = TRUE;
        m_pWorkThread->WaitWorker();
    }
}

int CMyMainDlg::DoModal() {
    Ui().CreateDialogWindow(MainDialogTemplate(), this);
    OnInitDialog();
    int r = Ui().RunModal();
    OnDestroy();
    Ui().DestroyDialogWindow();
    return r;
}

BOOL CMyMainDlg::OnInitDialog() {
    // The about item of the window menu (string 101) is the backend's: it calls OnAbout.
    Ui().SetWindowIcon(m_hIcon);

    // Where the four files are kept is decided here, once. Every start begins with an empty
    // trace file; one that may not be used is not written at all.
    InitProgramFolds();
    const std::string strTrace = g_ProgramFolds.strTraceFold + "/DataTrace.txt";
    g_strTracePath = OwnFileUsable(strTrace) ? strTrace : std::string();
    ResetTraceFile();

    m_editFileA.SetWindowText(kHintFileA);
    m_editFileB.SetWindowText(kHintFileB);

    GetModuleFold(&m_strModuleFold);
    m_ctrlProgress.SetPos(0);
    m_MakeFile.SetPorgCtrl(&m_ctrlProgress);
    m_MakeFile.m_hWndMain = this;

    m_bExecute = FALSE;
    m_btnStop.EnableWindow(FALSE);
    m_pWorkThread = nullptr;
    m_bDisplayDiff = FALSE;
    m_bUseDataBase = TRUE;

    GetModuleFold(&g_strModuleFold);
    m_strLogFile = DefaultLogPath();

    if (m_bUseSettingsFile)
        ReadSettings();

    m_editLogFile.SetWindowText(m_strLogFile);
    m_FileData.strLogFile = m_strLogFile;

    m_chkMakeDB.SetCheck(m_bUseDataBase ? 1 : 0);
    UpdateData(FALSE);

    Ui().AcceptDrops(IDC_EDIT_FILE_A, true);
    Ui().AcceptDrops(IDC_EDIT_FILE_B, true);

    m_DiffDataBase.ResetDiffData();
    // The store takes a path only in a folder that exists.
    MakeProgramFold(g_ProgramFolds.strDataFold);
    std::string strDB =
        platform::Format("%s/%s", g_ProgramFolds.strDataFold.c_str(), "DiffData.db");
    m_DiffDataBase.SetFileName(strDB.c_str());
    m_strDBFile = strDB;

    ShowRepairBtn(FALSE);

    m_bSelectedA = FALSE;
    m_bSelectedB = FALSE;
    m_bSelectedLog = TRUE;
    UpdateStatusIcons(-1);

    m_nRepairable = 0;

    // The marker closes the start-up: whatever an earlier step traced stands before it.
    static const char kMarker[] = "\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7"
                                  "\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF";
    // One write, so that another program's line appended to the same trace cannot split it.
    WriteTrace(std::string(kMarker, 16) + "\n");
    return TRUE;
}

void CMyMainDlg::UpdateData(BOOL bSaveAndValidate) {
    if (bSaveAndValidate)
        m_bDisplayDiff = m_chkDispDiff.GetCheck() == 1 ? TRUE : FALSE;
    else
        m_chkDispDiff.SetCheck(m_bDisplayDiff ? 1 : 0);
}

void CMyMainDlg::OnSysCommand(UINT nID) {
    if ((nID & 0xFFF0) == static_cast<UINT>(IDM_ABOUTBOX))
        OnAbout();
}

void CMyMainDlg::OnAbout() { Ui().ShowAboutBox(AboutDialogTemplate()); }

LRESULT CMyMainDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DIFF_ADRS:
        m_i64DiffAdrs = MakeInt64(wParam, lParam);
        break;
    case WM_DIFF_DATA:
        m_bDiffDataA = static_cast<BYTE>(wParam & 0xFF);
        m_bDiffDataB = static_cast<BYTE>(static_cast<std::uint32_t>(lParam) & 0xFF);
        break;
    case WM_DIFF_COUNT:
        m_i64DiffCount = MakeInt64(wParam, lParam);
        ShowDiffLine();
        break;
    case WM_ENABLE_CTRLS:
        EnableCtrls(TRUE);
        break;
    case WM_DISABLE_CTRLS:
        m_bRunOpened = TRUE;
        EnableCtrls(FALSE);
        break;
    case WM_SHOW_REPAIR_BTN:
        // The database was saved: the store now belongs to the files this run opened.
        m_idStoreA = m_MakeFile.IdentityOfA();
        m_idStoreB = m_MakeFile.IdentityOfB();
        m_i64StoreFound = m_MakeFile.m_i64DiffCount;
        ShowRepairBtn(TRUE);
        break;
    case WM_HIDE_REPAIR_BTN:
        ShowRepairBtn(FALSE);
        break;
    case WM_THREAD_END:
        UpdateStatusIcons(2);
        OnRunEnded();
        break;
    default:
        break;
    }
    return 0;
}

void CMyMainDlg::OnCommand(int id) {
    switch (id) {
    case IDOK:
        OnOK();
        break;
    case IDCANCEL:
        OnCancel();
        break;
    case IDC_BTN_FILE_A:
        OnBtnFileA();
        break;
    case IDC_BTN_FILE_B:
        OnBtnFileB();
        break;
    case IDC_BTN_LOG_FILE:
        OnBtnLogFile();
        break;
    case IDC_BTN_EXECUTE:
        OnBtnExecute();
        break;
    case IDC_BTN_STOP:
        OnBtnStop();
        break;
    case IDC_CHK_DISP_DIFF:
        OnChkDispDiff();
        break;
    case IDC_CHK_MAKE_DB:
        OnChkMakeLog();
        break;
    case IDC_BTN_REPAIR_A:
        OnBtnRepairA();
        break;
    case IDC_BTN_REPAIR_B:
        OnBtnRepairB();
        break;
    default:
        break;
    }
}

void CMyMainDlg::OnDropFiles(int id, const std::vector<std::string>& files) {
    // Only the first file of a drop counts. Unlike a select button, a drop leaves the folders and
    // the repair arrows alone; the repair itself checks the file it is given.
    if (files.empty())
        return;
    if (id != IDC_EDIT_FILE_A && id != IDC_EDIT_FILE_B)
        return;
    const BOOL bFileA = id == IDC_EDIT_FILE_A ? TRUE : FALSE;
    (bFileA ? m_editFileA : m_editFileB).SetWindowText(files.front());
    // The size line under the box describes the dropped file, or says it cannot be measured.
    const BOOL bSized = GetFileSize64(files.front().c_str(), bFileA) == 0;
    ShowFileSize(!bSized ? -1 : bFileA ? m_FileData.i64SizeA : m_FileData.i64SizeB, bFileA);
    (bFileA ? m_bSelectedA : m_bSelectedB) = TRUE;
    UpdateStatusIcons(bFileA ? 0 : 1);
}

void CMyMainDlg::OnEditChange(int id) {
    // A name being typed is not the file that the size line and the icon beside it describe.
    switch (id) {
    case IDC_EDIT_FILE_A:
    case IDC_EDIT_FILE_B: {
        const int nFile = id == IDC_EDIT_FILE_A ? 0 : 1;
        (nFile == 0 ? m_editSizeA : m_editSizeB).SetWindowText("");
        (nFile == 0 ? m_nStatusA : m_nStatusB) = 0;
        SetStatusIcon(nFile, 0);
        break;
    }
    case IDC_EDIT_LOG_FILE:
        UpdateStatusIcons(2);
        break;
    default:
        break;
    }
}

void CMyMainDlg::OnOK() {
    m_MakeFile.m_bAbort = TRUE;
    UpdateData(TRUE);
    Ui().EndDialog(IDOK);
}

// The close box: the settings are kept as the exit button keeps them.
void CMyMainDlg::OnCancel() {
    UpdateData(TRUE);
    Ui().EndDialog(IDCANCEL);
}

void CMyMainDlg::OnDestroy() {
    if (m_MakeFile.m_bRunning) {
        // The worker must be out of the engine before this thread touches its files: abort it
        // (Esc and the close box have not), wait while serving its boxes and effects, and only
        // then close what it left open.
        m_MakeFile.m_bAbort = TRUE;
        ControlThread(FALSE);
        m_MakeFile.EndSearch();
    } else {
        // A run that has completed may still be showing its summary or saving its database.
        ControlThread(FALSE);
    }
    if (m_bUseSettingsFile && !m_bSettingsUnreadable)
        WriteSettings();
}
