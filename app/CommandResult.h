#pragma once
// What a command of the main window did, and why when it did not. The window leaves the telling
// to the boxes the command has shown; the command-line program says it in its own words and ends
// with the status that goes with it.
#include "engine/CMyMakeFile.h"
#include "platform/FileStatus.h"

#include <cstdint>
#include <optional>
#include <string>

enum class CommandOutcome {
    // --- a select button ---
    kSelected,     // the file was chosen
    kCancelled,    // the file dialog was closed without a name
    kUnmeasurable, // FILE A or FILE B cannot be compared: m_kind, m_nErrno
    kLogIsBase,    // the log chosen is the difference database
    // --- execute ---
    kExecStarted,       // the worker was started; kRan tells how the run ended
    kExecSameName,      // FILE A and FILE B boxes hold the same text
    kExecEmptyName,     // a name box is empty
    kExecRefreshA,      // FILE A could not be sized, or its name has no folder
    kExecRefreshB,      // the same for FILE B
    kExecLogIsDataBase, // the log names the database file (however spelled)
    kExecLogIsTrace,    // the log names the trace file
    kExecLogIsSettings, // the log names the settings file
    kExecDeclined,      // the question about two unwritable files was answered No
    kExecLogReadOnly,   // the log cannot be written
    kExecNoThread,      // the system would not start the worker thread
    // --- the run execute started, once it has ended: m_run ---
    kRan,
    // --- a repair arrow ---
    kRepaired,          // every stored difference written
    kRepairedPart,      // the store held m_i64Done of the m_i64Found differences: the rest differ
    kRepairBusy,        // a run was under way: counts as a click on a disabled arrow
    kRepairNotWritable, // no arrow: the file was not writable when the run started
    kRepairNoDataBase,  // no arrow: the run saved no difference database
    kRepairRefused,     // the file is not the one compared, or gone, or changed: nothing written
    kRepairDeclined,    // the question was answered No
    kRepairFailed,      // the repair failed; m_bWriteBegun when it had begun to write
};

struct CommandResult {
    CommandOutcome m_outcome = CommandOutcome::kCancelled;
    // The file it is about: 0 FILE A, 1 FILE B, 2 the log; -1 none.
    int m_nFile = -1;
    // That file's path as the window holds it.
    std::string m_strPath;
    // What the file is, when that could be looked at, and the system's reason.
    std::optional<platform::FileKind> m_kind;
    int m_nErrno = 0;
    // Why a file on another machine could not be used, in English, naming its host.
    std::string m_strRemoteWhy;
    // After kRan.
    RunResult m_ran;
    // After kRepairedPart.
    std::int64_t m_i64Done = 0;
    std::int64_t m_i64Found = 0;
    // After kRepairFailed.
    bool m_bWriteBegun = false;
};

// A result about the file at `strPath`, with its kind as it is now.
CommandResult FileResult(CommandOutcome outcome, int nFile, const std::string& strPath,
                         int nErrno);
