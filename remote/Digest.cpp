#include "remote/Digest.h"

#include "platform/AlignedBuffer.h"
#include "platform/LowFile.h"
#include "platform/Sparse.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <openssl/evp.h>
#include <utility>

namespace remote {
namespace {

constexpr std::size_t kReadSize = 1024 * 1024;
constexpr int kMaxRanges = 64;

bool AllZero(const std::uint8_t* p, std::size_t n) {
    return n == 0 || (p[0] == 0 && std::memcmp(p, p + 1, n - 1) == 0);
}

} // namespace

struct LeafDigester::State {
    EVP_MD_CTX* m_pCtx = EVP_MD_CTX_new();
    const EVP_MD* m_pMd = EVP_blake2b512();
    platform::CAlignedBuffer m_buffer;
    // The zero leaf's digest for each leaf length met so far; a run asks for two or three.
    std::vector<std::pair<std::size_t, LeafDigest>> m_zero;
    ~State() { EVP_MD_CTX_free(m_pCtx); }

    void Hash(const void* p, std::size_t n, LeafDigest* out) {
        unsigned char full[EVP_MAX_MD_SIZE];
        unsigned int nFull = 0;
        // The context and the digest exist once allocated; only allocation can fail here, and
        // a digest left unset would prove nothing, so that is a stop, not a result.
        if (m_pCtx == nullptr || EVP_DigestInit_ex(m_pCtx, m_pMd, nullptr) != 1 ||
            EVP_DigestUpdate(m_pCtx, p, n) != 1 || EVP_DigestFinal_ex(m_pCtx, full, &nFull) != 1 ||
            nFull < kDigestSize)
            std::abort();
        std::memcpy(out->data(), full, kDigestSize);
    }

    const LeafDigest& Zero(std::size_t n) {
        for (const auto& z : m_zero)
            if (z.first == n)
                return z.second;
        std::vector<std::uint8_t> zeros(n, 0);
        LeafDigest d;
        Hash(zeros.data(), n, &d);
        m_zero.emplace_back(n, d);
        return m_zero.back().second;
    }
};

LeafDigester::LeafDigester() : m_p(std::make_unique<State>()) {}
LeafDigester::~LeafDigester() = default;

void LeafDigester::DigestLeaf(const void* p, std::size_t n, LeafDigest* out) {
    if (AllZero(static_cast<const std::uint8_t*>(p), n))
        *out = m_p->Zero(n);
    else
        m_p->Hash(p, n, out);
}

void LeafDigester::DigestLeaves(const void* p, std::size_t n, std::uint32_t nLeaf,
                                LeafDigest* out) {
    assert(nLeaf > 0);
    const auto* pb = static_cast<const std::uint8_t*>(p);
    for (std::size_t off = 0; off < n; off += nLeaf)
        DigestLeaf(pb + off, std::min<std::size_t>(nLeaf, n - off), out++);
}

bool LeafDigester::DigestFileRange(int fd, std::int64_t i64Begin, std::int64_t i64End,
                                   std::uint32_t nLeaf, LeafDigest* out, int* pErrno) {
    assert(nLeaf > 0 && i64Begin <= i64End);
    *pErrno = 0;
    const std::size_t nBuffer = std::max<std::size_t>(kReadSize / nLeaf, 1) * nLeaf;
    if (m_p->m_buffer.Size() < nBuffer && !m_p->m_buffer.Allocate(nBuffer, false)) {
        *pErrno = ENOMEM;
        return false;
    }
    platform::FileRange ranges[kMaxRanges];
    const int nRanges = platform::DataRangesOf(fd, i64Begin, i64End, ranges, kMaxRanges);
    int iRange = 0;
    // Whether [lo, hi) may hold data. The last leaf is always read: a hole there could as well be
    // the end of a file that has shrunk, and only a read tells the two apart.
    auto mayHoldData = [&](std::int64_t lo, std::int64_t hi) {
        if (nRanges < 0 || hi == i64End)
            return true;
        while (iRange < nRanges && ranges[iRange].m_i64End <= lo)
            ++iRange;
        return iRange < nRanges && ranges[iRange].m_i64Begin < hi;
    };

    std::int64_t pos = i64Begin;
    while (pos < i64End) {
        const std::int64_t leafEnd = std::min<std::int64_t>(pos + nLeaf, i64End);
        if (!mayHoldData(pos, leafEnd)) {
            *out++ = m_p->Zero(static_cast<std::size_t>(leafEnd - pos));
            pos = leafEnd;
            continue;
        }
        // A run of leaves that may hold data, read at once.
        std::int64_t runEnd = leafEnd;
        while (runEnd < i64End && static_cast<std::size_t>(runEnd - pos) < nBuffer) {
            const std::int64_t next = std::min<std::int64_t>(runEnd + nLeaf, i64End);
            if (!mayHoldData(runEnd, next))
                break;
            runEnd = next;
        }
        const auto n = static_cast<std::size_t>(runEnd - pos);
        const std::int64_t got = platform::FileReadAt(fd, m_p->m_buffer.Data(), n, pos);
        if (got < 0) {
            *pErrno = platform::LastError();
            return false;
        }
        if (static_cast<std::size_t>(got) < n)
            return false; // the file ended early
        DigestLeaves(m_p->m_buffer.Data(), n, nLeaf, out);
        out += LeafCount(static_cast<std::int64_t>(n), nLeaf);
        pos = runEnd;
    }
    return true;
}

} // namespace remote
