#include "util/FileErrorText.h"

const char* FileErrorCauseText(int nCause) {
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
    return nCause >= 0 && nCause <= 14 ? kCauseTexts[nCause] : "Unknown Error";
}

int GetFileErrorText(std::string* pStrMessage, const platform::FileError* pError) {
    const int cause = pError ? pError->m_cause : platform::kCauseNone;
    if (cause == platform::kCauseNone)
        return 1;
    const std::string message =
        std::string("ファイルをオープンできません\n") + FileErrorCauseText(cause);
    if (pStrMessage)
        *pStrMessage = message;
    return 0;
}
