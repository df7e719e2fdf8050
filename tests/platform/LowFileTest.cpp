#include "platform/LowFile.h"
#include "support/ScriptedUi.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace testsupport;
using namespace platform;
using namespace support;

namespace {

// Closes the handle however the test ends.
struct Fd {
    int m_fd;
    ~Fd() {
        if (m_fd >= 0)
            FileClose(m_fd);
    }
};

TEST(LowFile, OpeningAFolderFails) {
    TempDir dir;
    for (int flags : {int{kOpenRead}, int{kOpenWrite}, int{kOpenReadWrite}}) {
        EXPECT_EQ(FileOpen(dir.Str(), flags), -1) << flags;
        EXPECT_EQ(LastError(), EISDIR) << flags;
    }
}

TEST(LowFile, NoWriteBitMeansReadOnlyEvenForRoot) {
    TempDir dir;
    WriteFile(dir / "ro.bin", "data");
    MakeReadOnly(dir / "ro.bin");
    for (int flags : {int{kOpenWrite}, int{kOpenReadWrite}, kOpenWrite | kOpenAppend | kOpenCreate}) {
        EXPECT_EQ(FileOpen(dir / "ro.bin", flags), -1) << flags;
        EXPECT_EQ(LastError(), EACCES) << flags;
    }
    Fd in{FileOpen(dir / "ro.bin", kOpenRead)};
    ASSERT_GE(in.m_fd, 0);
    char buf[8];
    EXPECT_EQ(FileRead(in.m_fd, buf, sizeof buf), 4);
    EXPECT_EQ(ReadFile(dir / "ro.bin"), "data");
}

TEST(LowFile, SeeksPastFourGiB) {
    TempDir dir;
    const std::int64_t k5G = 5ll << 30;
    MakeSparse(dir / "big.bin", k5G + 16);
    PokeByte(dir / "big.bin", k5G + 3, 0xAB);
    Fd f{FileOpen(dir / "big.bin", kOpenReadWrite)};
    ASSERT_GE(f.m_fd, 0);
    EXPECT_EQ(FileSeek(f.m_fd, 0, kSeekEnd), k5G + 16);
    EXPECT_EQ(FileSeek(f.m_fd, k5G + 3, kSeekSet), k5G + 3);
    unsigned char b = 0;
    EXPECT_EQ(FileRead(f.m_fd, &b, 1), 1);
    EXPECT_EQ(b, 0xAB);
    EXPECT_EQ(FileTell(f.m_fd), k5G + 4);
    EXPECT_EQ(FileSeek(f.m_fd, -(1ll << 32), kSeekCur), k5G + 4 - (1ll << 32));
    EXPECT_EQ(FileSeek(f.m_fd, k5G + 10, kSeekSet), k5G + 10);
    const unsigned char cd = 0xCD;
    EXPECT_EQ(FileWrite(f.m_fd, &cd, 1), 1);
    EXPECT_EQ(FileSeek(f.m_fd, -7, kSeekEnd), k5G + 9);
    unsigned char three[3] = {};
    EXPECT_EQ(FileRead(f.m_fd, three, 3), 3);
    EXPECT_EQ(three[1], 0xCD);
    EXPECT_EQ(fs::file_size(dir / "big.bin"), static_cast<std::uintmax_t>(k5G + 16));
}

TEST(LowFile, ShortCountOnlyAtTheEnd) {
    TempDir dir;
    WriteFile(dir / "ten.bin", "0123456789");
    Fd f{FileOpen(dir / "ten.bin", kOpenRead)};
    char buf[100];
    EXPECT_EQ(FileRead(f.m_fd, buf, 4), 4);
    EXPECT_EQ(FileRead(f.m_fd, buf, sizeof buf), 6);
    EXPECT_EQ(FileRead(f.m_fd, buf, sizeof buf), 0);
    EXPECT_EQ(FileRead(-1, buf, 1), -1);
    EXPECT_EQ(FileClose(-1), -1);
    EXPECT_EQ(LastError(), EBADF);
}

TEST(LowFile, IdentityIgnoresSpelling) {
    TempDir dir;
    WriteFile(dir / "a.bin", "a");
    WriteFile(dir / "b.bin", "b");
    Fd f{FileOpen(dir / "a.bin", kOpenRead)};
    EXPECT_TRUE(IdentityOfPath(dir / "a.bin").SameAs(IdentityOfPath(dir / "./a.bin")));
    EXPECT_TRUE(IdentityOfHandle(f.m_fd).SameAs(IdentityOfPath(dir / "a.bin")));
    EXPECT_FALSE(IdentityOfPath(dir / "a.bin").SameAs(IdentityOfPath(dir / "b.bin")));
    EXPECT_FALSE(IdentityOfPath(dir / "none").SameAs(IdentityOfPath(dir / "none")));
}

// --- faults injected through the scripted backend -------------------------------------------------

TEST(LowFileFaults, EndReadsAtShortensTheFile) {
    TempDir dir;
    ScriptedUi ui;
    WriteFile(dir / "f.bin", std::string(1000, 'x'));
    ui.EndReadsAt(dir / "f.bin", 100);
    Fd f{FileOpen(dir / "f.bin", kOpenRead)};
    char buf[64];
    EXPECT_EQ(FileRead(f.m_fd, buf, sizeof buf), 64);
    EXPECT_EQ(FileRead(f.m_fd, buf, sizeof buf), 36);
    EXPECT_EQ(FileRead(f.m_fd, buf, sizeof buf), 0);
}

TEST(LowFileFaults, FailReadsFailsTheReadThatMeetsTheLimit) {
    TempDir dir;
    ScriptedUi ui;
    WriteFile(dir / "f.bin", std::string(1000, 'x'));
    WriteFile(dir / "g.bin", std::string(50, 'x'));
    ui.FailReads(dir / "f.bin", 100, EIO);
    ui.FailReads(dir / "g.bin", 50, EIO); // the whole file can still be read
    Fd f{FileOpen(dir / "f.bin", kOpenRead)};
    Fd g{FileOpen(dir / "g.bin", kOpenRead)};
    char buf[4096];
    EXPECT_EQ(FileRead(f.m_fd, buf, 64), 64);
    EXPECT_EQ(FileRead(f.m_fd, buf, 64), -1);
    EXPECT_EQ(LastError(), EIO);
    EXPECT_EQ(FileRead(g.m_fd, buf, sizeof buf), 50);
    EXPECT_EQ(FileRead(g.m_fd, buf, sizeof buf), 0);
}

TEST(LowFileFaults, FailWritesKeepsItsError) {
    TempDir dir;
    ScriptedUi ui;
    ui.FailWrites(dir / "full.bin", 10, ENOSPC);
    ui.FailWrites(dir / "bad.bin", 10, EIO);
    Fd full{FileOpen(dir / "full.bin", kOpenWrite | kOpenCreate)};
    Fd bad{FileOpen(dir / "bad.bin", kOpenWrite | kOpenCreate)};
    EXPECT_EQ(FileWrite(full.m_fd, "12345678", 8), 8);
    EXPECT_EQ(FileWrite(full.m_fd, "abcdefgh", 8), -1);
    EXPECT_EQ(LastError(), ENOSPC);
    EXPECT_EQ(FileWrite(full.m_fd, "z", 1), -1);
    EXPECT_EQ(LastError(), ENOSPC);
    EXPECT_EQ(ReadFile(dir / "full.bin"), "12345678ab"); // a full disk takes what fits
    EXPECT_EQ(FileWrite(bad.m_fd, "12345678", 8), 8);
    EXPECT_EQ(FileWrite(bad.m_fd, "abcdefgh", 8), -1);
    EXPECT_EQ(LastError(), EIO);
}

TEST(LowFileFaults, RealFullDisk) {
    TinyTmpfs disk(64 * 1024);
    OCTW_REQUIRE_TMPFS(disk);
    Fd f{FileOpen(disk / "fill.bin", kOpenWrite | kOpenCreate)};
    const std::string block(100 * 1024, 'x');
    EXPECT_EQ(FileWrite(f.m_fd, block.data(), block.size()), -1);
    EXPECT_EQ(LastError(), ENOSPC);
}

} // namespace
