// octetwatch-cli run as a user runs it: its exit status, what it prints, and the files it leaves.
#include "support/TestSupport.h"

#include "diffdb/CMyDiffDBReader.h"
#include "diffdb/CMyDiffDataBase.h"
#include "platform/Encoding.h"
#include "platform/Format.h"
#include "support/Watchdog.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <random>
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
    // The same with one standard descriptor closed: `closed` is "<&-", ">&-" or "2>&-".
    Result RunClosing(const std::vector<std::string>& args, const std::string& closed) {
        return Shell(m_prog / "octetwatch-cli", args, {}, closed);
    }
    // The same for any program (cmp, say).
    Result Shell(const std::string& program, const std::vector<std::string>& args,
                 const std::string& stdoutPath = {}, const std::string& closed = {}) {
        Result r;
        std::error_code ec;
        fs::remove(m_out / "out", ec);
        fs::remove(m_out / "err", ec);
        const int raw = std::system(Command(program, args, stdoutPath, closed).c_str());
        r.m_nStatus = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.m_strOut = ReadFile(m_out / "out");
        r.m_strErr = ReadFile(m_out / "err");
        return r;
    }
    std::string Command(const std::string& program, const std::vector<std::string>& args,
                        const std::string& stdoutPath = {}, const std::string& closed = {}) {
        // Appended piece by piece: GCC 12 warns (-Wrestrict) about "literal" + temporary string.
        std::string cmd = "cd ";
        cmd.append(Quote(m_data.Str())).append(" && exec ").append(Quote(program));
        for (const std::string& a : args)
            cmd.append(" ").append(Quote(a));
        if (closed == ">&-")
            cmd.append(" >&-");
        else
            cmd.append(" >").append(Quote(stdoutPath.empty() ? m_out / "out" : stdoutPath));
        if (closed == "2>&-")
            cmd.append(" 2>&-");
        else
            cmd.append(" 2>").append(Quote(m_out / "err"));
        cmd.append(closed == "<&-" ? " <&-" : " </dev/null");
        return cmd;
    }
    std::string Data(const std::string& name) { return m_data / name; }
    std::string Log() { return ReadFile(m_prog / "Result.txt"); }
    // Runs `cmd` through sh, sends `sig` once the first difference is in the default log, and
    // returns the exit status, or -1 when the program did not exit by itself.
    int StopAtTheFirstDifference(const std::string& cmd, int sig) {
        Watchdog dog(300, "a run stopped by a signal");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (pid <= 0)
            return -1;
        while (Log().find(" h :   ") == std::string::npos)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ::kill(pid, sig);
        int status = 0;
        if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }
    std::string ReadCp932Trace() { return platform::Cp932ToUtf8(ReadFile(m_prog / "DataTrace.txt")); }
    // The summary of a run into the default log, which it names.
    std::string Summary(const std::string& first, const char* a, const char* b,
                        const char* search) {
        return first + "\n\nFILE A : " + a + " BYTE\nFILE B : " + b + " BYTE\nSEARCH : " + search +
               " BYTE\nLOG    : " + (m_prog / "Result.txt") + "\n";
    }

    TempDir m_prog;
    TempDir m_data;
    TempDir m_out;
};

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

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
    // Files that could be compared: only the usage is at fault.
    WriteFile(Data("a"), "x");
    WriteFile(Data("b"), "y");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--frobnicate", "a", "b"}, {"a"}, {"a", "b", "c", "d"}, {"--yes", "--no", "a", "b"},
             {"--patch=db", "f"}, {"--patch=", "--from=a", "f"}, {"--patch=db", "--from=a", "f", "g"},
             {"--patch=db", "--from=a", "--db", "f"}, {"--ranges", "--json", "a", "b"},
             {"--display", "--ranges", "a", "b"}, {"--json", "--display", "a", "b"},
             {"--brief", "a", "b", "log"}, {"--brief", "--db", "a", "b"},
             {"--brief", "--repair=a", "a", "b"}, {"--brief", "--ranges", "a", "b"},
             {"--brief", "--json", "a", "b"}}) {
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

// A standard descriptor closed at start must not be taken by a file the program opens: every file
// afterwards holds what it holds after the same run with all three open. Output that a closed
// standard output could not take is trouble, as a failed write is.
TEST_F(CliTest, ClosedStandardDescriptorsReceiveNothing) {
    const std::string kA = "0123456789", kB = "0123X567Y9";
    const std::string patch = "--patch=" + (m_prog / "DiffData.db");
    const struct {
        const char* name;
        std::vector<std::string> args;
        const char* written; // the file that then holds FILE B's bytes, if any
        int open, noStdin, noStdout, noStderr; // the exit status
    } table[] = {
        {"compare", {"--quiet", "a.bin", "b.bin"}, "", 1, 1, 2, 1},
        {"repair", {"--quiet", "--yes", "--repair=a", "a.bin", "b.bin"}, "a.bin", 0, 0, 2, 0},
        {"patch", {patch, "--from=a", "--yes", "copy.bin"}, "copy.bin", 0, 0, 2, 0},
        {"check", {patch, "--from=a", "--check", "copy.bin"}, "", 0, 0, 2, 0},
    };
    // Every file in the program's and the data folder, the log's time of writing left out.
    auto files = [&] {
        std::map<std::string, std::string> all;
        for (const TempDir* dir : {&m_prog, &m_data}) {
            for (const auto& e : fs::directory_iterator(dir->Path())) {
                std::string text = ReadFile(e.path().string());
                if (const auto at = text.find("Generated by Octetwatch At "); at != text.npos)
                    text.erase(at, text.find('\r', at) - at);
                if (e.path().filename() != "octetwatch-cli")
                    all[e.path().string()] = text;
            }
        }
        return all;
    };
    for (const auto& row : table) {
        std::map<std::string, std::string> expected;
        for (const char* closed : {"", "<&-", ">&-", "2>&-"}) {
            SCOPED_TRACE(std::string(row.name) + " " + closed);
            for (const char* own : {"Result.txt", "DataTrace.txt", "DiffData.db"})
                fs::remove(m_prog / own);
            WriteFile(Data("a.bin"), kA);
            WriteFile(Data("b.bin"), kB);
            WriteFile(Data("copy.bin"), kA);
            ASSERT_EQ(Run({"--quiet", "--db", "a.bin", "b.bin"}).m_nStatus, 1);
            fs::remove(m_prog / "Result.txt");

            const Result r = RunClosing(row.args, closed);
            const std::string c = closed;
            EXPECT_EQ(r.m_nStatus, c == "<&-"    ? row.noStdin
                                   : c == ">&-"  ? row.noStdout
                                   : c == "2>&-" ? row.noStderr
                                                 : row.open)
                << r.m_strErr;
            if (c.empty()) {
                expected = files();
                for (const std::string name : {"a.bin", "copy.bin"})
                    EXPECT_EQ(expected[Data(name)], name == row.written ? kB : kA);
                EXPECT_EQ(expected[Data("b.bin")], kB);
            } else {
                EXPECT_EQ(files(), expected);
            }
            if (c == ">&-") {
                EXPECT_NE(r.m_strErr.find("octetwatch-cli: write error on standard output"),
                          std::string::npos)
                    << r.m_strErr;
            }
        }
    }
}

// Another user (nobody) who may write where the program keeps its files plants links there to a
// file of the user who runs it (root here): such a folder is not used, or is refused with its
// owner and mode, and the file the links lead to never changes.
TEST_F(CliTest, FoldersAnotherUserMayWriteAreNotUsed) {
    TempDir base;
    fs::permissions(base.Path(), fs::perms(01777)); // as /tmp: the other user makes folders in it
    const std::string shared = base / "shared", home = base / "home";
    const char* const owns[] = {"DataTrace.txt", "DiffData.db", "Result.txt"};
    for (const char* own : owns)
        WriteFile(base / ("notes." + std::string(own)), "the user's notes\n");
    fs::create_directory(home);
    fs::create_directory(base / "mine");
    fs::permissions(base / "mine", fs::perms(0700));
    std::string plant = "mkdir -m 0777 shared state state/octetwatch && mkdir -m 0755 share "
                        "share/octetwatch linked && ln -s ";
    plant.append(Quote(base / "mine")).append(" linked/octetwatch && ");
    plant += "for d in shared state/octetwatch share/octetwatch; "
             "do for f in DataTrace.txt DiffData.db Result.txt; do ln -s ";
    plant.append(Quote(base.Str())).append("/notes.$f $d/$f; done; done");
    const Result planted =
        Shell("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "sh", "-c",
                          "cd " + Quote(base.Str()) + " && " + plant});
    ASSERT_EQ(planted.m_nStatus, 0) << planted.m_strErr;
    fs::copy_file(OCTW_CLI_PATH, shared + "/octetwatch-cli");
    WriteFile(Data("a.bin"), "abcd");
    WriteFile(Data("b.bin"), "abXd");

    const struct {
        const char* name;
        std::string stateHome, dataHome;
        int status;
        std::vector<std::string> said, made;
    } table[] = {
        // The program's folder is not used: the files go to the XDG folders below home.
        {"program folder", "", "", 1, {},
         {home + "/.local/state/octetwatch/DataTrace.txt",
          home + "/.local/share/octetwatch/Result.txt",
          home + "/.local/share/octetwatch/DiffData.db"}},
        // XDG folders that are not this user's alone are refused, the default log with them.
        {"XDG folders", base / "state", base / "share", 2,
         {"\t[ " + (base / "state/octetwatch") + " ]\n\t所有者[ nobody ]  モード[ 0777 ]\n",
          "\t[ " + (base / "share/octetwatch") + " ]\n\t所有者[ nobody ]  モード[ 0755 ]\n"},
         {}},
        // A link another user made leads to a folder of this user's: it is that user's choice.
        {"XDG folder behind a link", base / "linked", "", 1,
         {"\t[ " + (base / "linked/octetwatch") + " ]\n\t所有者[ nobody ]  モード[ 0700 ]\n"},
         {home + "/.local/share/octetwatch/Result.txt"}},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.name);
        const Result r = Shell("env", {"-u", "XDG_CONFIG_HOME", "XDG_STATE_HOME=" + c.stateHome,
                                       "XDG_DATA_HOME=" + c.dataHome, "HOME=" + home,
                                       shared + "/octetwatch-cli", "--quiet", "--yes", "--db",
                                       "a.bin", "b.bin"});
        EXPECT_EQ(r.m_nStatus, c.status) << r.m_strErr;
        for (const std::string& text : c.said)
            EXPECT_NE(r.m_strErr.find(text), std::string::npos) << r.m_strErr;
        for (const std::string& path : c.made)
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << path;
        for (const char* own : owns)
            EXPECT_EQ(ReadFile(base / ("notes." + std::string(own))), "the user's notes\n");
    }
    EXPECT_TRUE(fs::is_empty(base / "mine"));
}

// A link at one of the program's own files is refused, wherever it came from; a log the user
// names is followed through a link, as a shell's ">" follows it.
TEST_F(CliTest, LinksAtTheProgramsOwnFilesAreRefused) {
    const char* const owns[] = {"DataTrace.txt", "DiffData.db", "Result.txt"};
    for (const char* own : owns) {
        WriteFile(Data("notes." + std::string(own)), "the user's notes\n");
        fs::create_symlink(Data("notes." + std::string(own)), m_prog / own);
    }
    WriteFile(Data("a.bin"), "abcd");
    WriteFile(Data("b.bin"), "abXd");
    auto refused = [&](const std::string& own) {
        return "※シンボリックリンクはプログラムのファイルとして開きません。\n\t[ " +
               (m_prog / own) + " ]\n";
    };

    const Result byDefault = Run({"--quiet", "--db", "a.bin", "b.bin"});
    EXPECT_EQ(byDefault.m_nStatus, 2);
    for (const char* own : {"DataTrace.txt", "Result.txt"})
        EXPECT_NE(byDefault.m_strErr.find(refused(own)), std::string::npos) << byDefault.m_strErr;

    fs::create_symlink(Data("named.log"), Data("link.log"));
    const Result named = Run({"--quiet", "--db", "a.bin", "b.bin", "link.log"});
    EXPECT_NE(named.m_strErr.find(refused("DiffData.db")), std::string::npos) << named.m_strErr;
    EXPECT_NE(platform::Cp932ToUtf8(ReadFile(Data("named.log"))).find("00000002 h :   63      58"),
              std::string::npos);

    for (const char* own : owns) {
        EXPECT_EQ(ReadFile(Data("notes." + std::string(own))), "the user's notes\n");
        EXPECT_TRUE(fs::is_symlink(m_prog / own)) << own;
    }
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

// The program's own files it could not write: a database asked for and not saved is trouble (a
// run without differences writes none), and a trace that cannot be opened is said once.
TEST_F(CliTest, ProgramFilesThatCannotBeWrittenAreSaidAndTrouble) {
    WriteFile(Data("a.bin"), "ABCDEFGH");
    WriteFile(Data("b.bin"), "ABxDEFyH");
    const std::string old = std::string("\x01\0\0\0\0\0\0\0\x02\0\0\0\0\0\0\0Cx", 18);
    WriteFile(m_prog / "DiffData.db", old);
    MakeReadOnly(m_prog / "DiffData.db");
    Result r = Run({"--db", "a.bin", "b.bin"});
    EXPECT_EQ(r.m_nStatus, 2);
    EXPECT_EQ(r.m_strErr, "※不一致情報データベースの作成に失敗しました。\n"
                          "octetwatch-cli: the difference database was not saved: " +
                              m_prog / "DiffData.db" + "\n");
    EXPECT_EQ(ReadFile(m_prog / "DiffData.db"), old);
    WriteFile(Data("c.bin"), "ABCDEFGH");
    EXPECT_EQ(Run({"--yes", "--db", "a.bin", "c.bin"}).m_nStatus, 0);

    fs::remove(m_prog / "DiffData.db");
    fs::remove(m_prog / "DataTrace.txt");
    fs::create_directory(m_prog / "DataTrace.txt");
    Result t = Run({"--yes", "--db", "a.bin", "b.bin"});
    EXPECT_EQ(t.m_nStatus, 1); // the trace is a diagnostic: the run is not hurt
    EXPECT_EQ(t.m_strErr.find("トレース用ファイルが開けません\n\t[ " + m_prog.Str() +
                              " ]\n\tIs a directory\n"),
              0u)
        << t.m_strErr;
    EXPECT_EQ(t.m_strErr.find("トレース用ファイルが開けません", 1), std::string::npos) << t.m_strErr;
}

// Runs from one folder at once: the database is one run's whole, each run's trace lines are
// kept, and nothing but the program's own files is left.
TEST_F(CliTest, ConcurrentRunsNeverMixTheirFiles) {
    constexpr int kRuns = 8;
    constexpr std::size_t kSize = 256 * 1024, kEvery = 8;
    WriteFile(Data("a.bin"), std::string(kSize, '\0'));
    for (int i = 0; i < kRuns; ++i) {
        std::string b(kSize, '\0');
        for (std::size_t k = static_cast<std::size_t>(i); k < kSize; k += kEvery)
            b[k] = static_cast<char>(i + 1);
        WriteFile(Data("b" + std::to_string(i)), b);
    }
    Watchdog dog(300, "runs at once");
    std::vector<pid_t> pids;
    for (int i = 0; i < kRuns; ++i) {
        const std::string n = std::to_string(i);
        const std::string cmd = "cd " + Quote(m_data.Str()) + " && exec " +
                                Quote(m_prog / "octetwatch-cli") + " --quiet --db a.bin b" + n +
                                " log" + n + " >" + Quote(m_out / ("out" + n)) + " 2>" +
                                Quote(m_out / ("err" + n)) + " </dev/null";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(pid, 0);
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    }

    CMyDiffDataBase store;
    CMyDiffDBReader reader;
    ASSERT_TRUE(reader.ReadDBFileData((m_prog / "DiffData.db").c_str(), &store));
    ASSERT_EQ(store.GetDiffNum(), static_cast<std::int64_t>(kSize / kEvery));
    const std::int64_t run = store.m_ai64Adrs[0];
    ASSERT_LT(run, kRuns);
    for (std::size_t k = 0; k < kSize / kEvery; ++k) {
        ASSERT_EQ(store.m_ai64Adrs[k], static_cast<std::int64_t>(k * kEvery) + run) << k;
        ASSERT_EQ(store.m_abDataA[k], 0) << k;
        ASSERT_EQ(store.m_abDataB[k], run + 1) << k;
    }
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(m_prog.Str()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"DataTrace.txt", "DiffData.db", "octetwatch-cli"}));
    // A start that emptied the trace under a running program would leave that run's last line
    // without its first.
    const std::string trace = ReadFile(m_prog / "DataTrace.txt");
    const std::size_t starts = CountOf(trace, "\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF\r\n");
    EXPECT_GE(starts, 1u);
    EXPECT_EQ(CountOf(trace, platform::Utf8ToCp932("◎不一致情報データベースを作成しました。\r\n")),
              starts);

    // A log another run is writing is refused, untouched.
    WriteFile(Data("busy.log"), "another run's lines\r\n");
    const int other = ::open(Data("busy.log").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    Result busy = Run({"--yes", "a.bin", "b0", "busy.log"});
    ::close(other);
    EXPECT_EQ(busy.m_nStatus, 2);
    EXPECT_NE(busy.m_strErr.find("octetwatch-cli: the run was not started: another run is writing "
                                 "the log: " + Data("busy.log") + "\n"),
              std::string::npos)
        << busy.m_strErr;
    EXPECT_EQ(ReadFile(Data("busy.log")), "another run's lines\r\n");
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
         "ファイルAのサイズ取得に失敗。\n\t[ " + Data("missing.bin") +
             " ]\nファイルが見つかりません。\noctetwatch-cli: missing.bin: No such file or "
             "directory\n"},
        {{"a.bin", "missing.bin"},
         "ファイルBのサイズ取得に失敗。\n\t[ " + Data("missing.bin") +
             " ]\nファイルが見つかりません。\noctetwatch-cli: missing.bin: No such file or "
             "directory\n"},
        {{"a.bin/x", "a.bin"}, "octetwatch-cli: a.bin/x: Not a directory\n"},
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
         "ファイルをオープンできません\nファイル アクセス禁止\nログファイル[ " + Data("fifo") +
             " ]\noctetwatch-cli: the log is a named pipe, which cannot hold a log: fifo\n"},
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
        // As cmp -s: the status alone, no log, nothing said.
        fs::remove(m_prog / "Result.txt");
        const Result brief = Run({"--brief", "a.bin", "b.bin"});
        EXPECT_EQ(brief.m_nStatus, quiet.m_nStatus);
        EXPECT_EQ(brief.m_strOut + brief.m_strErr, "");
        EXPECT_FALSE(fs::exists(m_prog / "Result.txt"));
        EXPECT_FALSE(fs::exists(m_prog / "DiffData.db"));
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
        // Stopped once the first difference is on disk: the run is under way.
        EXPECT_EQ(StopAtTheFirstDifference(cmd, sig), 128 + sig);
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
        // Everything it found would be 24 MiB of messages waiting for the display. Under
        // ThreadSanitizer every byte touched also touches shadow memory, which counts as the
        // program's.
#ifdef __SANITIZE_THREAD__
        constexpr std::int64_t kHeldAtMost = 16 << 20;
#else
        constexpr std::int64_t kHeldAtMost = 8 << 20;
#endif
        EXPECT_LT(held - atStart, kHeldAtMost)
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
    const std::string unfinished = "ログファイル[ " + log +
                                   " ]\nには、それまでに見つかった不一致だけが書かれています。\n"
                                   "終わりの行はなく、データベースは作成していません。\n";
    const std::pair<const char*, std::string> cases[] = {
        {"EIO", "※ログファイルへの書き込みに失敗。ハードウェア エラー\n\n" + unfinished +
                    "octetwatch-cli: the run stopped: the log could not be written: " + log +
                    ": Input/output error\n"},
        {"ENOSPC", "※異なるデータがありましたが\nディスクの空き容量がありません。\n\n" +
                       unfinished + "octetwatch-cli: the run stopped: the log's disk is full\n"},
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
    const std::string refusal = "※不一致情報を書き込むテキストファイルが書き込み不能です。\n\t[ " +
                                Data("ro.log") + " ]\n"
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


// The kernel's faults, injected by strace into the calls on one file of the real program.
class CliFaultTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (Shell("strace", {"-qq", "-o", "/dev/null", "true"}).m_nStatus != 0)
            GTEST_SKIP() << "strace cannot trace here: " << ReadFile(m_out / "err");
        // 20 differences 5000 bytes apart: each is written alone.
        m_a.assign(100000, 'a');
        m_b = m_a;
        for (std::size_t i = 0; i < m_b.size(); i += 5000)
            m_b[i] = 'B';
        WriteFile(Data("b.bin"), m_b);
    }
    // The strace command line that runs the program with `inject` on the calls on FILE A.
    std::vector<std::string> Traced(const std::string& inject, std::vector<std::string> args) {
        // LeakSanitizer cannot work under a tracer.
        const char* pAsan = std::getenv("ASAN_OPTIONS");
        std::vector<std::string> all = {
            "ASAN_OPTIONS=" + std::string(pAsan != nullptr ? pAsan : "") + ":detect_leaks=0",
            "strace", "-f", "-qq", "-o", "/dev/null", "-P", Data("a.bin"), "-e",
            "trace=" + inject.substr(0, inject.find(':')), "-e", "inject=" + inject,
            m_prog / "octetwatch-cli"};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }
    // FILE A with its first n differences repaired.
    std::string Repaired(std::size_t n) const {
        std::string s = m_a;
        for (std::size_t i = 0; i < n; ++i)
            s[i * 5000] = 'B';
        return s;
    }
    // The patch finishes what FILE A holds, and the reverse patch undoes it.
    void ExpectFinishedAndUndone(const std::string& finish, const std::string& undo) {
        const std::string left = ReadFile(Data("a.bin"));
        for (bool bFinish : {true, false}) {
            const std::string& cmd = bFinish ? finish : undo;
            SCOPED_TRACE(cmd);
            WriteFile(Data("a.bin"), left);
            std::istringstream words(cmd);
            std::vector<std::string> args;
            for (std::string w; words >> w;)
                args.push_back(w);
            ASSERT_EQ(args.at(0), "octetwatch-cli");
            args.erase(args.begin());
            args.push_back("--yes");
            const Result r = Run(args);
            EXPECT_EQ(r.m_nStatus, 0) << r.m_strErr;
            EXPECT_EQ(ReadFile(Data("a.bin")), bFinish ? m_b : m_a);
        }
    }
    std::string m_a, m_b;
};

// A write or a flush that fails during a repair or a patch is reported, never success; the file
// is left as the message says, and the patches it names finish or undo it.
TEST_F(CliFaultTest, FailedWriteOrFlushIsNeverSuccess) {
    const std::string file = Data("a.bin"), db = m_prog / "DiffData.db";
    const std::string hint = "; to finish the repair: octetwatch-cli --patch=" + db + " --from=a " +
                             file + "; to undo it: octetwatch-cli --patch=" + db + " --from=b " +
                             file + "\n";
    WriteFile(file, m_a);
    ASSERT_EQ(Run({"--db", "a.bin", "b.bin"}).m_nStatus, 1);
    const std::vector<std::string> repair = {"--quiet", "--yes", "--repair=a", "a.bin", "b.bin"};
    const std::vector<std::string> patch = {"--patch=" + db, "--from=a", "--yes", "a.bin"};
    struct Case {
        const char* m_name;
        const char* m_pInject;
        bool m_bRepair;
        std::string m_strBefore;
        std::size_t m_nLeft; // differences repaired afterwards
        std::string m_strErr;
    };
    const Case cases[] = {
        {"repair_third_write", "pwrite64:error=EIO:when=3", true, m_a, 2,
         "the repair stopped: writing " + file + " at address 0000002710 h (10000) failed: "
         "Input/output error; 2 bytes were written: 2 of 20 addresses now hold FILE B's byte, 18 "
         "still FILE A's" + hint},
        {"repair_flush", "fsync:error=EIO", true, m_a, 20,
         "the repair stopped: flushing " + file + " to disk failed: Input/output error; 20 bytes "
         "were written: 20 of 20 addresses now hold FILE B's byte, 0 still FILE A's" + hint},
        {"patch_flush", "fsync:error=EIO", false, m_a, 20,
         "flushing a.bin to disk failed: Input/output error; 20 bytes were written"},
        {"already_patched_flush", "fsync:error=EIO", false, m_b, 20,
         "flushing a.bin to disk failed: Input/output error; it holds FILE B's bytes at all 20 "
         "addresses, but they may not be on disk\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_name);
        WriteFile(file, c.m_strBefore);
        const Result r = Shell("env", Traced(c.m_pInject, c.m_bRepair ? repair : patch));
        EXPECT_EQ(r.m_nStatus, 2);
        EXPECT_NE(r.m_strErr.find(c.m_strErr), std::string::npos) << r.m_strErr;
        EXPECT_EQ(r.m_strErr.find("◎ファイルの修復が完了しました。"), std::string::npos);
        EXPECT_EQ(r.m_strOut.find("patched"), std::string::npos) << r.m_strOut;
        EXPECT_EQ(ReadFile(file), Repaired(c.m_nLeft));
        if (c.m_bRepair) {
            EXPECT_NE(r.m_strErr.find(platform::Format(
                          "\tRepairedCount[ %015d ]\n\tFailedCount[ %015d ]\n",
                          static_cast<int>(c.m_nLeft), 20 - static_cast<int>(c.m_nLeft))),
                      std::string::npos);
        }
        ExpectFinishedAndUndone("octetwatch-cli --patch=" + db + " --from=a a.bin",
                                "octetwatch-cli --patch=" + db + " --from=b a.bin");
    }
}

// During a repair a hang-up, like Ctrl+C, lets the repair finish; a second signal ends the
// program at once, naming the patches that finish or undo what the repair left.
TEST_F(CliFaultTest, SecondSignalDuringARepairNamesThePatches) {
    for (const std::vector<int>& signals : {std::vector<int>{SIGINT, SIGHUP}, {SIGHUP}}) {
        SCOPED_TRACE(signals.size());
        WriteFile(Data("a.bin"), m_a);
        // The second write waits long enough for the signals to arrive.
        const std::string cmd = Command(
            "env", Traced("pwrite64:delay_enter=3s:when=2",
                          {"--quiet", "--yes", "--repair=a", "a.bin", "b.bin"}));
        Watchdog dog(120, "a repair stopped by signals");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(pid, 0);
        while (ReadFile(Data("a.bin"))[0] != 'B')
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        // The shell became env, then strace; the program is strace's child.
        pid_t prog = 0;
        std::ifstream(platform::Format("/proc/%d/task/%d/children", pid, pid)) >> prog;
        ASSERT_GT(prog, 0);
        for (int sig : signals)
            ::kill(prog, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        const std::string err = ReadFile(m_out / "err");
        if (signals.size() == 1) {
            EXPECT_EQ(WEXITSTATUS(status), 128 + SIGHUP);
            EXPECT_EQ(ReadFile(Data("a.bin")), m_b);
            EXPECT_NE(err.find("◎ファイルの修復が完了しました。"), std::string::npos) << err;
            continue;
        }
        EXPECT_TRUE(WEXITSTATUS(status) == 128 + SIGINT || WEXITSTATUS(status) == 128 + SIGHUP);
        const std::string note = "octetwatch-cli: interrupted again: ending at once; " +
                                 Data("a.bin") + " may be partly repaired: to finish the repair: ";
        const std::size_t at = err.find(note);
        ASSERT_NE(at, std::string::npos) << err;
        const std::string rest = err.substr(at + note.size());
        const std::size_t undo = rest.find("; to undo it: ");
        ASSERT_NE(undo, std::string::npos);
        ASSERT_NE(ReadFile(Data("a.bin")), m_b);
        ExpectFinishedAndUndone(rest.substr(0, undo),
                                rest.substr(undo + 14, rest.find('\n') - undo - 14));
    }
}


// A run of consecutive differing bytes as cmp -l lists them: first and last address (from 0),
// and the bytes of each file.
struct CmpRange {
    long long m_nFirst = 0, m_nLast = 0;
    std::string m_strA, m_strB;
};

std::vector<CmpRange> RangesOfCmp(const std::string& listed) {
    std::vector<CmpRange> ranges;
    std::istringstream in(listed);
    long long pos = 0;
    unsigned a = 0, b = 0;
    while (in >> pos >> std::oct >> a >> b >> std::dec) {
        if (ranges.empty() || ranges.back().m_nLast != pos - 2)
            ranges.push_back({pos - 1, pos - 1, {}, {}});
        ranges.back().m_nLast = pos - 1;
        ranges.back().m_strA += platform::Format("%02X", a);
        ranges.back().m_strB += platform::Format("%02X", b);
    }
    return ranges;
}

// Every line of a JSON Lines file read by Python's own parser, printed one a line as
// "START END LENGTH A B" (a key left out as "-") or "summary KEY=VALUE ...", the map's counts last.
constexpr const char* kJsonReader = R"(import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    o = json.loads(line)
    if "summary" in o:
        s = o["summary"]
        m = s.pop("map")
        print("summary", *sorted(f"{k}={v}" for k, v in s.items()), "length=%d" % m["length"],
              "buckets=%d" % m["buckets"], *m["counts"])
    else:
        assert set(o) <= {"start", "end", "length", "a", "b"}, o
        print(o["start"], o["end"], o["length"], o.get("a", "-"), o.get("b", "-"))
)";

// --ranges and --json list exactly the runs of cmp -l's differences, each run once however many
// reads and slices it spans, and the map counts each difference in the bucket of its address.
TEST_F(CliTest, RangesAndJsonAgreeWithCmp) {
    constexpr long long kSlice = 64 << 10, kBlock = 8 << 20, k4G = 1LL << 32;
    const struct {
        const char* m_name;
        long long m_nA, m_nB;
        std::vector<std::pair<long long, long long>> m_runs; // first byte, length
        int m_nRandomRuns;                                   // and so many more, anywhere
    } pairs[] = {
        {"both_empty", 0, 0, {}, 0},
        {"a_empty", 0, 10, {}, 0},
        {"equal", 5000, 5000, {}, 0},
        {"unequal_sizes", 3000, 2000, {{0, 1}, {1990, 10}}, 20},
        {"slice_edges", 4 * kSlice + 7, 4 * kSlice + 7,
         {{kSlice - 3, 6}, {2 * kSlice - 1, 1}, {2 * kSlice, 1}, {4 * kSlice - 64, 71}}, 60},
        {"block_edges", 2 * kBlock + 5, 2 * kBlock + 9,
         {{kBlock - 64, 128}, {2 * kBlock - 1, 6}}, 40},
        {"over_4_gib_sparse", k4G + 4096 + 3, k4G + 4096 + 3,
         {{k4G - 2, 5}, {k4G + 4096 - 1, 4}}, 10},
    };
    std::mt19937_64 random(20261207);
    for (const auto& p : pairs) {
        SCOPED_TRACE(p.m_name);
        MakeSparse(Data("a.bin"), p.m_nA);
        MakeSparse(Data("b.bin"), p.m_nB);
        const long long common = std::min(p.m_nA, p.m_nB);
        auto runs = p.m_runs;
        for (int i = 0; i < p.m_nRandomRuns; ++i) {
            const long long first = static_cast<long long>(random() % static_cast<std::uint64_t>(common));
            runs.emplace_back(first, std::min<long long>(1 + random() % 100, common - first));
        }
        {
            std::fstream a(Data("a.bin"), std::ios::binary | std::ios::in | std::ios::out);
            std::fstream b(Data("b.bin"), std::ios::binary | std::ios::in | std::ios::out);
            for (const auto& [first, length] : runs)
                for (long long at = first; at < first + length; ++at) {
                    const auto x = static_cast<char>(random());
                    a.seekp(at).put(x);
                    b.seekp(at).put(static_cast<char>(x + 1 + random() % 255));
                }
        }
        const std::vector<CmpRange> expected =
            RangesOfCmp(Shell("cmp", {"-l", "a.bin", "b.bin"}).m_strOut);
        const int quiet = expected.empty() && p.m_nA == p.m_nB ? 0 : 1;

        std::string text;
        for (const CmpRange& r : expected)
            text += platform::Format("%010I64X-%010I64X %I64d\n", r.m_nFirst, r.m_nLast,
                                     r.m_nLast - r.m_nFirst + 1);
        const Result ranges = Run({"--ranges", "--yes", "a.bin", "b.bin", "log.txt"});
        EXPECT_EQ(ranges.m_nStatus, quiet);
        EXPECT_EQ(ranges.m_strOut, text);
        EXPECT_NE(ranges.m_strErr.find("SEARCH : "), std::string::npos) << "the summary";

        const Result json = Run({"--json", "--yes", "a.bin", "b.bin", "log.txt"}, Data("out.json"));
        EXPECT_EQ(json.m_nStatus, quiet);
        const Result read = Shell("python3", {"-c", kJsonReader, Data("out.json")});
        ASSERT_EQ(read.m_nStatus, 0) << read.m_strErr;
        std::string lines;
        long long differences = 0;
        for (const CmpRange& r : expected) {
            const long long length = r.m_nLast - r.m_nFirst + 1;
            const bool kept = length <= 64;
            lines += platform::Format("%I64d %I64d %I64d %s %s\n", r.m_nFirst, r.m_nLast, length,
                                      kept ? r.m_strA.c_str() : "-", kept ? r.m_strB.c_str() : "-");
            differences += length;
        }
        // The buckets by their definition: bucket i begins at i * length / buckets.
        const long long buckets = std::min<long long>(common, 4096);
        std::vector<long long> counts(static_cast<std::size_t>(buckets), 0);
        const auto firstOf = [&](long long i) {
            return static_cast<long long>(static_cast<__int128>(i) * common / buckets);
        };
        for (const CmpRange& r : expected)
            for (long long at = r.m_nFirst; at <= r.m_nLast; ++at) {
                long long i = 0;
                for (long long step = 4096; step > 0; step /= 2)
                    if (i + step < buckets && firstOf(i + step) <= at)
                        i += step;
                ++counts[static_cast<std::size_t>(i)];
            }
        lines += platform::Format(
            "summary compared=%I64d differences=%I64d log=%s outcome=completed ranges=%zu "
            "reason=None same=%s size_a=%I64d size_b=%I64d length=%I64d buckets=%I64d",
            common, differences, Data("log.txt").c_str(), expected.size(),
            quiet == 0 ? "True" : "False", p.m_nA, p.m_nB, common, buckets);
        for (long long c : counts)
            lines += " " + std::to_string(c);
        EXPECT_EQ(read.m_strOut, lines + "\n");
        EXPECT_NE(json.m_strErr.find("SEARCH : "), std::string::npos) << "the summary";
    }
}

// Whatever ends the run, --json ends with its summary, and standard output has nothing else.
TEST_F(CliTest, JsonEndsWithTheSummaryWhateverEndsTheRun) {
    constexpr std::size_t kSize = 128u << 20, kEvery = 256;
    std::string b(kSize, '\0');
    for (std::size_t i = 0; i < kSize; i += kEvery)
        b[i] = '\xFF';
    MakeSparse(Data("a.bin"), kSize);
    WriteFile(Data("b.bin"), b);
    const auto lastLine = [this] {
        const Result read = Shell("python3", {"-c", kJsonReader, Data("out.json")});
        EXPECT_EQ(read.m_nStatus, 0) << read.m_strErr;
        const std::string& out = read.m_strOut;
        const std::size_t last = out.rfind('\n', out.size() - 2);
        return out.substr(last == std::string::npos ? 0 : last + 1);
    };

    const Result missing = Run({"--json", "nothing.bin", "b.bin"}, Data("out.json"));
    EXPECT_EQ(missing.m_nStatus, 2);
    EXPECT_EQ(lastLine().rfind("summary compared=0 differences=0 log=", 0), 0u);
    EXPECT_NE(lastLine().find(" outcome=failed ranges=0 reason=not_started same=None "),
              std::string::npos);

    const std::string cmd = Command(m_prog / "octetwatch-cli",
                                    {"--json", "--quiet", "a.bin", "b.bin"}, Data("out.json"));
    EXPECT_EQ(StopAtTheFirstDifference(cmd, SIGINT), 128 + SIGINT);
    // Every range found before the stop, one byte each, then the summary.
    const std::string summary = lastLine();
    EXPECT_NE(summary.find(" outcome=stopped ranges="), std::string::npos) << summary;
    const Result read = Shell("python3", {"-c", kJsonReader, Data("out.json")});
    std::istringstream in(read.m_strOut);
    std::size_t n = 0;
    for (std::string line; std::getline(in, line) && line.rfind("summary", 0) != 0; ++n)
        EXPECT_EQ(line, std::to_string(n * kEvery) + " " + std::to_string(n * kEvery) + " 1 00 FF");
    EXPECT_NE(summary.find(" ranges=" + std::to_string(n) + " "), std::string::npos) << summary;
    EXPECT_GT(n, 0u);
}

// On a terminal the summary ends with the map as wide as the terminal, from the first address to
// the last; not in a file.
TEST_F(CliTest, SummaryOnATerminalEndsWithThePicture) {
    MakeSparse(Data("a.bin"), 1 << 20);
    MakeSparse(Data("b.bin"), 1 << 20);
    PokeByte(Data("b.bin"), (1 << 20) - 1, 1);
    const Result inFile = Run({"a.bin", "b.bin"});
    EXPECT_EQ(inFile.m_strOut.find("▁"), std::string::npos);
    // script(1) gives the program a terminal of its own, of the width stty makes it.
    const Result onTerminal =
        Shell("script", {"-qec", "stty cols 50; " + Command(m_prog / "octetwatch-cli",
                                                            {"--quiet", "--yes", "a.bin", "b.bin"},
                                                            "/dev/tty"),
                         "/dev/null"});
    EXPECT_EQ(onTerminal.m_nStatus, 1) << onTerminal.m_strErr;
    std::string tail = onTerminal.m_strOut;
    tail.erase(std::remove(tail.begin(), tail.end(), '\r'), tail.end());
    const std::string picture = "0000000000 " + [] {
        std::string bars;
        for (int i = 0; i < 27; ++i)
            bars += "▁";
        return bars;
    }() + "█ 00000FFFFF\n";
    EXPECT_EQ(tail.substr(tail.size() - std::min(tail.size(), picture.size())), picture) << tail;
    EXPECT_NE(tail.find("LOG    : " + (m_prog / "Result.txt") + "\n0000000000 "), std::string::npos);
}

} // namespace
