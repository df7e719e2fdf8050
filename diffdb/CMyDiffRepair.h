#pragma once
// Repairs FILE A or FILE B in place from the difference store: at every stored address the chosen
// file gets the other file's byte.
#include "platform/LowFile.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <string>

class CMyDiffDataBase;

class CMyDiffRepair {
public:
    CMyDiffRepair() = default;
    CMyDiffRepair(const CMyDiffRepair&) = delete;
    CMyDiffRepair& operator=(const CMyDiffRepair&) = delete;

    BOOL SetErrorFileName(const char* pFileName);
    BOOL SetDataBaseADRS(CMyDiffDataBase* pDataBase);
    void SetRepairTarget(BOOL bFileA) { m_bTargetA = bFileA ? TRUE : FALSE; }
    // The file as the run that filled the store found it; DoRepair refuses a file that has been
    // replaced, resized or written since. Without one (invalid), the file is not checked.
    void SetFileIdentity(const platform::FileIdentity& id) { m_idExpected = id; }
    BOOL DoRepair();

    std::string m_strErrorFileName;
    BOOL m_bFileOpen = FALSE;
    int m_nFile = -1;
    CMyDiffDataBase* m_pDataBase = nullptr;
    BOOL m_bTargetA = TRUE;
    platform::FileIdentity m_idExpected;
    // The file as this repair left it; invalid when the repair was refused before any write.
    platform::FileIdentity m_idAfter;
};

// Writes one byte at one address of an open file. Never past the file's end: a file that shrank
// is not grown back with zero bytes.
BOOL ModifyFileData(int nFile, std::int64_t i64Adrs, BYTE bData);
