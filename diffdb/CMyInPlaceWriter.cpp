#include "diffdb/CMyInPlaceWriter.h"

#include "diffdb/CMyDiffDataBase.h"
#include "platform/LowFile.h"

#include <algorithm>
#include <cerrno>
#include <new>

namespace {

// Addresses less than kReadGap apart share one read: on a cold disk reading the bytes between
// costs less than a seek to each (1,000,000 addresses scattered over 8 GiB: 10 s, against 81 s
// read one by one). Read-ahead is switched off instead, as it reads far past scattered addresses
// (the same on a sparse file: 5 s, against 8 s to 16 s with it).
constexpr std::int64_t kReadGap = std::int64_t{64} << 10;
// Changed bytes closer than kWriteGap share one write. A system call costs about what copying a
// few KiB does; and a gap shorter than a file system block holds no whole block, so writing it
// never fills a hole that single-byte writes would have left.
constexpr std::int64_t kWriteGap = 4096;
constexpr std::int64_t kWindowSize = std::int64_t{1} << 20;

} // namespace

BOOL CMyInPlaceWriter::SetDataBaseADRS(const CMyDiffDataBase* pDataBase) {
    if (pDataBase == nullptr)
        return FALSE;
    m_pDataBase = pDataBase;
    return TRUE;
}

BOOL CMyInPlaceWriter::SetFile(int nFile) {
    m_nFile = -1;
    if (nFile == -1)
        return TRUE; // what the last write found stays to be reported
    m_nErrno = 0;
    try {
        m_abWindow.resize(static_cast<std::size_t>(kWindowSize));
    } catch (const std::bad_alloc&) {
        m_nErrno = ENOMEM;
        return FALSE;
    }
    // Every read and write names its offset: the file's position plays no part.
    m_i64FileSize = platform::FileEndOf(nFile);
    if (m_i64FileSize < 0) {
        m_nErrno = platform::LastError();
        return FALSE;
    }
    platform::FileAdviseRandom(nFile); // only a hint: a file that refuses it is read all the same
    m_nFile = nFile;
    return TRUE;
}

BOOL CMyInPlaceWriter::HasAllRecords() const {
    if (m_pDataBase == nullptr)
        return FALSE;
    const auto nNum = static_cast<std::size_t>(m_pDataBase->GetDiffNum());
    return nNum == 0 || (m_pDataBase->m_bHasData && m_pDataBase->m_ai64Adrs.size() >= nNum &&
                         m_pDataBase->m_abDataA.size() >= nNum &&
                         m_pDataBase->m_abDataB.size() >= nNum);
}

BYTE CMyInPlaceWriter::FromByte(std::size_t k) const {
    return m_bFromA ? m_pDataBase->m_abDataA[k] : m_pDataBase->m_abDataB[k];
}

BYTE CMyInPlaceWriter::ToByte(std::size_t k) const {
    return m_bFromA ? m_pDataBase->m_abDataB[k] : m_pDataBase->m_abDataA[k];
}

// Addresses ascend, so those inside the file come first.
std::size_t CMyInPlaceWriter::CountInside() const {
    const auto& adrs = m_pDataBase->m_ai64Adrs;
    const auto end = adrs.begin() + static_cast<std::ptrdiff_t>(m_pDataBase->GetDiffNum());
    return static_cast<std::size_t>(std::lower_bound(adrs.begin(), end, m_i64FileSize) -
                                    adrs.begin());
}

BOOL CMyInPlaceWriter::Fail(int nFailure, int nErrno) {
    m_nFailure = nFailure;
    m_nErrno = nErrno;
    return FALSE;
}

// Calls onSpan(first record, end record, offset of the span, bytes read) for runs of records
// inside the file that one read covers; the span's bytes are in m_abWindow.
template <typename F> BOOL CMyInPlaceWriter::ScanSpans(F onSpan) {
    const auto& adrs = m_pDataBase->m_ai64Adrs;
    const std::size_t nInside = CountInside();
    std::size_t i = 0;
    while (i < nInside) {
        const std::int64_t i64Start = adrs[i];
        std::size_t j = i + 1;
        while (j < nInside && adrs[j] - adrs[j - 1] <= kReadGap && adrs[j] - i64Start < kWindowSize)
            ++j;
        const auto nLen = static_cast<std::size_t>(adrs[j - 1] - i64Start + 1);
        const std::int64_t i64Got = platform::FileReadAt(m_nFile, m_abWindow.data(), nLen, i64Start);
        if (i64Got < 0)
            return Fail(kFailRead, platform::LastError());
        if (!onSpan(i, j, i64Start, i64Got))
            return FALSE;
        i = j;
    }
    return TRUE;
}

BOOL CMyInPlaceWriter::CheckFile() {
    m_i64From = m_i64To = m_i64Other = 0;
    m_i64FirstBad = m_i64FirstFrom = -1;
    m_bFirstBadInside = FALSE;
    m_bFirstBadHeld = 0;
    m_bCounted = FALSE;
    if (!HasAllRecords() || m_nFile == -1)
        return Fail(kFailRead, EBADF);
    auto classify = [&](std::size_t k, bool bInside, BYTE bHeld) {
        const auto i64K = static_cast<std::int64_t>(k);
        if (bInside && bHeld == FromByte(k)) {
            ++m_i64From;
            if (m_i64FirstFrom < 0)
                m_i64FirstFrom = i64K;
            return;
        }
        if (m_i64FirstBad < 0) {
            m_i64FirstBad = i64K;
            m_bFirstBadInside = bInside ? TRUE : FALSE;
            m_bFirstBadHeld = bHeld;
        }
        if (bInside && bHeld == ToByte(k))
            ++m_i64To;
        else
            ++m_i64Other;
    };
    const auto& adrs = m_pDataBase->m_ai64Adrs;
    const BOOL bRead = ScanSpans([&](std::size_t i, std::size_t j, std::int64_t i64Start,
                                     std::int64_t i64Got) {
        for (std::size_t k = i; k < j; ++k) {
            const std::int64_t i64Off = adrs[k] - i64Start;
            // A read that ends early: the file shrank since it was measured.
            const bool bInside = i64Off < i64Got;
            classify(k, bInside, bInside ? m_abWindow[static_cast<std::size_t>(i64Off)] : 0);
        }
        return TRUE;
    });
    if (!bRead)
        return FALSE;
    const auto nNum = static_cast<std::size_t>(m_pDataBase->GetDiffNum());
    for (std::size_t k = CountInside(); k < nNum; ++k)
        classify(k, false, 0);
    m_bCounted = TRUE;
    return TRUE;
}

// Each address holds one of its two recorded bytes, whichever were written before: writing the
// new byte where the old one stands finishes the file, and the reverse undoes it.
CMyInPlaceWriter::Verdict CMyInPlaceWriter::GetVerdict() const {
    if (m_i64Other != 0)
        return kVerdictMismatch;
    if (m_i64From == 0)
        return kVerdictPatched;
    return m_i64To == 0 ? kVerdictReady : kVerdictPartly;
}

// The span is verified as a whole before any of it is written: a byte changed by someone else
// since the check stops the write before it lands anywhere near.
BOOL CMyInPlaceWriter::WriteSpan(std::size_t nFirst, std::size_t nEnd, std::int64_t i64Start,
                                 std::int64_t i64Got) {
    const auto& adrs = m_pDataBase->m_ai64Adrs;
    for (std::size_t k = nFirst; k < nEnd; ++k) {
        const std::int64_t i64Off = adrs[k] - i64Start;
        if (i64Off >= i64Got || (m_abWindow[static_cast<std::size_t>(i64Off)] != FromByte(k) &&
                                 m_abWindow[static_cast<std::size_t>(i64Off)] != ToByte(k))) {
            m_i64FailAdrs = adrs[k];
            return Fail(kFailChanged, 0);
        }
    }
    std::int64_t i64Lo = -1, i64Hi = -1, i64Changed = 0;
    for (std::size_t k = nFirst; k < nEnd; ++k) {
        BYTE& bHeld = m_abWindow[static_cast<std::size_t>(adrs[k] - i64Start)];
        if (bHeld != FromByte(k))
            continue;
        bHeld = ToByte(k);
        if (i64Lo >= 0 && adrs[k] - i64Hi > kWriteGap) {
            if (!WriteRun(i64Lo, i64Hi, i64Start, i64Changed))
                return FALSE;
            i64Lo = -1;
        }
        if (i64Lo < 0) {
            i64Lo = adrs[k];
            i64Changed = 0;
        }
        i64Hi = adrs[k];
        ++i64Changed;
    }
    return i64Lo < 0 || WriteRun(i64Lo, i64Hi, i64Start, i64Changed);
}

// Writes the window's bytes from i64Lo to i64Hi, which change i64Changed addresses.
BOOL CMyInPlaceWriter::WriteRun(std::int64_t i64Lo, std::int64_t i64Hi, std::int64_t i64Start,
                                std::int64_t i64Changed) {
    if (platform::FileWriteAt(m_nFile, m_abWindow.data() + (i64Lo - i64Start),
                              static_cast<std::size_t>(i64Hi - i64Lo + 1), i64Lo) < 0) {
        m_i64FailAdrs = i64Lo;
        return Fail(kFailWrite, platform::LastError());
    }
    m_i64Written += i64Changed;
    return TRUE;
}

BOOL CMyInPlaceWriter::DoWrite() {
    m_i64ToBefore = m_bCounted ? m_i64To : 0;
    m_i64Written = 0;
    m_nFailure = kFailNone;
    m_nErrno = 0;
    m_i64FailAdrs = -1;
    if (!HasAllRecords() || m_nFile == -1)
        return Fail(kFailWrite, EBADF);
    BOOL bOk = ScanSpans([this](std::size_t i, std::size_t j, std::int64_t i64Start,
                                std::int64_t i64Got) { return WriteSpan(i, j, i64Start, i64Got); });
    if (bOk)
        bOk = SyncFile();
    // Every address is read back, however the writes ended: after a failure the counts tell
    // what the file holds now.
    const int nFailure = m_nFailure;
    const int nErrno = m_nErrno;
    const BOOL bRead = CheckFile();
    if (!bOk)
        return Fail(nFailure, nErrno);
    if (!bRead || m_i64From != 0 || m_i64Other != 0)
        return Fail(kFailReadBack, bRead ? 0 : m_nErrno);
    m_nFailure = kFailNone;
    return TRUE;
}

BOOL CMyInPlaceWriter::SyncFile() {
    if (platform::FileSync(m_nFile) != 0)
        return Fail(kFailSync, platform::LastError());
    return TRUE;
}
