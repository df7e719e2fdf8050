// The result log: its exact bytes, how it reaches the disk, and what it names.
#include "EngineHarness.h"

#include <gtest/gtest.h>

namespace enginetest {
namespace {

TEST(ResultLog, SmallRunWritesHeaderOneLinePerDifferenceAndClosingLines) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    std::string bytesA(1000, 'x'), bytesB = bytesA;
    bytesA[0] = 0x00;
    bytesB[0] = static_cast<char>(0xFF);
    bytesA[416] = 0x4F;
    bytesB[416] = 0x6F;
    bytesA[999] = 0x01;
    bytesB[999] = 0x02;
    WriteFile(a, bytesA);
    WriteFile(b, bytesB);

    ASSERT_EQ(r.Run(a, b, r.Log()), 0);

    const std::string expected = ExpectedHeader(a, 1000, b, 1000, r.Log()) + Line(0, 0x00, 0xFF) +
                                 Line(416, 0x4F, 0x6F) + Line(999, 0x01, 0x02);
    const std::string log = ReadFile(r.Log());
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(log.substr(0, expected.size()), expected);
    EXPECT_TRUE(IsFooter(log.substr(expected.size()))) << log.substr(expected.size());
    EXPECT_NE(log.find("00000001A0 h :   4F      6F\r\n"), std::string::npos);
}

TEST(ResultLog, HeaderIsFourWritesAndEveryDifferenceIsAWriteOfItsOwn) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 3000, {5, 6, 2999});

    ASSERT_EQ(r.Run(a, b, r.Log()), 0);

    const std::string header = ExpectedHeader(a, 3000, b, 3000, r.Log());
    const std::vector<std::size_t> writes = r.ui.Writes(r.Log());
    ASSERT_EQ(writes.size(), 4u + 3u + 1u);
    // Lines 1-5, line 6, lines 7-9, lines 10-11.
    const std::size_t line5End = header.find("Byte\r\n") + 6;
    const std::size_t line6End = header.find("Byte\r\n", line5End) + 6;
    const std::size_t line9End = header.find("   Address");
    EXPECT_EQ(writes[0], line5End);
    EXPECT_EQ(writes[1], line6End - line5End);
    EXPECT_EQ(writes[2], line9End - line6End);
    EXPECT_EQ(writes[3], header.size() - line9End);
    for (int i = 4; i < 7; ++i)
        EXPECT_EQ(writes[i], Line(0, 0, 0).size());
    // With room to spare, the log's disk is measured at the first difference only; the lines
    // after it are counted off that figure.
    EXPECT_EQ(r.ui.FreeQueries(), 1u);
}

TEST(ResultLog, NoDifferencesGivesHeaderThenClosingLines) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 4096, {});
    ASSERT_EQ(r.Run(a, b, r.Log()), 0);
    const std::string header = ExpectedHeader(a, 4096, b, 4096, r.Log());
    const std::string log = ReadFile(r.Log());
    ASSERT_EQ(log.substr(0, header.size()), header);
    EXPECT_TRUE(IsFooter(log.substr(header.size())));
}

TEST(ResultLog, PathsAreWrittenWholeInCp932HoweverLong) {
    EngineRun r;
    // A folder name in Japanese and a log path far beyond 260 bytes, which no work area may cut.
    std::string fold = r.dir / "比較データ";
    std::filesystem::create_directory(fold);
    std::string deep = fold;
    for (int i = 0; i < 6; ++i) {
        deep += "/" + std::string(60, static_cast<char>('a' + i));
        std::filesystem::create_directory(deep);
    }
    const std::string a = fold + "/ファイルA.bin", b = fold + "/ファイルB.bin";
    const std::string log = deep + "/結果.txt";
    ASSERT_GT(log.size(), 400u);
    MakePair(a, b, 10, {3});

    ASSERT_EQ(r.Run(a, b, log), 0);

    const std::string expected = ExpectedHeader(a, 10, b, 10, log) + Line(3, 0, 0x5A);
    const std::string bytes = ReadFile(log);
    EXPECT_EQ(bytes.substr(0, expected.size()), expected);
    // The Japanese names are stored as Shift_JIS: "比較" is 0x94 0xE4 0x8A 0x72.
    EXPECT_NE(bytes.find("\x94\xE4\x8A\x72"), std::string::npos);
}

TEST(ResultLog, ExistingLogIsEmptiedBeforeTheHeaderAfterYes) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 10, {});
    WriteFile(r.Log(), std::string(100000, '\x07'));
    r.ui.QueueAnswer(IDOK);

    ASSERT_EQ(r.Run(a, b, r.Log()), 0);

    const std::string log = ReadFile(r.Log());
    EXPECT_EQ(log.find('\x07'), std::string::npos);
    EXPECT_EQ(log.substr(0, 50), std::string(50, '*'));
    const auto asked = r.ui.EventsOf(UiEvent::Kind::Overwrite);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].m_strText,
              "※同名のログファイル\r\n[ " + r.Log() + " ]\r\nが存在します。上書きしますか?");
}

TEST(ResultLog, SizesThatDifferCompareTheCommonLengthOnly) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    WriteFile(a, "0123456789");
    WriteFile(b, "0123456789XY");

    ASSERT_EQ(r.Run(a, b, r.Log()), 0);

    EXPECT_NE(r.prog.Trace().find(OnDisk(
                  "※　ファイルサイズが異なるので\n\t[ 10 ]Byte\n部分の比較をします。\n")),
              std::string::npos);
    const std::string header = ExpectedHeader(a, 10, b, 12, r.Log());
    const std::string log = ReadFile(r.Log());
    ASSERT_EQ(log.substr(0, header.size()), header);
    EXPECT_TRUE(IsFooter(log.substr(header.size()))); // bytes 10 and 11 of B are not reported
    const auto boxes = r.ui.BoxTexts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "壊れたデータはありませんでした\n\n"
                        "FILE A :              10 BYTE\n"
                        "FILE B :              12 BYTE\n"
                        "SEARCH :              10 BYTE\n\n"
                        "※ファイルサイズが異なるので、同じファイルではありません。\n"
                        "FILE A の方が短く、\n共通部分 (先頭の 10 バイト) は一致しています。");
    EXPECT_EQ(r.ui.EventsOf(UiEvent::Kind::Box)[0].m_icon, ui::BoxIcon::Exclamation);
}

TEST(ResultLog, SizesOfFifteenDigitsAndMoreAreNotCut) {
    EngineRun r;
    const std::string a = r.File("a.bin"), b = r.File("b.bin");
    MakePair(a, b, 16, {});
    // The header shows the sizes the main window measured, whatever they are.
    FILEDATA data;
    data.strFileA = a;
    data.strFileB = b;
    data.strLogFile = r.Log();
    data.nSizeMode = SIZE_EQUAL;
    data.i64SizeA = 123456789012345678;
    data.i64SizeB = 999999999999999;
    r.engine->SetFileDataEx(&data);
    platform::FileError err;
    ASSERT_TRUE(r.engine->m_fileLog.Open(r.Log(), platform::CTextFile::modeWrite, &err));
    r.engine->WriteLogHeader();
    r.engine->m_fileLog.Close();
    const std::string log = ReadFile(r.Log());
    EXPECT_NE(log.find(" \t/ Size 123456789012345678 Byte\r\n"), std::string::npos);
    EXPECT_NE(log.find(" \t/ Size 999999999999999 Byte\r\n"), std::string::npos);
}

} // namespace
} // namespace enginetest
