#pragma once
// Repairs FILE A or FILE B in place from the difference store: at every stored address the chosen
// file gets the other file's byte.
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
    BOOL DoRepair();

    std::string m_strErrorFileName;
    BOOL m_bFileOpen = FALSE;
    int m_nFile = -1;
    CMyDiffDataBase* m_pDataBase = nullptr;
    BOOL m_bTargetA = TRUE;
};

// Writes one byte at one address of an open file.
BOOL ModifyFileData(int nFile, std::int64_t i64Adrs, BYTE bData);
