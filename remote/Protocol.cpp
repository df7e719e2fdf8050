#include "remote/Protocol.h"

#include <cstring>

#ifndef OCTW_VERSION
#error "OCTW_VERSION names the program's version"
#endif

namespace remote {
namespace {

void PutLe(std::vector<std::uint8_t>& b, std::uint64_t v, int nBytes) {
    for (int i = 0; i < nBytes; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint64_t GetLe(const std::uint8_t* p, int nBytes) {
    std::uint64_t v = 0;
    for (int i = nBytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

bool ValidIdentity(const platform::FileIdentity& id) { return id.m_i64Size >= 0; }

} // namespace

const char* ProgramVersion() { return OCTW_VERSION; }

FrameBuilder::FrameBuilder(std::uint32_t nType) {
    PutLe(m_b, nType, 4);
    PutLe(m_b, 0, 4);
}
FrameBuilder& FrameBuilder::U8(std::uint8_t v) {
    m_b.push_back(v);
    return *this;
}
FrameBuilder& FrameBuilder::U32(std::uint32_t v) {
    PutLe(m_b, v, 4);
    return *this;
}
FrameBuilder& FrameBuilder::U64(std::uint64_t v) {
    PutLe(m_b, v, 8);
    return *this;
}
FrameBuilder& FrameBuilder::Str(const std::string& s) {
    U32(static_cast<std::uint32_t>(s.size()));
    return Raw(s.data(), s.size());
}
FrameBuilder& FrameBuilder::Raw(const void* p, std::size_t n) {
    const auto* pb = static_cast<const std::uint8_t*>(p);
    m_b.insert(m_b.end(), pb, pb + n);
    return *this;
}
FrameBuilder& FrameBuilder::Identity(const platform::FileIdentity& id) {
    return I64(id.m_i64Size).U64(id.m_dev).U64(id.m_ino).I64(id.m_i64MtimeNs);
}
const std::vector<std::uint8_t>& FrameBuilder::Bytes() {
    const std::uint64_t n = m_b.size() - kFrameHeader;
    for (int i = 0; i < 4; ++i)
        m_b[4 + i] = static_cast<std::uint8_t>(n >> (8 * i));
    return m_b;
}

std::uint8_t BodyReader::U8() {
    const std::uint8_t* p = Raw(1);
    return p ? *p : 0;
}
std::uint32_t BodyReader::U32() {
    const std::uint8_t* p = Raw(4);
    return p ? static_cast<std::uint32_t>(GetLe(p, 4)) : 0;
}
std::uint64_t BodyReader::U64() {
    const std::uint8_t* p = Raw(8);
    return p ? GetLe(p, 8) : 0;
}
std::string BodyReader::Str(std::uint32_t nMax) {
    const std::uint32_t n = U32();
    if (n > nMax) {
        m_bOk = false;
        return {};
    }
    const std::uint8_t* p = Raw(n);
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
}
const std::uint8_t* BodyReader::Raw(std::size_t n) {
    if (!m_bOk || n > m_n - m_nPos) {
        m_bOk = false;
        return nullptr;
    }
    const std::uint8_t* p = m_p + m_nPos;
    m_nPos += n;
    return p;
}
platform::FileIdentity BodyReader::Identity() {
    platform::FileIdentity id;
    id.m_i64Size = I64();
    id.m_dev = U64();
    id.m_ino = U64();
    id.m_i64MtimeNs = I64();
    id.m_bValid = m_bOk;
    return id;
}

bool ParseFrameHeader(const std::uint8_t* p, std::uint32_t* pnType, std::uint32_t* pnLength) {
    *pnType = static_cast<std::uint32_t>(GetLe(p, 4));
    *pnLength = static_cast<std::uint32_t>(GetLe(p + 4, 4));
    return *pnLength <= kMaxBody;
}

std::vector<std::uint8_t> HelloFrame() {
    std::vector<std::uint8_t> out(kMagic, kMagic + sizeof kMagic);
    FrameBuilder f(kMsgHello);
    const auto& b = f.U32(kProtocolVersion).Str(ProgramVersion()).Bytes();
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

bool DecodeHello(const std::uint8_t* p, std::size_t n, std::uint32_t* pnProtocol,
                 std::string* pVersion) {
    BodyReader r(p, n);
    *pnProtocol = r.U32();
    std::string v = r.Str(64);
    if (!r.Done())
        return false;
    // Shown to the user: only what a version is made of.
    for (char& c : v)
        if (!(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') &&
            c != '.' && c != '-' && c != '+' && c != '~')
            c = '?';
    *pVersion = std::move(v);
    return true;
}

bool DecodeOpened(const std::uint8_t* p, std::size_t n, platform::FileIdentity* pId) {
    BodyReader r(p, n);
    *pId = r.Identity();
    return r.Done() && ValidIdentity(*pId);
}

bool DecodeRefused(const std::uint8_t* p, std::size_t n, bool* pbExists, platform::FileKind* pKind,
                   int* pnErrno) {
    BodyReader r(p, n);
    const std::uint8_t exists = r.U8();
    const std::uint8_t kind = r.U8();
    const std::int32_t err = r.I32();
    if (!r.Done() || exists > 1 || kind > static_cast<std::uint8_t>(platform::FileKind::Other) ||
        err < 0)
        return false;
    *pbExists = exists == 1;
    *pKind = static_cast<platform::FileKind>(kind);
    *pnErrno = err;
    return true;
}

bool DecodeDigestsReply(const std::uint8_t* p, std::size_t n, std::int64_t i64Begin,
                        std::int64_t i64End, std::uint32_t nLeaf, LeafDigest* out) {
    BodyReader r(p, n);
    const std::int64_t begin = r.I64();
    const std::int64_t end = r.I64();
    const std::uint32_t leaf = r.U32();
    const std::uint32_t count = r.U32();
    if (!r.Ok() || begin != i64Begin || end != i64End || leaf != nLeaf || nLeaf == 0 ||
        end < begin || count != LeafDigester::LeafCount(end - begin, nLeaf))
        return false;
    const std::uint8_t* d = r.Raw(static_cast<std::size_t>(count) * kDigestSize);
    if (!r.Done())
        return false;
    std::memcpy(out, d, static_cast<std::size_t>(count) * kDigestSize);
    return true;
}

bool DecodeBytesReply(const std::uint8_t* p, std::size_t n, std::int64_t i64Begin,
                      std::uint32_t nBytes, std::uint8_t* out) {
    BodyReader r(p, n);
    const std::int64_t begin = r.I64();
    const std::uint32_t count = r.U32();
    if (!r.Ok() || begin != i64Begin || count != nBytes)
        return false;
    const std::uint8_t* d = r.Raw(count);
    if (!r.Done())
        return false;
    if (count != 0)
        std::memcpy(out, d, count);
    return true;
}

bool DecodeReadFailed(const std::uint8_t* p, std::size_t n, int* pnErrno) {
    BodyReader r(p, n);
    const std::int32_t err = r.I32();
    if (!r.Done() || err < 0)
        return false;
    *pnErrno = err;
    return true;
}

bool DecodeStatReply(const std::uint8_t* p, std::size_t n, platform::FileIdentity* pId,
                     bool* pbUnchanged) {
    BodyReader r(p, n);
    const std::uint8_t unchanged = r.U8();
    *pId = r.Identity();
    if (!r.Done() || unchanged > 1 || !ValidIdentity(*pId))
        return false;
    *pbUnchanged = unchanged == 1;
    return true;
}

bool DecodeStoreTaken(const std::uint8_t* p, std::size_t n, std::int64_t i64Expected) {
    BodyReader r(p, n);
    const std::int64_t held = r.I64();
    return r.Done() && held == i64Expected;
}

bool DecodeSynced(const std::uint8_t* p, std::size_t n, int* pnErrno) {
    return DecodeReadFailed(p, n, pnErrno);
}

bool DecodeText(const std::uint8_t* p, std::size_t n, std::string* pText) {
    BodyReader r(p, n);
    std::string s = r.Str(kMaxText);
    if (!r.Done())
        return false;
    // A hostile server must not drive the user's terminal.
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    *pText = std::move(s);
    return true;
}

void PutWriterCounts(FrameBuilder* f, const WriterCounts& c) {
    f->U8(c.m_bOk ? 1 : 0)
        .I64(c.m_i64From)
        .I64(c.m_i64To)
        .I64(c.m_i64Other)
        .I64(c.m_i64FirstBad)
        .U8(c.m_bFirstBadInside ? 1 : 0)
        .U8(c.m_bFirstBadHeld)
        .I64(c.m_i64FirstFrom)
        .U8(c.m_bCounted ? 1 : 0)
        .I64(c.m_i64FileSize)
        .I64(c.m_i64Written)
        .I64(c.m_i64ToBefore)
        .I32(c.m_nFailure)
        .I32(c.m_nErrno)
        .I64(c.m_i64FailAdrs);
}

bool DecodeWriterCounts(const std::uint8_t* p, std::size_t n, std::int64_t i64Records,
                        WriterCounts* pCounts) {
    BodyReader r(p, n);
    WriterCounts c;
    const std::uint8_t ok = r.U8();
    c.m_i64From = r.I64();
    c.m_i64To = r.I64();
    c.m_i64Other = r.I64();
    c.m_i64FirstBad = r.I64();
    const std::uint8_t inside = r.U8();
    c.m_bFirstBadHeld = r.U8();
    c.m_i64FirstFrom = r.I64();
    const std::uint8_t counted = r.U8();
    c.m_i64FileSize = r.I64();
    c.m_i64Written = r.I64();
    c.m_i64ToBefore = r.I64();
    c.m_nFailure = r.I32();
    c.m_nErrno = r.I32();
    c.m_i64FailAdrs = r.I64();
    if (!r.Done() || ok > 1 || inside > 1 || counted > 1)
        return false;
    auto count = [&](std::int64_t v) { return v >= 0 && v <= i64Records; };
    auto index = [&](std::int64_t v) { return v >= -1 && v < i64Records; };
    if (!count(c.m_i64From) || !count(c.m_i64To) || !count(c.m_i64Other) ||
        !count(c.m_i64Written) || !count(c.m_i64ToBefore) ||
        c.m_i64From + c.m_i64To + c.m_i64Other > i64Records || !index(c.m_i64FirstBad) ||
        !index(c.m_i64FirstFrom) || c.m_i64FileSize < -1 || c.m_i64FailAdrs < -1 ||
        c.m_nFailure < 0 || c.m_nFailure > 5 || c.m_nErrno < 0)
        return false;
    c.m_bOk = ok == 1;
    c.m_bFirstBadInside = inside == 1;
    c.m_bCounted = counted == 1;
    *pCounts = c;
    return true;
}

} // namespace remote
