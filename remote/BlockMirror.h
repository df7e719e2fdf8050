#pragma once
// The far file's bytes of a block, made from the near file's bytes of the same place: equal
// leaves are proved by their digests and copied from the near block; a leaf that differs is
// digested again in sub-leaves, and only the sub-leaves that differ are fetched. The result is
// the far file's bytes, each either proved equal or read there, so comparing it with the near
// block byte by byte gives every difference exactly.
//
// Blocks are asked ahead (AskBlock, in file order) so that the far end digests the next blocks
// while this end digests the current one; TakeBlock takes the oldest asked.
#include "remote/Digest.h"
#include "remote/RemoteFile.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace remote {

class BlockMirror {
public:
    // Blocks are at most this long; and at most this many are asked ahead.
    static constexpr std::int64_t kMaxBlock = 16 * 1024 * 1024;
    static constexpr std::size_t kMaxAhead = 32;

    explicit BlockMirror(RemoteFile& far) : m_far(far) {}

    // Whether one more block may be asked now.
    bool MayAskBlock(std::int64_t i64Begin, std::int64_t i64End) const;
    // Asks the digests of [i64Begin, i64End) of the far file (inside it, at most kMaxBlock).
    bool AskBlock(std::int64_t i64Begin, std::int64_t i64End);
    std::size_t BlocksAsked() const { return m_blocks.size(); }
    // Takes the oldest block asked: `pNear` holds the near file's bytes of its range; `pFar`
    // receives the far file's. False with the far file's ErrorText().
    bool TakeBlock(const std::uint8_t* pNear, std::uint8_t* pFar);
    // Bytes of the far file fetched rather than proved equal, so far.
    std::int64_t BytesFetched() const { return m_i64Fetched; }

    // A run of [m_i64Begin, m_i64End) whose digests or bytes are asked in one request.
    struct Run {
        std::int64_t m_i64Begin;
        std::int64_t m_i64End;
        RemoteFile::Ticket m_ticket = 0;
    };

private:
    struct Block {
        std::int64_t m_i64Begin;
        std::int64_t m_i64End;
        RemoteFile::Ticket m_ticket;
    };
    // Runs of consecutive differing pieces (of `nPiece` bytes, `differs` by index), each at most
    // `nMaxRun` long.
    template <typename F>
    static std::vector<Run> RunsOf(std::int64_t i64Begin, std::int64_t i64End, std::uint32_t nPiece,
                                   std::int64_t nMaxRun, F differs);
    bool SubLeavesThatDiffer(const Block& b, const std::uint8_t* pNear,
                             const std::vector<Run>& leafRuns, std::vector<bool>* pDiffers);
    bool FetchRuns(const Block& b, std::vector<Run>& runs, std::uint8_t* pFar);

    RemoteFile& m_far;
    LeafDigester m_digester;
    std::deque<Block> m_blocks;
    std::vector<LeafDigest> m_near;
    std::vector<LeafDigest> m_farDigests;
    std::int64_t m_i64Fetched = 0;
};

} // namespace remote
