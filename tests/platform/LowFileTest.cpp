#include "platform/FileHandle.h"
#include "platform/LowFile.h"
#include "support/ScriptedUi.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace testsupport;
using namespace platform;
using namespace support;

namespace {

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
    CFileHandle in{FileOpen(dir / "ro.bin", kOpenRead)};
    ASSERT_GE(in.Get(), 0);
    char buf[8];
    EXPECT_EQ(FileRead(in.Get(), buf, sizeof buf), 4);
    EXPECT_EQ(ReadFile(dir / "ro.bin"), "data");
}

TEST(LowFile, SeeksPastFourGiB) {
    TempDir dir;
    const std::int64_t k5G = 5ll << 30;
    MakeSparse(dir / "big.bin", k5G + 16);
    PokeByte(dir / "big.bin", k5G + 3, 0xAB);
    CFileHandle f{FileOpen(dir / "big.bin", kOpenReadWrite)};
    ASSERT_GE(f.Get(), 0);
    EXPECT_EQ(FileSeek(f.Get(), 0, kSeekEnd), k5G + 16);
    EXPECT_EQ(FileSeek(f.Get(), k5G + 3, kSeekSet), k5G + 3);
    unsigned char b = 0;
    EXPECT_EQ(FileRead(f.Get(), &b, 1), 1);
    EXPECT_EQ(b, 0xAB);
    EXPECT_EQ(FileTell(f.Get()), k5G + 4);
    EXPECT_EQ(FileSeek(f.Get(), -(1ll << 32), kSeekCur), k5G + 4 - (1ll << 32));
    EXPECT_EQ(FileSeek(f.Get(), k5G + 10, kSeekSet), k5G + 10);
    const unsigned char cd = 0xCD;
    EXPECT_EQ(FileWrite(f.Get(), &cd, 1), 1);
    EXPECT_EQ(FileSeek(f.Get(), -7, kSeekEnd), k5G + 9);
    unsigned char three[3] = {};
    EXPECT_EQ(FileRead(f.Get(), three, 3), 3);
    EXPECT_EQ(three[1], 0xCD);
    EXPECT_EQ(fs::file_size(dir / "big.bin"), static_cast<std::uintmax_t>(k5G + 16));
}

TEST(LowFile, ShortCountOnlyAtTheEnd) {
    TempDir dir;
    WriteFile(dir / "ten.bin", "0123456789");
    CFileHandle f{FileOpen(dir / "ten.bin", kOpenRead)};
    char buf[100];
    EXPECT_EQ(FileRead(f.Get(), buf, 4), 4);
    EXPECT_EQ(FileRead(f.Get(), buf, sizeof buf), 6);
    EXPECT_EQ(FileRead(f.Get(), buf, sizeof buf), 0);
    EXPECT_EQ(FileRead(-1, buf, 1), -1);
    EXPECT_EQ(FileClose(-1), -1);
    EXPECT_EQ(LastError(), EBADF);
}

TEST(LowFile, IdentityIgnoresSpelling) {
    TempDir dir;
    WriteFile(dir / "a.bin", "a");
    WriteFile(dir / "b.bin", "b");
    CFileHandle f{FileOpen(dir / "a.bin", kOpenRead)};
    EXPECT_TRUE(IdentityOfPath(dir / "a.bin").SameAs(IdentityOfPath(dir / "./a.bin")));
    EXPECT_TRUE(IdentityOfHandle(f.Get()).SameAs(IdentityOfPath(dir / "a.bin")));
    EXPECT_FALSE(IdentityOfPath(dir / "a.bin").SameAs(IdentityOfPath(dir / "b.bin")));
    EXPECT_FALSE(IdentityOfPath(dir / "none").SameAs(IdentityOfPath(dir / "none")));
}

TEST(FileHandle, ClosesItsFileOnceWhereverTheHandleGoes) {
    TempDir dir;
    ScriptedUi ui; // counts the handles of each path
    const std::string path = dir / "f.bin";
    WriteFile(path, "0123456789");
    {
        CFileHandle f = CFileHandle::Open(path, kOpenRead);
        ASSERT_TRUE(f.IsOpen());
        CFileHandle g = std::move(f);
        EXPECT_FALSE(f.IsOpen());
        EXPECT_EQ(f.Close(), 0); // nothing to close
        CFileHandle h = CFileHandle::Open(path, kOpenRead);
        EXPECT_EQ(ui.OpenHandles(path), 2);
        h = std::move(g); // h's own file is closed, g's is h's now
        EXPECT_EQ(ui.OpenHandles(path), 1);
        // The size, a block device's too, without a position to move.
        EXPECT_EQ(FileEndOf(h.Get()), 10);
        EXPECT_EQ(FileTell(h.Get()), 0);
    }
    EXPECT_EQ(ui.OpenHandles(path), 0);
}

TEST(FileHandle, CloseReportsTheSystemsReasonAndLeavesNothingOpen) {
    TempDir dir;
    ScriptedUi ui;
    WriteFile(dir / "f.bin", "x");
    CFileHandle missing = CFileHandle::Open(dir / "none", kOpenRead);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(LastError(), ENOENT);
    ui.FailCloses(dir / "f.bin", EIO);
    CFileHandle f = CFileHandle::Open(dir / "f.bin", kOpenRead);
    EXPECT_EQ(f.Close(), -1);
    EXPECT_EQ(LastError(), EIO);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(ui.OpenHandles(dir / "f.bin"), 0);
}

// --- faults injected through the scripted backend -------------------------------------------------

TEST(LowFileFaults, EndReadsAtShortensTheFile) {
    TempDir dir;
    ScriptedUi ui;
    WriteFile(dir / "f.bin", std::string(1000, 'x'));
    ui.EndReadsAt(dir / "f.bin", 100);
    CFileHandle f{FileOpen(dir / "f.bin", kOpenRead)};
    char buf[64];
    EXPECT_EQ(FileRead(f.Get(), buf, sizeof buf), 64);
    EXPECT_EQ(FileRead(f.Get(), buf, sizeof buf), 36);
    EXPECT_EQ(FileRead(f.Get(), buf, sizeof buf), 0);
}

TEST(LowFileFaults, FailReadsFailsTheReadThatMeetsTheLimit) {
    TempDir dir;
    ScriptedUi ui;
    WriteFile(dir / "f.bin", std::string(1000, 'x'));
    WriteFile(dir / "g.bin", std::string(50, 'x'));
    ui.FailReads(dir / "f.bin", 100, EIO);
    ui.FailReads(dir / "g.bin", 50, EIO); // the whole file can still be read
    CFileHandle f{FileOpen(dir / "f.bin", kOpenRead)};
    CFileHandle g{FileOpen(dir / "g.bin", kOpenRead)};
    char buf[4096];
    EXPECT_EQ(FileRead(f.Get(), buf, 64), 64);
    EXPECT_EQ(FileRead(f.Get(), buf, 64), -1);
    EXPECT_EQ(LastError(), EIO);
    EXPECT_EQ(FileRead(g.Get(), buf, sizeof buf), 50);
    EXPECT_EQ(FileRead(g.Get(), buf, sizeof buf), 0);
}

TEST(LowFileFaults, ReadsAtAnOffsetCountWhatTheyCanGetThere) {
    TempDir dir;
    ScriptedUi ui;
    WriteFile(dir / "f.bin", std::string(1000, 'x'));
    ui.FailReads(dir / "f.bin", 20, EIO);
    CFileHandle f{FileOpen(dir / "f.bin", kOpenRead)};
    char buf[64];
    EXPECT_EQ(FileReadAt(f.Get(), buf, sizeof buf, 990), 10); // the file's last ten bytes
    EXPECT_EQ(FileReadAt(f.Get(), buf, sizeof buf, 0), -1);
    EXPECT_EQ(LastError(), EIO);
}

TEST(LowFileFaults, FailWritesKeepsItsError) {
    TempDir dir;
    ScriptedUi ui;
    ui.FailWrites(dir / "full.bin", 10, ENOSPC);
    ui.FailWrites(dir / "bad.bin", 10, EIO);
    CFileHandle full{FileOpen(dir / "full.bin", kOpenWrite | kOpenCreate)};
    CFileHandle bad{FileOpen(dir / "bad.bin", kOpenWrite | kOpenCreate)};
    EXPECT_EQ(FileWrite(full.Get(), "12345678", 8), 8);
    EXPECT_EQ(FileWrite(full.Get(), "abcdefgh", 8), -1);
    EXPECT_EQ(LastError(), ENOSPC);
    EXPECT_EQ(FileWrite(full.Get(), "z", 1), -1);
    EXPECT_EQ(LastError(), ENOSPC);
    EXPECT_EQ(ReadFile(dir / "full.bin"), "12345678ab"); // a full disk takes what fits
    EXPECT_EQ(FileWrite(bad.Get(), "12345678", 8), 8);
    EXPECT_EQ(FileWrite(bad.Get(), "abcdefgh", 8), -1);
    EXPECT_EQ(LastError(), EIO);
}

TEST(LowFileFaults, RealFullDisk) {
    TinyTmpfs disk(64 * 1024);
    OCTW_REQUIRE_TMPFS(disk);
    CFileHandle f{FileOpen(disk / "fill.bin", kOpenWrite | kOpenCreate)};
    const std::string block(100 * 1024, 'x');
    EXPECT_EQ(FileWrite(f.Get(), block.data(), block.size()), -1);
    EXPECT_EQ(LastError(), ENOSPC);
}

} // namespace
