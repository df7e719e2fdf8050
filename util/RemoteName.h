#pragma once
// Names of files on another machine, read as scp reads them: `[USER@]HOST:PATH` when a colon comes
// before the first slash (`./a:b` and `/x:y` are local files). A name that starts with a colon is
// local too, as it names no host.
#include <optional>
#include <string>

struct RemoteName {
    std::string m_strLogin; // `[USER@]HOST`, as the rsh command takes it
    std::string m_strHost;  // HOST alone, for messages
    std::string m_strPath;  // as typed after the colon; empty is the far side's home folder
};

// The parts of a remote name; nothing for a local one.
std::optional<RemoteName> ParseRemoteName(const std::string& strName);
inline bool IsRemoteName(const std::string& strName) { return ParseRemoteName(strName).has_value(); }
