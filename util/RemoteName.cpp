#include "util/RemoteName.h"

std::optional<RemoteName> ParseRemoteName(const std::string& strName) {
    const std::size_t nColon = strName.find(':');
    if (nColon == std::string::npos || nColon == 0)
        return std::nullopt;
    if (strName.find('/') < nColon)
        return std::nullopt;
    // A bracketed IPv6 address holds colons of its own: "[::1]:path".
    std::size_t nEnd = nColon;
    const std::size_t nBracket = strName.find('[');
    if (nBracket != std::string::npos && nBracket < nColon) {
        const std::size_t nClose = strName.find(']', nBracket);
        if (nClose == std::string::npos || nClose + 1 >= strName.size() || strName[nClose + 1] != ':' ||
            strName.find('/') < nClose)
            return std::nullopt;
        nEnd = nClose + 1;
    }
    RemoteName name;
    name.m_strLogin = strName.substr(0, nEnd);
    name.m_strPath = strName.substr(nEnd + 1);
    const std::size_t nAt = name.m_strLogin.rfind('@');
    name.m_strHost = nAt == std::string::npos ? name.m_strLogin : name.m_strLogin.substr(nAt + 1);
    // A host that starts with '-' would reach the rsh command as an option of its own.
    if (name.m_strHost.empty() || nAt == 0 || name.m_strLogin.front() == '-')
        return std::nullopt;
    if (name.m_strHost.front() == '[') {
        name.m_strHost = name.m_strHost.substr(1, name.m_strHost.size() - 2);
        name.m_strLogin = name.m_strLogin.substr(0, name.m_strLogin.size() - name.m_strHost.size() - 2) +
                          name.m_strHost;
        if (name.m_strHost.empty())
            return std::nullopt;
    }
    return name;
}
