#include "platform/Encoding.h"
#include "platform/TextFile.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

TEST(Encoding, Utf8ToCp932) {
    const std::pair<std::string, std::string> table[] = {
        {"ABC 123\r\n\t", "ABC 123\r\n\t"},
        {"表", "\x95\x5C"},
        {"ソ", "\x83\x5C"},
        {"※引数が無効。", "\x81\xA6\x88\xF8\x90\x94\x82\xAA\x96\xB3\x8C\xF8\x81\x42"},
        {"ｱ", "\xB1"},          // half-width katakana: one byte
        {"～", "\x81\x60"},
        {"a€b", "a?b"},         // not in CP932
        {"한😀", "??"},
        {"\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF",
         "\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF"}, // not UTF-8: raw
        {"\x95\x5C\\", "\x95\x5C\\"}, // CP932 bytes already
        {"x\xE8\xA1", "x\xE8\xA1"},    // a cut UTF-8 sequence
        {"\xC0\xAF", "\xC0\xAF"},      // an over-long "/" is not "/"
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& [in, want] : table)
        EXPECT_EQ(platform::Utf8ToCp932(in), want) << ::testing::PrintToString(in);
}

TEST(Encoding, Cp932ToUtf8) {
    const std::pair<std::string, std::string> table[] = {
        {"\x95\x5C\x83\x5C", "表ソ"},
        {"\xB1\xB2", "ｱｲ"},
        {"\x81\x60", "～"},
        {"\x81\n", "?\n"}, // a lead byte without its trail does not take the line end with it
        {"\x81", "?"},
        {"\xFF" "a", "?a"},
        {"plain", "plain"},
    };
    for (const auto& [in, want] : table)
        EXPECT_EQ(platform::Cp932ToUtf8(in), want) << ::testing::PrintToString(in);
}

TEST(TextFile, WritesCp932WithCrLf) {
    TempDir dir;
    platform::CTextFile file;
    ASSERT_TRUE(file.Open(dir / "log.txt", platform::CTextFile::modeWrite));
    EXPECT_TRUE(file.WriteString("表\n一行\n"));
    EXPECT_TRUE(file.WriteString(""));
    EXPECT_TRUE(file.WriteString("end"));
    file.Close();
    EXPECT_EQ(ReadFile(dir / "log.txt"), "\x95\x5C\r\n\x88\xEA\x8D\x73\r\nend");

    ASSERT_TRUE(file.Open(dir / "log.txt", platform::CTextFile::modeAppend));
    EXPECT_TRUE(file.WriteString("\n+"));
    file.Close();
    EXPECT_EQ(ReadFile(dir / "log.txt"), "\x95\x5C\r\n\x88\xEA\x8D\x73\r\nend\r\n+");

    ASSERT_TRUE(file.Open(dir / "log.txt", platform::CTextFile::modeWrite)); // truncates
    file.Close();
    EXPECT_EQ(ReadFile(dir / "log.txt"), "");
    EXPECT_FALSE(file.WriteString("closed"));
}

TEST(TextFile, ReadsCrLfAndLfLines) {
    TempDir dir;
    const std::string longLine(10000, 'L'); // spans several reads
    WriteFile(dir / "in.txt", "first\r\nsecond\n\r\n\x95\x5C\x83\x5C\r\n" + longLine + "\nlast");
    platform::CTextFile file;
    ASSERT_TRUE(file.Open(dir / "in.txt", platform::CTextFile::modeRead));
    std::vector<std::string> lines;
    std::string line;
    while (file.ReadString(line))
        lines.push_back(line);
    const std::vector<std::string> want = {"first", "second", "", "表ソ", longLine, "last"};
    EXPECT_EQ(lines, want);
    EXPECT_FALSE(file.ReadString(line));
    EXPECT_EQ(line, "");

    WriteFile(dir / "empty.txt", "");
    ASSERT_TRUE(file.Open(dir / "empty.txt", platform::CTextFile::modeRead));
    EXPECT_FALSE(file.ReadString(line));
}

} // namespace
