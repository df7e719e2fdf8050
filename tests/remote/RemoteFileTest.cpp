// The client against the real server (the built program), through a local rsh shim that runs
// the remote command here through sh -c as sshd would, and through a real sshd.
#include "diffdb/CMyDiffDataBase.h"
#include "remote/Protocol.h"
#include "remote/RemoteFile.h"
#include "support/SshServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace remote;
using testsupport::TempDir;
namespace fs = std::filesystem;

constexpr const char* kHost = "far";

RemoteTarget Shim(std::vector<std::string> program = {OCTW_CLI_PATH}) {
    return {{OCTW_SHIM_PATH}, kHost, std::move(program)};
}

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen());
    return s;
}

// What the far side's digests must equal: the digests of the bytes themselves.
std::vector<LeafDigest> DigestsOf(const std::string& bytes, std::int64_t begin, std::int64_t end,
                                  std::uint32_t leaf) {
    std::vector<LeafDigest> d(LeafDigester::LeafCount(end - begin, leaf));
    LeafDigester().DigestLeaves(bytes.data() + begin, static_cast<std::size_t>(end - begin), leaf,
                                d.data());
    return d;
}

// A file of data and holes: random bytes, a 1 MiB hole, a run of written zeros, random bytes.
std::string MakeMixedFile(const std::string& path) {
    std::string bytes = RandomBytes(600000, 1) + std::string(1 << 20, '\0') +
                        std::string(200000, '\0') + RandomBytes(1234567, 2);
    testsupport::WriteFile(path, bytes.substr(0, 600000));
    const int fd = ::open(path.c_str(), O_WRONLY);
    // The zeros after the hole are written out; the hole is not.
    EXPECT_EQ(::pwrite(fd, bytes.data() + 600000 + (1 << 20), bytes.size() - 600000 - (1 << 20),
                       600000 + (1 << 20)),
              static_cast<ssize_t>(bytes.size() - 600000 - (1 << 20)));
    ::close(fd);
    return bytes;
}

TEST(RemoteFileTest, DigestsAndBytesAreThoseOfTheFileThereAskedAheadAndTakenInAnyOrder) {
    TempDir dir;
    const std::string path = dir / "b.img";
    const std::string bytes = MakeMixedFile(path);
    const auto size = static_cast<std::int64_t>(bytes.size());

    RemoteFile far;
    ASSERT_TRUE(far.Connect(Shim())) << far.ErrorText();
    ASSERT_TRUE(far.Open(path, RemoteFile::kOpenRead)) << far.ErrorText();
    EXPECT_EQ(far.Size(), size);
    EXPECT_EQ(far.Identity().m_ino, platform::IdentityOfPath(path).m_ino);

    // Every range asked before any reply is taken; the replies are taken last first.
    struct Asked {
        RemoteFile::Ticket m_t;
        std::int64_t m_begin, m_end;
        std::uint32_t m_leaf;
    };
    std::vector<Asked> asked;
    for (std::int64_t pos = 0; pos < size; pos += 1 << 20) {
        const std::int64_t end = std::min<std::int64_t>(pos + (1 << 20), size);
        asked.push_back({far.AskDigests(pos, end, kLeafSize), pos, end, kLeafSize});
    }
    asked.push_back({far.AskDigests(600000, 600000 + 3 * kSubLeafSize + 5, kSubLeafSize), 600000,
                     600000 + 3 * kSubLeafSize + 5, kSubLeafSize});
    const RemoteFile::Ticket tHead = far.AskBytes(0, 70000);
    const RemoteFile::Ticket tTail = far.AskBytes(size - 3, 3);
    const RemoteFile::Ticket tNone = far.AskBytes(size, 0);
    EXPECT_EQ(far.InFlight(), asked.size() + 3);

    std::string tail(3, '\0'), head(70000, '\0');
    ASSERT_TRUE(far.TakeBytes(tTail, reinterpret_cast<std::uint8_t*>(tail.data())));
    EXPECT_EQ(tail, bytes.substr(bytes.size() - 3));
    for (auto it = asked.rbegin(); it != asked.rend(); ++it) {
        std::vector<LeafDigest> got(LeafDigester::LeafCount(it->m_end - it->m_begin, it->m_leaf));
        ASSERT_TRUE(far.TakeDigests(it->m_t, got.data())) << far.ErrorText();
        EXPECT_EQ(got, DigestsOf(bytes, it->m_begin, it->m_end, it->m_leaf)) << it->m_begin;
    }
    ASSERT_TRUE(far.TakeBytes(tHead, reinterpret_cast<std::uint8_t*>(head.data())));
    EXPECT_EQ(head, bytes.substr(0, 70000));
    ASSERT_TRUE(far.TakeBytes(tNone, nullptr));
    EXPECT_EQ(far.InFlight(), 0u);

    // Only digests and the bytes asked crossed.
    EXPECT_GT(far.BytesReceived(), 70000u);
    EXPECT_LT(far.BytesReceived(), 90000u);
    EXPECT_GT(far.BytesSent(), 0u);

    bool bUnchanged = false;
    platform::FileIdentity now;
    ASSERT_TRUE(far.Stat(&now, &bUnchanged));
    EXPECT_TRUE(bUnchanged);
    testsupport::PokeByte(path, size, 1); // grows by one byte
    ASSERT_TRUE(far.Stat(&now, &bUnchanged));
    EXPECT_FALSE(bUnchanged);
    EXPECT_EQ(now.m_i64Size, size + 1);
    EXPECT_TRUE(far.Close()) << far.ErrorText();
}

TEST(RemoteFileTest, ARequestOutsideTheFileOrBeyondTheBoundIsNotSent) {
    TempDir dir;
    testsupport::WriteFile(dir / "b", std::string(100, 'b'));
    for (int k = 0; k < 4; ++k) {
        RemoteFile far;
        ASSERT_TRUE(far.Connect(Shim()));
        ASSERT_TRUE(far.Open(dir / "b", RemoteFile::kOpenRead));
        const std::uint64_t sent = far.BytesSent();
        const RemoteFile::Ticket t = k == 0   ? far.AskBytes(90, 11)
                                     : k == 1 ? far.AskDigests(0, 101, kLeafSize)
                                     : k == 2 ? far.AskDigests(0, 100, 0)
                                              : far.AskBytes(-1, 1);
        EXPECT_EQ(t, 0u) << k;
        EXPECT_EQ(far.BytesSent(), sent) << k;
        EXPECT_FALSE(far.Connected());
    }
    RemoteFile far;
    ASSERT_TRUE(far.Connect(Shim()));
    ASSERT_TRUE(far.Open(dir / "b", RemoteFile::kOpenRead));
    std::size_t n = 0;
    while (far.MayAsk(RemoteFile::BytesReplyBytes(1)))
        ASSERT_NE(far.AskBytes(n++ % 100, 1), 0u);
    EXPECT_EQ(n, RemoteFile::kMaxAsked);
    EXPECT_TRUE(far.Close()); // the replies still owed are dropped
}

TEST(RemoteFileTest, ARepairWritesThroughTheServersInPlaceWriter) {
    TempDir dir;
    const std::string a = RandomBytes(300000, 3);
    std::string b = a;
    CMyDiffDataBase db;
    for (std::int64_t adrs : {0, 4095, 4096, 150000, 299999}) {
        b[static_cast<std::size_t>(adrs)] ^= 0x5a;
        db.AddDiffData(adrs, static_cast<BYTE>(a[static_cast<std::size_t>(adrs)]),
                       static_cast<BYTE>(b[static_cast<std::size_t>(adrs)]));
    }
    testsupport::WriteFile(dir / "b", b);

    RemoteFile far;
    ASSERT_TRUE(far.Connect(Shim()));
    // Read-only: the writer's first write fails, as it would here.
    ASSERT_TRUE(far.Open(dir / "b", RemoteFile::kOpenRead));
    CMyInPlaceWriter counts;
    BOOL bOk = TRUE;
    ASSERT_TRUE(far.SendStore(db, false));
    ASSERT_TRUE(far.CheckStore(&counts, &bOk));
    EXPECT_TRUE(bOk);
    ASSERT_TRUE(far.WriteStore(&counts, &bOk));
    EXPECT_FALSE(bOk);
    EXPECT_EQ(counts.m_nFailure, CMyInPlaceWriter::kFailWrite);
    EXPECT_EQ(counts.m_nErrno, EBADF);
    EXPECT_EQ(testsupport::ReadFile(dir / "b"), b);

    ASSERT_TRUE(far.Open(dir / "b", RemoteFile::kOpenReadWrite));
    ASSERT_TRUE(far.SendStore(db, false)); // FILE B's bytes there, FILE A's to come
    ASSERT_TRUE(far.CheckStore(&counts, &bOk));
    EXPECT_TRUE(bOk);
    EXPECT_EQ(counts.GetVerdict(), CMyInPlaceWriter::kVerdictReady);
    EXPECT_EQ(counts.m_i64From, 5);
    ASSERT_TRUE(far.WriteStore(&counts, &bOk));
    EXPECT_TRUE(bOk);
    EXPECT_EQ(counts.m_i64Written, 5);
    int nErrno = -1;
    ASSERT_TRUE(far.SyncFile(&nErrno));
    EXPECT_EQ(nErrno, 0);
    EXPECT_EQ(testsupport::ReadFile(dir / "b"), a);
    ASSERT_TRUE(far.CheckStore(&counts, &bOk));
    EXPECT_EQ(counts.GetVerdict(), CMyInPlaceWriter::kVerdictPatched);
    EXPECT_TRUE(far.Close());
}

TEST(RemoteFileTest, RefusesWhatALocalRunRefusesAndGoesOn) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    testsupport::WriteFile(dir / "file", "x");
    struct Case {
        std::string m_path;
        bool m_bExists;
        platform::FileKind m_kind;
        int m_nErrno;
    } cases[] = {
        {dir / "pipe", true, platform::FileKind::Fifo, ENXIO},
        {dir / "folder", true, platform::FileKind::Folder, EISDIR},
        {dir / "missing", false, platform::FileKind::Regular, ENOENT},
    };
    RemoteFile far;
    ASSERT_TRUE(far.Connect(Shim()));
    for (const Case& c : cases) {
        EXPECT_FALSE(far.Open(c.m_path, RemoteFile::kOpenRead));
        ASSERT_TRUE(far.Refused()) << c.m_path << far.ErrorText();
        EXPECT_EQ(far.Refusal().m_bExists, c.m_bExists) << c.m_path;
        EXPECT_EQ(far.Refusal().m_kind, c.m_kind) << c.m_path;
        EXPECT_EQ(far.Refusal().m_nErrno, c.m_nErrno) << c.m_path;
        EXPECT_TRUE(far.Connected());
    }
    EXPECT_TRUE(far.Open(dir / "file", RemoteFile::kOpenRead));
    EXPECT_EQ(far.Size(), 1);
    EXPECT_TRUE(far.Close());
}

TEST(RemoteFileTest, APathReachesTheServerUnchangedAndTheServerWritesNoFileOfItsOwn) {
    TempDir dir, cwd, home;
    const std::vector<std::string> names = {
        "with space", "quote'single", "quote\"double", "$(touch pwned)", "`touch pwned`",
        "semi;touch pwned", "new\nline", "-leading-dash", "back\\slash", "star*?[a]",
        "tab\there", "dollar$HOME", ">redirect", "~tilde"};
    for (std::size_t i = 0; i < names.size(); ++i)
        testsupport::WriteFile(cwd / names[i], std::string(i + 1, 'x'));
    const std::vector<std::string> folds = {"home", "config", "data", "state", "cache", "run"};
    for (const std::string& f : folds)
        fs::create_directory(home / f);
    const std::string h = home.Str();
    // The server starts in `cwd` with a home and XDG folders that would show any file it made.
    RemoteFile far;
    ASSERT_TRUE(far.Connect(Shim({"cd", cwd.Str(), "&&", "env", "HOME=" + h + "/home",
                                  "XDG_CONFIG_HOME=" + h + "/config", "XDG_DATA_HOME=" + h + "/data",
                                  "XDG_STATE_HOME=" + h + "/state", "XDG_CACHE_HOME=" + h + "/cache",
                                  "XDG_RUNTIME_DIR=" + h + "/run", OCTW_CLI_PATH})))
        << far.ErrorText();
    for (std::size_t i = 0; i < names.size(); ++i) {
        // Relative names are taken from the server's working folder, absolute ones as they are.
        for (const std::string& path : {names[i], cwd / names[i]}) {
            ASSERT_TRUE(far.Open(path, RemoteFile::kOpenReadWrite)) << path;
            EXPECT_EQ(far.Size(), static_cast<std::int64_t>(i + 1)) << path;
        }
    }
    // A repair, a flush and a read failure besides: none of them leaves a file behind.
    CMyDiffDataBase db;
    db.AddDiffData(0, 'x', 'y');
    CMyInPlaceWriter counts;
    BOOL bOk = FALSE;
    int nErrno = -1;
    ASSERT_TRUE(far.SendStore(db, true));
    ASSERT_TRUE(far.CheckStore(&counts, &bOk));
    ASSERT_TRUE(far.WriteStore(&counts, &bOk));
    EXPECT_TRUE(bOk);
    ASSERT_TRUE(far.SyncFile(&nErrno));
    EXPECT_EQ(far.Open(cwd / "missing", RemoteFile::kOpenRead), false);
    EXPECT_TRUE(far.Close()) << far.ErrorText();

    EXPECT_EQ(testsupport::ReadFile(cwd / "~tilde"), "y" + std::string(names.size() - 1, 'x'));
    EXPECT_FALSE(fs::exists(cwd / "pwned"));
    EXPECT_EQ(std::distance(fs::directory_iterator(cwd.Path()), {}),
              static_cast<long>(names.size()));
    for (const std::string& f : folds)
        EXPECT_TRUE(fs::is_empty(home / f)) << f;
}

// A far end that is not this version of the program is refused with what to install where.
TEST(RemoteFileTest, AMissingProgramOrAnotherVersionSaysWhatToInstallWhere) {
    TempDir dir;
    std::vector<std::uint8_t> hello(kMagic, kMagic + sizeof kMagic);
    FrameBuilder f(kMsgHello);
    const auto& frame = f.U32(kProtocolVersion).Str("2.41").Bytes();
    hello.insert(hello.end(), frame.begin(), frame.end());
    testsupport::WriteFile(dir / "old", std::string(hello.begin(), hello.end()));
    const std::string needed = std::string("octetwatch-cli ") + ProgramVersion() +
                               " is needed on far (the Debian package octetwatch); far answered: ";
    struct Case {
        std::vector<std::string> m_program;
        std::string m_answer;
    } cases[] = {
        {{"/nonexistent/octetwatch-cli"}, "command not found (exit status 127)"},
        {{dir / "old"}, "cannot execute (exit status 126)"},
        {{"echo", "Welcome to the NAS;", "true"}, "Welcome to the NAS"},
        {{"sh", "-c", "'cat " + dir / "old" + "; exec cat >/dev/null'", "sh"},
         "octetwatch-cli 2.41 (protocol 1)"},
        {{"true"}, "nothing (exit status 0)"},
    };
    for (const Case& c : cases) {
        RemoteFile far;
        EXPECT_FALSE(far.Connect(Shim(c.m_program)));
        EXPECT_EQ(far.ErrorText(), needed + c.m_answer);
        EXPECT_FALSE(far.Connected());
    }
    RemoteFile far;
    EXPECT_FALSE(far.Connect({{"/nonexistent/ssh"}, "far", {"octetwatch-cli"}}));
    EXPECT_EQ(far.ErrorText(), "cannot run /nonexistent/ssh: No such file or directory");
    // A host that ssh would take for an option is not handed to it.
    EXPECT_FALSE(far.Connect({{OCTW_SHIM_PATH}, "-oProxyCommand=touch pwned", {OCTW_CLI_PATH}}));
    EXPECT_EQ(far.ErrorText(), "not a host to connect to: -oProxyCommand=touch pwned");
}

// A scripted server: a sound hello and an opened file of 1000 bytes, then what the case sends.
TEST(RemoteFileTest, AHostileServerEndsTheConnectionWithAClearError) {
    auto frame = [](std::uint32_t nType, std::function<void(FrameBuilder&)> fill) {
        FrameBuilder f(nType);
        fill(f);
        const auto& b = f.Bytes();
        return std::string(b.begin(), b.end());
    };
    platform::FileIdentity id;
    id.m_i64Size = 1000;
    const std::vector<std::uint8_t> hello = HelloFrame();
    const std::string opened = std::string(hello.begin(), hello.end()) +
                               frame(kMsgOpened, [&](FrameBuilder& f) { f.Identity(id); });
    enum Ask { kAskDigests, kAskBytes, kAskStat };
    struct Case {
        const char* m_pName;
        std::string m_stream;
        Ask m_ask;
        std::string m_error;
    } cases[] = {
        {"digests of another range", opened + frame(kMsgDigestsReply, [](FrameBuilder& f) {
             f.I64(64).I64(1000).U32(kLeafSize).U32(1).Raw(std::string(32, 'd').data(), 32);
         }),
         kAskDigests, "far sent a malformed reply (digests)"},
        {"more bytes than asked", opened + frame(kMsgBytesReply, [](FrameBuilder& f) {
             f.I64(0).U32(11).Raw("01234567890", 11);
         }),
         kAskBytes, "far sent a malformed reply (bytes)"},
        {"a length beyond any reply", opened + std::string("\x08\0\0\0\xff\xff\xff\xff", 8),
         kAskBytes, "far sent a malformed reply (length)"},
        {"a reply of another kind", opened + frame(kMsgSynced, [](FrameBuilder& f) { f.I32(0); }),
         kAskStat, "far sent a malformed reply (a reply of another kind)"},
        {"a failure", opened + frame(kMsgFailure, [](FrameBuilder& f) { f.Str("no\x1b[1m"); }),
         kAskDigests, "far refused: no?[1m"},
        {"a reply cut short", opened + frame(kMsgBytesReply, [](FrameBuilder& f) {
             f.I64(0).U32(10).Raw("01234567890", 11);
         }).substr(0, 20),
         kAskBytes, "connection to far lost"},
        {"a note and then nothing", opened + frame(kMsgNote, [](FrameBuilder& f) {
             f.Str("\x1b]0;title\x07");
         }),
         kAskDigests, "connection to far lost"},
    };
    // The scripted server reads what the client sends up to its last request, then ends: a
    // reply left unfinished is then a lost connection, not a wait for ever.
    FrameBuilder open(kMsgOpen), digests(kMsgDigests), bytes(kMsgBytes);
    const std::size_t nAsked = hello.size() + open.U8(0).Str("/any").Bytes().size();
    const std::size_t nAskedDigests = nAsked + digests.I64(0).I64(1000).U32(1).Bytes().size();
    const std::size_t nAskedBytes = nAsked + bytes.I64(0).U32(10).Bytes().size();
    TempDir dir;
    for (const Case& c : cases) {
        testsupport::WriteFile(dir / "script", c.m_stream);
        RemoteFile far;
        std::vector<std::string> notes;
        far.SetNoteSink([&](const std::string& s) { notes.push_back(s); });
        const std::size_t nRead =
            c.m_ask == kAskDigests ? nAskedDigests : c.m_ask == kAskBytes ? nAskedBytes : nAsked + 8;
        ASSERT_TRUE(far.Connect(Shim({"sh", "-c", "'cat " + dir / "script" + "; head -c " +
                                                        std::to_string(nRead) + " >/dev/null'",
                                      "sh"})))
            << c.m_pName << far.ErrorText();
        ASSERT_TRUE(far.Open("/any", RemoteFile::kOpenRead)) << c.m_pName;
        bool bOk = true;
        if (c.m_ask == kAskDigests) {
            LeafDigest d[1];
            bOk = far.TakeDigests(far.AskDigests(0, 1000, kLeafSize), d);
        } else if (c.m_ask == kAskBytes) {
            std::uint8_t b[10];
            bOk = far.TakeBytes(far.AskBytes(0, 10), b);
        } else {
            platform::FileIdentity now;
            bool bUnchanged = false;
            bOk = far.Stat(&now, &bUnchanged);
        }
        EXPECT_FALSE(bOk) << c.m_pName;
        EXPECT_EQ(far.ErrorText(), c.m_error) << c.m_pName;
        EXPECT_FALSE(far.Close()) << c.m_pName;
        EXPECT_EQ(far.ErrorText(), c.m_error) << c.m_pName;
        if (std::string(c.m_pName) == "a note and then nothing") {
            EXPECT_EQ(notes, std::vector<std::string>{"far: ?]0;title?"});
        }
    }
}

TEST(RemoteFileTest, ThroughARealSshdAndLostWhenTheSshIsKilled) {
    testsupport::SshServer sshd;
    ASSERT_TRUE(sshd.Ok()) << sshd.Why();
    TempDir dir;
    const std::string path = dir / "disk image; $(rm -rf x) 'b'";
    const std::string bytes = MakeMixedFile(path);
    const RemoteTarget target{sshd.RshWords(), sshd.Host(), {OCTW_CLI_PATH}};

    RemoteFile far;
    ASSERT_TRUE(far.Connect(target)) << far.ErrorText();
    ASSERT_TRUE(far.Open(path, RemoteFile::kOpenRead)) << far.ErrorText();
    ASSERT_EQ(far.Size(), static_cast<std::int64_t>(bytes.size()));
    std::vector<LeafDigest> got(LeafDigester::LeafCount(far.Size(), kLeafSize));
    for (std::int64_t pos = 0; pos < far.Size(); pos += 1 << 20) {
        const std::int64_t end = std::min<std::int64_t>(pos + (1 << 20), far.Size());
        ASSERT_TRUE(far.TakeDigests(far.AskDigests(pos, end, kLeafSize),
                                    got.data() + pos / kLeafSize));
    }
    EXPECT_EQ(got, DigestsOf(bytes, 0, far.Size(), kLeafSize));
    EXPECT_TRUE(far.Close()) << far.ErrorText();

    RemoteFile lost;
    ASSERT_TRUE(lost.Connect(target)) << lost.ErrorText();
    ASSERT_TRUE(lost.Open(path, RemoteFile::kOpenRead));
    ASSERT_EQ(::kill(lost.RshPid(), SIGKILL), 0);
    std::uint8_t b[10];
    EXPECT_FALSE(lost.TakeBytes(lost.AskBytes(0, 10), b));
    EXPECT_EQ(lost.ErrorText(), "connection to 127.0.0.1 lost");
    EXPECT_FALSE(lost.Close());
}

} // namespace
