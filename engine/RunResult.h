#pragma once
// One run as its readers outside the engine see it: a copy taken once the worker has ended, so
// that the command line, the window, the tests and the bench read values rather than the members
// the worker works in.
#include "platform/LowFile.h"

#include <cstdint>
#include <string>

// How the last run ended, recorded by the worker before it ends; read once it has ended.
enum class RunOutcome {
    kNone,           // no run has ended since the engine was last configured
    kCompleted,      // every byte compared, the log closed with its closing lines
    kLogUnfinished,  // every byte compared, but the log's closing lines or its close failed
    kStopped,        // the stop button (or a stop signal) ended it after a unit of work
    kDeclined,       // the log exists and its overwrite question was answered No
    kOpenFailed,     // FILE A, FILE B or the log could not be opened
    kLogBusy,        // another run was writing the log
    kReadFailed,     // a read failed or came short of the measured size
    kDiskReserve,    // abandoned at a difference the log's disk had no room for
    kAbandoned,      // abandoned because the window was closed
    kLogWriteFailed, // abandoned at a difference the log would not take, its disk not full
    kFileChanged,    // every byte compared, but FILE A or FILE B changed during the run
};

struct RunResult {
    RunOutcome m_outcome = RunOutcome::kNone;
    std::int64_t m_i64DiffCount = 0;   // differences written to the log
    std::int64_t m_i64SizeA = 0;       // the sizes the run was configured with
    std::int64_t m_i64SizeB = 0;
    std::int64_t m_i64SearchSize = 0;  // the length to compare: the shorter file's
    std::int64_t m_i64Compared = 0;    // bytes compared when the run ended
    bool m_bDBSaved = false;           // the difference database was saved
    std::string m_strDBFileName;       // where the database goes (empty: none configured)
    int m_nChangedFiles = 0;           // after kFileChanged: bit 0 FILE A, bit 1 FILE B
    int m_nLogErrno = 0;               // after kLogWriteFailed: the system's reason
    // After kOpenFailed: the file that would not open (0 FILE A, 1 FILE B, 2 the log; -1 none, as
    // when memory ran short) and the system's reason.
    int m_nOpenFailed = -1;
    int m_nOpenErrno = 0;
    // Which files the run opened (for the repair's check that it patches those files).
    platform::FileIdentity m_idFileA;
    platform::FileIdentity m_idFileB;
    // Whether FILE A, FILE B or the log is still open: only after an abandoned run, until the
    // window's clean-up.
    bool m_bFilesOpen = false;
};
