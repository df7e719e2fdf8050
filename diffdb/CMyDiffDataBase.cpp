#include "diffdb/CMyDiffDataBase.h"

#include "platform/Faults.h"
#include "platform/Format.h"
#include "platform/LowFile.h"
#include "platform/Memory.h"
#include "platform/ReplaceFile.h"
#include "platform/TextFile.h"
#include "ui/Ui.h"
#include "util/PathUtil.h"
#include "util/Trace.h"

#include <cassert>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t kMaxPath = PATH_MAX - 1; // 4095 bytes
constexpr std::size_t kFirstCapacity = 1000000;  // differences the arrays hold before growing
constexpr std::size_t kRecordSize = 10;
constexpr std::size_t kRecordsPerWrite = 4096; // 40,960 bytes per write

unsigned PointerValue(const void* p) {
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(p));
}

void PutLittleEndian64(BYTE* out, std::int64_t value) {
    auto u = static_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<BYTE>(u & 0xFF);
        u >>= 8;
    }
}

// Makes index `n` usable. Capacity grows geometrically up to the item limit, so appending is
// amortised constant time and a full store wastes no more than the last step. False when the
// growth was refused; std::bad_alloc when the allocation itself failed.
template <typename T> bool MakeRoomAt(std::vector<T>& v, std::size_t n) {
    if (n < v.size())
        return true;
    if (n >= v.capacity()) {
        const auto limit = static_cast<std::size_t>(CMyDiffDataBase::kMaxItems);
        std::size_t cap = std::max(v.capacity() * 2, kFirstCapacity);
        cap = std::max(std::min(cap, limit), n + 1);
        if (!platform::MayAllocate(cap * sizeof(T)))
            return false;
        v.reserve(cap);
        platform::AdviseLargePages(v.data(), cap * sizeof(T));
    }
    if (n == v.size())
        v.emplace_back(); // the usual case, one more at the end: kept inline
    else
        v.resize(n + 1);
    return true;
}

} // namespace

CMyDiffDataBase::CMyDiffDataBase() { ResetDiffData(); }

CMyDiffDataBase::~CMyDiffDataBase() = default;

void CMyDiffDataBase::ResetDiffData() {
    if (m_bFileOpen) {
        platform::FileClose(m_nFile);
        m_nFile = -1;
    }
    m_i64DiffNum = 0;
    m_bFileOpen = FALSE;
    std::vector<std::int64_t>().swap(m_ai64Adrs);
    std::vector<BYTE>().swap(m_abDataA);
    std::vector<BYTE>().swap(m_abDataB);
    m_bHasData = FALSE;
    m_i64Refused = 0;
}

void CMyDiffDataBase::TraceRefusedRest() {
    if (m_i64Refused > kRefusalLines)
        WriteTrace(platform::Format("○ほか%I64d件の不一致はアイテム数の上限を超えたため追加"
                                    "できませんでした。CMyDiffDataBase::AddDiffData()\n",
                                    m_i64Refused - kRefusalLines));
    m_i64Refused = 0;
}

// "※アイテム数が多すぎて追加できません。…ItemNum[%015I64d], ADRS[%015I64d], bDataA[%02X],
// bDataB[%02X]": a run past the limit refuses every later difference, each with its own line, so
// the line is put together in the trace's form without a printf or a conversion.
void CMyDiffDataBase::TraceTooMany(std::int64_t i64Adrs, BYTE bDataA, BYTE bDataB) {
    static const std::string kHead = [] {
        std::string work, out;
        return std::string(platform::FileForm(
            "※アイテム数が多すぎて追加できません。CMyDiffDataBase::AddDiffData()\n\tItemNum[", work,
            out));
    }();
    char tail[128];
    char* p = platform::PutDec(tail, m_i64DiffNum, 15);
    p = platform::PutText(p, "], ADRS[");
    p = platform::PutDec(p, i64Adrs, 15);
    p = platform::PutText(p, "], bDataA[");
    p = platform::PutHex(p, bDataA, 2);
    p = platform::PutText(p, "], bDataB[");
    p = platform::PutHex(p, bDataB, 2);
    p = platform::PutText(p, "]\r\n");
    m_strTrace.assign(kHead).append(tail, static_cast<std::size_t>(p - tail));
    WriteTraceBytes(m_strTrace);
}

BOOL CMyDiffDataBase::AddDiffData(std::int64_t i64Adrs, BYTE bDataA, BYTE bDataB) {
    if (m_i64DiffNum >= kMaxItems) {
        // Past the first lines only counted: a line per difference would fill the disk.
        if (m_i64Refused++ < kRefusalLines)
            TraceTooMany(i64Adrs, bDataA, bDataB);
        return FALSE;
    }
    const auto n = static_cast<std::size_t>(static_cast<std::uint32_t>(m_i64DiffNum));
    // The repair and the arrows walk the store in order, and the file keeps it: the addresses
    // ascend strictly, as the run finds them.
    assert(n == 0 || m_ai64Adrs[n - 1] < i64Adrs);
    // The usual case, one more at the end of arrays that have room for it: nothing can fail.
    if (n == m_ai64Adrs.size() && n < m_ai64Adrs.capacity() && n == m_abDataA.size() &&
        n < m_abDataA.capacity() && n == m_abDataB.size() && n < m_abDataB.capacity()) {
        m_ai64Adrs.push_back(i64Adrs);
        m_abDataA.push_back(bDataA);
        m_abDataB.push_back(bDataB);
        m_bHasData = TRUE;
        ++m_i64DiffNum;
        return TRUE;
    }
    int step = 0;
    bool ok = false;
    try {
        step = 1;
        if (MakeRoomAt(m_ai64Adrs, n)) {
            m_ai64Adrs[n] = i64Adrs;
            step = 2;
            if (MakeRoomAt(m_abDataA, n)) {
                m_abDataA[n] = bDataA;
                step = 3;
                if (MakeRoomAt(m_abDataB, n)) {
                    m_abDataB[n] = bDataB;
                    ok = true;
                }
            }
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    } catch (...) {
        step = 0;
        ok = false;
    }
    if (!ok) {
        const char* what = step == 1   ? "※アドレスデータの追加に失敗"
                           : step == 2 ? "※データAの追加に失敗"
                           : step == 3 ? "※データBの追加に失敗"
                                       : "※未知のエラー";
        std::string text = platform::Format(
            "%s: CMyDiffDataBase::AddDiffData()\n\tADRS[%010I64X], DataA[%02X], DataB[%02X]\n", what,
            i64Adrs, bDataA, bDataB);
        TraceAndShow(text);
        return FALSE;
    }
    m_bHasData = TRUE;
    ++m_i64DiffNum;
    return TRUE;
}

BOOL CMyDiffDataBase::GetDiffData(std::uint32_t nIndex, std::int64_t* pi64Adrs, BYTE* pbDataA,
                                  BYTE* pbDataB) {
    if (m_i64DiffNum <= static_cast<std::int64_t>(nIndex) || pi64Adrs == nullptr ||
        pbDataA == nullptr || pbDataB == nullptr) {
        WriteTrace(platform::Format("※引数が無効です。CMyDiffDataBase::GetDiffData()\n"
                                    "\tIndex[%010X] / DiffNum[%010X] : pi64ADRS[%08X], "
                                    "pbDataA[%08X], pbDataB[%08X]\n",
                                    nIndex, static_cast<unsigned>(m_i64DiffNum),
                                    PointerValue(pi64Adrs), PointerValue(pbDataA),
                                    PointerValue(pbDataB)));
        return FALSE;
    }
    if (!m_bHasData)
        return FALSE;
    *pi64Adrs = m_ai64Adrs[nIndex];
    *pbDataA = m_abDataA[nIndex];
    *pbDataB = m_abDataB[nIndex];
    return TRUE;
}

BOOL CMyDiffDataBase::SetFileName(const char* pFileName) {
    if (m_bFileOpen) {
        WriteTrace("※既にファイルが開かれています。CMyDiffDataBase::SetFileName()\n");
        return FALSE;
    }
    if (pFileName == nullptr) {
        WriteTrace("※引数が無効。CMyDiffDataBase::SetFileName()\n");
        return FALSE;
    }
    const std::size_t len = std::strlen(pFileName);
    if (len < 2 || len > kMaxPath) {
        WriteTrace(platform::Format("※無効なファイル名サイズです。CMyDiffDataBase::SetFileName()\n"
                                    "\tFileName[%s], NameLen[%d]\n",
                                    pFileName, static_cast<int>(len)));
        return FALSE;
    }
    if (pFileName[0] != '/') {
        WriteTrace(platform::Format(
            "※無効なファイル名です。CMyDiffDataBase::SetFileName()\n\tFileName[%s]\n", pFileName));
        return FALSE;
    }
    const int p = SjisReverseFind(pFileName, '/');
    if (static_cast<std::size_t>(p) == len - 1 || (p > 0 && pFileName[p - 1] == '/')) {
        WriteTrace(platform::Format(
            "※無効なパスです。CMyDiffDataBase::SetFileName()\n\tFileName[%s]\n", pFileName));
        return FALSE;
    }
    // A file directly in "/": the root always exists.
    if (p > 0) {
        const std::string fold(pFileName, static_cast<std::size_t>(p));
        if (!IxExistFile(fold.c_str(), TRUE)) {
            WriteTrace(platform::Format("※指定したDBファイルパスのフォルダは存在しません。"
                                        "CMyDiffDataBase::SetFileName()\n\tFileName[%s]\n",
                                        pFileName));
            return FALSE;
        }
    }
    m_strFileName = pFileName;
    return TRUE;
}

BOOL CMyDiffDataBase::SaveDBFileData(const char* pFileName) {
    if (!SetFileName(pFileName))
        return FALSE;
    // Written beside the old database and put in its place whole: a failed save keeps the old
    // one, and two runs saving at once leave one of theirs, never a mix.
    platform::CReplacement file;
    if (!file.Begin(m_strFileName)) {
        WriteTrace(platform::Format(
            "※書き込みファイルのオープンに失敗。SaveDBFileData()\n\tFileName[%s]\n",
            m_strFileName.c_str()));
        return FALSE;
    }
    m_nFile = file.Handle();
    m_bFileOpen = TRUE;

    // Records are gathered into one buffer per write: the layout is what binds, not the calls.
    BYTE buf[kRecordsPerWrite * kRecordSize];
    PutLittleEndian64(buf, m_i64DiffNum);
    bool ok = platform::FileWrite(m_nFile, buf, 8) == 8;
    std::size_t used = 0;
    for (std::int64_t k = 0; ok && k < m_i64DiffNum; ++k) {
        PutRecord(buf + used, static_cast<std::size_t>(k));
        used += kRecordSize;
        if (used == sizeof buf || k + 1 == m_i64DiffNum) {
            ok = platform::FileWrite(m_nFile, buf, used) == static_cast<std::int64_t>(used);
            used = 0;
        }
    }
    ok = ok && file.Commit(); // a file not committed is removed as `file` goes
    m_nFile = -1;
    m_bFileOpen = FALSE;
    m_bHasData = m_i64DiffNum > 0 ? TRUE : FALSE;
    return ok ? TRUE : FALSE;
}

// One record as the file holds it: the address (8 bytes, little-endian), FILE A's byte, FILE B's.
void CMyDiffDataBase::PutRecord(BYTE* pRecord, std::size_t nIndex) const {
    PutLittleEndian64(pRecord, m_ai64Adrs[nIndex]);
    pRecord[8] = m_abDataA[nIndex];
    pRecord[9] = m_abDataB[nIndex];
}

BOOL CMyDiffDataBase::WriteDiffRecord(std::uint32_t nIndex) {
    if (!m_bFileOpen || static_cast<std::int64_t>(nIndex) >= m_i64DiffNum)
        return FALSE;
    BYTE rec[kRecordSize];
    PutRecord(rec, nIndex);
    return platform::FileWrite(m_nFile, rec, sizeof rec) == static_cast<std::int64_t>(sizeof rec)
               ? TRUE
               : FALSE;
}
