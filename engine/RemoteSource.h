#pragma once
// A FILE A or FILE B on another machine, as the run and the window reach it: how the far side is
// reached, and opening the file there.
#include "diffdb/CMyDiffRepair.h"
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

// A repair or a patch of a remote file: the server's in-place writer does the writing.
class CRemoteRepairTarget : public CMyRepairTarget {
public:
    // bWrite false: opened to be checked only.
    CRemoteRepairTarget(std::string strName, RemoteAccess access, bool bWrite = true)
        : m_strName(std::move(strName)), m_access(std::move(access)), m_bWrite(bWrite) {}
    // Connects and opens the file for writing, once; later calls give the identity it had then.
    // A failure is said in a box, in the connection's or the server's words.
    bool Open(platform::FileIdentity* pId) override;
    bool RunWriter(const CMyDiffDataBase& db, BOOL bFromA, bool bCheck, CMyInPlaceWriter* pCounts,
                   BOOL* pbOk) override;
    platform::FileIdentity IdentityNow() override;
    void Close() override;
    // Flushes the file there; false when the connection ended. `*pErrno`: 0 when flushed.
    bool SyncFile(int* pErrno);
    const std::string& FailureText() const override { return m_strFailure; }

private:
    bool Lost();

    std::string m_strName;
    RemoteAccess m_access;
    bool m_bWrite;
    std::unique_ptr<remote::RemoteFile> m_pFile;
    bool m_bStoreSent = false;
    std::string m_strFailure;
};
