#pragma once
// The differences of the latest run that built a database: address and the two bytes of each,
// up to 1,000,000 of them, and the database file they are saved to.
#include "platform/WinTypes.h"

#include <cstdint>
#include <string>
#include <vector>

class CMyDiffDataBase {
public:
    static constexpr std::int64_t kMaxItems = 1000000;
    // Differences refused past the limit that each get their own trace line.
    static constexpr std::int64_t kRefusalLines = 10000;

    CMyDiffDataBase();
    ~CMyDiffDataBase();
    CMyDiffDataBase(const CMyDiffDataBase&) = delete;
    CMyDiffDataBase& operator=(const CMyDiffDataBase&) = delete;

    void ResetDiffData();
    BOOL AddDiffData(std::int64_t i64Adrs, BYTE bDataA, BYTE bDataB);
    BOOL GetDiffData(std::uint32_t nIndex, std::int64_t* pi64Adrs, BYTE* pbDataA, BYTE* pbDataB);
    std::int64_t GetDiffNum() const { return m_i64DiffNum; }
    // At the end of a run: one trace line for the refusals past those traced one by one.
    void TraceRefusedRest();
    std::string GetFileName() const { return m_strFileName; }

    // The database file.
    BOOL SetFileName(const char* pFileName);
    BOOL SaveDBFileData(const char* pFileName);
    BOOL WriteDiffRecord(std::uint32_t nIndex);

private:
    void PutRecord(BYTE* pRecord, std::size_t nIndex) const;
    void TraceTooMany(std::int64_t i64Adrs, BYTE bDataA, BYTE bDataB);
    std::string m_strTrace; // the refusal's text, kept to be filled again
    std::int64_t m_i64Refused = 0; // differences refused since the store was emptied

public:
    // Where the two memory lines an added difference touches first begin (its count and arrays).
    const char* HotLines() const { return reinterpret_cast<const char*>(&m_i64DiffNum); }

    // What each added difference touches first, together.
    alignas(64) std::int64_t m_i64DiffNum = 0;
    BOOL m_bHasData = FALSE;
    std::vector<std::int64_t> m_ai64Adrs;
    std::vector<BYTE> m_abDataA;
    std::vector<BYTE> m_abDataB;
    std::string m_strFileName;
    BOOL m_bFileOpen = FALSE;
    int m_nFile = -1;
};
