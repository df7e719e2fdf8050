// The client's decoders against replies that do not answer what was asked.
#include "remote/Protocol.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace remote;
using Body = std::vector<std::uint8_t>;

Body BodyOf(FrameBuilder& f) {
    const auto& b = f.Bytes();
    return Body(b.begin() + kFrameHeader, b.end());
}

Body Digests(std::int64_t begin, std::int64_t end, std::uint32_t leaf, std::uint32_t count,
             std::size_t nDigestBytes) {
    FrameBuilder f(kMsgDigestsReply);
    f.I64(begin).I64(end).U32(leaf).U32(count);
    return BodyOf(f.Raw(std::string(nDigestBytes, 'd').data(), nDigestBytes));
}

Body Bytes(std::int64_t begin, std::uint32_t n, std::size_t nData) {
    FrameBuilder f(kMsgBytesReply);
    return BodyOf(f.I64(begin).U32(n).Raw(std::string(nData, 'b').data(), nData));
}

Body Counts(const WriterCounts& c) {
    FrameBuilder f(kMsgWriterCounts);
    PutWriterCounts(&f, c);
    return BodyOf(f);
}

Body Plus(Body b, std::uint8_t extra) {
    b.push_back(extra);
    return b;
}

Body Minus(Body b) {
    b.pop_back();
    return b;
}

// Asked: the digests of [0, 100000) in 64 KiB leaves (two), and 10 bytes at 4096.
bool AskedDigests(const Body& b) {
    LeafDigest out[2];
    return DecodeDigestsReply(b.data(), b.size(), 0, 100000, kLeafSize, out);
}
bool AskedBytes(const Body& b) {
    std::uint8_t out[10];
    return DecodeBytesReply(b.data(), b.size(), 4096, 10, out);
}
bool AskedCounts(const Body& b) {
    WriterCounts c;
    return DecodeWriterCounts(b.data(), b.size(), 100, &c);
}

struct ReplyCase {
    const char* m_pName;
    std::function<bool(const Body&)> m_decode;
    Body m_body;
    bool m_bAccepted;
};

WriterCounts SoundCounts() {
    WriterCounts c;
    c.m_bOk = true;
    c.m_i64From = 60;
    c.m_i64To = 40;
    c.m_i64Written = 60;
    c.m_i64FileSize = 1 << 20;
    return c;
}

WriterCounts With(std::function<void(WriterCounts&)> change) {
    WriterCounts c = SoundCounts();
    change(c);
    return c;
}

std::vector<ReplyCase> Cases() {
    const Body digests = Digests(0, 100000, kLeafSize, 2, 2 * kDigestSize);
    const Body bytes = Bytes(4096, 10, 10);
    FrameBuilder opened(kMsgOpened);
    platform::FileIdentity id;
    id.m_i64Size = 5;
    const Body openedBody = BodyOf(opened.Identity(id));
    id.m_i64Size = -1;
    FrameBuilder negative(kMsgOpened);
    const Body negativeSize = BodyOf(negative.Identity(id));
    auto refused = [](std::uint8_t exists, std::uint8_t kind, std::int32_t err) {
        FrameBuilder f(kMsgRefused);
        return BodyOf(f.U8(exists).U8(kind).I32(err));
    };
    auto decodeRefused = [](const Body& b) {
        bool bExists = false;
        platform::FileKind kind{};
        int err = 0;
        return DecodeRefused(b.data(), b.size(), &bExists, &kind, &err);
    };
    auto decodeOpened = [](const Body& b) {
        platform::FileIdentity got;
        return DecodeOpened(b.data(), b.size(), &got);
    };
    auto decodeStat = [](const Body& b) {
        platform::FileIdentity got;
        bool bUnchanged = false;
        return DecodeStatReply(b.data(), b.size(), &got, &bUnchanged);
    };
    auto decodeFailed = [](const Body& b) {
        int err = 0;
        return DecodeReadFailed(b.data(), b.size(), &err);
    };
    auto decodeText = [](const Body& b) {
        std::string s;
        return DecodeText(b.data(), b.size(), &s);
    };
    auto stat = [&](std::uint8_t unchanged) {
        FrameBuilder f(kMsgStatReply);
        platform::FileIdentity i;
        return BodyOf(f.U8(unchanged).Identity(i));
    };
    auto text = [](std::uint32_t claimed, std::size_t n) {
        FrameBuilder f(kMsgNote);
        return BodyOf(f.U32(claimed).Raw(std::string(n, 't').data(), n));
    };
    auto failed = [](std::int32_t err) {
        FrameBuilder f(kMsgReadFailed);
        return BodyOf(f.I32(err));
    };
    return {
        {"digests as asked", AskedDigests, digests, true},
        {"digests of another begin", AskedDigests, Digests(1, 100000, kLeafSize, 2, 64), false},
        {"digests of another end", AskedDigests, Digests(0, 100001, kLeafSize, 2, 64), false},
        {"digests in other leaves", AskedDigests, Digests(0, 100000, 4096, 2, 64), false},
        {"one digest too many", AskedDigests, Digests(0, 100000, kLeafSize, 3, 96), false},
        {"one digest too few", AskedDigests, Digests(0, 100000, kLeafSize, 1, 32), false},
        {"a count past the body", AskedDigests, Digests(0, 100000, kLeafSize, 0xFFFFFFFF, 64),
         false},
        {"digests cut short", AskedDigests, Minus(digests), false},
        {"digests with a byte more", AskedDigests, Plus(digests, 0), false},
        {"bytes as asked", AskedBytes, bytes, true},
        {"bytes of another offset", AskedBytes, Bytes(4097, 10, 10), false},
        {"bytes of another length", AskedBytes, Bytes(4096, 11, 11), false},
        {"bytes cut short", AskedBytes, Minus(bytes), false},
        {"bytes with a byte more", AskedBytes, Plus(bytes, 0), false},
        {"an empty reply", AskedBytes, Body{}, false},
        {"an opened file", decodeOpened, openedBody, true},
        {"a negative size", decodeOpened, negativeSize, false},
        {"an opened file with a byte more", decodeOpened, Plus(openedBody, 1), false},
        {"a refusal", decodeRefused, refused(1, 4, 6), true},
        {"a refusal of an unknown kind", decodeRefused, refused(1, 7, 6), false},
        {"a refusal neither there nor not", decodeRefused, refused(2, 0, 2), false},
        {"a refusal with a negative errno", decodeRefused, refused(0, 0, -1), false},
        {"a read failure", decodeFailed, failed(5), true},
        {"a negative read failure", decodeFailed, failed(-5), false},
        {"a stat", decodeStat, stat(1), true},
        {"a stat neither changed nor not", decodeStat, stat(2), false},
        {"a text", decodeText, text(3, 3), true},
        {"a text longer than its body", decodeText, text(4, 3), false},
        {"a text beyond the limit", decodeText, text(kMaxText + 1, kMaxText + 1), false},
        {"writer counts", AskedCounts, Counts(SoundCounts()), true},
        {"more changed than asked", AskedCounts, Counts(With([](auto& c) { c.m_i64From = 101; })),
         false},
        {"counts adding up past the records", AskedCounts,
         Counts(With([](auto& c) { c.m_i64Other = 1; })), false},
        {"a record index past the records", AskedCounts,
         Counts(With([](auto& c) { c.m_i64FirstBad = 100; })), false},
        {"a negative count", AskedCounts, Counts(With([](auto& c) { c.m_i64Written = -1; })),
         false},
        {"an unknown failure", AskedCounts, Counts(With([](auto& c) { c.m_nFailure = 6; })),
         false},
    };
}

TEST(ProtocolTest, AcceptsOnlyWhatAnswersTheRequest) {
    for (const ReplyCase& c : Cases())
        EXPECT_EQ(c.m_decode(c.m_body), c.m_bAccepted) << c.m_pName;
}

TEST(ProtocolTest, RefusesAFrameLongerThanAnyReplyAndMakesTextsSafeToPrint) {
    FrameBuilder f(kMsgBytesReply);
    auto header = f.Bytes();
    std::uint32_t nType = 0, nLength = 0;
    EXPECT_TRUE(ParseFrameHeader(header.data(), &nType, &nLength));
    EXPECT_EQ(nType, kMsgBytesReply);
    header[4] = 0xff; // the length's low byte: still within the limit
    EXPECT_TRUE(ParseFrameHeader(header.data(), &nType, &nLength));
    header[7] = 0x01; // 16 MiB and more
    EXPECT_FALSE(ParseFrameHeader(header.data(), &nType, &nLength));

    FrameBuilder note(kMsgNote);
    const Body b = BodyOf(note.Str("\x1b[2Jgone\r\n\x7f"));
    std::string s;
    ASSERT_TRUE(DecodeText(b.data(), b.size(), &s));
    EXPECT_EQ(s, "?[2Jgone???");

    FrameBuilder hello(kMsgHello);
    const Body h = BodyOf(hello.U32(kProtocolVersion).Str("2.5\x1b$(x)"));
    std::uint32_t nProtocol = 0;
    ASSERT_TRUE(DecodeHello(h.data(), h.size(), &nProtocol, &s));
    EXPECT_EQ(s, "2.5???x?");
    EXPECT_FALSE(DecodeHello(h.data(), h.size() - 1, &nProtocol, &s));
}

} // namespace
