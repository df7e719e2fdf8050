// octetwatch-cli run as a user runs it: its exit status, what it prints, and the files it leaves.
#include "support/TestSupport.h"

#include "platform/Encoding.h"
#include "support/Watchdog.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>

using namespace testsupport;

namespace {

struct Result {
    int m_nStatus = -1;
    std::string m_strOut;
    std::string m_strErr;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q.push_back(c);
    }
    return q + "'";
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A copy of the program in a folder of its own: its log, database and trace lie there.
        fs::copy_file(OCTW_CLI_PATH, m_prog / "octetwatch-cli");
    }

    // Runs the program from the data folder, with no terminal on its standard input.
    // Standard output goes to `stdoutPath` when one is given.
    Result Run(const std::vector<std::string>& args, const std::string& stdoutPath = {}) {
        return Shell(m_prog / "octetwatch-cli", args, stdoutPath);
    }
    // The same for any program (cmp, say).
    Result Shell(const std::string& program, const std::vector<std::string>& args,
                 const std::string& stdoutPath = {}) {
        Result r;
        const int raw = std::system(Command(program, args, stdoutPath).c_str());
        r.m_nStatus = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.m_strOut = ReadFile(m_out / "out");
        r.m_strErr = ReadFile(m_out / "err");
        return r;
    }
    std::string Command(const std::string& program, const std::vector<std::string>& args,
                        const std::string& stdoutPath = {}) {
        // Appended piece by piece: GCC 12 warns (-Wrestrict) about "literal" + temporary string.
        std::string cmd = "cd ";
        cmd.append(Quote(m_data.Str())).append(" && exec ").append(Quote(program));
        for (const std::string& a : args)
            cmd.append(" ").append(Quote(a));
        cmd.append(" >").append(Quote(stdoutPath.empty() ? m_out / "out" : stdoutPath));
        cmd.append(" 2>").append(Quote(m_out / "err"));
        cmd.append(" </dev/null");
        return cmd;
    }
    std::string Data(const std::string& name) { return m_data / name; }
    std::string Log() { return ReadFile(m_prog / "Result.txt"); }
    std::string ReadCp932Trace() { return platform::Cp932ToUtf8(ReadFile(m_prog / "DataTrace.txt")); }
    static std::string Summary(const std::string& first, const char* a, const char* b,
                               const char* search) {
        return first + "\n\nFILE A : " + a + " BYTE\nFILE B : " + b + " BYTE\nSEARCH : " + search +
               " BYTE\n";
    }

    TempDir m_prog;
    TempDir m_data;
    TempDir m_out;
};

constexpr const char* kNoDiff = "壊れたデータはありませんでした";

TEST_F(CliTest, VersionAndHelp) {
    Result v = Run({"--version"});
    EXPECT_EQ(v.m_nStatus, 0);
    EXPECT_EQ(v.m_strOut, "Octetwatch Version 2.58\n");
    Result h = Run({"--help"});
    EXPECT_EQ(h.m_nStatus, 0);
    EXPECT_EQ(h.m_strOut.rfind("Usage: octetwatch-cli [OPTIONS] FILE_A FILE_B [LOG]\n", 0), 0u);
    // Where the files are, in both kinds of use.
    for (const char* where : {"beside the program", "$XDG_DATA_HOME/octetwatch",
                              "$XDG_STATE_HOME/octetwatch"})
        EXPECT_NE(h.m_strOut.find(where), std::string::npos) << where;
    EXPECT_NE(h.m_strOut.find("\nUsage: octetwatch-cli --patch=DB --from=a|b [--check] [--yes|--no] "
                              "FILE\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(m_prog / "DataTrace.txt")); // nothing was started
}

TEST_F(CliTest, BadUsageIsTrouble) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--frobnicate", "a", "b"}, {"a"}, {"a", "b", "c", "d"}, {"--yes", "--no", "a", "b"},
             {"--patch=db", "f"}, {"--patch=", "--from=a", "f"}, {"--patch=db", "--from=a", "f", "g"},
             {"--patch=db", "--from=a", "--db", "f"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        Result r = Run(args);
        EXPECT_EQ(r.m_nStatus, 2);
        EXPECT_NE(r.m_strErr.find("octetwatch-cli: "), std::string::npos);
        EXPECT_TRUE(r.m_strOut.empty());
    }
}

TEST_F(CliTest, EqualFilesExitZeroWithTheSummaryOnStdout) {
    WriteFile(Data("a.bin"), "ABCDEFGH");
    WriteFile(Data("b.bin"), "ABCDEFGH");
    Result r = Run({"a.bin", "b.bin"});
    EXPECT_EQ(r.m_nStatus, 0);
    EXPECT_EQ(r.m_strOut, Summary(kNoDiff, "              8", "              8", "              8"));
    EXPECT_EQ(r.m_strErr, "");
    // The log names the absolute paths and ends with its closing lines.
    const std::string log = Log();
    EXPECT_NE(log.find("File A   : " + Data("a.bin") + " \t/ Size               8 Byte\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("Generated by Octetwatch At "), std::string::npos);
    EXPECT_EQ(log.find(" h :"), std::string::npos);
    // Same start-up as the window, but no settings file and no database.
    EXPECT_EQ(ReadFile(m_prog / "DataTrace.txt")
                  .substr(0, 18),
              std::string("\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF\r\n", 18));
    EXPECT_FALSE(fs::exists(m_prog / "octwtch.ini"));
    EXPECT_FALSE(fs::exists(m_prog / "DiffData.db"));
}

TEST_F(CliTest, DisplayPrintsEachDifferenceBeforeTheSummary) {
    WriteFile(Data("a.bin"), std::string(3000000, 'a'));
    std::string b(3000000, 'a');
    b[5] = 'b';
    b[2999999] = 'c';
    WriteFile(Data("b.bin"), b);
    Result r = Run({"--display", "--quiet", "a.bin", "b.bin"});
    EXPECT_EQ(r.m_nStatus, 1);
    EXPECT_EQ(r.m_strOut, "(1) 0000000005 h : 61 , 62\n(2) 00002DC6BF h : 61 , 63\n" +
                              Summary("2バイトのデータが一致しませんでした。", "      3,000,000",
                                      "      3,000,000", "      3,000,000"));
}

// As cmp: output that standard output does not take is trouble, said on standard error, whatever
// the run found; the run itself is not cut short.
TEST_F(CliTest, FullStandardOutputIsTrouble) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    WriteFile(Data("a.bin"), "abcd");
    WriteFile(Data("b.bin"), "abXd");
    WriteFile(Data("same.bin"), "abcd");
    const std::vector<std::vector<std::string>> cases = {
        {"--display", "--quiet", "a.bin", "b.bin", "log.txt"},
        {"--quiet", "a.bin", "same.bin", "same.log"}, // the summary alone
        {"--version"},
        {"--help"},
        {"--patch=x.db", "--help"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const Result r = Run(args, "/dev/full");
        EXPECT_EQ(r.m_nStatus, 2);
        EXPECT_NE(r.m_strErr.find(
                      "octetwatch-cli: write error on standard output: No space left on device\n"),
                  std::string::npos)
            << r.m_strErr;
    }
    EXPECT_NE(ReadFile(Data("log.txt")).find("00000002"), std::string::npos)
        << "the log of the run is written all the same";
    EXPECT_EQ(Run({"--quiet", "--yes", "a.bin", "same.bin", "same.log"}, "/dev/null").m_nStatus, 0);
}

TEST_F(CliTest, DatabaseHoldsEveryDifference) {
    WriteFile(Data("a.bin"), "ABCDEFGH");
    WriteFile(Data("b.bin"), "ABxDEFyH");
    Result r = Run({"--db", "a.bin", "b.bin"});
    EXPECT_EQ(r.m_nStatus, 1);
    EXPECT_EQ(ReadFile(m_prog / "DiffData.db"),
              std::string("\x02\0\0\0\0\0\0\0"
                          "\x02\0\0\0\0\0\0\0Cx"
                          "\x06\0\0\0\0\0\0\0Gy",
                          28));
    EXPECT_EQ(r.m_strErr, "◎不一致情報データベースを作成しました。\n");
}

TEST_F(CliTest, DeclinedOverwriteLeavesTheOldLogUntouched) {
    WriteFile(Data("a.bin"), "AB");
    WriteFile(Data("b.bin"), "AX");
    WriteFile(m_prog / "Result.txt", "OLD LOG");
    for (const auto& args : std::vector<std::vector<std::string>>{{"a.bin", "b.bin"},
                                                                  {"--no", "a.bin", "b.bin"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        Result r = Run(args);
        EXPECT_EQ(r.m_nStatus, 2);
        EXPECT_EQ(Log(), "OLD LOG");
        EXPECT_NE(r.m_strErr.find("上書きしますか?"), std::string::npos);
        EXPECT_NE(r.m_strErr.find("octetwatch-cli: the run was not started: the log exists and "
                                  "the question was answered No: " +
                                  (m_prog / "Result.txt") + "\n"),
                  std::string::npos)
            << r.m_strErr;
        EXPECT_EQ(r.m_strOut, "");
    }
    Result yes = Run({"--yes", "a.bin", "b.bin"});
    EXPECT_EQ(yes.m_nStatus, 1);
    EXPECT_NE(Log().find("0000000001 h :   42      58\r\n"), std::string::npos);
}

TEST_F(CliTest, LogArgumentIsTakenFromTheWorkingFolder) {
    WriteFile(Data("a.bin"), "AB");
    WriteFile(Data("b.bin"), "AB");
    Result r = Run({"a.bin", "b.bin", "out.log"});
    EXPECT_EQ(r.m_nStatus, 0);
    EXPECT_TRUE(fs::exists(Data("out.log")));
    EXPECT_FALSE(fs::exists(m_prog / "Result.txt"));
    EXPECT_NE(ReadFile(Data("out.log")).find("Log File : " + Data("out.log") + "\r\n"),
              std::string::npos);
}

TEST_F(CliTest, RefusedSelectionsAndRunsAreTrouble) {
    WriteFile(Data("a.bin"), "AB");
    struct Case {
        std::vector<std::string> m_args;
        std::string m_strErr; // what standard error must hold
    };
    const Case cases[] = {
        // The window's box, then the name and the system's reason, as cmp gives them.
        {{"missing.bin", "a.bin"},
         "ファイルAのサイズ取得に失敗。\noctetwatch-cli: missing.bin: No such file or directory\n"},
        {{"a.bin", "missing.bin"},
         "ファイルBのサイズ取得に失敗。\noctetwatch-cli: missing.bin: No such file or directory\n"},
        {{"a.bin/x", "a.bin"},
         "ファイルAのサイズ取得に失敗。\noctetwatch-cli: a.bin/x: Not a directory\n"},
        {{"a.bin", "."}, "ファイルBのサイズ取得に失敗。\n"},
        {{"a.bin", "a.bin"}, "※　同一のファイルは比較できません\n"},
        {{"a.bin", "./a.bin"}, ""}, // the same file spelled twice is compared
        {{"a.bin", Data("a.bin"), m_prog / "DiffData.db"},
         "※データベースファイルと同じファイル名は使えません。\n"},
        {{"--yes", "a.bin", "./a.bin", "."},
         "ファイルをオープンできません"}, // a log it cannot open
        // Named pipes are refused at once, never waited on; /dev/null is a log that keeps nothing.
        {{"fifo", "a.bin"},
         "octetwatch-cli: FILE A is a named pipe: only regular files and block "
         "devices are compared: fifo\n"},
        {{"a.bin", "fifo"}, "octetwatch-cli: FILE B is a named pipe"},
        {{"--yes", "a.bin", "./a.bin", "fifo"},
         "ファイルをオープンできません\nファイル アクセス禁止\noctetwatch-cli: the log is a named "
         "pipe, which cannot hold a log: fifo\n"},
        {{"--yes", "a.bin", "./a.bin", "/dev/null"}, ""},
        // The program's own files, however spelled, before any question.
        {{"--yes", "--db", "a.bin", "./a.bin", m_prog / "./DiffData.db"},
         "※ログファイルにデータベースファイルは指定できません。\noctetwatch-cli: the run was not "
         "started: the log would overwrite the difference database: " +
             m_prog / "./DiffData.db"},
        {{"--yes", "a.bin", "./a.bin", "trace.log"},
         "※ログファイルにトレースファイルは指定できません。\noctetwatch-cli: the run was not "
         "started: the log would be the trace file: " +
             Data("trace.log")},
    };
    ::mkfifo(Data("fifo").c_str(), 0600);
    fs::create_symlink(m_prog / "DataTrace.txt", Data("trace.log"));
    Watchdog dog(120, "refused selections and runs");
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.m_args));
        Result r = Run(c.m_args);
        if (c.m_strErr.empty()) {
            EXPECT_EQ(r.m_nStatus, 0);
            continue;
        }
        EXPECT_EQ(r.m_nStatus, 2);
        EXPECT_NE(r.m_strErr.find(c.m_strErr), std::string::npos) << r.m_strErr;
        EXPECT_EQ(r.m_strOut, "");
    }
    EXPECT_FALSE(fs::exists(m_prog / "DiffData.db"));
}

// Differences as cmp -l lists them: 1-based offset, the two bytes (in octal there).
using Diffs = std::vector<std::tuple<long long, int, int>>;

Diffs FromCmp(const std::string& out) {
    Diffs d;
    std::istringstream in(out);
    long long offset;
    std::string a, b;
    while (in >> offset >> a >> b)
        d.emplace_back(offset, std::stoi(a, nullptr, 8), std::stoi(b, nullptr, 8));
    return d;
}

Diffs FromLog(const std::string& log) {
    Diffs d;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        unsigned long long adrs;
        unsigned a, b;
        char tail;
        if (std::sscanf(line.c_str(), "%10llX h :   %2X      %2X%c", &adrs, &a, &b, &tail) == 4 &&
            tail == '\r')
            d.emplace_back(static_cast<long long>(adrs) + 1, static_cast<int>(a),
                           static_cast<int>(b));
    }
    return d;
}

// GNU cmp is the reference: the exit status of cmp -s, the differences of cmp -l over the common
// length, and its note on which file ended first.
TEST_F(CliTest, AgreesWithCmp) {
    constexpr long long kChunk = 512 << 10, kBlock = 8 << 20;
    const struct {
        const char* m_name;
        long long m_nA, m_nB;
        std::vector<long long> m_diffs;
    } pairs[] = {
        {"equal", 5000, 5000, {}},
        {"one_difference", 4096, 4096, {100}},
        {"b_lost_its_last_byte", 4096, 4095, {}},
        {"a_shorter_with_differences", 1000, 1200, {0, 999}},
        {"both_empty", 0, 0, {}},
        {"a_empty", 0, 10, {}},
        {"b_empty", 10, 0, {}},
        {"chunk_edges",
         2 * kChunk + 10,
         2 * kChunk + 10,
         {kChunk - 1, kChunk, 2 * kChunk - 1, 2 * kChunk, 2 * kChunk + 9}},
        {"block_edges",
         2 * kBlock + 3,
         2 * kBlock + 5,
         {kBlock - 1, kBlock, 2 * kBlock - 1, 2 * kBlock, 2 * kBlock + 2}},
        {"exactly_one_block", kBlock, kBlock + 1, {0, kBlock - 1}},
    };
    for (const auto& p : pairs) {
        SCOPED_TRACE(p.m_name);
        MakeSparse(Data("a.bin"), p.m_nA);
        MakeSparse(Data("b.bin"), p.m_nB);
        for (long long d : p.m_diffs) {
            PokeByte(Data("a.bin"), d, static_cast<unsigned char>(d * 13));
            PokeByte(Data("b.bin"), d, static_cast<unsigned char>(d * 13 + 1));
        }
        // The longer file's last byte differs from nothing: neither program lists it.
        if (p.m_nA != p.m_nB)
            PokeByte(Data(p.m_nA > p.m_nB ? "a.bin" : "b.bin"), std::max(p.m_nA, p.m_nB) - 1, 0x77);
        const Result quiet = Shell("cmp", {"-s", "a.bin", "b.bin"});
        const Result listed = Shell("cmp", {"-l", "a.bin", "b.bin"});
        fs::remove(Data("log.txt"));
        const Result ours = Run({"--quiet", "a.bin", "b.bin", "log.txt"});
        EXPECT_EQ(ours.m_nStatus, quiet.m_nStatus);
        if (p.m_nA == p.m_nB) {
            EXPECT_EQ(ours.m_strErr, ""); // nothing to say beyond the summary
        }
        EXPECT_EQ(FromLog(ReadFile(Data("log.txt"))), FromCmp(listed.m_strOut));
        EXPECT_EQ(FromCmp(listed.m_strOut).size(), p.m_diffs.size());
        const std::size_t eof = ours.m_strErr.find("octetwatch-cli: EOF on ");
        if (listed.m_strErr.empty()) {
            EXPECT_EQ(eof, std::string::npos) << ours.m_strErr;
        } else {
            ASSERT_NE(eof, std::string::npos) << ours.m_strErr;
            EXPECT_EQ(ours.m_strErr.substr(eof), "octetwatch-cli: " + listed.m_strErr.substr(5));
        }
    }
}

// 0 only when the files are the same size and equal afterwards; 1 when only their sizes differ.
TEST_F(CliTest, RepairStatusTellsWhetherTheFilesAreNowTheSame) {
    const struct {
        const char* m_pRepair;
        const char* m_pB;
        const char* m_pAfter; // the repaired file
        int m_nStatus;
    } cases[] = {
        {"--repair=a", "ABxDEFyH", "ABxDEFyH", 0}, {"--repair=b", "ABxDEFyH", "ABCDEFGH", 0},
        {"--repair=b", "ABCDEFGH", "ABCDEFGH", 0}, // nothing to repair
        {"--repair=a", "ABxDEF", "ABxDEFGH", 1},   {"--repair=b", "ABxDEF", "ABCDEF", 1},
        {"--repair=b", "ABCDEF", "ABCDEF", 1}, // nothing to repair, still not the same
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.m_pRepair) + " " + c.m_pB);
        WriteFile(Data("a.bin"), "ABCDEFGH");
        WriteFile(Data("b.bin"), c.m_pB);
        fs::remove(m_prog / "Result.txt");
        const Result r = Run({c.m_pRepair, "--yes", "a.bin", "b.bin"});
        EXPECT_EQ(r.m_nStatus, c.m_nStatus) << r.m_strErr;
        EXPECT_EQ(ReadFile(Data(c.m_pRepair[9] == 'a' ? "a.bin" : "b.bin")), c.m_pAfter);
        EXPECT_EQ(r.m_strErr.find("EOF on b.bin after byte 6") != std::string::npos,
                  c.m_nStatus == 1);
        EXPECT_EQ(r.m_strErr.find("◎ファイルの修復が完了しました。") != std::string::npos,
                  std::strchr(c.m_pB, 'x') != nullptr);
    }
}

// A disk is compared with its image, and repaired from it, as a file is.
TEST_F(CliTest, BlockDeviceIsComparedAndRepaired) {
    WriteFile(Data("disk.img"), std::string(64 << 10, 'd'));
    std::string copy(64 << 10, 'd');
    copy[1000] = 'X';
    WriteFile(Data("copy.img"), copy);
    const Result loop = Shell("losetup", {"--find", "--show", "disk.img"});
    if (loop.m_nStatus != 0)
        GTEST_SKIP() << "no loop device here: " << loop.m_strErr;
    const std::string dev = loop.m_strOut.substr(0, loop.m_strOut.find('\n'));
    std::shared_ptr<void> detach(nullptr, [&](void*) { Shell("losetup", {"--detach", dev}); });
    EXPECT_EQ(Run({"--quiet", dev, "copy.img"}).m_nStatus, 1);
    EXPECT_NE(Log().find("00000003E8 h :   64      58\r\n"), std::string::npos);
    fs::remove(m_prog / "Result.txt");
    EXPECT_EQ(Run({"--quiet", "--yes", "--repair=a", dev, "copy.img"}).m_nStatus, 0);
    fs::remove(m_prog / "Result.txt");
    EXPECT_EQ(Run({"--quiet", dev, "copy.img"}).m_nStatus, 0);
    // A disk is never a log: "overwriting" it would write over the start of the disk.
    const Result asLog = Run({"--quiet", "--yes", "copy.img", "./copy.img", dev});
    EXPECT_EQ(asLog.m_nStatus, 2);
    EXPECT_NE(asLog.m_strErr.find("the log is a block device"), std::string::npos) << asLog.m_strErr;
    EXPECT_EQ(ReadFile(Data("disk.img")), copy);
}

// Ctrl+C (SIGINT) or SIGTERM during a run: what the stop button does, then 128 + the signal.
TEST_F(CliTest, SignalStopsTheRunAsTheStopButtonDoes) {
    // A difference every kEvery bytes: each chunk, after which a stop takes effect, is done soon,
    // the whole run is far from its end when the signal comes.
    constexpr std::size_t kSize = 128u << 20, kEvery = 256;
    std::string b(kSize, '\0');
    for (std::size_t i = 0; i < kSize; i += kEvery)
        b[i] = '\xFF';
    MakeSparse(Data("a.bin"), kSize);
    WriteFile(Data("b.bin"), b);
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        fs::remove(m_prog / "Result.txt");
        const std::string cmd =
            Command(m_prog / "octetwatch-cli", {"--quiet", "--db", "a.bin", "b.bin"});
        Watchdog dog(300, "a run stopped by a signal");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(pid, 0);
        // The first difference on disk: the run is under way.
        while (Log().find(" h :   ") == std::string::npos)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ::kill(pid, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
        EXPECT_NE(ReadFile(m_out / "err").find("octetwatch-cli: interrupted"), std::string::npos);
        EXPECT_EQ(ReadFile(m_out / "out"), ""); // no summary
        EXPECT_FALSE(fs::exists(m_prog / "DiffData.db"));
        // The header and every line found so far, each whole; no closing lines.
        const std::string log = Log();
        const std::size_t first = log.find("0000000000 h :");
        ASSERT_NE(first, std::string::npos);
        EXPECT_EQ(log.find("Generated by"), std::string::npos);
        std::string lines;
        char line[64];
        for (std::size_t i = 0; lines.size() < log.size() - first; ++i) {
            std::snprintf(line, sizeof line, "%010zX h :   00      FF\r\n", i * kEvery);
            lines += line;
        }
        EXPECT_TRUE(log.compare(first, std::string::npos, lines) == 0) << "not a clean prefix";
    }
}

// The peak of the process's resident memory, in bytes (0 when it cannot be read).
std::int64_t PeakMemory(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status"); // its size reads as 0
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    return 0;
}

// --display into a pipe nobody reads (a pager paused): the run waits for its reader in a bounded
// amount of memory; Ctrl+C still stops it; once the reader reads, it goes on to its end, where a
// file that was appended to meanwhile is reported and the status is trouble.
TEST_F(CliTest, DisplayToAStalledReaderHoldsTheRunInBoundedMemory) {
    constexpr std::size_t kSize = 4u << 20, kEvery = 16; // 262,144 differences
    std::string b(kSize, '\0');
    for (std::size_t i = 0; i < kSize; i += kEvery)
        b[i] = '\xFF';
    MakeSparse(Data("a.bin"), kSize);
    WriteFile(Data("b.bin"), b);
    for (const bool bInterrupt : {true, false}) {
        SCOPED_TRACE(bInterrupt ? "interrupted" : "read at last");
        Watchdog dog(300, "a run whose display nobody reads");
        fs::remove(m_prog / "Result.txt");
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const std::string program = m_prog / "octetwatch-cli", err = m_out / "err";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            ::close(fds[1]);
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
            ::dup2(::open("/dev/null", O_RDONLY), 0);
            if (::chdir(m_data.Str().c_str()) == 0)
                ::execl(program.c_str(), program.c_str(), "--quiet", "--display", "a.bin", "b.bin",
                        static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(pid, 0);
        ::close(fds[1]);
        bool bReaped = false;
        std::shared_ptr<void> cleanUp(nullptr, [&](void*) {
            ::close(fds[0]);
            if (!bReaped) { // a check failed half-way: the program must not outlive the test
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        });
        // Under way: the buffers are in use. Then held: the log stops growing.
        while (Log().find(" h :   ") == std::string::npos)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const std::int64_t atStart = PeakMemory(pid);
        for (std::size_t was = 0, now = 1; now != was;) {
            was = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            now = Log().size();
        }
        const std::int64_t held = PeakMemory(pid);
        ASSERT_GT(atStart, 0);
        // Everything it found would be 24 MiB of messages waiting for the display.
        EXPECT_LT(held - atStart, 8 << 20)
            << "peak " << held << " bytes, " << atStart << " at start";
        EXPECT_LT(Log().size(), b.size()) << "the run did not wait for its reader";
        if (bInterrupt) {
            ::kill(pid, SIGINT);
        } else {
            std::ofstream(Data("b.bin"), std::ios::binary | std::ios::app)
                << std::string(1000, 'g');
            char buf[65536];
            while (::read(fds[0], buf, sizeof buf) > 0) {
            }
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        bReaped = true;
        ASSERT_TRUE(WIFEXITED(status));
        const std::string said = ReadFile(err);
        if (bInterrupt) {
            EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
            EXPECT_NE(said.find("octetwatch-cli: interrupted"), std::string::npos) << said;
        } else {
            EXPECT_EQ(WEXITSTATUS(status), 2);
            EXPECT_NE(said.find("※比較中にファイルBが変更されました。"), std::string::npos) << said;
            EXPECT_NE(said.find("octetwatch-cli: the result is void: FILE B was written, resized "
                                "or replaced during the run: b.bin\n"),
                      std::string::npos)
                << said;
        }
    }
}

TEST_F(CliTest, FullDiskEndsTheProgramAsTrouble) {
    TinyTmpfs disk(64 * 1024);
    OCTW_REQUIRE_TMPFS(disk);
    // Far more difference lines than the disk holds: the run stops at the disk reserve.
    WriteFile(Data("a.bin"), std::string(1 << 20, 'a'));
    WriteFile(Data("b.bin"), std::string(1 << 20, 'b'));
    Result r = Run({"--quiet", "a.bin", "b.bin", disk / "Result.txt"});
    EXPECT_EQ(r.m_nStatus, 2);
    EXPECT_NE(r.m_strErr.find("※異なるデータがありましたが\nディスクの空き容量がありません。\n"),
              std::string::npos);
    EXPECT_EQ(r.m_strOut, ""); // no summary
    EXPECT_NE(r.m_strErr.find("octetwatch-cli: the run stopped: the log's disk is full\n"),
              std::string::npos);
    EXPECT_GT(fs::file_size(disk / "Result.txt"), 0u);
}

// A line the log does not take ends the run as trouble; only a full disk is called one, any
// other failure is named. The sixth write of the log, its second line, fails (strace injects it).
TEST_F(CliTest, LogWriteErrorIsNamed) {
    // Two whole chunks: a failure in the tail would still get the closing lines and the summary.
    std::string a(1 << 20, 'A'), b = a;
    b.replace(1, 3, "XYZ");
    WriteFile(Data("a.bin"), a);
    WriteFile(Data("b.bin"), b);
    const std::string log = Data("out.log");
    const std::pair<const char*, std::string> cases[] = {
        {"EIO", "※ログファイルへの書き込みに失敗。ハードウェア エラー\n\t[ " + log +
                    " ]\noctetwatch-cli: the run stopped: the log could not be written: " + log +
                    ": Input/output error\n"},
        {"ENOSPC", "※異なるデータがありましたが\nディスクの空き容量がありません。\n"
                   "octetwatch-cli: the run stopped: the log's disk is full\n"},
    };
    for (const auto& [err, said] : cases) {
        SCOPED_TRACE(err);
        fs::remove(log);
        // The leak check does not work under ptrace.
        Result r =
            Shell("env", {"ASAN_OPTIONS=detect_leaks=0", "strace", "-f", "-qq", "-o", "/dev/null",
                          "-P", log, "-e", "trace=write", "-e",
                          std::string("inject=write:error=") + err + ":when=6",
                          m_prog / "octetwatch-cli", "--quiet", "--yes", "a.bin", "b.bin", log});
        if (r.m_nStatus == 127 || r.m_strErr.find("strace: ") != std::string::npos)
            GTEST_SKIP() << "strace cannot run here: " << r.m_strErr;
        EXPECT_EQ(r.m_nStatus, 2);
        EXPECT_EQ(r.m_strErr, said);
        EXPECT_EQ(r.m_strOut, ""); // no summary
        const std::string got = ReadFile(log);
        EXPECT_EQ(got.substr(got.size() - 29), "0000000001 h :   41      58\r\n"); // no more
    }
}

// Each refusal of the writability check gives its own reason.
TEST_F(CliTest, UnwritableFilesAndLogAreExplained) {
    WriteFile(Data("a.bin"), "AB");
    WriteFile(Data("b.bin"), "AX");
    WriteFile(Data("ro.log"), "OLD");
    MakeReadOnly(Data("ro.log"));
    const std::string refusal = "※不一致情報を書き込むテキストファイルが書き込み不能です。\n"
                                "octetwatch-cli: the run was not started: the log cannot be "
                                "written: " +
                                Data("ro.log") + "\n";
    Result r = Run({"a.bin", "b.bin", "ro.log"});
    EXPECT_EQ(r.m_nStatus, 2);
    EXPECT_EQ(r.m_strErr, refusal);
    MakeReadOnly(Data("a.bin"));
    MakeReadOnly(Data("b.bin"));
    Result no = Run({"--db", "a.bin", "b.bin"});
    EXPECT_EQ(no.m_nStatus, 2);
    EXPECT_NE(no.m_strErr.find("※両ファイルともに書き込み不能です。"), std::string::npos);
    EXPECT_NE(no.m_strErr.find("octetwatch-cli: the run was not started: the question was "
                               "answered No\n"),
              std::string::npos);
    // Answered Yes, then refused for the log: that is what is said.
    Result yes = Run({"--yes", "--db", "a.bin", "b.bin", "ro.log"});
    EXPECT_EQ(yes.m_nStatus, 2);
    EXPECT_EQ(yes.m_strErr.substr(yes.m_strErr.size() - refusal.size()), refusal);
    EXPECT_EQ(yes.m_strErr.find("answered No"), std::string::npos) << yes.m_strErr;
    EXPECT_EQ(ReadFile(Data("ro.log")), "OLD");
    // Without the database there is nothing to ask.
    EXPECT_EQ(Run({"a.bin", "b.bin"}).m_nStatus, 1);
}

TEST_F(CliTest, RepairDeclinedOrImpossibleIsTrouble) {
    WriteFile(Data("a.bin"), "ABCD");
    WriteFile(Data("b.bin"), "AXCD");
    // No terminal and no --yes: the overwrite question never comes up (no log yet), the repair
    // question is answered No.
    Result declined = Run({"--repair=a", "a.bin", "b.bin"});
    EXPECT_EQ(declined.m_nStatus, 2);
    EXPECT_EQ(ReadFile(Data("a.bin")), "ABCD");
    EXPECT_NE(ReadCp932Trace().find("▽ファイルAの修復を開始しませんでした。"), std::string::npos);

    MakeReadOnly(Data("b.bin"));
    Result ro = Run({"--repair=b", "--yes", "a.bin", "b.bin"});
    EXPECT_EQ(ro.m_nStatus, 2);
    EXPECT_NE(ro.m_strErr.find("FILE B was not writable"), std::string::npos);
    EXPECT_EQ(ReadFile(Data("b.bin")), "AXCD");
}

TEST_F(CliTest, DatabasePatchesAnotherCopyAndUndoesIt) {
    // FILE B is longer: the database covers the common length.
    WriteFile(Data("a.bin"), "ABCDEFGH");
    WriteFile(Data("b.bin"), "AxCDEyGHIJ");
    ASSERT_EQ(Run({"--db", "a.bin", "b.bin"}).m_nStatus, 1);
    const std::string patch = "--patch=" + (m_prog / "DiffData.db");
    WriteFile(Data("copy.bin"), "ABCDEFGH");

    Result ready = Run({patch, "--from=a", "--check", "copy.bin"});
    EXPECT_EQ(ready.m_nStatus, 0);
    EXPECT_EQ(ready.m_strOut, "copy.bin is ready to patch: all 2 addresses hold FILE A's bytes\n");
    // No terminal and no --yes: the question is answered No.
    Result declined = Run({patch, "--from=a", "copy.bin"});
    EXPECT_EQ(declined.m_nStatus, 2);
    EXPECT_EQ(declined.m_strErr, "patch 2 bytes of copy.bin?\noctetwatch-cli: copy.bin was not "
                                 "patched: the question was answered No\n");
    EXPECT_EQ(ReadFile(Data("copy.bin")), "ABCDEFGH");

    Result patched = Run({patch, "--from=a", "--yes", "copy.bin"});
    EXPECT_EQ(patched.m_nStatus, 0) << patched.m_strErr;
    EXPECT_EQ(ReadFile(Data("copy.bin")), "AxCDEyGH");
    EXPECT_EQ(Run({patch, "--from=a", "--check", "copy.bin"}).m_nStatus, 1);

    Result undone = Run({patch, "--from=b", "--yes", "copy.bin"});
    EXPECT_EQ(undone.m_nStatus, 0) << undone.m_strErr;
    EXPECT_EQ(ReadFile(Data("copy.bin")), "ABCDEFGH");
}

} // namespace
