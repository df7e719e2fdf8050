#include "remote/BlockMirror.h"

#include <cassert>
#include <cstring>

namespace remote {
namespace {

// Asks for every run, as many at a time as the connection takes, and takes each reply in turn.
template <typename Ask, typename Reply, typename Take>
bool Pipelined(RemoteFile& far, std::vector<BlockMirror::Run>& runs, Ask ask, Reply replyBytes,
               Take take) {
    std::size_t next = 0;
    for (std::size_t taken = 0; taken < runs.size(); ++taken) {
        while (next < runs.size() && (next == taken || far.MayAsk(replyBytes(runs[next])))) {
            runs[next].m_ticket = ask(runs[next]);
            if (runs[next++].m_ticket == 0)
                return false;
        }
        if (!take(runs[taken]))
            return false;
    }
    return true;
}

} // namespace

template <typename F>
std::vector<BlockMirror::Run> BlockMirror::RunsOf(std::int64_t i64Begin, std::int64_t i64End,
                                                  std::uint32_t nPiece, std::int64_t nMaxRun,
                                                  F differs) {
    std::vector<Run> runs;
    std::size_t k = 0;
    for (std::int64_t pos = i64Begin; pos < i64End; pos += nPiece, ++k) {
        if (!differs(k))
            continue;
        const std::int64_t end = std::min<std::int64_t>(pos + nPiece, i64End);
        if (!runs.empty() && runs.back().m_i64End == pos && end - runs.back().m_i64Begin <= nMaxRun)
            runs.back().m_i64End = end;
        else
            runs.push_back({pos, end});
    }
    return runs;
}

bool BlockMirror::MayAskBlock(std::int64_t i64Begin, std::int64_t i64End) const {
    return m_blocks.size() < kMaxAhead &&
           m_far.MayAsk(RemoteFile::DigestReplyBytes(i64Begin, i64End, kLeafSize));
}

bool BlockMirror::AskBlock(std::int64_t i64Begin, std::int64_t i64End) {
    assert(i64End - i64Begin <= kMaxBlock);
    assert(m_blocks.empty() || m_blocks.back().m_i64End <= i64Begin);
    const RemoteFile::Ticket t = m_far.AskDigests(i64Begin, i64End, kLeafSize);
    if (t == 0)
        return false;
    m_blocks.push_back({i64Begin, i64End, t});
    return true;
}

bool BlockMirror::TakeBlock(const std::uint8_t* pNear, std::uint8_t* pFar) {
    assert(!m_blocks.empty());
    const Block b = m_blocks.front();
    m_blocks.pop_front();
    const auto n = static_cast<std::size_t>(b.m_i64End - b.m_i64Begin);
    const std::size_t nLeaves = LeafDigester::LeafCount(b.m_i64End - b.m_i64Begin, kLeafSize);
    // This end digests its block while the far end digests the blocks asked after it.
    m_near.resize(nLeaves);
    m_digester.DigestLeaves(pNear, n, kLeafSize, m_near.data());
    m_farDigests.resize(nLeaves);
    if (!m_far.TakeDigests(b.m_ticket, m_farDigests.data()))
        return false;
    if (n != 0)
        std::memcpy(pFar, pNear, n);
    std::vector<Run> leafRuns =
        RunsOf(b.m_i64Begin, b.m_i64End, kLeafSize,
               static_cast<std::int64_t>(RemoteFile::kMaxLeavesAsked) * kSubLeafSize,
               [&](std::size_t k) { return m_near[k] != m_farDigests[k]; });
    if (leafRuns.empty())
        return true;
    std::vector<bool> subDiffers;
    if (!SubLeavesThatDiffer(b, pNear, leafRuns, &subDiffers))
        return false;
    std::vector<Run> byteRuns = RunsOf(b.m_i64Begin, b.m_i64End, kSubLeafSize, RemoteFile::kMaxBytesAsked,
                                       [&](std::size_t k) { return subDiffers[k]; });
    return FetchRuns(b, byteRuns, pFar);
}

bool BlockMirror::SubLeavesThatDiffer(const Block& b, const std::uint8_t* pNear,
                                      const std::vector<Run>& leafRuns,
                                      std::vector<bool>* pDiffers) {
    pDiffers->assign(LeafDigester::LeafCount(b.m_i64End - b.m_i64Begin, kSubLeafSize), false);
    std::vector<Run> runs = leafRuns;
    std::vector<LeafDigest> nearSub, farSub;
    return Pipelined(
        m_far, runs,
        [&](const Run& r) { return m_far.AskDigests(r.m_i64Begin, r.m_i64End, kSubLeafSize); },
        [](const Run& r) {
            return RemoteFile::DigestReplyBytes(r.m_i64Begin, r.m_i64End, kSubLeafSize);
        },
        [&](const Run& r) {
            const std::size_t count = LeafDigester::LeafCount(r.m_i64End - r.m_i64Begin, kSubLeafSize);
            farSub.resize(count);
            nearSub.resize(count);
            if (!m_far.TakeDigests(r.m_ticket, farSub.data()))
                return false;
            m_digester.DigestLeaves(pNear + (r.m_i64Begin - b.m_i64Begin),
                                    static_cast<std::size_t>(r.m_i64End - r.m_i64Begin),
                                    kSubLeafSize, nearSub.data());
            const auto first = static_cast<std::size_t>((r.m_i64Begin - b.m_i64Begin) / kSubLeafSize);
            for (std::size_t k = 0; k < count; ++k)
                (*pDiffers)[first + k] = nearSub[k] != farSub[k];
            return true;
        });
}

bool BlockMirror::FetchRuns(const Block& b, std::vector<Run>& runs, std::uint8_t* pFar) {
    return Pipelined(
        m_far, runs,
        [&](const Run& r) {
            return m_far.AskBytes(r.m_i64Begin, static_cast<std::uint32_t>(r.m_i64End - r.m_i64Begin));
        },
        [](const Run& r) {
            return RemoteFile::BytesReplyBytes(static_cast<std::uint32_t>(r.m_i64End - r.m_i64Begin));
        },
        [&](const Run& r) {
            m_i64Fetched += r.m_i64End - r.m_i64Begin;
            return m_far.TakeBytes(r.m_ticket, pFar + (r.m_i64Begin - b.m_i64Begin));
        });
}

} // namespace remote
