#include "diffdb/CMyDiffPatch.h"

#include "platform/LowFile.h"

CMyDiffPatch::~CMyDiffPatch() { ClosePatchFile(); }

BOOL CMyDiffPatch::OpenPatchFile(const std::string& strFileName, BOOL bWrite) {
    ClosePatchFile();
    const int nFile =
        platform::FileOpen(strFileName, bWrite ? platform::kOpenReadWrite : platform::kOpenRead);
    if (nFile == -1) {
        m_nErrno = platform::LastError();
        return FALSE;
    }
    if (!SetFile(nFile)) {
        platform::FileClose(nFile);
        return FALSE;
    }
    return TRUE;
}

void CMyDiffPatch::ClosePatchFile() {
    if (m_nFile == -1)
        return;
    platform::FileClose(m_nFile);
    SetFile(-1);
}
