#include "util/FileErrorText.h"

int GetFileErrorText(std::string* pStrMessage, const platform::FileError* pError) {
    static const char* const kCauseTexts[] = {
        "",
        "未定義エラー",
        "ファイル未定義",
        "不正パス",
        "オープン ファイル数超過",
        "ファイル アクセス禁止",
        "不正ファイル ハンドル使用",
        "作業中のカレント ディレクトリの削除不可",
        "ディレクトリ フル",
        "ファイル ポインタ設定エラー",
        "ハードウェア エラー",
        "SHARE.EXE 未ロードまたは共有領域ロック済み",
        "ロック済み領域のロック要求",
        "ディスク フル",
        "ファイルの終わりに到達",
    };
    std::string message = "ファイルをオープンできません\n";
    const int cause = pError ? pError->m_cause : platform::kCauseNone;
    if (cause == platform::kCauseNone)
        return 1;
    if (cause >= 1 && cause <= 14)
        message += kCauseTexts[cause];
    else
        message += "Unknown Error";
    if (pStrMessage)
        *pStrMessage = message;
    return 0;
}
