// octetwatch-cli: the main window's logic in a terminal. The three paths are chosen as with the
// window's select buttons, execute is pressed, and the program ends when the run ends.
#include "app/CMyMainApp.h"
#include "app/CMyMainDlg.h"
#include "cli/CliUi.h"
#include "cli/PatchCommand.h"
#include "cli/RemoteOptions.h"
#include "cli/Say.h"
#include "engine/RunTexts.h"
#include "platform/FileStatus.h"
#include "platform/LowFile.h"
#include "platform/StandardDescriptors.h"
#include "platform/StandardOutput.h"
#include "platform/StopSignals.h"
#include "remote/Server.h"
#include "res/Dialogs.h"
#include "res/Resource.h"
#include "util/RemoteName.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Exit statuses, as cmp has them.
constexpr int kSame = 0;
constexpr int kDifferent = 1;
constexpr int kTrouble = 2;

constexpr const char* kUsage =
    "Usage: octetwatch-cli [OPTIONS] FILE_A FILE_B [LOG]\n"
    "Compare FILE_A with FILE_B byte by byte over their common length and write every\n"
    "differing byte to LOG (default: Result.txt in the data folder, see Files), in\n"
    "Shift_JIS (CP932). Either file, or both, may be [USER@]HOST:PATH (a colon before\n"
    "the first slash): it is read there by this program, reached over ssh; only digests\n"
    "and the bytes that differ cross the network. LOG is always local.\n"
    "\n"
    "  --db           build the difference database (DiffData.db in the data folder)\n"
    "  --display      print every difference as it is found: (count) address h : A , B\n"
    "  --repair=a     after the run, repair FILE_A from FILE_B (implies --db)\n"
    "  --repair=b     after the run, repair FILE_B from FILE_A (implies --db)\n"
    "  --yes, --no    the answer to every question (overwrite the log, both files\n"
    "                 unwritable, the repair); without either, questions are asked when\n"
    "                 standard input is a terminal and answered No when it is not\n"
    "  --quiet        no progress bar\n"
    "  --brief        only the exit status, as cmp -s gives it: the run ends at the first\n"
    "                 difference and writes no log and no database\n"
    "  --help         show this help and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Files: when the program's own folder is this user's and no one else can write it,\n"
    "Result.txt, DiffData.db and the trace DataTrace.txt lie beside the program.\n"
    "Otherwise, or when the program lies below /usr or /opt, Result.txt and DiffData.db\n"
    "are in the data folder $XDG_DATA_HOME/octetwatch (~/.local/share/octetwatch) and\n"
    "DataTrace.txt in $XDG_STATE_HOME/octetwatch (~/.local/state/octetwatch). None of\n"
    "them is opened through a symbolic link; a LOG named here is.\n"
    "\n"
    "Exit status: 0 the files are the same, 1 they differ, 2 trouble (refused, failed,\n"
    "declined). Files of different sizes differ, whatever their common part: standard\n"
    "error then says which one ended first (\"EOF on FILE after byte N\"). With --repair:\n"
    "0 the files are the same size and equal after the repair, 1 their common part is\n"
    "equal but their sizes differ, 2 otherwise.\n"
    "\n"
    "SIGINT (Ctrl+C), SIGTERM or SIGHUP stops a run as the window's stop button does: the log\n"
    "keeps every line found so far, no database is written; the exit status is then 130, 143\n"
    "or 129. A question waiting for its answer counts as answered No; a database being saved\n"
    "or a repair under way is completed first. A second signal ends the program at once;\n"
    "during a repair it names the --patch commands that finish or undo the repair.\n";

constexpr const char* kSecondNote = "octetwatch-cli: interrupted again: ending at once\n";

struct Options {
    bool m_bDB = false;
    bool m_bDisplay = false;
    char m_cRepair = 0; // 'a', 'b' or none
    std::optional<bool> m_answer;
    bool m_bQuiet = false;
    bool m_bBrief = false;
    RemoteAccess m_remote;
    int m_nWriteErrno = 0; // of the help, when standard output did not take it
    std::vector<std::string> m_paths;
};

void Say(const std::string& text) { SayTo(stderr, text); }

// Nothing when the run can go ahead; otherwise the status to exit with at once.
std::optional<int> ParseOptions(int argc, char** argv, Options* pOpt) {
    bool bOptionsEnd = false;
    std::string strError;
    if (!RemoteAccessFromEnvironment(&pOpt->m_remote, &strError)) {
        Say(strError);
        return kTrouble;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (bOptionsEnd || arg.size() < 2 || arg[0] != '-') {
            pOpt->m_paths.push_back(arg);
        } else if (arg == "--") {
            bOptionsEnd = true;
        } else if (arg == "--help") {
            // The help is longer than the output's buffer: a write fails inside fputs, whose
            // reason the close could no longer tell.
            for (const char* pPart : {kUsage,
                                      "\nHOST:PATH files are reached with (--patch takes these "
                                      "too):\n",
                                      kRemoteUsage, kPatchUsage})
                if (std::fputs(pPart, stdout) == EOF && pOpt->m_nWriteErrno == 0)
                    pOpt->m_nWriteErrno = errno;
            return kSame;
        } else if (arg == "--version") {
            std::printf("%s\n", MainDialogTemplate().m_strCaption.c_str());
            return kSame;
        } else if (arg == "--db") {
            pOpt->m_bDB = true;
        } else if (arg == "--display") {
            pOpt->m_bDisplay = true;
        } else if (arg == "--repair=a" || arg == "--repair=b") {
            pOpt->m_cRepair = arg.back();
            pOpt->m_bDB = true;
        } else if (arg == "--yes" || arg == "--no") {
            if (pOpt->m_answer && *pOpt->m_answer != (arg == "--yes")) {
                Say("--yes and --no cannot be given together");
                return kTrouble;
            }
            pOpt->m_answer = arg == "--yes";
        } else if (arg == "--quiet") {
            pOpt->m_bQuiet = true;
        } else if (arg == "--brief") {
            pOpt->m_bBrief = true;
        } else if (bool bTaken = false;
                   !TakeRemoteOption(arg, &pOpt->m_remote, &bTaken, &strError) || bTaken) {
            if (!strError.empty()) {
                Say(strError);
                return kTrouble;
            }
        } else {
            Say("unknown option " + arg);
            std::fputs(kUsage, stderr);
            return kTrouble;
        }
    }
    if (pOpt->m_paths.size() < 2 || pOpt->m_paths.size() > 3) {
        Say(pOpt->m_paths.size() < 2 ? "FILE_A and FILE_B are needed" : "too many arguments");
        std::fputs(kUsage, stderr);
        return kTrouble;
    }
    if (pOpt->m_paths.size() == 3 && IsRemoteName(pOpt->m_paths[2])) {
        Say("the log is always written here, never on another machine: " + pOpt->m_paths[2] +
            " (name a local file as ./" + pOpt->m_paths[2] + ")");
        return kTrouble;
    }
    if (pOpt->m_bBrief && (pOpt->m_bDB || pOpt->m_bDisplay || pOpt->m_paths.size() == 3)) {
        Say("--brief writes no log and keeps no database: it cannot be given with a LOG, --db, "
            "--display or --repair");
        return kTrouble;
    }
    return std::nullopt;
}

// Why a path cannot be used when its kind is the reason: the files compared must be regular files
// or block devices; the log must be neither a pipe, a socket nor a disk device (a character
// device such as /dev/null is fine). Empty when its kind is not the reason.
std::string KindProblem(const std::string& path, bool bLog) {
    platform::FileStatus st;
    if (!platform::GetFileStatus(path, &st))
        return {};
    switch (st.m_kind) {
    case platform::FileKind::Fifo:
        return "is a named pipe";
    case platform::FileKind::Socket:
        return "is a socket";
    case platform::FileKind::Folder:
        return "is a folder";
    case platform::FileKind::CharDevice:
        return bLog ? std::string() : "is a character device";
    case platform::FileKind::BlockDevice:
        return bLog ? "is a block device" : std::string();
    case platform::FileKind::Other:
        return bLog ? std::string() : "is not a regular file";
    default:
        return {};
    }
}

// Relative names are taken from the working folder, as a file dialog would give them.
std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/')
        return path;
    std::string fold = platform::CurrentFolder();
    if (!fold.empty() && fold.back() != '/')
        fold += '/';
    return fold + path;
}

class CCliRun {
public:
    CCliRun(CCliUi& ui, CMyMainDlg& dlg, const Options& opt) : m_ui(ui), m_dlg(dlg), m_opt(opt) {}

    int Run() {
        m_dlg.m_bBrief = m_opt.m_bBrief ? TRUE : FALSE;
        m_dlg.m_remote = m_opt.m_remote;
        // The two check boxes, clicked as a user would.
        if ((m_dlg.m_chkMakeDB.GetCheck() == 1) != m_opt.m_bDB)
            m_ui.Click(IDC_CHK_MAKE_DB);
        if ((m_dlg.m_chkDispDiff.GetCheck() == 1) != m_opt.m_bDisplay)
            m_ui.Click(IDC_CHK_DISP_DIFF);

        if (!Choose(IDC_BTN_FILE_A, m_opt.m_paths[0])) {
            ExplainInput("FILE A", 0);
            return kTrouble;
        }
        if (!Choose(IDC_BTN_FILE_B, m_opt.m_paths[1])) {
            ExplainInput("FILE B", 1);
            return kTrouble;
        }
        if (m_opt.m_paths.size() == 3 && !Choose(IDC_BTN_LOG_FILE, m_opt.m_paths[2]))
            return kTrouble;

        if (platform::StopSignal() != 0)
            return kTrouble; // nothing was started; main turns it into the signal's status
        m_ui.Click(IDC_BTN_EXECUTE);
        if (m_dlg.m_nLastExecute != CMyMainDlg::kExecStarted) {
            ExplainRefusal();
            return kTrouble;
        }
        WaitForTheRun();

        const CMyMakeFile& engine = m_dlg.m_MakeFile;
        if (!ExplainEnding(engine.Outcome()))
            return kTrouble;
        const bool bDiffer = engine.m_i64DiffCount != 0;
        const bool bSizesDiffer = engine.m_i64SizeA != engine.m_i64SizeB;
        if (bSizesDiffer && !m_opt.m_bBrief)
            SayWhichEndedFirst();
        // A database asked for and not saved is trouble; a run without differences writes none.
        if (m_opt.m_bDB && bDiffer && !engine.DataBaseSaved()) {
            Say("the difference database was not saved: " + m_dlg.m_MakeFile.m_strDBFileName);
            return kTrouble;
        }
        int nExit = bDiffer ? kDifferent : kSame;
        if (m_opt.m_cRepair && bDiffer && platform::StopSignal() == 0)
            nExit = Repair();
        // Equal bytes are not the same file when one of them has more.
        return nExit == kSame && bSizesDiffer ? kDifferent : nExit;
    }

private:
    // As the window's stop button does when SIGINT or SIGTERM comes during the run; whichever way
    // the run ends, what it posted last is handled before this returns.
    void WaitForTheRun() {
        m_ui.PumpUntil([this] { return !m_ui.IsWorkerRunning() || platform::StopSignal() != 0; },
                       true);
        if (platform::StopSignal() != 0 && m_ui.IsWorkerRunning()) {
            // The worker may wait for a reader of the live display that has stopped reading.
            m_ui.EndLiveOutputWait();
            Say("interrupted: the run stops after its current step");
            m_dlg.OnBtnStop();
        }
        m_dlg.ControlThread(FALSE);
    }

    // True when every byte was compared; otherwise says why not (its boxes have said the rest).
    bool ExplainEnding(RunOutcome outcome) {
        switch (outcome) {
        case RunOutcome::kCompleted:
            return true;
        case RunOutcome::kLogUnfinished:
            Say("the log's closing lines could not be written: " + m_dlg.m_FileData.strLogFile);
            return false;
        case RunOutcome::kDeclined:
            Say("the run was not started: the log exists and the question was answered No: " +
                m_dlg.m_FileData.strLogFile);
            return false;
        case RunOutcome::kOpenFailed:
            ExplainInput("FILE A", 0);
            ExplainInput("FILE B", 1);
            if (m_opt.m_paths.size() == 3)
                ExplainKind("the log", 2, true);
            return false;
        case RunOutcome::kLogBusy:
            Say("the run was not started: another run is writing the log: " +
                m_dlg.m_FileData.strLogFile);
            return false;
        case RunOutcome::kReadFailed:
            Say("the run stopped: a file could not be read to its measured end");
            return false;
        case RunOutcome::kDiskReserve:
            Say("the run stopped: the log's disk is full");
            return false;
        case RunOutcome::kLogWriteFailed:
            Say("the run stopped: the log could not be written: " + m_dlg.m_FileData.strLogFile +
                ": " + std::strerror(m_dlg.m_MakeFile.LogWriteErrno()));
            return false;
        case RunOutcome::kFileChanged:
            for (std::size_t n = 0; n < 2; ++n)
                if (m_dlg.m_MakeFile.ChangedFiles() & (1 << n))
                    Say(std::string("the result is void: FILE ") + (n == 0 ? "A" : "B") +
                        " was written, resized or replaced during the run: " + m_opt.m_paths[n]);
            return false;
        case RunOutcome::kStopped:
        case RunOutcome::kAbandoned:
        case RunOutcome::kNone:
            return false; // a signal stopped it: main turns that into the signal's status
        }
        return false;
    }

    // In the manner of cmp: the shorter file and the length of the common part.
    void SayWhichEndedFirst() {
        const CMyMakeFile& engine = m_dlg.m_MakeFile;
        const bool bAShorter = engine.m_i64SizeA < engine.m_i64SizeB;
        const std::string& strName = m_opt.m_paths[bAShorter ? 0 : 1];
        const std::int64_t i64Size = bAShorter ? engine.m_i64SizeA : engine.m_i64SizeB;
        Say(i64Size == 0 ? "EOF on " + strName + " which is empty"
                         : "EOF on " + strName + " after byte " + std::to_string(i64Size));
    }

    // True when the path's kind is the reason, which it has then said.
    bool ExplainKind(const char* pWhat, std::size_t nPath, bool bLog) {
        if (IsRemoteName(m_opt.m_paths[nPath]))
            return false; // its server has said why (ExplainInput)
        const std::string strProblem = KindProblem(AbsolutePath(m_opt.m_paths[nPath]), bLog);
        if (strProblem.empty())
            return false;
        Say(std::string(pWhat) + " " + strProblem +
            (bLog ? ", which cannot hold a log: "
                  : ": only regular files and block devices are compared: ") +
            m_opt.m_paths[nPath]);
        return true;
    }

    // Why FILE A or FILE B could not be used: its kind, or as cmp names a file it cannot read,
    // "NAME: the system's reason". Nothing when it can be opened now.
    void ExplainInput(const char* pWhat, std::size_t nPath) {
        if (IsRemoteName(m_opt.m_paths[nPath])) {
            // The run's own failure when it had one; else the measuring's, which stops at the
            // first file that fails.
            const std::string& strRun = m_dlg.m_MakeFile.RemoteFailure(static_cast<int>(nPath));
            const std::string& strWhy = strRun.empty() ? m_dlg.m_remoteFailure.m_strWhy : strRun;
            if (!strWhy.empty())
                Say(strWhy);
            return;
        }
        if (ExplainKind(pWhat, nPath, false))
            return;
        const int nFile = platform::FileOpen(AbsolutePath(m_opt.m_paths[nPath]),
                                             platform::kOpenRead | platform::kOpenCompared);
        if (nFile != -1) {
            platform::FileClose(nFile);
            return;
        }
        Say(m_opt.m_paths[nPath] + ": " + std::strerror(platform::LastError()));
    }

    // Chooses a path with a select button; false when the window refused it (its box said why).
    bool Choose(int nButton, const std::string& path) {
        // A remote name is shown as typed: its path is the far side's.
        const std::string strPath = IsRemoteName(path) ? path : AbsolutePath(path);
        m_ui.QueueFileDialogAnswer(strPath);
        const BOOL bSelectedBefore = nButton == IDC_BTN_FILE_A ? m_dlg.m_bSelectedA
                                                               : m_dlg.m_bSelectedB;
        m_ui.Click(nButton);
        switch (nButton) {
        case IDC_BTN_FILE_A:
            return !bSelectedBefore && m_dlg.m_bSelectedA;
        case IDC_BTN_FILE_B:
            return !bSelectedBefore && m_dlg.m_bSelectedB;
        default:
            return m_dlg.m_strLogFile == strPath;
        }
    }

    void ExplainRefusal() {
        switch (m_dlg.m_nLastExecute) {
        case CMyMainDlg::kExecRefreshA:
            Say("the run was not started: FILE A could not be measured: " + m_opt.m_paths[0]);
            break;
        case CMyMainDlg::kExecRefreshB:
            Say("the run was not started: FILE B could not be measured: " + m_opt.m_paths[1]);
            break;
        case CMyMainDlg::kExecLogIsDataBase:
            Say("the run was not started: the log would overwrite the difference database: " +
                m_dlg.m_FileData.strLogFile);
            break;
        case CMyMainDlg::kExecLogIsTrace:
            Say("the run was not started: the log would be the trace file: " +
                m_dlg.m_FileData.strLogFile);
            break;
        case CMyMainDlg::kExecLogIsSettings:
            Say("the run was not started: the log would overwrite the settings file: " +
                m_dlg.m_FileData.strLogFile);
            break;
        case CMyMainDlg::kExecDeclined:
            Say("the run was not started: the question was answered No");
            break;
        case CMyMainDlg::kExecLogReadOnly:
            Say("the run was not started: the log cannot be written: " + m_dlg.m_strLogFile);
            break;
        case CMyMainDlg::kExecNoThread:
            Say("the run was not started: the system could not start its worker thread");
            break;
        default:
            break; // its box has said why
        }
    }

    int Repair() {
        const bool bA = m_opt.m_cRepair == 'a';
        const int nButton = bA ? IDC_BTN_REPAIR_A : IDC_BTN_REPAIR_B;
        if (!m_ui.CanClick(nButton)) {
            const int nBit = bA ? 1 : 2;
            if ((m_dlg.m_nRepairable & nBit) == 0)
                Say(std::string("no repair: FILE ") + (bA ? "A" : "B") +
                    " was not writable when the run started");
            else
                Say("no repair: the difference database was not saved");
            return kTrouble;
        }
        // The database lies on disk: a repair cut short names the patches that finish or undo it.
        const std::string strFile = bA ? m_dlg.m_FileData.strFileA : m_dlg.m_FileData.strFileB;
        const char cOther = bA ? 'b' : 'a';
        const std::string strFinishOrUndo =
            "to finish the repair: " + PatchCommandLine(m_dlg.m_strDBFile, m_opt.m_cRepair, strFile) +
            "; to undo it: " + PatchCommandLine(m_dlg.m_strDBFile, cOther, strFile);
        const std::string strNote = std::string(kSecondNote, std::strlen(kSecondNote) - 1) + "; " +
                                    strFile + " may be partly repaired: " + strFinishOrUndo + "\n";
        platform::SetSecondStopNote(strNote.c_str());
        m_ui.Click(nButton);
        m_ui.Pump();
        platform::SetSecondStopNote(kSecondNote);
        if (m_dlg.m_nLastRepair != 1) {
            const CMyDiffRepair& repair = m_dlg.m_DiffRepair;
            const CMyInPlaceWriter& w = repair.m_Writer;
            if (repair.m_idAfter.m_bValid) // writing had begun
                Say("the repair stopped: " +
                    WriteFailureText(w, m_dlg.m_DiffDataBase.GetDiffNum(), strFile,
                                     m_opt.m_cRepair) +
                    (w.m_bCounted && w.GetVerdict() == CMyInPlaceWriter::kVerdictMismatch
                         ? std::string()
                         : "; " + strFinishOrUndo));
            return kTrouble;
        }
        // The store keeps at most 1,000,000 differences; the files are equal only if it held all.
        if (m_dlg.m_DiffDataBase.GetDiffNum() < m_dlg.m_MakeFile.m_i64DiffCount) {
            Say("only the first " + std::to_string(m_dlg.m_DiffDataBase.GetDiffNum()) + " of " +
                std::to_string(m_dlg.m_MakeFile.m_i64DiffCount) +
                " differences were repaired; compare again and repeat");
            return kTrouble;
        }
        return kSame;
    }

    CCliUi& m_ui;
    CMyMainDlg& m_dlg;
    const Options& m_opt;
};

// As cmp does: output that standard output did not take, or its close, makes the status trouble,
// said once at the end. `nWriteErrno` is the cause of a write that failed before, 0 if none did.
int CheckedExit(int nExit, int nWriteErrno = 0) {
    int nErrno = 0;
    if (platform::CloseStandardOutput(&nErrno))
        return nExit;
    if (nErrno == 0)
        nErrno = nWriteErrno;
    Say(nErrno != 0 ? std::string("write error on standard output: ") + std::strerror(nErrno)
                    : std::string("write error on standard output"));
    return kTrouble;
}

} // namespace

int main(int argc, char** argv) {
    // A descriptor closed here would otherwise go to the first file opened, and the program's
    // messages into it. Output later given to a standard output that was closed fails, and
    // CheckedExit makes that trouble.
    if (!platform::OpenClosedStandardDescriptors())
        return kTrouble;
    if (argc == 2 && std::strcmp(argv[1], "--server") == 0)
        return remote::RunServer(STDIN_FILENO, STDOUT_FILENO);
    if (IsPatchCommand(argc, argv))
        return CheckedExit(RunPatchCommand(argc, argv));
    Options opt;
    if (std::optional<int> nExit = ParseOptions(argc, argv, &opt))
        return CheckedExit(*nExit, opt.m_nWriteErrno);
    platform::InstallStopSignals(kSecondNote);

    CCliUi ui;
    ui::SetUi(&ui);
    if (!CheckTextConverter()) {
        Say("the system cannot convert text to Shift_JIS (CP932): not started, so that no file "
            "is damaged");
        ui::SetUi(nullptr);
        return kTrouble;
    }
    ui.SetPresetAnswer(opt.m_answer);
    // The summary goes to standard output, every other box to standard error.
    ui.SetStdoutBoxes([](const ui::BoxSpec& box) { return IsSummaryText(box.m_strText); });
    ui.SetProgressBar(!opt.m_bQuiet && ::isatty(STDERR_FILENO));
    if (opt.m_bDisplay) {
        ui.SetTextObserver([&ui](int id, const std::string& text) {
            if (id != IDC_EDIT_OUTPUT || text == CMyMainDlg::kOutputPlaceholder)
                return;
            ui.PrintLine(text);
        });
    }

    int nExit = kTrouble;
    {
        CMyMainDlg dlg;
        // "octwtch.ini" belongs to the window.
        dlg.m_bUseSettingsFile = FALSE;
        ui.CreateDialogWindow(MainDialogTemplate(), &dlg);
        dlg.OnInitDialog();
        nExit = CCliRun(ui, dlg, opt).Run();
        // The window's exit button, then its shutdown.
        ui.Click(IDOK);
        dlg.OnDestroy();
        ui.DestroyDialogWindow();
    }
    ui.FinishProgressLine();
    ui::SetUi(nullptr);
    const int nChecked = CheckedExit(nExit, ui.StdoutWriteErrno());
    if (const int nSignal = platform::StopSignal())
        return 128 + nSignal; // how the program ended, even when standard output failed too
    return nChecked;
}
