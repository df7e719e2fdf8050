#pragma once
// The main window's logic: start-up and shutdown, the settings file, the run and its worker, the
// three files' selection and status, and the repair commands. It works on the dialog's controls
// by id through the UI backend in use, so the desktop window, the command-line program and the
// tests all drive the same code.
#include "app/CommandResult.h"
#include "diffdb/CMyDiffDataBase.h"
#include "diffdb/CMyDiffRepair.h"
#include "engine/CMyMakeFile.h"
#include "ui/Control.h"
#include "platform/LowFile.h"
#include "ui/Ui.h"
#include "platform/WinTypes.h"
#include "res/Resource.h"
#include "engine/FileData.h"

#include <cstdint>
#include <string>
#include <vector>

class CMyMainDlg : public ui::CWndTarget {
public:
    CMyMainDlg();
    ~CMyMainDlg() override;
    CMyMainDlg(const CMyMainDlg&) = delete;
    CMyMainDlg& operator=(const CMyMainDlg&) = delete;

    // Creates the window, initialises it, runs it until it ends, and shuts it down.
    int DoModal();

    // --- ui::CWndTarget ---
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id) override;
    void OnDropFiles(int id, const std::vector<std::string>& files) override;
    void OnAbout() override;
    void OnEditChange(int id) override;

    // --- start-up and shutdown ---
    BOOL OnInitDialog();
    void OnSysCommand(UINT nID);
    int OnQueryDragIcon() const { return m_hIcon; }
    void OnOK();
    void OnCancel();
    void OnDestroy();
    // Check box 1010 <-> m_bDisplayDiff: TRUE reads the control, FALSE fills it.
    void UpdateData(BOOL bSaveAndValidate);

    // --- settings file ---
    int ReadSettings();
    int WriteSettings();
    std::string SettingsPath() const;

    // --- run control ---
    // Each command says what it did: the window ignores it, the command-line program tells it.
    CommandResult OnBtnExecute();
    BOOL CheckFileNames();
    // Each refusal is also recorded in `pResult`.
    BOOL CheckLogName(CommandResult* pResult = nullptr);
    // FALSE when a worker was to be started and the system would not start it.
    BOOL ControlThread(BOOL bStart);
    void OnBtnStop();
    void OnChkDispDiff();
    void OnChkMakeLog();
    void ShowDiffLine();
    void EnableCtrls(BOOL bEnable);
    void ShowRepairBtn(BOOL bShow);
    // The worker's last message: whatever way the run ended, the window is ready for the next.
    void OnRunEnded();
    // How the run last started ended (kRan), once its worker has ended.
    CommandResult LastRun() const;

    // --- file selection and status ---
    CommandResult OnBtnFileA();
    CommandResult OnBtnFileB();
    CommandResult OnBtnLogFile();
    int GetFileSizeA64(const char* pPath);
    int GetFileSizeB64(const char* pPath);
    void TraceSeekError();
    void ShowFileSize(std::int64_t i64Size, BOOL bFileA);
    BOOL RefreshFileInfo(int nFile);
    BOOL UpdateStatusIcons(int nFile);
    void SetStatusIcon(int nWhich, int nStatus);
    BOOL CheckWritable(CommandResult* pResult = nullptr);

    // --- repair commands ---
    CommandResult OnBtnRepairA();
    CommandResult OnBtnRepairB();
    CommandResult OnRepair();

    // Texts the window shows.
    static constexpr const char* kHintFileA = "比較元のファイル名を入力";
    static constexpr const char* kHintFileB = "比較先のファイル名を入力";
    static constexpr const char* kOutputPlaceholder = "異なるデータの出力欄";
    static constexpr const char* kSettingsName = "octwtch.ini";

    // Members, in the order the window's layout names them.
    CMyDiffDataBase m_DiffDataBase;
    ui::CControl m_stcIconLog{IDC_ICON_LOG};
    ui::CControl m_stcIconB{IDC_ICON_B};
    ui::CControl m_stcIconA{IDC_ICON_A};
    ui::CControl m_chkMakeDB{IDC_CHK_MAKE_DB};
    ui::CControl m_editSizeB{IDC_EDIT_SIZE_B};
    ui::CControl m_editSizeA{IDC_EDIT_SIZE_A};
    ui::CControl m_ctrlProgress{IDC_PROGRESS};
    ui::CControl m_editLogFile{IDC_EDIT_LOG_FILE};
    ui::CControl m_editFileB{IDC_EDIT_FILE_B};
    ui::CControl m_editFileA{IDC_EDIT_FILE_A};
    // Controls the logic addresses besides those above.
    ui::CControl m_chkDispDiff{IDC_CHK_DISP_DIFF};
    ui::CControl m_btnExecute{IDC_BTN_EXECUTE};
    ui::CControl m_btnStop{IDC_BTN_STOP};
    ui::CControl m_editOutput{IDC_EDIT_OUTPUT};
    ui::CControl m_btnRepairA{IDC_BTN_REPAIR_A};
    ui::CControl m_btnRepairB{IDC_BTN_REPAIR_B};

    BOOL m_bDisplayDiff = FALSE;
    int m_nRepairable = 0;
    BOOL m_bSelectedA = FALSE;
    BOOL m_bSelectedB = FALSE;
    BOOL m_bSelectedLog = FALSE;
    std::string m_strDBFile;
    CMyDiffRepair m_DiffRepair;
    std::string m_strLogFile;
    BOOL m_bUseDataBase = TRUE;
    int m_hIcon = IDR_MAINFRAME;
    std::int64_t m_i64DiffAdrs = 0;
    std::int64_t m_i64DiffCount = 0;
    BYTE m_bDiffDataA = 0;
    BYTE m_bDiffDataB = 0;
    int m_nStatusA = 0;
    int m_nStatusB = 0;
    int m_nStatusLog = 0;
    std::string m_strFoldB;
    std::string m_strFoldA;
    std::string m_strModuleFold;
    CMyMakeFile m_MakeFile;
    // The backend that runs the worker of the current or last run; null until the first run.
    ui::IUi* m_pWorkThread = nullptr;
    BOOL m_bExecute = FALSE;
    FILEDATA m_FileData;

    // Runs say only whether the files differ: no log, no summary, no database.
    BOOL m_bBrief = FALSE;
    // How a FILE A or FILE B named HOST:PATH is reached.
    RemoteAccess m_remote;
    // Why the last measuring of a remote FILE A or FILE B failed; its refusal when the server
    // refused the file.
    RemoteOpenFailure m_remoteFailure;
    // FALSE for the command-line program: "octwtch.ini" belongs to the window.
    BOOL m_bUseSettingsFile = TRUE;
    // A read of "octwtch.ini" failed: the file is left as it is, also at exit.
    BOOL m_bSettingsUnreadable = FALSE;
    // Which files the difference store was filled from: taken from the engine when a run's
    // database is saved, cleared when a run empties the store. A repair patches only these.
    platform::FileIdentity m_idStoreA;
    platform::FileIdentity m_idStoreB;
    // How many differences that run found; the store keeps at most its limit of them.
    std::int64_t m_i64StoreFound = 0;
    // The run under way or last run has opened its files and written its log (WM_DISABLE_CTRLS).
    BOOL m_bRunOpened = FALSE;
    // Why the last measuring of FILE A or FILE B failed (an errno value), 0 when it did not.
    int m_nSizeError = 0;

private:
    int GetFileSize64(const char* pPath, BOOL bFileA);
    // The box for a FILE A or FILE B that cannot be compared: its name and why, which the result
    // (`outcome`) carries too.
    CommandResult ShowSizingFailure(BOOL bFileA, const std::string& strPath,
                                    CommandOutcome outcome);
    CommandResult OnBtnFile(BOOL bFileA);
    CommandResult OnBtnRepair(BOOL bFileA);
};
