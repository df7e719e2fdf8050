#include "engine/CMyBlockReader.h"

#include "platform/LowFile.h"
#include "platform/PageCache.h"

#include <algorithm>

void CMyBlockReader::Start(int fdA, int fdB, std::int64_t i64SizeA, std::int64_t i64SizeB) {
    const std::uint64_t memory = platform::PhysicalMemory();
    const bool crowded = memory > 0 && static_cast<std::uint64_t>(i64SizeA) +
                                               static_cast<std::uint64_t>(i64SizeB) >
                                           memory / 2;
    const int fds[2] = {fdA, fdB};
    const std::int64_t sizes[2] = {i64SizeA, i64SizeB};
    for (int i = 0; i < 2; ++i) {
        File& f = m_aFiles[i];
        f.m_fd = fds[i];
        f.m_bPlain = false;
        f.m_i64Dropped = 0;
        // A file the user had in the cache stays there.
        f.m_bDrop = crowded && !platform::IsMostlyCached(fds[i], sizes[i]);
    }
    m_i64Offset = 0;
    m_aRuns[0] = {0, kBoth};
    m_nRun = 0;
}

void CMyBlockReader::Read(BYTE* pBufA, BYTE* pBufB, std::uint32_t nSize, std::int64_t* pi64ReadA,
                          std::int64_t* pi64ReadB) {
    *pi64ReadA = ReadFile(m_aFiles[0], pBufA, nSize);
    *pi64ReadB = ReadFile(m_aFiles[1], pBufB, nSize);
    MakeRuns(nSize);
    m_i64Offset += nSize;
}

std::int64_t CMyBlockReader::ReadFile(File& f, BYTE* pBuf, std::uint32_t nSize) {
    const std::int64_t begin = m_i64Offset, end = m_i64Offset + nSize;
    if (!f.m_bPlain) {
        // A file that ends early is read plainly below, to fail as any short read does.
        const std::int64_t fileEnd = platform::FileSeek(f.m_fd, 0, platform::kSeekEnd);
        const int n = fileEnd >= end ? platform::DataRangesOf(f.m_fd, begin, end, f.m_aRanges,
                                                              kMaxRanges)
                                     : 0;
        const bool whole = n == 1 && f.m_aRanges[0] == platform::FileRange{begin, end};
        if (fileEnd < 0 || n < 0) {
            f.m_bPlain = true; // the file system has no map to give
        } else if (fileEnd >= end && !whole) {
            std::int64_t got = 0;
            for (int i = 0; i < n; ++i) {
                const platform::FileRange& r = f.m_aRanges[i];
                const auto len = static_cast<std::size_t>(r.m_i64End - r.m_i64Begin);
                platform::FileSeek(f.m_fd, r.m_i64Begin, platform::kSeekSet);
                const std::int64_t one = platform::FileRead(f.m_fd, pBuf + (r.m_i64Begin - begin), len);
                if (one < 0)
                    return -1;
                got += one;
                if (one != static_cast<std::int64_t>(len))
                    return got; // the file shrank meanwhile
            }
            // What was taken for a hole must still be one now that the data has been read.
            platform::FileRange again[kMaxRanges];
            const int m = platform::DataRangesOf(f.m_fd, begin, end, again, kMaxRanges);
            if (m == n && std::equal(again, again + m, f.m_aRanges)) {
                f.m_nRanges = n;
                platform::FileSeek(f.m_fd, end, platform::kSeekSet);
                return nSize;
            }
            f.m_bPlain = true;
        }
        platform::FileSeek(f.m_fd, begin, platform::kSeekSet);
    }
    f.m_nRanges = 1;
    f.m_aRanges[0] = {begin, end};
    return platform::FileRead(f.m_fd, pBuf, nSize);
}

void CMyBlockReader::MakeRuns(std::uint32_t nSize) {
    // Walks the data ranges of both files at once: each place where a range begins or ends in
    // either file may start a run of another kind.
    const File& a = m_aFiles[0];
    const File& b = m_aFiles[1];
    int ia = 0, ib = 0, nRuns = 0;
    std::int64_t pos = m_i64Offset;
    const std::int64_t end = m_i64Offset + nSize;
    while (pos < end) {
        while (ia < a.m_nRanges && a.m_aRanges[ia].m_i64End <= pos)
            ++ia;
        while (ib < b.m_nRanges && b.m_aRanges[ib].m_i64End <= pos)
            ++ib;
        std::int64_t next = end;
        bool inA = false, inB = false;
        if (ia < a.m_nRanges) {
            const platform::FileRange& r = a.m_aRanges[ia];
            inA = r.m_i64Begin <= pos;
            next = std::min(next, inA ? r.m_i64End : r.m_i64Begin);
        }
        if (ib < b.m_nRanges) {
            const platform::FileRange& r = b.m_aRanges[ib];
            inB = r.m_i64Begin <= pos;
            next = std::min(next, inB ? r.m_i64End : r.m_i64Begin);
        }
        const Kind kind = inA ? (inB ? kBoth : kOnlyA) : (inB ? kOnlyB : kNeither);
        const auto runEnd = static_cast<std::uint32_t>(next - m_i64Offset);
        if (nRuns > 0 && m_aRuns[nRuns - 1].m_kind == kind)
            m_aRuns[nRuns - 1].m_nEnd = runEnd;
        else
            m_aRuns[nRuns++] = {runEnd, kind};
        pos = next;
    }
    if (nRuns == 0)
        m_aRuns[nRuns++] = {0, kBoth};
    m_nRun = 0;
}

void CMyBlockReader::Compared(std::int64_t i64Done, bool bLast) {
    for (File& f : m_aFiles) {
        if (!f.m_bDrop || (i64Done - f.m_i64Dropped < kDropStep && !bLast))
            continue;
        platform::DropFromCache(f.m_fd, f.m_i64Dropped, i64Done - f.m_i64Dropped);
        f.m_i64Dropped = i64Done;
    }
}
