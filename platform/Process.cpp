#include "platform/Process.h"

#include "platform/RetryAfterSignal.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {
namespace {

void CloseFd(int& fd) {
    if (fd != -1)
        ::close(fd);
    fd = -1;
}

// A socket pair rather than a pipe: send() with MSG_NOSIGNAL makes a write to a child that has
// gone fail with EPIPE without touching the process's SIGPIPE disposition.
bool MakePair(int fds[2]) {
    return ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0;
}

} // namespace

ChildProcess::~ChildProcess() {
    if (m_nPid > 0)
        Wait();
    CloseToChild();
    CloseFromChild();
}

bool ChildProcess::Start(const std::vector<std::string>& argv) {
    if (argv.empty() || m_nPid > 0) {
        m_nErrno = EINVAL;
        return false;
    }
    std::vector<char*> args;
    for (const std::string& s : argv)
        args.push_back(const_cast<char*>(s.c_str()));
    args.push_back(nullptr);

    int in[2] = {-1, -1}, out[2] = {-1, -1}, report[2] = {-1, -1};
    auto closeAll = [&] {
        for (int* p : {in, out, report})
            for (int k = 0; k < 2; ++k)
                CloseFd(p[k]);
    };
    if (!MakePair(in) || !MakePair(out) || ::pipe2(report, O_CLOEXEC) != 0) {
        m_nErrno = errno;
        closeAll();
        return false;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        m_nErrno = errno;
        closeAll();
        return false;
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec. The terminal's Ctrl+C is ours to act
        // on: we end the connection ourselves, so the child ignores it (ssh keeps it ignored).
        ::dup2(in[1], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        struct sigaction sa {};
        sigemptyset(&sa.sa_mask);
        sa.sa_handler = SIG_IGN;
        ::sigaction(SIGINT, &sa, nullptr);
        ::sigaction(SIGQUIT, &sa, nullptr);
        sa.sa_handler = SIG_DFL;
        for (int sig : {SIGPIPE, SIGTERM, SIGHUP})
            ::sigaction(sig, &sa, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execvp(args[0], args.data());
        const int err = errno;
        ssize_t w = ::write(report[1], &err, sizeof err);
        (void)w;
        ::_exit(127);
    }
    CloseFd(in[1]);
    CloseFd(out[1]);
    CloseFd(report[1]);
    int err = 0;
    const ssize_t got = RetryAfterSignal([&] { return ::read(report[0], &err, sizeof err); });
    CloseFd(report[0]);
    m_nPid = pid;
    m_nTo = in[0];
    m_nFrom = out[0];
    if (got == static_cast<ssize_t>(sizeof err)) {
        Wait();
        m_nStatus = -1; // no child of ours ran
        m_nErrno = err;
        return false;
    }
    return true;
}

std::int64_t ChildProcess::Read(void* p, std::size_t n) {
    if (m_nFrom == -1) {
        m_nErrno = EBADF;
        return -1;
    }
    const ssize_t r = RetryAfterSignal([&] { return ::read(m_nFrom, p, n); });
    if (r < 0)
        m_nErrno = errno;
    return r;
}

bool ChildProcess::WaitReadable(int nMs) {
    if (m_nFrom == -1)
        return true; // a read ends at once
    pollfd pfd{m_nFrom, POLLIN, 0};
    return RetryAfterSignal([&] { return ::poll(&pfd, 1, std::max(nMs, 0)); }) != 0;
}

std::int64_t ChildProcess::Write(const void* p, std::size_t n) {
    if (m_nTo == -1) {
        m_nErrno = EBADF;
        return -1;
    }
    const char* pc = static_cast<const char*>(p);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w =
            RetryAfterSignal([&] { return ::send(m_nTo, pc + done, n - done, MSG_NOSIGNAL); });
        if (w < 0) {
            m_nErrno = errno;
            return -1;
        }
        done += static_cast<std::size_t>(w);
    }
    return static_cast<std::int64_t>(n);
}

void ChildProcess::CloseEnd(int& fd) {
    CMutexLock lock(m_endsMutex);
    CloseFd(fd);
}

void ChildProcess::CloseToChild() { CloseEnd(m_nTo); }
void ChildProcess::CloseFromChild() { CloseEnd(m_nFrom); }

int ChildProcess::Wait() {
    CloseToChild();
    CloseFromChild();
    if (m_nPid <= 0)
        return m_nStatus;
    int status = 0;
    const pid_t r = RetryAfterSignal([&] { return ::waitpid(m_nPid, &status, 0); });
    m_nPid = -1;
    if (r < 0) {
        m_nErrno = errno;
        m_nStatus = -1;
    } else {
        m_nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return m_nStatus;
}

void ChildProcess::Kill() {
    if (m_nPid > 0)
        ::kill(m_nPid, SIGKILL);
}

void ChildProcess::Cut() {
    {
        CMutexLock lock(m_endsMutex);
        for (int fd : {m_nTo, m_nFrom})
            if (fd != -1)
                ::shutdown(fd, SHUT_RDWR);
    }
    Kill();
}

} // namespace platform
