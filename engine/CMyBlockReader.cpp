#include "engine/CMyBlockReader.h"

#include "platform/Faults.h"
#include "platform/LowFile.h"
#include "platform/PageCache.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <system_error>

namespace {
// How often a wait for a block looks at whether the run is to be given up.
constexpr std::chrono::milliseconds kGiveUpPoll{20};
} // namespace

void CMyBlockReader::SetBuffers(BYTE* pPairA, BYTE* pPairB, std::uint32_t nRoom) {
    BYTE* const pairs[2] = {pPairA, pPairB};
    for (int i = 0; i < 2; ++i) {
        m_aFiles[i].m_apBuf[0] = pairs[i];
        m_aFiles[i].m_apBuf[1] = pairs[i] + nRoom;
    }
}

void CMyBlockReader::Start(int fdA, int fdB, std::int64_t i64SizeA, std::int64_t i64SizeB) {
    Stop();
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
    m_i64Next = 0;
    m_nCurrent = 1;
    m_bAhead = false;
    m_aRuns[0] = {0, kBoth};
    m_nRun = 0;
    for (int i = 0; i < 2; ++i) {
        // Without a thread of its own a file is read where its block is asked for, as before.
        platform::IFaultInjector* faults = platform::FaultInjector();
        try {
            if (faults == nullptr || faults->OnStartThread())
                m_aFiles[i].m_thread = std::thread([this, i] { ReaderLoop(i); });
        } catch (const std::system_error&) {
        }
    }
}

void CMyBlockReader::Stop() {
    {
        platform::CMutexLock lock(m_mutex);
        m_bStop = true;
    }
    m_cvAsked.notify_all();
    for (File& f : m_aFiles)
        if (f.m_thread.joinable())
            f.m_thread.join();
    platform::CMutexLock lock(m_mutex);
    m_bStop = false;
    for (File& f : m_aFiles)
        f.m_bAsked = f.m_bRead = false;
    m_bAhead = false;
}

void CMyBlockReader::ReadAhead(std::uint32_t nSize) {
    assert(!m_bAhead);
    Block& block = m_aBlocks[m_nCurrent ^ 1];
    block.m_i64Offset = m_i64Next;
    block.m_nSize = nSize;
    m_i64Next += nSize;
    m_bAhead = true;
    bool asked = false;
    for (int i = 0; i < 2; ++i) {
        if (m_aFiles[i].m_thread.joinable()) {
            platform::CMutexLock lock(m_mutex);
            m_aFiles[i].m_bAsked = asked = true;
        } else {
            ReadInto(i, block);
            platform::CMutexLock lock(m_mutex);
            m_aFiles[i].m_bRead = true;
        }
    }
    if (asked)
        m_cvAsked.notify_all();
}

void CMyBlockReader::ReaderLoop(int nFile) {
    File& f = m_aFiles[nFile];
    platform::CMutexLock lock(m_mutex);
    for (;;) {
        while (!f.m_bAsked && !m_bStop)
            lock.Wait(m_cvAsked);
        if (m_bStop)
            return;
        Block& block = m_aBlocks[m_nCurrent ^ 1];
        lock.Unlock();
        ReadInto(nFile, block);
        lock.Lock();
        f.m_bAsked = false;
        f.m_bRead = true;
        m_cvRead.notify_one();
    }
}

bool CMyBlockReader::TakeBlock(std::int64_t* pi64ReadA, std::int64_t* pi64ReadB,
                               const std::function<bool()>& giveUp) {
    assert(m_bAhead);
    {
        platform::CMutexLock lock(m_mutex);
        while (!m_aFiles[0].m_bRead || !m_aFiles[1].m_bRead) {
            if (giveUp())
                return false;
            lock.WaitFor(m_cvRead, kGiveUpPoll);
        }
        m_aFiles[0].m_bRead = m_aFiles[1].m_bRead = false;
    }
    m_bAhead = false;
    m_nCurrent ^= 1;
    const Block& block = m_aBlocks[m_nCurrent];
    *pi64ReadA = block.m_ai64Read[0];
    *pi64ReadB = block.m_ai64Read[1];
    MakeRuns(block);
    return true;
}

void CMyBlockReader::ReadInto(int nFile, Block& block) {
    File& f = m_aFiles[nFile];
    const int slot = static_cast<int>(&block - m_aBlocks);
    block.m_ai64Read[nFile] = ReadFile(f, block, block.m_aRanges[nFile], &block.m_anRanges[nFile],
                                       f.m_apBuf[slot]);
}

std::int64_t CMyBlockReader::ReadFile(File& f, Block& block, platform::FileRange* ranges,
                                      int* pnRanges, BYTE* pBuf) {
    // Every read names its offset: the two threads and the run share no file position.
    const std::uint32_t nSize = block.m_nSize;
    const std::int64_t begin = block.m_i64Offset, end = begin + nSize;
    if (!f.m_bPlain) {
        // A file that ends early is read plainly below, to fail as any short read does.
        const std::int64_t fileEnd = platform::FileEndOf(f.m_fd);
        const int n = fileEnd >= end ? platform::DataRangesOf(f.m_fd, begin, end, ranges, kMaxRanges)
                                     : 0;
        const bool whole = n == 1 && ranges[0] == platform::FileRange{begin, end};
        if (fileEnd < 0 || n < 0) {
            f.m_bPlain = true; // the file system has no map to give
        } else if (fileEnd >= end && !whole) {
            std::int64_t got = 0;
            for (int i = 0; i < n; ++i) {
                const platform::FileRange& r = ranges[i];
                const auto len = static_cast<std::size_t>(r.m_i64End - r.m_i64Begin);
                const std::int64_t one = platform::FileReadAt(f.m_fd, pBuf + (r.m_i64Begin - begin),
                                                              len, r.m_i64Begin);
                if (one < 0)
                    return -1;
                got += one;
                if (one != static_cast<std::int64_t>(len))
                    return got; // the file shrank meanwhile
            }
            // What was taken for a hole must still be one now that the data has been read.
            platform::FileRange again[kMaxRanges];
            const int m = platform::DataRangesOf(f.m_fd, begin, end, again, kMaxRanges);
            if (m == n && std::equal(again, again + m, ranges)) {
                *pnRanges = n;
                return nSize;
            }
            f.m_bPlain = true;
        }
    }
    *pnRanges = 1;
    ranges[0] = {begin, end};
    return platform::FileReadAt(f.m_fd, pBuf, nSize, begin);
}

void CMyBlockReader::MakeRuns(const Block& block) {
    // Walks the data ranges of both files at once: each place where a range begins or ends in
    // either file may start a run of another kind.
    const int nA = block.m_anRanges[0], nB = block.m_anRanges[1];
    const platform::FileRange* ra = block.m_aRanges[0];
    const platform::FileRange* rb = block.m_aRanges[1];
    int ia = 0, ib = 0, nRuns = 0;
    std::int64_t pos = block.m_i64Offset;
    const std::int64_t end = block.m_i64Offset + block.m_nSize;
    while (pos < end) {
        while (ia < nA && ra[ia].m_i64End <= pos)
            ++ia;
        while (ib < nB && rb[ib].m_i64End <= pos)
            ++ib;
        std::int64_t next = end;
        bool inA = false, inB = false;
        if (ia < nA) {
            inA = ra[ia].m_i64Begin <= pos;
            next = std::min(next, inA ? ra[ia].m_i64End : ra[ia].m_i64Begin);
        }
        if (ib < nB) {
            inB = rb[ib].m_i64Begin <= pos;
            next = std::min(next, inB ? rb[ib].m_i64End : rb[ib].m_i64Begin);
        }
        const Kind kind = inA ? (inB ? kBoth : kOnlyA) : (inB ? kOnlyB : kNeither);
        const auto runEnd = static_cast<std::uint32_t>(next - block.m_i64Offset);
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
