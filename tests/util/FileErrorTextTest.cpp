#include "util/FileErrorText.h"

#include "support/TestSupport.h"
#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

#include <cerrno>

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

// What the user reads for the errno behind a failed open or write.
TEST(FileErrorText, CauseFromErrno) {
    const std::pair<int, const char*> table[] = {
        {ENOENT, "ファイル未定義"},
        {EACCES, "ファイル アクセス禁止"},
        {EISDIR, "ファイル アクセス禁止"},
        {EROFS, "ファイル アクセス禁止"},
        {ENOSPC, "ディスク フル"},
        {EDQUOT, "ディスク フル"},
        {ENAMETOOLONG, "不正パス"},
        {ENOTDIR, "不正パス"},
        {EMFILE, "オープン ファイル数超過"},
        {EIO, "ハードウェア エラー"},
        {EBADF, "不正ファイル ハンドル使用"},
        {EXDEV, "未定義エラー"},
        {ENXIO, "ファイル アクセス禁止"}, // a named pipe or a socket
    };
    for (auto [err, text] : table) {
        int result = -5;
        EXPECT_EQ(TextFor(platform::CauseFromErrno(err), &result),
                  std::string("ファイルをオープンできません\n") + text)
            << "errno " << err;
        EXPECT_EQ(result, 0);
    }
    EXPECT_EQ(platform::CauseFromErrno(0), platform::kCauseNone);
}

// The cause a failed text-file operation reports, as the engine and the settings code get it.
TEST(FileErrorText, TextFileFailuresCarryTheirCause) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "ro.txt", "x");
    testsupport::MakeReadOnly(dir / "ro.txt");
    const struct {
        std::string path;
        platform::CTextFile::Mode mode;
        int cause;
    } table[] = {
        {dir / "missing.txt", platform::CTextFile::modeRead, platform::kCauseFileNotFound},
        {dir / "no/such.txt", platform::CTextFile::modeRead, platform::kCauseFileNotFound},
        // Creating in a folder that does not exist: a bad path, not a missing file.
        {dir / "no/such/log.txt", platform::CTextFile::modeWrite, platform::kCauseBadPath},
        {dir / "no/such/log.txt", platform::CTextFile::modeCreateReadWrite,
         platform::kCauseBadPath},
        {dir.Str(), platform::CTextFile::modeRead, platform::kCauseAccessDenied},
        {dir.Str(), platform::CTextFile::modeWrite, platform::kCauseAccessDenied},
        {dir / "ro.txt", platform::CTextFile::modeAppend, platform::kCauseAccessDenied},
        {"", platform::CTextFile::modeWrite, platform::kCauseFileNotFound},
    };
    for (const auto& t : table) {
        SCOPED_TRACE(t.path);
        platform::CTextFile file;
        platform::FileError error;
        EXPECT_FALSE(file.Open(t.path, t.mode, &error)) << t.path;
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(error.m_cause, t.cause) << t.path;
    }

    support::ScriptedUi ui;
    ui.FailWrites(dir / "full.txt", 8, ENOSPC);
    platform::CTextFile file;
    platform::FileError error;
    ASSERT_TRUE(file.Open(dir / "full.txt", platform::CTextFile::modeWrite, &error));
    EXPECT_TRUE(file.WriteString("abc\n", &error)); // 5 bytes with CR LF
    EXPECT_EQ(error.m_cause, platform::kCauseNone);
    error = {};
    EXPECT_FALSE(file.WriteString("more", &error));
    EXPECT_EQ(error.m_cause, platform::kCauseDiskFull);
    EXPECT_EQ(error.m_nOsError, ENOSPC);
    file.Close();
    EXPECT_EQ(testsupport::ReadFile(dir / "full.txt"), "abc\r\nmor"); // what fitted
}

} // namespace
