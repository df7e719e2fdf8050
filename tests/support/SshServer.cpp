#include "support/SshServer.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace testsupport {
namespace {

constexpr const char* kSshd = "/usr/sbin/sshd";

// A port no one listens on now: the system's choice for a socket bound to port 0.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

bool Listening(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

} // namespace

SshServer::SshServer() {
    if (!Start())
        m_sshd.Kill();
}

SshServer::~SshServer() {
    m_sshd.Kill();
    m_sshd.Wait();
}

bool SshServer::Start() {
    if (::access(kSshd, X_OK) != 0)
        return Fail(std::string(kSshd) + " is missing (the Debian package openssh-server)");
    // As root, sshd insists on its privilege separation folder, which a container may lack.
    if (::geteuid() == 0)
        ::mkdir("/run/sshd", 0755);
    const std::string dir = m_dir.Str();
    if (!Run("ssh-keygen -q -t ed25519 -N '' -f " + dir + "/host_key") ||
        !Run("ssh-keygen -q -t ed25519 -N '' -f " + dir + "/user_key") ||
        !Run("cp " + dir + "/user_key.pub " + dir + "/authorized_keys"))
        return Fail("ssh-keygen failed");
    m_nPort = FreePort();
    if (m_nPort == 0)
        return Fail("no free port");
    WriteFile(dir + "/known_hosts",
              "[127.0.0.1]:" + std::to_string(m_nPort) + " " + ReadFile(dir + "/host_key.pub"));
    WriteFile(dir + "/sshd_config",
              "Port " + std::to_string(m_nPort) +
                  "\nListenAddress 127.0.0.1\n"
                  "HostKey " + dir + "/host_key\n"
                  "AuthorizedKeysFile " + dir + "/authorized_keys\n"
                  "PidFile none\n"
                  // The temporary folder's modes are not sshd's business here.
                  "StrictModes no\n"
                  "PermitRootLogin prohibit-password\n"
                  "PubkeyAuthentication yes\n"
                  "PasswordAuthentication no\n"
                  "KbdInteractiveAuthentication no\n"
                  "UsePAM no\n"
                  "LogLevel ERROR\n");
    if (!m_sshd.Start({kSshd, "-D", "-e", "-f", dir + "/sshd_config"}))
        return Fail("sshd would not start");
    // Up when it takes a connection; a failed start ends it (then waiting ends too).
    for (int i = 0; i < 400 && !Listening(m_nPort); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    if (!Listening(m_nPort))
        return Fail("sshd does not listen on port " + std::to_string(m_nPort));
    return true;
}

std::vector<std::string> SshServer::RshWords() const {
    const std::string dir = m_dir.Str();
    return {"ssh", "-F", "/dev/null", "-p", std::to_string(m_nPort), "-i", dir + "/user_key",
            "-o", "IdentitiesOnly=yes", "-o", "UserKnownHostsFile=" + dir + "/known_hosts",
            "-o", "StrictHostKeyChecking=yes", "-o", "BatchMode=yes", "-o", "LogLevel=ERROR"};
}

} // namespace testsupport
