#include "platform/StopSignals.h"

#include <atomic>
#include <pthread.h>
#include <unistd.h>

namespace platform {
namespace {

// The handler does nothing but this store (and, the second time, write and _exit): all three are
// safe in a signal handler.
std::atomic<int> g_nStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<const char*>::is_always_lock_free);
std::atomic<const char*> g_pSecondNote{nullptr};

void OnStopSignal(int sig) {
    int none = 0;
    if (g_nStopSignal.compare_exchange_strong(none, sig))
        return;
    if (const char* pNote = g_pSecondNote.load()) {
        std::size_t nLen = 0;
        while (pNote[nLen] != '\0')
            ++nLen;
        const ssize_t written = ::write(STDERR_FILENO, pNote, nLen);
        (void)written;
    }
    ::_exit(128 + sig);
}

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

void InstallStopSignals(const char* pSecondNote) {
    SetSecondStopNote(pSecondNote);
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a question waiting for the terminal is interrupted, and counts as No.
    sa.sa_flags = 0;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
}

void SetSecondStopNote(const char* pNote) { g_pSecondNote.store(pNote); }

int StopSignal() {
    return g_nStopSignal.load();
}

CStopSignalsBlocked::CStopSignalsBlocked() {
    const sigset_t set = StopSet();
    ::pthread_sigmask(SIG_BLOCK, &set, &m_old);
}

CStopSignalsBlocked::~CStopSignalsBlocked() {
    ::pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
}

} // namespace platform
