#include "platform/Format.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using platform::Format;

TEST(Format, I64ConversionsTakeA64BitValue) {
    const std::int64_t k2p32 = 1ll << 32, k2p40 = 1ll << 40;
    const std::pair<std::string, std::string> table[] = {
        {Format("%I64d", k2p32 + 5), "4294967301"},
        {Format("%I64d", -k2p40), "-1099511627776"},
        {Format("%010I64X", std::int64_t{0xAB}), "00000000AB"},
        {Format("%010I64X", k2p32 * 0x12 + 0x3456789A), "123456789A"},
        {Format("%010I64X", k2p40), "10000000000"}, // wider than 10: not cut
        {Format("%015I64d", k2p32), "000004294967296"},
        {Format("%015I64d", std::int64_t{0}), "000000000000000"},
        {Format("%15I64d", k2p40), "  1099511627776"},
        {Format("%I64u", std::uint64_t{0xFFFFFFFFFFFFFFFFull}), "18446744073709551615"},
        {Format("%%"), "%"},
        {Format("100%%[%I64d]", std::int64_t{7}), "100%[7]"},
        // The halves stay in their places when other conversions sit around a 64-bit one.
        {Format("%010I64X %02X %02X %015I64d", k2p40 + 1, 0x0A, 0xFF, k2p32 + 2),
         "10000000001 0A FF 000004294967298"},
        {Format("□　FreeSize= %I64d / UsedSize= %I64d", k2p40, std::int64_t{3}),
         "□　FreeSize= 1099511627776 / UsedSize= 3"},
        {Format("[%s]", "表"), "[表]"},
        {Format("%0X", 0u), "0"},
    };
    for (const auto& [got, want] : table)
        EXPECT_EQ(got, want);
}

// The hand-made conversions of the per-difference lines write what Format writes.
TEST(Format, PutHexAndPutDecAgreeWithFormat) {
    const std::int64_t values[] = {0, 9, 10, 15, 0xAB, 0x7F, 999999, 1000000, 0x0123456789ABCDEF,
                                   -1, INT64_MIN, INT64_MAX};
    for (const std::int64_t v : values) {
        SCOPED_TRACE(v);
        char out[32];
        for (const int width : {2, 10, 15}) {
            const std::string hex = Format("%0*I64X", width, v);
            EXPECT_EQ(std::string(out, platform::PutHex(out, static_cast<std::uint64_t>(v), width)),
                      hex);
            EXPECT_EQ(std::string(out, platform::PutDec(out, v, width)),
                      Format("%0*I64d", width, v));
        }
    }
}

TEST(Format, LongFormatsAndResultsAreWhole) {
    const std::string pad(3000, 'x');
    EXPECT_EQ(Format((pad + "[%I64d]").c_str(), std::int64_t{1} << 33), pad + "[8589934592]");
    const std::string big(5000, 'y');
    EXPECT_EQ(Format("<%s>", big.c_str()), "<" + big + ">");
}

TEST(Format, FormatToReusesTheString) {
    std::string out(200, 'z');
    platform::FormatTo(out, "%I64d", std::int64_t{-3});
    EXPECT_EQ(out, "-3");
    platform::FormatTo(out, "%s%s", std::string(100, 'a').c_str(), std::string(300, 'b').c_str());
    EXPECT_EQ(out, std::string(100, 'a') + std::string(300, 'b'));
}

} // namespace
