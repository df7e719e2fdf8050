#include "cli/RemoteOptions.h"

#include "platform/Environment.h"
#include "util/ShellWords.h"

#include <optional>

const char* const kRemoteUsage =
    "  --rsh=COMMAND  how to reach HOST (default: ssh, or $OCTETWATCH_RSH); split into\n"
    "                 words as a shell would, then HOST and the remote command added\n"
    "  --remote-program=COMMAND\n"
    "                 the program on HOST (default: octetwatch-cli), split the same way\n";

namespace {

bool Split(const char* pWhat, const std::string& strCommand, std::vector<std::string>* pWords,
           std::string* pstrError) {
    std::optional<std::vector<std::string>> words = SplitShellWords(strCommand);
    if (!words || words->empty()) {
        *pstrError = std::string(pWhat) +
                     (words ? " names no command" : " has an unmatched quote or a lone backslash") +
                     ": " + strCommand;
        return false;
    }
    *pWords = std::move(*words);
    return true;
}

} // namespace

bool RemoteAccessFromEnvironment(RemoteAccess* pAccess, std::string* pstrError) {
    *pAccess = {};
    const std::string strRsh = platform::EnvValue("OCTETWATCH_RSH");
    return strRsh.empty() || Split("OCTETWATCH_RSH", strRsh, &pAccess->m_rsh, pstrError);
}

bool TakeRemoteOption(const std::string& arg, RemoteAccess* pAccess, bool* pbTaken,
                      std::string* pstrError) {
    *pbTaken = true;
    if (arg.rfind("--rsh=", 0) == 0)
        return Split("--rsh", arg.substr(6), &pAccess->m_rsh, pstrError);
    if (arg.rfind("--remote-program=", 0) == 0)
        return Split("--remote-program", arg.substr(17), &pAccess->m_program, pstrError);
    *pbTaken = false;
    return true;
}
