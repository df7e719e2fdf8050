// libFuzzer: the client's decoders on whatever a hostile server sends. The first bytes say what
// was asked; the rest is a stream of frames, each given to every decoder. What a decoder accepts
// must answer what was asked; nothing may be read or written outside the buffers asked for.
#include "remote/Protocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace remote;

namespace {

struct Asked {
    std::int64_t m_i64Begin;
    std::int64_t m_i64End;
    std::uint32_t m_nLeaf;
    std::uint32_t m_nBytes;
    std::int64_t m_i64Records;
};

void DecodeEvery(const std::uint8_t* p, std::size_t n, const Asked& a) {
    std::uint32_t nProtocol = 0;
    std::string s;
    DecodeHello(p, n, &nProtocol, &s);
    platform::FileIdentity id;
    if (DecodeOpened(p, n, &id) && id.m_i64Size < 0)
        std::abort();
    bool bExists = false;
    platform::FileKind kind{};
    int nErrno = 0;
    if (DecodeRefused(p, n, &bExists, &kind, &nErrno) &&
        (nErrno < 0 || kind > platform::FileKind::Other))
        std::abort();
    const std::size_t nLeaves = LeafDigester::LeafCount(a.m_i64End - a.m_i64Begin, a.m_nLeaf);
    if (nLeaves <= kMaxLeavesAsked) {
        auto digests = std::make_unique<LeafDigest[]>(nLeaves);
        if (DecodeDigestsReply(p, n, a.m_i64Begin, a.m_i64End, a.m_nLeaf, digests.get()) &&
            n != 24 + nLeaves * kDigestSize)
            std::abort();
    }
    auto bytes = std::make_unique<std::uint8_t[]>(a.m_nBytes);
    if (DecodeBytesReply(p, n, a.m_i64Begin, a.m_nBytes, bytes.get()) && n != 12 + a.m_nBytes)
        std::abort();
    DecodeReadFailed(p, n, &nErrno);
    bool bUnchanged = false;
    DecodeStatReply(p, n, &id, &bUnchanged);
    DecodeStoreTaken(p, n, a.m_i64Records);
    DecodeSynced(p, n, &nErrno);
    if (DecodeText(p, n, &s))
        for (char c : s)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                std::abort();
    WriterCounts c;
    if (DecodeWriterCounts(p, n, a.m_i64Records, &c) &&
        (c.m_i64From + c.m_i64To + c.m_i64Other > a.m_i64Records || c.m_i64FirstBad >= a.m_i64Records))
        std::abort();
}

std::uint64_t Le(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
    constexpr std::size_t kAsked = 16;
    if (nSize < kAsked)
        return 0;
    // The way the client asks: a range inside the file, leaves and lengths within the limits.
    Asked a;
    a.m_i64Begin = static_cast<std::int64_t>(Le(pData, 4));
    a.m_i64End = a.m_i64Begin + static_cast<std::int64_t>(Le(pData + 4, 4) % (1 << 26));
    a.m_nLeaf = static_cast<std::uint32_t>(Le(pData + 8, 3) % kMaxLeaf) + 1;
    a.m_nBytes = static_cast<std::uint32_t>(Le(pData + 11, 2));
    a.m_i64Records = static_cast<std::int64_t>(Le(pData + 13, 3));
    pData += kAsked;
    nSize -= kAsked;
    while (nSize >= kFrameHeader) {
        std::uint32_t nType = 0, nLength = 0;
        if (!ParseFrameHeader(pData, &nType, &nLength))
            return 0; // the client ends here
        if (nLength > kMaxBody)
            std::abort();
        pData += kFrameHeader;
        nSize -= kFrameHeader;
        const std::size_t n = std::min<std::size_t>(nLength, nSize);
        // Each body in a buffer of its own size, so that a read past it is caught.
        auto body = std::make_unique<std::uint8_t[]>(n);
        if (n != 0)
            std::memcpy(body.get(), pData, n);
        DecodeEvery(body.get(), n, a);
        pData += n;
        nSize -= n;
    }
    return 0;
}
