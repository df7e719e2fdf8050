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

// A file that lies elsewhere: the in-place writer's steps run where it lies, and their counts come
// back. Each returns false when the file can no longer be reached (the writer's own verdicts are
// in the counts).
class CMyRepairTarget {
public:
    virtual ~CMyRepairTarget() = default;
    // Opened for writing, with its identity; false when it cannot be.
    virtual bool Open(platform::FileIdentity* pId) = 0;
    // Hands the store over and runs CheckFile (bCheck) or DoWrite there.
    virtual bool RunWriter(const CMyDiffDataBase& db, BOOL bFromA, bool bCheck,
                           CMyInPlaceWriter* pCounts, BOOL* pbOk) = 0;
    virtual platform::FileIdentity IdentityNow() = 0;
    virtual void Close() = 0;
    // Why the last step failed, in the words of whatever reaches the file; empty when none did.
    virtual const std::string& FailureText() const = 0;
};

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
    // The file to repair lies elsewhere and is reached through `pTarget` (not owned; nullptr: the
    // file is here).
    void SetTarget(CMyRepairTarget* pTarget) { m_pTarget = pTarget; }

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
    void ReportDone();
    BOOL DoRepairThere();

    CMyRepairTarget* m_pTarget = nullptr;
};
