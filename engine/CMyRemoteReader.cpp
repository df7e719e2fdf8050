#include "engine/CMyRemoteReader.h"

#include "platform/LowFile.h"
#include "remote/RemoteFile.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <climits>
#include <cstring>

namespace {

// How often a wait for the block looks whether it is to give up.
constexpr auto kGiveUpPoll = std::chrono::milliseconds(50);
constexpr auto kStopGrace = std::chrono::seconds(1);

using remote::kLeafSize;
using remote::kSubLeafSize;
using remote::LeafDigest;
using remote::RemoteFile;

// Requests of one block to one server, taken in the order asked.
class CAskQueue {
public:
    explicit CAskQueue(RemoteFile* pFile) : m_pFile(pFile) {}
    // Asks the digests of [i64Begin, i64End) in leaves of nLeaf, for `pOut`.
    bool AskDigests(std::int64_t i64Begin, std::int64_t i64End, std::uint32_t nLeaf,
                    LeafDigest* pOut) {
        if (!MakeRoom(RemoteFile::DigestReplyBytes(i64Begin, i64End, nLeaf)))
            return false;
        m_ops.push_back({m_pFile->AskDigests(i64Begin, i64End, nLeaf), pOut, nullptr});
        return m_ops.back().m_ticket != 0;
    }
    bool AskBytes(std::int64_t i64Begin, std::uint32_t n, BYTE* pOut) {
        if (!MakeRoom(RemoteFile::BytesReplyBytes(n)))
            return false;
        m_ops.push_back({m_pFile->AskBytes(i64Begin, n), nullptr, pOut});
        return m_ops.back().m_ticket != 0;
    }
    bool TakeAll() {
        while (!m_ops.empty())
            if (!TakeOldest())
                return false;
        return true;
    }

private:
    struct Op {
        RemoteFile::Ticket m_ticket;
        LeafDigest* m_pDigests;
        BYTE* m_pBytes;
    };
    bool MakeRoom(std::size_t nReplyBytes) {
        while (!m_pFile->MayAsk(nReplyBytes) && !m_ops.empty())
            if (!TakeOldest())
                return false;
        return true;
    }
    bool TakeOldest() {
        const Op op = m_ops.front();
        m_ops.pop_front();
        return op.m_pDigests != nullptr ? m_pFile->TakeDigests(op.m_ticket, op.m_pDigests)
                                        : m_pFile->TakeBytes(op.m_ticket, op.m_pBytes);
    }

    RemoteFile* m_pFile;
    std::deque<Op> m_ops;
};

} // namespace

void CMyRemoteReader::SetBuffers(BYTE* pPairA, BYTE* pPairB, std::uint32_t nRoom) {
    m_apBuf[0][0] = pPairA;
    m_apBuf[0][1] = pPairA + nRoom;
    m_apBuf[1][0] = pPairB;
    m_apBuf[1][1] = pPairB + nRoom;
    m_nRoom = nRoom;
}

void CMyRemoteReader::Start(int fdA, remote::RemoteFile* pRemoteA, int fdB,
                            remote::RemoteFile* pRemoteB, std::int64_t i64Length) {
    Stop();
    m_aSides[0] = {fdA, pRemoteA, 0};
    m_aSides[1] = {fdB, pRemoteB, 0};
    m_i64Length = i64Length;
    m_i64Next = 0;
    m_i64AskedUpTo = 0;
    m_asked.clear();
    m_strFailure.clear();
    m_nCurrent = 1;
    m_bAhead = false;
    m_runs.assign(1, Run{UINT32_MAX, kNeither});
    m_nRun = 0;
    {
        std::lock_guard lock(m_mutex);
        m_bStop = false;
        m_bAsked = false;
        m_bRead = false;
    }
    m_thread = std::thread([this] { Loop(); });
}

void CMyRemoteReader::ReadAhead(std::uint32_t nSize) {
    assert(!m_bAhead && nSize <= m_nRoom);
    {
        std::lock_guard lock(m_mutex);
        m_i64AskOffset = m_i64Next;
        m_nAskSize = nSize;
        m_bAsked = true;
    }
    m_i64Next += nSize;
    m_bAhead = true;
    m_cv.notify_all();
}

bool CMyRemoteReader::TakeBlock(std::int64_t* pi64ReadA, std::int64_t* pi64ReadB,
                                const std::function<bool()>& giveUp) {
    assert(m_bAhead);
    {
        std::unique_lock lock(m_mutex);
        while (!m_bRead) {
            if (giveUp())
                return false;
            m_cv.wait_for(lock, kGiveUpPoll);
        }
        m_bRead = false;
    }
    m_bAhead = false;
    m_nCurrent ^= 1;
    *pi64ReadA = m_aSides[0].m_i64Read;
    *pi64ReadB = m_aSides[1].m_i64Read;
    m_runs.swap(m_aRunsOf[m_nCurrent]);
    m_nRun = 0;
    return true;
}

void CMyRemoteReader::Stop() {
    {
        std::unique_lock lock(m_mutex);
        m_bStop = true;
        m_cv.notify_all();
        // A block still being read is given a moment; then its connections are cut, so that a
        // server that stopped answering cannot hold up the end of a run.
        if (m_bAsked && !m_cv.wait_for(lock, kStopGrace, [this] { return !m_bAsked; })) {
            for (Side& side : m_aSides)
                if (side.m_pRemote)
                    side.m_pRemote->Abandon();
        }
    }
    if (m_thread.joinable())
        m_thread.join();
    m_bAhead = false;
}

void CMyRemoteReader::Loop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return m_bAsked || m_bStop; });
        if (m_bStop)
            return;
        const int nSlot = m_nCurrent ^ 1;
        const std::int64_t i64Offset = m_i64AskOffset;
        const std::uint32_t nSize = m_nAskSize;
        lock.unlock();
        ReadBlock(nSlot, i64Offset, nSize);
        lock.lock();
        m_bAsked = false;
        m_bRead = true;
        m_cv.notify_all();
    }
}

// A side that could not be read: its result is a failed read, and the connection's words, if it
// was the connection that failed, are kept for the message.
bool CMyRemoteReader::Fail(int nSide) {
    m_aSides[nSide].m_i64Read = -1;
    const remote::RemoteFile* pRemote = m_aSides[nSide].m_pRemote;
    if (pRemote != nullptr && !pRemote->Connected() && m_strFailure.empty())
        m_strFailure = pRemote->ErrorText();
    return false;
}

// Asks each server for the leaf digests of the blocks to come, as far as kDigestsAhead blocks.
void CMyRemoteReader::AskDigestsAhead() {
    while (m_i64AskedUpTo < m_i64Length && m_asked.size() < kDigestsAhead) {
        const auto nSize = static_cast<std::uint32_t>(
            std::min<std::int64_t>(m_nRoom, m_i64Length - m_i64AskedUpTo));
        const std::int64_t i64End = m_i64AskedUpTo + nSize;
        Asked asked{m_i64AskedUpTo, nSize, {0, 0}};
        for (int n = 0; n < 2; ++n) {
            RemoteFile* pRemote = m_aSides[n].m_pRemote;
            if (pRemote == nullptr)
                continue;
            if (!pRemote->MayAsk(RemoteFile::DigestReplyBytes(m_i64AskedUpTo, i64End, kLeafSize)))
                return;
        }
        for (int n = 0; n < 2; ++n)
            if (RemoteFile* pRemote = m_aSides[n].m_pRemote)
                asked.m_aTicket[n] = pRemote->AskDigests(m_i64AskedUpTo, i64End, kLeafSize);
        m_asked.push_back(asked);
        m_i64AskedUpTo = i64End;
    }
}

// The leaf digests of one side's block: digested here, or the ones asked ahead.
bool CMyRemoteReader::LeafDigests(int nSide, std::int64_t i64Offset, std::uint32_t nSize,
                                  std::vector<LeafDigest>* pOut) {
    pOut->resize(remote::LeafDigester::LeafCount(nSize, kLeafSize));
    Side& side = m_aSides[nSide];
    if (side.m_pRemote == nullptr) {
        int nErrno = 0;
        if (m_digester.DigestFileRange(side.m_fd, i64Offset, i64Offset + nSize, kLeafSize,
                                       pOut->data(), &nErrno))
            return true;
        side.m_i64Read = nErrno == 0 ? 0 : -1; // 0: the file ended early
        return false;
    }
    const Asked& asked = m_asked.front();
    if (asked.m_i64Offset != i64Offset || asked.m_nSize != nSize || asked.m_aTicket[nSide] == 0 ||
        !side.m_pRemote->TakeDigests(asked.m_aTicket[nSide], pOut->data()))
        return Fail(nSide);
    return true;
}

void CMyRemoteReader::ReadBlock(int nSlot, std::int64_t i64Offset, std::uint32_t nSize) {
    std::vector<Run>& runs = m_aRunsOf[nSlot];
    runs.clear();
    m_aSides[0].m_i64Read = m_aSides[1].m_i64Read = nSize;
    if (nSize == 0) {
        runs.push_back({UINT32_MAX, kNeither});
        return;
    }
    AskDigestsAhead();
    bool bOk = true;
    for (int n = 0; n < 2; ++n)
        bOk = LeafDigests(n, i64Offset, nSize, &m_aDigests[n]) && bOk;
    if (!m_asked.empty() && m_asked.front().m_i64Offset == i64Offset)
        m_asked.pop_front();
    if (!bOk)
        return;
    // Equal leaves are runs of kNeither; the others are compared byte by byte.
    std::vector<std::uint32_t> differing;
    for (std::uint32_t i = 0; i < m_aDigests[0].size(); ++i) {
        const Kind kind = m_aDigests[0][i] == m_aDigests[1][i] ? kNeither : kBoth;
        const std::uint32_t nEnd = std::min<std::uint32_t>((i + 1) * kLeafSize, nSize);
        if (kind == kBoth)
            differing.push_back(i);
        if (!runs.empty() && runs.back().m_kind == kind)
            runs.back().m_nEnd = nEnd;
        else
            runs.push_back({nEnd, kind});
    }
    runs.push_back({UINT32_MAX, kNeither});
    if (!differing.empty())
        RefineLeaves(nSlot, i64Offset, differing, nSize);
}

// Fills both blocks at the differing leaves: the bytes of the sub-leaves that differ as they are,
// the others alike in both.
bool CMyRemoteReader::RefineLeaves(int nSlot, std::int64_t i64Offset,
                                   const std::vector<std::uint32_t>& leaves, std::uint32_t nSize) {
    constexpr std::uint32_t kSubs = kLeafSize / kSubLeafSize;
    auto leafLength = [&](std::uint32_t i) { return std::min(kLeafSize, nSize - i * kLeafSize); };
    CAskQueue queues[2] = {CAskQueue(m_aSides[0].m_pRemote), CAskQueue(m_aSides[1].m_pRemote)};
    for (int n = 0; n < 2; ++n) {
        Side& side = m_aSides[n];
        BYTE* pBlock = m_apBuf[n][nSlot];
        m_aSubDigests[n].resize(leaves.size() * kSubs);
        for (std::size_t k = 0; k < leaves.size(); ++k) {
            const std::uint32_t nPos = leaves[k] * kLeafSize, nLen = leafLength(leaves[k]);
            LeafDigest* pSub = &m_aSubDigests[n][k * kSubs];
            if (side.m_pRemote != nullptr) {
                if (!queues[n].AskDigests(i64Offset + nPos, i64Offset + nPos + nLen, kSubLeafSize,
                                          pSub))
                    return Fail(n);
                continue;
            }
            const std::int64_t i64Got = platform::FileReadAt(side.m_fd, pBlock + nPos, nLen,
                                                             i64Offset + nPos);
            if (i64Got != static_cast<std::int64_t>(nLen)) {
                side.m_i64Read = i64Got < 0 ? -1 : 0;
                return false;
            }
            m_digester.DigestLeaves(pBlock + nPos, nLen, kSubLeafSize, pSub);
        }
    }
    for (int n = 0; n < 2; ++n)
        if (m_aSides[n].m_pRemote != nullptr && !queues[n].TakeAll())
            return Fail(n);

    const int nLocal = m_aSides[0].m_pRemote == nullptr ? 0 : m_aSides[1].m_pRemote == nullptr ? 1 : -1;
    for (std::size_t k = 0; k < leaves.size(); ++k) {
        const std::uint32_t nLeafPos = leaves[k] * kLeafSize, nLeafLen = leafLength(leaves[k]);
        // Differing sub-leaves next to each other are fetched in one request.
        std::uint32_t nFrom = 0, nTo = 0;
        auto fetch = [&]() {
            for (int n = 0; n < 2; ++n)
                if (m_aSides[n].m_pRemote != nullptr && nTo > nFrom &&
                    !queues[n].AskBytes(i64Offset + nFrom, nTo - nFrom, m_apBuf[n][nSlot] + nFrom))
                    return Fail(n);
            nFrom = nTo = 0;
            return true;
        };
        for (std::uint32_t s = 0; s * kSubLeafSize < nLeafLen; ++s) {
            const std::uint32_t nPos = nLeafPos + s * kSubLeafSize;
            const std::uint32_t nLen = std::min(kSubLeafSize, nLeafLen - s * kSubLeafSize);
            if (m_aSubDigests[0][k * kSubs + s] != m_aSubDigests[1][k * kSubs + s]) {
                if (nTo != nPos && !fetch())
                    return false;
                if (nTo == 0)
                    nFrom = nPos;
                nTo = nPos + nLen;
                continue;
            }
            if (nLocal >= 0) {
                std::memcpy(m_apBuf[nLocal ^ 1][nSlot] + nPos, m_apBuf[nLocal][nSlot] + nPos, nLen);
            } else {
                std::memset(m_apBuf[0][nSlot] + nPos, 0, nLen);
                std::memset(m_apBuf[1][nSlot] + nPos, 0, nLen);
            }
        }
        if (!fetch())
            return false;
    }
    for (int n = 0; n < 2; ++n)
        if (m_aSides[n].m_pRemote != nullptr && !queues[n].TakeAll())
            return Fail(n);
    return true;
}
