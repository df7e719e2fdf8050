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

bool CRemoteRepairTarget::Open(platform::FileIdentity* pId) {
    if (!m_pFile) {
        RemoteOpenFailure failure;
        m_pFile = OpenRemoteFile(m_strName, m_access,
                                 m_bWrite ? remote::RemoteFile::kOpenReadWrite
                                          : remote::RemoteFile::kOpenRead,
                                 &failure);
        m_bStoreSent = false;
        if (!m_pFile) {
            m_strFailure = failure.m_strWhy;
            return false;
        }
    }
    *pId = m_pFile->Identity();
    return true;
}

bool CRemoteRepairTarget::Lost() {
    m_strFailure = m_pFile ? m_pFile->ErrorText() : m_strName + ": not open";
    return false;
}

bool CRemoteRepairTarget::RunWriter(const CMyDiffDataBase& db, BOOL bFromA, bool bCheck,
                                    CMyInPlaceWriter* pCounts, BOOL* pbOk) {
    if (!m_pFile)
        return Lost();
    if (!m_bStoreSent) {
        if (!m_pFile->SendStore(db, bFromA != FALSE))
            return Lost();
        m_bStoreSent = true;
    }
    if (!(bCheck ? m_pFile->CheckStore(pCounts, pbOk) : m_pFile->WriteStore(pCounts, pbOk)))
        return Lost();
    return true;
}

platform::FileIdentity CRemoteRepairTarget::IdentityNow() {
    platform::FileIdentity idNow;
    bool bUnchanged = false;
    if (!m_pFile || !m_pFile->Stat(&idNow, &bUnchanged))
        return {};
    return idNow;
}

void CRemoteRepairTarget::Close() {
    if (m_pFile)
        m_pFile->Close();
    m_pFile.reset();
}

bool CRemoteRepairTarget::SyncFile(int* pErrno) {
    if (!m_pFile || !m_pFile->SyncFile(pErrno))
        return Lost();
    return true;
}
