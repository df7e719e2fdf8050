#pragma once
// Reads a difference database file back into a store. The file comes from another day, perhaps
// another machine or a damaged disk, so it is taken as untrusted: anything its writer could not
// have made is refused, and nothing is allocated before the file's size has been found sound.
#include "platform/WinTypes.h"

#include <cstddef>
#include <cstdint>

class CMyDiffDataBase;

class CMyDiffDBReader {
public:
    // Why a file was refused; the members below hold the details named here.
    enum Refusal {
        kRefusalNone,
        kRefusalOpen,         // cannot be opened or measured: m_nErrno
        kRefusalRead,         // a read failed (m_nErrno) or the file changed size while read (0)
        kRefusalSize,         // m_i64Size is not 8 + 10·N
        kRefusalTooMany,      // m_i64Size holds more records than the store's limit
        kRefusalCount,        // the count m_i64Count disagrees with m_i64Size
        kRefusalNegativeAdrs, // record m_i64Index has the address m_i64Adrs
        kRefusalOrder,        // record m_i64Index: m_i64Adrs is not above m_i64PrevAdrs
        kRefusalSameBytes,    // record m_i64Index: its two bytes are equal, so it is no difference
        kRefusalMemory,       // the store could not be made big enough
    };

    static constexpr std::int64_t kHeaderSize = 8;
    static constexpr std::int64_t kRecordSize = 10;

    // Fills the store from the file, or refuses it and leaves the store empty.
    BOOL ReadDBFileData(const char* pFileName, CMyDiffDataBase* pStore);
    // The same for the file's bytes already in memory.
    BOOL ParseDBData(const BYTE* pData, std::size_t nSize, CMyDiffDataBase* pStore);

    int m_nRefusal = kRefusalNone;
    int m_nErrno = 0;
    std::int64_t m_i64Size = 0;
    std::int64_t m_i64Count = 0;
    std::int64_t m_i64Index = -1;
    std::int64_t m_i64Adrs = 0;
    std::int64_t m_i64PrevAdrs = 0;

private:
    BOOL CheckDBFileSize(std::int64_t i64Size);
    BOOL Refuse(int nRefusal, CMyDiffDataBase* pStore);
};
