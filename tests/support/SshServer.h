#pragma once
// A real sshd on 127.0.0.1, for the tests that reach a file "on another machine": its own host
// key and one authorized key, made with ssh-keygen in a temporary folder, on a free port. It
// runs in the foreground (-D) as a child of the test and ends with it.
#include "platform/Process.h"
#include "support/TestSupport.h"

#include <string>
#include <vector>

namespace testsupport {

class SshServer {
public:
    SshServer();
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    // False with Why() when it could not be started.
    bool Ok() const { return m_strWhy.empty(); }
    const std::string& Why() const { return m_strWhy; }
    // The rsh command's words that reach it (as --rsh would give them), and the host to name.
    std::vector<std::string> RshWords() const;
    std::string Host() const { return "127.0.0.1"; }

private:
    bool Fail(const std::string& strWhy) {
        m_strWhy = strWhy;
        return false;
    }
    bool Start();

    TempDir m_dir;
    int m_nPort = 0;
    platform::ChildProcess m_sshd;
    std::string m_strWhy;
};

} // namespace testsupport
