#pragma once
// Digests of a file's leaves: the one thing both ends compare instead of the bytes. A leaf's
// digest is BLAKE2b-512 cut to its first 32 bytes: BLAKE2b runs fast on processors without SHA
// instructions, and 256 bits leave no room for a crafted collision.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace remote {

constexpr std::size_t kDigestSize = 32;
using LeafDigest = std::array<std::uint8_t, kDigestSize>;

// Equal parts are proved in leaves of kLeafSize; a leaf that differs is digested again in
// sub-leaves of kSubLeafSize, and only the sub-leaves that differ cross the wire as bytes.
constexpr std::uint32_t kLeafSize = 64 * 1024;
constexpr std::uint32_t kSubLeafSize = 4 * 1024;

// Digests memory or an open file leaf by leaf. A leaf of zeros (a hole, or zeros written out) is
// given the zero leaf's digest, computed once per leaf length, without hashing it again.
// Not shared between threads: each holds its own hashing context and read buffer.
class LeafDigester {
public:
    LeafDigester();
    ~LeafDigester();
    LeafDigester(const LeafDigester&) = delete;
    LeafDigester& operator=(const LeafDigester&) = delete;

    // The digest of `n` bytes as one leaf.
    void DigestLeaf(const void* p, std::size_t n, LeafDigest* out);
    // The digests of `n` bytes cut into leaves of `nLeaf` (the last one may be shorter): ceil(n /
    // nLeaf) digests into `out`.
    void DigestLeaves(const void* p, std::size_t n, std::uint32_t nLeaf, LeafDigest* out);
    // The same for [i64Begin, i64End) of an open file, read here: leaves wholly inside a hole are
    // not read. False with errno kept in `*pErrno` when a read fails or the file ends before
    // i64End (then *pErrno is 0).
    bool DigestFileRange(int fd, std::int64_t i64Begin, std::int64_t i64End, std::uint32_t nLeaf,
                         LeafDigest* out, int* pErrno);

    static std::size_t LeafCount(std::int64_t i64Length, std::uint32_t nLeaf) {
        return static_cast<std::size_t>((i64Length + nLeaf - 1) / nLeaf);
    }

private:
    struct State;
    std::unique_ptr<State> m_p;
};

} // namespace remote
