#include "util/FileErrorText.h"

#include <gtest/gtest.h>

namespace {

std::string TextFor(int cause, int* result) {
    std::string text = "untouched";
    platform::FileError error;
    error.m_cause = cause;
    *result = GetFileErrorText(&text, &error);
    return text;
}

TEST(FileErrorText, EveryCauseOpensWithTheSameSentence) {
    const std::pair<int, const char*> table[] = {
        {1, "未定義エラー"},
        {2, "ファイル未定義"},
        {5, "ファイル アクセス禁止"},
        {11, "SHARE.EXE 未ロードまたは共有領域ロック済み"},
        {13, "ディスク フル"},
        {14, "ファイルの終わりに到達"},
        {15, "Unknown Error"},
        {-1, "Unknown Error"},
    };
    for (auto [cause, text] : table) {
        int result = -5;
        EXPECT_EQ(TextFor(cause, &result), std::string("ファイルをオープンできません\n") + text)
            << "cause " << cause;
        EXPECT_EQ(result, 0);
    }
}

TEST(FileErrorText, CauseNoneLeavesTheTextAlone) {
    int result = -5;
    EXPECT_EQ(TextFor(0, &result), "untouched");
    EXPECT_EQ(result, 1);
}

} // namespace
