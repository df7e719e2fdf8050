#include "cli/Outcomes.h"

#include "cli/Say.h"

#include <cstring>

namespace {

constexpr int kGoOn = -1;

// In a text: {name} the file as the user gave it, {path} as the window holds it, {letter} A or B,
// {reason} the system's reason, {done} and {found} the counts of a repair.
struct Row {
    CommandOutcome m_outcome;
    RunOutcome m_run; // rows of kRan only
    int m_nExit;
    const char* m_pText; // nullptr: the window's boxes have said it all
};

constexpr Row kRows[] = {
    {CommandOutcome::kSelected, RunOutcome::kNone, kGoOn, nullptr},
    {CommandOutcome::kCancelled, RunOutcome::kNone, kTrouble, nullptr},
    {CommandOutcome::kUnmeasurable, RunOutcome::kNone, kTrouble, nullptr}, // see Why
    {CommandOutcome::kLogIsBase, RunOutcome::kNone, kTrouble, nullptr},
    {CommandOutcome::kExecStarted, RunOutcome::kNone, kGoOn, nullptr},
    {CommandOutcome::kExecSameName, RunOutcome::kNone, kTrouble, nullptr},
    {CommandOutcome::kExecEmptyName, RunOutcome::kNone, kTrouble, nullptr},
    {CommandOutcome::kExecRefreshA, RunOutcome::kNone, kTrouble,
     "the run was not started: FILE A could not be measured: {name}"},
    {CommandOutcome::kExecRefreshB, RunOutcome::kNone, kTrouble,
     "the run was not started: FILE B could not be measured: {name}"},
    {CommandOutcome::kExecLogIsDataBase, RunOutcome::kNone, kTrouble,
     "the run was not started: the log would overwrite the difference database: {path}"},
    {CommandOutcome::kExecLogIsTrace, RunOutcome::kNone, kTrouble,
     "the run was not started: the log would be the trace file: {path}"},
    {CommandOutcome::kExecLogIsSettings, RunOutcome::kNone, kTrouble,
     "the run was not started: the log would overwrite the settings file: {path}"},
    {CommandOutcome::kExecDeclined, RunOutcome::kNone, kTrouble,
     "the run was not started: the question was answered No"},
    {CommandOutcome::kExecLogReadOnly, RunOutcome::kNone, kTrouble,
     "the run was not started: the log cannot be written: {path}"},
    {CommandOutcome::kExecNoThread, RunOutcome::kNone, kTrouble,
     "the run was not started: the system could not start its worker thread"},
    // A completed run's status is that of its counts.
    {CommandOutcome::kRan, RunOutcome::kCompleted, kGoOn, nullptr},
    {CommandOutcome::kRan, RunOutcome::kLogUnfinished, kTrouble,
     "the log's closing lines could not be written: {path}"},
    {CommandOutcome::kRan, RunOutcome::kDeclined, kTrouble,
     "the run was not started: the log exists and the question was answered No: {path}"},
    {CommandOutcome::kRan, RunOutcome::kOpenFailed, kTrouble, nullptr}, // see Why
    {CommandOutcome::kRan, RunOutcome::kLogBusy, kTrouble,
     "the run was not started: another run is writing the log: {path}"},
    {CommandOutcome::kRan, RunOutcome::kReadFailed, kTrouble,
     "the run stopped: a file could not be read to its measured end"},
    {CommandOutcome::kRan, RunOutcome::kDiskReserve, kTrouble,
     "the run stopped: the log's disk is full"},
    {CommandOutcome::kRan, RunOutcome::kLogWriteFailed, kTrouble,
     "the run stopped: the log could not be written: {path}: {reason}"},
    {CommandOutcome::kRan, RunOutcome::kFileChanged, kTrouble, nullptr}, // see Why
    // A signal stopped it: main turns that into the signal's status.
    {CommandOutcome::kRan, RunOutcome::kStopped, kTrouble, nullptr},
    {CommandOutcome::kRan, RunOutcome::kAbandoned, kTrouble, nullptr},
    {CommandOutcome::kRan, RunOutcome::kNone, kTrouble, nullptr},
    {CommandOutcome::kRepaired, RunOutcome::kNone, kSame, nullptr},
    // The store keeps at most 1,000,000 differences; the files are equal only if it held all.
    {CommandOutcome::kRepairedPart, RunOutcome::kNone, kTrouble,
     "only the first {done} of {found} differences were repaired; compare again and repeat"},
    {CommandOutcome::kRepairBusy, RunOutcome::kNone, kTrouble, nullptr},
    {CommandOutcome::kRepairNotWritable, RunOutcome::kNone, kTrouble,
     "no repair: FILE {letter} was not writable when the run started"},
    {CommandOutcome::kRepairNoDataBase, RunOutcome::kNone, kTrouble,
     "no repair: the difference database was not saved"},
    {CommandOutcome::kRepairRefused, RunOutcome::kNone, kTrouble, nullptr},
    {CommandOutcome::kRepairDeclined, RunOutcome::kNone, kTrouble, nullptr},
    // Said by the repair step, which knows the patch commands that finish or undo it.
    {CommandOutcome::kRepairFailed, RunOutcome::kNone, kTrouble, nullptr},
};

std::string Fill(const char* pText, const CommandResult& r, const std::vector<std::string>& names) {
    const auto index = static_cast<std::size_t>(r.m_nFile);
    const struct {
        const char* m_pKey;
        std::string m_strValue;
    } fields[] = {
        {"{name}", r.m_nFile >= 0 && index < names.size() ? names[index] : r.m_strPath},
        {"{path}", r.m_strPath},
        {"{letter}", r.m_nFile == 1 ? "B" : "A"},
        {"{reason}", std::strerror(r.m_nErrno)},
        {"{done}", std::to_string(r.m_i64Done)},
        {"{found}", std::to_string(r.m_i64Found)},
    };
    std::string text = pText;
    for (const auto& f : fields)
        for (std::size_t at = text.find(f.m_pKey); at != std::string::npos;
             at = text.find(f.m_pKey, at + f.m_strValue.size()))
            text.replace(at, std::strlen(f.m_pKey), f.m_strValue);
    return text;
}

// Why a path cannot be used when its kind is the reason: the files compared must be regular files
// or block devices; the log must be neither a pipe, a socket nor a disk device (a character
// device such as /dev/null is fine). Null when its kind is not the reason.
const char* KindProblem(platform::FileKind kind, bool bLog) {
    switch (kind) {
    case platform::FileKind::Fifo:
        return "is a named pipe";
    case platform::FileKind::Socket:
        return "is a socket";
    case platform::FileKind::Folder:
        return "is a folder";
    case platform::FileKind::CharDevice:
        return bLog ? nullptr : "is a character device";
    case platform::FileKind::BlockDevice:
        return bLog ? "is a block device" : nullptr;
    case platform::FileKind::Other:
        return bLog ? nullptr : "is not a regular file";
    default:
        return nullptr;
    }
}

// The file a result is about that could not be used: its kind, or as cmp names a file it cannot
// read, "NAME: the system's reason". A log is named only for its kind, and only when the user
// named it: its box has said the rest.
void SayWhyUnusable(const CommandResult& r, const std::vector<std::string>& names) {
    const bool bLog = r.m_nFile == 2;
    if (r.m_nFile < 0 || static_cast<std::size_t>(r.m_nFile) >= names.size())
        return;
    const std::string& strName = names[static_cast<std::size_t>(r.m_nFile)];
    if (!r.m_strRemoteWhy.empty()) {
        SayTo(stderr, r.m_strRemoteWhy); // its server's words: its kind or reason, or the link's
        return;
    }
    if (const char* pProblem = r.m_kind ? KindProblem(*r.m_kind, bLog) : nullptr) {
        SayTo(stderr, std::string(bLog ? "the log " : r.m_nFile == 0 ? "FILE A " : "FILE B ") +
                          pProblem +
                          (bLog ? ", which cannot hold a log: "
                                : ": only regular files and block devices are compared: ") +
                          strName);
    } else if (!bLog && r.m_nErrno != 0) {
        SayTo(stderr, strName + ": " + std::strerror(r.m_nErrno));
    }
}

} // namespace

std::optional<int> Tell(const CommandResult& result, const std::vector<std::string>& names) {
    for (const Row& row : kRows) {
        if (row.m_outcome != result.m_outcome ||
            (row.m_outcome == CommandOutcome::kRan && row.m_run != result.m_ran.m_outcome))
            continue;
        if (row.m_pText != nullptr)
            SayTo(stderr, Fill(row.m_pText, result, names));
        else if (result.m_outcome == CommandOutcome::kUnmeasurable ||
                 result.m_ran.m_outcome == RunOutcome::kOpenFailed)
            SayWhyUnusable(result, names);
        else if (result.m_ran.m_outcome == RunOutcome::kFileChanged)
            for (int n = 0; n < 2; ++n)
                if (result.m_ran.m_nChangedFiles & (1 << n))
                    SayTo(stderr, std::string("the result is void: FILE ") + (n == 0 ? "A" : "B") +
                                      " was written, resized or replaced during the run: " +
                                      names[static_cast<std::size_t>(n)]);
        if (row.m_nExit == kGoOn)
            return std::nullopt;
        return row.m_nExit;
    }
    return kTrouble;
}
