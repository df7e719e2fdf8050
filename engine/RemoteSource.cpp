#include "engine/RemoteSource.h"

#include "util/RemoteName.h"

#include <cstring>

namespace {

// The server's refusal in the words the command line gives a local file's.
std::string RefusalWords(const remote::OpenRefusal& refusal) {
    if (refusal.m_bExists) {
        switch (refusal.m_kind) {
        case platform::FileKind::Fifo:
            return "is a named pipe: only regular files and block devices are compared";
        case platform::FileKind::Socket:
            return "is a socket: only regular files and block devices are compared";
        case platform::FileKind::Folder:
            return "is a folder: only regular files and block devices are compared";
        case platform::FileKind::CharDevice:
            return "is a character device: only regular files and block devices are compared";
        case platform::FileKind::Other:
            return "is not a regular file: only regular files and block devices are compared";
        default:
            break;
        }
    }
    return refusal.m_nErrno != 0 ? std::strerror(refusal.m_nErrno) : "cannot be opened";
}

} // namespace

std::unique_ptr<remote::RemoteFile> OpenRemoteFile(const std::string& strName,
                                                   const RemoteAccess& access,
                                                   remote::RemoteFile::OpenMode mode,
                                                   RemoteOpenFailure* pFailure) {
    *pFailure = {};
    const std::optional<RemoteName> name = ParseRemoteName(strName);
    if (!name) {
        pFailure->m_strWhy = strName + ": not a remote name";
        return nullptr;
    }
    auto pFile = std::make_unique<remote::RemoteFile>();
    remote::RemoteTarget target;
    target.m_rsh = access.m_rsh;
    target.m_strHost = name->m_strLogin;
    target.m_program = access.m_program;
    if (!pFile->Connect(target)) {
        pFailure->m_strWhy = pFile->ErrorText();
        return nullptr;
    }
    if (!pFile->Open(name->m_strPath, mode)) {
        pFailure->m_bRefused = pFile->Refused();
        pFailure->m_refusal = pFile->Refusal();
        pFailure->m_strWhy = pFile->Refused() ? strName + ": " + RefusalWords(pFile->Refusal())
                                              : pFile->ErrorText();
        pFile->Close();
        return nullptr;
    }
    return pFile;
}
