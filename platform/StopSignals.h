#pragma once
// SIGINT, SIGTERM and SIGHUP as a request to stop: the first is only recorded, for the program to act on at
// its next step; a second ends the process at once.
#include <signal.h>

namespace platform {

// Installs the handlers. `pSecondNote` (which must outlive the program) is written to standard
// error when a second signal ends the process.
void InstallStopSignals(const char* pSecondNote);
// Replaces that note, for what the program is doing now; the note must outlive its use.
void SetSecondStopNote(const char* pNote);
// The first stop signal received, 0 while none came.
int StopSignal();

// Holds the stop signals back from the calling thread while it lives: a thread started meanwhile
// inherits that and never takes them, so they reach the thread that acts on them.
class CStopSignalsBlocked {
public:
    CStopSignalsBlocked();
    ~CStopSignalsBlocked();
    CStopSignalsBlocked(const CStopSignalsBlocked&) = delete;
    CStopSignalsBlocked& operator=(const CStopSignalsBlocked&) = delete;

private:
    sigset_t m_old;
};

} // namespace platform
