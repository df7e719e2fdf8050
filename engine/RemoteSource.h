#pragma once
// A FILE A or FILE B on another machine, as the run and the window reach it: how the far side is
// reached, and opening the file there.
#include "remote/RemoteFile.h"

#include <memory>
#include <string>
#include <vector>

// The rsh command and the program it starts on the far side, each as words.
struct RemoteAccess {
    std::vector<std::string> m_rsh{"ssh"};
    std::vector<std::string> m_program{"octetwatch-cli"};
};

// Why a remote file could not be opened: the connection's words, or the server's refusal.
struct RemoteOpenFailure {
    std::string m_strWhy;          // English, naming the host
    bool m_bRefused = false;       // the server refused the file; m_refusal says why
    remote::OpenRefusal m_refusal;
};

// Connects to the far side of the remote name `strName` and opens its file there; nullptr with
// `*pFailure` filled when it cannot.
std::unique_ptr<remote::RemoteFile> OpenRemoteFile(const std::string& strName,
                                                   const RemoteAccess& access,
                                                   remote::RemoteFile::OpenMode mode,
                                                   RemoteOpenFailure* pFailure);
