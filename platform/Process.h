#pragma once
// A child program with its standard input and output as pipes to us, its standard error ours.
#include "platform/Mutex.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess(); // closes our ends, then waits for the child
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (looked up in PATH) with argv, no shell. From then on a write to a child
    // that has gone fails with EPIPE instead of killing us. False with errno in LastError() when
    // the program cannot be started (not found, not executable).
    bool Start(const std::vector<std::string>& argv);
    // Our ends of its standard input and output; -1 once closed.
    int ToChild() const { return m_nTo; }
    int FromChild() const { return m_nFrom; }
    // Reads what the child wrote, at most `n` bytes: 0 at the end, -1 on failure.
    std::int64_t Read(void* p, std::size_t n);
    // Waits at most `nMs` for something to read (or the end): false when none came.
    bool WaitReadable(int nMs);
    // Writes all `n` bytes: -1 on failure (EPIPE when the child is gone).
    std::int64_t Write(const void* p, std::size_t n);
    void CloseToChild();
    void CloseFromChild();
    // Waits for the child to end: its exit status, 128 + the signal that ended it, or -1 when
    // there is no child. Closes our ends first, so that a child reading its input sees the end.
    int Wait();
    // Ends the child at once (SIGKILL); Wait then reaps it.
    void Kill();
    // Any thread: shuts both our ends down, so that a read or a write under way on another thread
    // ends at once, whoever else (a child of the child) holds the other ends; then kills the
    // child. The ends stay open until closed.
    void Cut();
    int Pid() const { return m_nPid; }
    int LastError() const { return m_nErrno; }

private:
    void CloseEnd(int& fd) EXCLUDES(m_endsMutex);

    // Cut may come from another thread than the one that reads, writes and closes: it shuts the
    // ends down under this mutex, under which they are closed, so it never meets one closing.
    CMutex m_endsMutex;
    int m_nPid = -1;
    int m_nTo = -1;
    int m_nFrom = -1;
    int m_nErrno = 0;
    int m_nStatus = -1;
};

} // namespace platform
