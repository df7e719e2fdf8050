#pragma once
// Repairs FILE A or FILE B in place from the difference store: at every stored address the chosen
// file gets the other file's byte, through the in-place writer the patch uses too. The first byte
// that cannot be written stops the repair, so that the file holds the other file's bytes below
// that address and its own above it.
#include "diffdb/CMyInPlaceWriter.h"
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
    CMyDiffDataBase* m_pDataBase = nullptr;
    BOOL m_bTargetA = TRUE;
    platform::FileIdentity m_idExpected;
    // The file as this repair left it; invalid when the repair was refused before any write.
    platform::FileIdentity m_idAfter;
    // What the last repair wrote, and why it stopped if it did.
    CMyInPlaceWriter m_Writer;

private:
    void ReportStop();
};
