#include "engine/RunTexts.h"

#include "platform/Format.h"
#include "util/SizeText.h"

namespace {
constexpr const char* kSearchLine = "SEARCH : ";
} // namespace

std::string SummaryText(std::int64_t i64DiffCount, std::int64_t i64SizeA, std::int64_t i64SizeB,
                        std::int64_t i64SearchSize) {
    std::string text =
        i64DiffCount != 0
            ? platform::Format("%sバイトのデータが一致しませんでした。\n\n",
                               GroupedDigits(i64DiffCount).c_str())
            : std::string("壊れたデータはありませんでした\n\n");
    text += platform::Format("FILE A : %15s BYTE\n", GroupedDigits(i64SizeA).c_str());
    text += platform::Format("FILE B : %15s BYTE\n", GroupedDigits(i64SizeB).c_str());
    text += platform::Format("%s%15s BYTE", kSearchLine, GroupedDigits(i64SearchSize).c_str());
    if (i64SizeA == i64SizeB)
        return text;
    const char cShorter = i64SizeA < i64SizeB ? 'A' : 'B';
    text += "\n\n※ファイルサイズが異なるので、同じファイルではありません。\n";
    if (i64SearchSize == 0)
        return text + platform::Format("FILE %c は空のファイルです。", cShorter);
    return text + platform::Format("FILE %c の方が短く、\n共通部分 (先頭の %s バイト) %s", cShorter,
                                   GroupedDigits(i64SearchSize).c_str(),
                                   i64DiffCount == 0 ? "は一致しています。"
                                                     : "だけを比較しました。");
}

bool IsSummaryText(const std::string& strText) {
    return strText.find(std::string("\n") + kSearchLine) != std::string::npos;
}

std::string UnfinishedLogText(const std::string& strLogFile) {
    return platform::Format("ログファイル[ %s ]\nには、それまでに見つかった不一致だけが書かれています。\n"
                            "終わりの行はなく、データベースは作成していません。",
                            strLogFile.c_str());
}

std::string StoppedText(const std::string& strLogFile, bool bLogWritten) {
    if (!bLogWritten)
        return platform::Format("※比較を中止しました。\n\nファイルを開く前だったので、ログファイル[ %s ]\n"
                                "は変わっていません。",
                                strLogFile.c_str());
    return "※比較を中止しました。\n\n" + UnfinishedLogText(strLogFile);
}

std::string DiskFullText(const std::string& strLogFile) {
    return "※異なるデータがありましたが\nディスクの空き容量がありません。\n\n" +
           UnfinishedLogText(strLogFile);
}

std::string DataBasePartText(std::int64_t i64Found, std::int64_t i64Kept) {
    return platform::Format(
        "※比較で見つかった不一致 %s バイトのうち、\nデータベースに入れたのは %s バイトだけです。\n"
        "修復しても %s バイトが残ります。\n修復の後にもう一度比較して修復してください。\n",
        GroupedDigits(i64Found).c_str(), GroupedDigits(i64Kept).c_str(),
        GroupedDigits(i64Found - i64Kept).c_str());
}
