#include "diffdb/CMyDiffDBReader.h"

#include "diffdb/CMyDiffDataBase.h"
#include "platform/Faults.h"
#include "platform/LowFile.h"

#include <new>
#include <vector>

namespace {

std::int64_t GetLittleEndian64(const BYTE* p) {
    std::uint64_t u = 0;
    for (int i = 7; i >= 0; --i)
        u = (u << 8) | p[i];
    return static_cast<std::int64_t>(u);
}

} // namespace

BOOL CMyDiffDBReader::Refuse(int nRefusal, CMyDiffDataBase* pStore) {
    m_nRefusal = nRefusal;
    pStore->ResetDiffData();
    return FALSE;
}

// The shape alone, before a byte is read or allocated.
BOOL CMyDiffDBReader::CheckDBFileSize(std::int64_t i64Size) {
    m_i64Size = i64Size;
    if (i64Size < kHeaderSize || (i64Size - kHeaderSize) % kRecordSize != 0) {
        m_nRefusal = kRefusalSize;
        return FALSE;
    }
    if ((i64Size - kHeaderSize) / kRecordSize > CMyDiffDataBase::kMaxItems) {
        m_nRefusal = kRefusalTooMany;
        return FALSE;
    }
    return TRUE;
}

BOOL CMyDiffDBReader::ReadDBFileData(const char* pFileName, CMyDiffDataBase* pStore) {
    *this = CMyDiffDBReader();
    const int nFile = platform::FileOpen(pFileName, platform::kOpenRead);
    if (nFile == -1) {
        m_nErrno = platform::LastError();
        return Refuse(kRefusalOpen, pStore);
    }
    const std::int64_t i64Size = platform::FileSeek(nFile, 0, platform::kSeekEnd);
    if (i64Size < 0) {
        m_nErrno = platform::LastError();
        platform::FileClose(nFile);
        return Refuse(kRefusalOpen, pStore);
    }
    if (!CheckDBFileSize(i64Size)) {
        platform::FileClose(nFile);
        return Refuse(m_nRefusal, pStore);
    }
    // At most 10,000,008 bytes now; one more is asked for, to see a file that grew meanwhile.
    std::vector<BYTE> data;
    try {
        data.resize(static_cast<std::size_t>(i64Size) + 1);
    } catch (const std::bad_alloc&) {
        platform::FileClose(nFile);
        return Refuse(kRefusalMemory, pStore);
    }
    const std::int64_t i64Got = platform::FileReadAt(nFile, data.data(), data.size(), 0);
    m_nErrno = i64Got < 0 ? platform::LastError() : 0;
    platform::FileClose(nFile);
    if (i64Got != i64Size)
        return Refuse(kRefusalRead, pStore);
    return ParseDBData(data.data(), static_cast<std::size_t>(i64Size), pStore);
}

BOOL CMyDiffDBReader::ParseDBData(const BYTE* pData, std::size_t nSize, CMyDiffDataBase* pStore) {
    *this = CMyDiffDBReader();
    if (!CheckDBFileSize(static_cast<std::int64_t>(nSize)))
        return Refuse(m_nRefusal, pStore);
    const std::int64_t i64Num = (m_i64Size - kHeaderSize) / kRecordSize;
    m_i64Count = GetLittleEndian64(pData);
    if (m_i64Count != i64Num)
        return Refuse(kRefusalCount, pStore);

    pStore->ResetDiffData();
    const auto n = static_cast<std::size_t>(i64Num);
    try {
        if (!platform::MayAllocate(n * static_cast<std::size_t>(kRecordSize)))
            return Refuse(kRefusalMemory, pStore);
        pStore->m_ai64Adrs.resize(n);
        pStore->m_abDataA.resize(n);
        pStore->m_abDataB.resize(n);
    } catch (const std::bad_alloc&) {
        return Refuse(kRefusalMemory, pStore);
    }
    const BYTE* pRecord = pData + kHeaderSize;
    for (std::size_t k = 0; k < n; ++k, pRecord += kRecordSize) {
        const std::int64_t i64Adrs = GetLittleEndian64(pRecord);
        m_i64Index = static_cast<std::int64_t>(k);
        m_i64Adrs = i64Adrs;
        if (i64Adrs < 0)
            return Refuse(kRefusalNegativeAdrs, pStore);
        if (k > 0 && i64Adrs <= pStore->m_ai64Adrs[k - 1]) {
            m_i64PrevAdrs = pStore->m_ai64Adrs[k - 1];
            return Refuse(kRefusalOrder, pStore);
        }
        if (pRecord[8] == pRecord[9])
            return Refuse(kRefusalSameBytes, pStore);
        pStore->m_ai64Adrs[k] = i64Adrs;
        pStore->m_abDataA[k] = pRecord[8];
        pStore->m_abDataB[k] = pRecord[9];
    }
    m_i64Index = -1;
    pStore->m_i64DiffNum = i64Num;
    pStore->m_bHasData = i64Num > 0 ? TRUE : FALSE;
    return TRUE;
}
