#pragma once
// The wire between the client and `octetwatch-cli --server`. Each side first writes kMagic and
// a hello; then every message is a frame: type (u32), body length (u32), body. Integers are
// little-endian and fixed-width; a string is its length (u32) and its bytes. Every request
// gets exactly one reply, in the order asked; notes for the client's standard error may come
// between replies.
//
// The decoders take a reply body and what was asked, and accept only a reply that answers it:
// right length, right offsets, counts in range. They are the whole of what the client trusts.
#include "platform/FileStatus.h"
#include "platform/LowFile.h"
#include "remote/Digest.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace remote {

// Raised whenever the wire changes, so that two programs that would misread each other refuse.
constexpr std::uint32_t kProtocolVersion = 1;
constexpr char kMagic[8] = {'\x89', 'O', 'C', 'T', 'W', '\r', '\n', '\x1a'};
constexpr std::size_t kFrameHeader = 8;
// No body is longer: the largest is the bytes of one range, kMaxBytesAsked, and its header.
constexpr std::uint32_t kMaxBody = 1024 * 1024 + 64;
// The server's note, the reasons it gives and the texts it answers with are cut to this.
constexpr std::uint32_t kMaxText = 4096;
// Records of a store per message, and the longest path.
constexpr std::uint32_t kStoreChunk = 64 * 1024;
constexpr std::uint32_t kMaxPath = 4096;
// The largest single requests: the bytes of one range, the digests of one range.
constexpr std::uint32_t kMaxBytesAsked = 1024 * 1024;
constexpr std::uint32_t kMaxLeavesAsked = 4096;
// Leaves larger than this are not asked for, so that the server's read buffer stays small.
constexpr std::uint32_t kMaxLeaf = 1024 * 1024;

enum MessageType : std::uint32_t {
    kMsgHello = 1,          // u32 protocol, string version
    kMsgOpen = 2,           // u8 mode, string path
    kMsgOpened = 3,         // identity (size, dev, ino, mtime)
    kMsgRefused = 4,        // u8 exists, u8 kind, i32 errno
    kMsgDigests = 5,        // i64 begin, i64 end, u32 leaf
    kMsgDigestsReply = 6,   // i64 begin, i64 end, u32 leaf, u32 count, count × kDigestSize
    kMsgBytes = 7,          // i64 begin, u32 n
    kMsgBytesReply = 8,     // i64 begin, u32 n, n bytes
    kMsgReadFailed = 9,     // i32 errno (0: the file ended early); the reply to either read
    kMsgStat = 10,          // (empty)
    kMsgStatReply = 11,     // u8 unchanged, identity
    kMsgStore = 12,         // u8 first, u8 fromA, i64 total, u32 count, count × (i64, u8, u8)
    kMsgStoreTaken = 13,    // i64 records held
    kMsgCheck = 14,         // (empty)
    kMsgWrite = 15,         // (empty)
    kMsgWriterCounts = 16,  // the writer's result and counts
    kMsgSync = 17,          // (empty)
    kMsgSynced = 18,        // i32 errno (0: flushed)
    kMsgNote = 19,          // string, for the client's standard error
    kMsgFailure = 20,       // string: the server cannot go on (a request it does not take)
};

// Builds one frame.
class FrameBuilder {
public:
    explicit FrameBuilder(std::uint32_t nType);
    FrameBuilder& U8(std::uint8_t v);
    FrameBuilder& U32(std::uint32_t v);
    FrameBuilder& I32(std::int32_t v) { return U32(static_cast<std::uint32_t>(v)); }
    FrameBuilder& U64(std::uint64_t v);
    FrameBuilder& I64(std::int64_t v) { return U64(static_cast<std::uint64_t>(v)); }
    FrameBuilder& Str(const std::string& s);
    FrameBuilder& Raw(const void* p, std::size_t n);
    FrameBuilder& Identity(const platform::FileIdentity& id);
    // The finished frame, its length filled in.
    const std::vector<std::uint8_t>& Bytes();

private:
    std::vector<std::uint8_t> m_b;
};

// Reads a body field by field; any read past its end makes it !Ok() and yields zeros.
class BodyReader {
public:
    BodyReader(const std::uint8_t* p, std::size_t n) : m_p(p), m_n(n) {}
    std::uint8_t U8();
    std::uint32_t U32();
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    std::uint64_t U64();
    std::int64_t I64() { return static_cast<std::int64_t>(U64()); }
    // A string no longer than nMax.
    std::string Str(std::uint32_t nMax);
    const std::uint8_t* Raw(std::size_t n);
    platform::FileIdentity Identity();
    bool Ok() const { return m_bOk; }
    // Every byte read, none left over.
    bool Done() const { return m_bOk && m_nPos == m_n; }

private:
    const std::uint8_t* m_p;
    std::size_t m_n;
    std::size_t m_nPos = 0;
    bool m_bOk = true;
};

// A frame's header: false when the length is beyond kMaxBody.
bool ParseFrameHeader(const std::uint8_t* p, std::uint32_t* pnType, std::uint32_t* pnLength);

// The hello each side sends after kMagic.
std::vector<std::uint8_t> HelloFrame();
bool DecodeHello(const std::uint8_t* p, std::size_t n, std::uint32_t* pnProtocol,
                 std::string* pVersion);
// This program's version, as the hello carries it.
const char* ProgramVersion();

// The reply decoders. Each is false for anything but a well-formed answer to what was asked.
bool DecodeOpened(const std::uint8_t* p, std::size_t n, platform::FileIdentity* pId);
bool DecodeRefused(const std::uint8_t* p, std::size_t n, bool* pbExists, platform::FileKind* pKind,
                   int* pnErrno);
bool DecodeDigestsReply(const std::uint8_t* p, std::size_t n, std::int64_t i64Begin,
                        std::int64_t i64End, std::uint32_t nLeaf, LeafDigest* out);
bool DecodeBytesReply(const std::uint8_t* p, std::size_t n, std::int64_t i64Begin,
                      std::uint32_t nBytes, std::uint8_t* out);
bool DecodeReadFailed(const std::uint8_t* p, std::size_t n, int* pnErrno);
bool DecodeStatReply(const std::uint8_t* p, std::size_t n, platform::FileIdentity* pId,
                     bool* pbUnchanged);
bool DecodeStoreTaken(const std::uint8_t* p, std::size_t n, std::int64_t i64Expected);
bool DecodeSynced(const std::uint8_t* p, std::size_t n, int* pnErrno);
// A text from the server, made safe to print: control characters become '?'.
bool DecodeText(const std::uint8_t* p, std::size_t n, std::string* pText);

// The in-place writer's outcome as it crosses the wire.
struct WriterCounts {
    bool m_bOk = false;
    std::int64_t m_i64From = 0, m_i64To = 0, m_i64Other = 0;
    std::int64_t m_i64FirstBad = -1;
    bool m_bFirstBadInside = false;
    std::uint8_t m_bFirstBadHeld = 0;
    std::int64_t m_i64FirstFrom = -1;
    bool m_bCounted = false;
    std::int64_t m_i64FileSize = -1;
    std::int64_t m_i64Written = 0;
    std::int64_t m_i64ToBefore = 0;
    std::int32_t m_nFailure = 0;
    std::int32_t m_nErrno = 0;
    std::int64_t m_i64FailAdrs = -1;
};
void PutWriterCounts(FrameBuilder* f, const WriterCounts& c);
// `i64Records`: how many records the server was given; no count may exceed it.
bool DecodeWriterCounts(const std::uint8_t* p, std::size_t n, std::int64_t i64Records,
                        WriterCounts* pCounts);

} // namespace remote
