// octetwatch-cli: the main window's logic in a terminal. The three paths are chosen as with the
// window's select buttons, execute is pressed, and the program ends when the run ends.
#include "app/CMyMainApp.h"
#include "app/CMyMainDlg.h"
#include "cli/CliUi.h"
#include "cli/JsonOutput.h"
#include "cli/MapPicture.h"
#include "cli/Outcomes.h"
#include "cli/RangeOutput.h"
#include "cli/PatchCommand.h"
#include "cli/RemoteOptions.h"
#include "cli/Say.h"
#include "engine/RunTexts.h"
#include "platform/FileStatus.h"
#include "platform/StandardDescriptors.h"
#include "platform/StandardOutput.h"
#include "platform/StopSignals.h"
#include "platform/Terminal.h"
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
    "  --ranges       print each run of consecutive differing bytes as it is found:\n"
    "                 FIRST-LAST LENGTH (addresses in hexadecimal as the log has them)\n"
    "  --json         print each such run, then a summary, as JSON Lines (see the manual)\n"
    "                 With --ranges or --json the summary goes to standard error;\n"
    "                 --display, --ranges and --json exclude one another.\n"
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
    bool m_bRanges = false;
    bool m_bJson = false;
    char m_cRepair = 0; // 'a', 'b' or none
    std::optional<bool> m_answer;
    bool m_bQuiet = false;
    bool m_bBrief = false;
    RemoteAccess m_remote;
    int m_nWriteErrno = 0; // of the help, when standard output did not take it
    std::vector<std::string> m_paths;
};

void Say(const std::string& text) { SayTo(stderr, text); }

std::optional<int> SetRepair(const std::string& arg, Options* pOpt) {
    pOpt->m_cRepair = arg.back();
    pOpt->m_bDB = true;
    return std::nullopt;
}

std::optional<int> SetAnswer(const std::string& arg, Options* pOpt) {
    if (pOpt->m_answer && *pOpt->m_answer != (arg == "--yes")) {
        Say("--yes and --no cannot be given together");
        return kTrouble;
    }
    pOpt->m_answer = arg == "--yes";
    return std::nullopt;
}

// One row per option: what it sets, or the status to exit with at once.
struct OptionRow {
    const char* m_pName;
    std::optional<int> (*m_pApply)(const std::string& arg, Options* pOpt);
};

const OptionRow kOptionRows[] = {
    {"--help",
     [](const std::string&, Options* pOpt) -> std::optional<int> {
         // The help is longer than the output's buffer: a write fails inside fputs, whose
         // reason the close could no longer tell.
         for (const char* pPart :
              {kUsage, "\nHOST:PATH files are reached with (--patch takes these too):\n",
               kRemoteUsage, kPatchUsage})
             if (std::fputs(pPart, stdout) == EOF && pOpt->m_nWriteErrno == 0)
                 pOpt->m_nWriteErrno = errno;
         return kSame;
     }},
    {"--version",
     [](const std::string&, Options*) -> std::optional<int> {
         std::printf("%s\n", MainDialogTemplate().m_strCaption.c_str());
         return kSame;
     }},
    {"--db",
     [](const std::string&, Options* pOpt) -> std::optional<int> {
         pOpt->m_bDB = true;
         return std::nullopt;
     }},
    {"--display",
     [](const std::string&, Options* pOpt) -> std::optional<int> {
         pOpt->m_bDisplay = true;
         return std::nullopt;
     }},
    {"--ranges",
     [](const std::string&, Options* pOpt) -> std::optional<int> {
         pOpt->m_bRanges = true;
         return std::nullopt;
     }},
    {"--json",
     [](const std::string&, Options* pOpt) -> std::optional<int> {
         pOpt->m_bJson = true;
         return std::nullopt;
     }},
    {"--repair=a", [](const std::string& arg, Options* pOpt) { return SetRepair(arg, pOpt); }},
    {"--repair=b", [](const std::string& arg, Options* pOpt) { return SetRepair(arg, pOpt); }},
    {"--yes", [](const std::string& arg, Options* pOpt) { return SetAnswer(arg, pOpt); }},
    {"--no", [](const std::string& arg, Options* pOpt) { return SetAnswer(arg, pOpt); }},
    {"--brief",
     [](const std::string&, Options* pOpt) -> std::optional<int> {
         pOpt->m_bBrief = true;
         return std::nullopt;
     }},
    {"--quiet",
     [](const std::string&, Options* pOpt) -> std::optional<int> {
         pOpt->m_bQuiet = true;
         return std::nullopt;
     }},
};

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
            continue;
        }
        if (arg == "--") {
            bOptionsEnd = true;
            continue;
        }
        const OptionRow* pRow = nullptr;
        for (const OptionRow& row : kOptionRows)
            if (arg == row.m_pName)
                pRow = &row;
        if (pRow == nullptr) {
            if (bool bTaken = false;
                !TakeRemoteOption(arg, &pOpt->m_remote, &bTaken, &strError) || bTaken) {
                if (!strError.empty()) {
                    Say(strError);
                    return kTrouble;
                }
                continue;
            }
            Say("unknown option " + arg);
            std::fputs(kUsage, stderr);
            return kTrouble;
        }
        if (std::optional<int> nExit = pRow->m_pApply(arg, pOpt))
            return nExit;
    }
    if (int(pOpt->m_bDisplay) + int(pOpt->m_bRanges) + int(pOpt->m_bJson) > 1) {
        Say("--display, --ranges and --json cannot be given together");
        std::fputs(kUsage, stderr);
        return kTrouble;
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
    if (pOpt->m_bBrief && (pOpt->m_bDB || pOpt->m_bDisplay || pOpt->m_bRanges || pOpt->m_bJson ||
                           pOpt->m_paths.size() == 3)) {
        Say("--brief writes no log and keeps no database: it cannot be given with a LOG, --db, "
            "--display, --ranges, --json or --repair");
        return kTrouble;
    }
    return std::nullopt;
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

// The window's commands, given in the order a user would, each result told as it comes.
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

        for (std::size_t n = 0; n < m_opt.m_paths.size(); ++n)
            if (std::optional<int> nExit = Tell(Choose(n), m_opt.m_paths))
                return *nExit;

        if (platform::StopSignal() != 0)
            return kTrouble; // nothing was started; main turns it into the signal's status
        if (std::optional<int> nExit = Tell(m_dlg.OnBtnExecute(), m_opt.m_paths))
            return *nExit;
        WaitForTheRun();
        const CommandResult ran = m_dlg.LastRun();
        if (std::optional<int> nExit = Tell(ran, m_opt.m_paths))
            return *nExit;

        const RunResult& run = ran.m_ran;
        const bool bDiffer = run.m_i64DiffCount != 0;
        const bool bSizesDiffer = run.m_i64SizeA != run.m_i64SizeB;
        if (bSizesDiffer && !m_opt.m_bBrief)
            SayWhichEndedFirst(run);
        // A database asked for and not saved is trouble; a run without differences writes none.
        if (m_opt.m_bDB && bDiffer && !run.m_bDBSaved) {
            Say("the difference database was not saved: " + run.m_strDBFileName);
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

    // In the manner of cmp: the shorter file and the length of the common part.
    void SayWhichEndedFirst(const RunResult& run) {
        const bool bAShorter = run.m_i64SizeA < run.m_i64SizeB;
        const std::string& strName = m_opt.m_paths[bAShorter ? 0 : 1];
        const std::int64_t i64Size = bAShorter ? run.m_i64SizeA : run.m_i64SizeB;
        Say(i64Size == 0 ? "EOF on " + strName + " which is empty"
                         : "EOF on " + strName + " after byte " + std::to_string(i64Size));
    }

    // FILE A, FILE B or the log (`nPath`), chosen as with its select button.
    CommandResult Choose(std::size_t nPath) {
        // A remote name is shown as typed: its path is the far side's.
        const std::string& strName = m_opt.m_paths[nPath];
        m_ui.QueueFileDialogAnswer(IsRemoteName(strName) ? strName : AbsolutePath(strName));
        return nPath == 0   ? m_dlg.OnBtnFileA()
               : nPath == 1 ? m_dlg.OnBtnFileB()
                            : m_dlg.OnBtnLogFile();
    }

    int Repair() {
        const bool bA = m_opt.m_cRepair == 'a';
        // The database lies on disk: a repair cut short names the patches that finish or undo it.
        const std::string strFile = bA ? m_dlg.m_FileData.strFileA : m_dlg.m_FileData.strFileB;
        const char cOther = bA ? 'b' : 'a';
        const std::string strFinishOrUndo =
            "to finish the repair: " + PatchCommandLine(m_dlg.m_strDBFile, m_opt.m_cRepair, strFile) +
            "; to undo it: " + PatchCommandLine(m_dlg.m_strDBFile, cOther, strFile);
        const std::string strNote = std::string(kSecondNote, std::strlen(kSecondNote) - 1) + "; " +
                                    strFile + " may be partly repaired: " + strFinishOrUndo + "\n";
        platform::SetSecondStopNote(strNote.c_str());
        const CommandResult result = bA ? m_dlg.OnBtnRepairA() : m_dlg.OnBtnRepairB();
        m_ui.Pump();
        platform::SetSecondStopNote(kSecondNote);
        if (result.m_outcome == CommandOutcome::kRepairFailed && result.m_bWriteBegun) {
            const CMyInPlaceWriter& w = m_dlg.m_DiffRepair.m_Writer;
            Say("the repair stopped: " +
                WriteFailureText(w, m_dlg.m_DiffDataBase.GetDiffNum(), strFile, m_opt.m_cRepair) +
                (w.m_bCounted && w.GetVerdict() == CMyInPlaceWriter::kVerdictMismatch
                     ? std::string()
                     : "; " + strFinishOrUndo));
        }
        return Tell(result, m_opt.m_paths).value_or(kSame);
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

// A parsed comparison, run through the window's logic in the terminal: the status to end with.
int RunComparison(const Options& opt) {
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
    // The summary goes to standard output, every other box to standard error; standard output
    // that a script reads carries nothing but its lines.
    const bool bForScripts = opt.m_bRanges || opt.m_bJson;
    ui.SetStdoutBoxes([bForScripts](const ui::BoxSpec& box) {
        return !bForScripts && IsSummaryText(box.m_strText);
    });
    std::optional<CRangePrinter> ranges;
    if (bForScripts)
        ranges.emplace(opt.m_bJson ? CRangePrinter::Form::kJson : CRangePrinter::Form::kText,
                       [&ui](const std::string& line) { ui.PrintLine(line); });
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
        dlg.m_MakeFile.SetRangeSink(ranges ? &*ranges : nullptr);
        // The picture is for the eye: only on a terminal.
        ui.SetBoxEnding([&dlg](const ui::BoxSpec& box) {
            if (!IsSummaryText(box.m_strText))
                return std::string();
            return SummaryEnding(dlg.m_MakeFile.DiffMap(), dlg.m_FileData.strLogFile,
                                 platform::IsTerminal(STDOUT_FILENO)
                                     ? platform::TerminalColumns(STDOUT_FILENO)
                                     : 0);
        });
        nExit = CCliRun(ui, dlg, opt).Run();
        ui.SetBoxEnding(nullptr);
        if (opt.m_bJson) {
            ui.PrintLine(JsonSummary(
                ReportOf(dlg.m_MakeFile, dlg.m_FileData.strLogFile, platform::StopSignal() != 0)));
            ui.FlushLines();
        }
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

} // namespace

int main(int argc, char** argv) {
    // A descriptor closed here would otherwise go to the first file opened, and the program's
    // messages into it. Output later given to a standard output that was closed fails, and
    // CheckedExit makes that trouble.
    if (!platform::OpenClosedStandardDescriptors())
        return kTrouble;
    // The far side of a remote file: before anything of the program's own is opened.
    if (argc == 2 && std::strcmp(argv[1], "--server") == 0)
        return remote::RunServer(STDIN_FILENO, STDOUT_FILENO);
    if (IsPatchCommand(argc, argv))
        return CheckedExit(RunPatchCommand(argc, argv));
    Options opt;
    if (std::optional<int> nExit = ParseOptions(argc, argv, &opt))
        return CheckedExit(*nExit, opt.m_nWriteErrno);
    return RunComparison(opt);
}
