// The command line's table of results: what each says on standard error and the status it ends
// with. The end-to-end tests reach the results a real file can make; these the rest.
#include "cli/Outcomes.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

CommandResult Result(CommandOutcome outcome, int nFile = -1, const std::string& strPath = {}) {
    CommandResult r;
    r.m_outcome = outcome;
    r.m_nFile = nFile;
    r.m_strPath = strPath;
    return r;
}

CommandResult Ran(RunOutcome run) {
    CommandResult r = Result(CommandOutcome::kRan, 2, "/data/Result.txt");
    r.m_ran.m_outcome = run;
    return r;
}

TEST(Outcomes, EachResultSaysItsOwnLineAndEndsWithItsStatus) {
    const std::vector<std::string> names = {"a.bin", "b.bin"};
    CommandResult writeFailed = Ran(RunOutcome::kLogWriteFailed);
    writeFailed.m_nErrno = EIO;
    CommandResult changed = Ran(RunOutcome::kFileChanged);
    changed.m_ran.m_nChangedFiles = 3;
    CommandResult part = Result(CommandOutcome::kRepairedPart, 0, "/x/a.bin");
    part.m_i64Done = 1000000;
    part.m_i64Found = 1000003;
    CommandResult missing = Ran(RunOutcome::kOpenFailed);
    missing.m_nFile = 1;
    missing.m_nErrno = ENOENT;
    CommandResult pipe = Result(CommandOutcome::kUnmeasurable, 0, "/x/a.bin");
    pipe.m_kind = platform::FileKind::Fifo;
    pipe.m_nErrno = ENXIO;
    const struct {
        CommandResult m_result;
        std::optional<int> m_nExit;
        std::string m_strSaid;
    } cases[] = {
        {Result(CommandOutcome::kSelected, 0, "/x/a.bin"), std::nullopt, ""},
        {Result(CommandOutcome::kExecStarted), std::nullopt, ""},
        {Ran(RunOutcome::kCompleted), std::nullopt, ""},
        {Result(CommandOutcome::kRepaired), kSame, ""},
        {Result(CommandOutcome::kExecSameName), kTrouble, ""},
        {Ran(RunOutcome::kStopped), kTrouble, ""},
        {Result(CommandOutcome::kExecNoThread), kTrouble,
         "octetwatch-cli: the run was not started: the system could not start its worker thread\n"},
        {Result(CommandOutcome::kExecRefreshB, 1, "/x/b.bin"), kTrouble,
         "octetwatch-cli: the run was not started: FILE B could not be measured: b.bin\n"},
        {writeFailed, kTrouble,
         "octetwatch-cli: the run stopped: the log could not be written: /data/Result.txt: "
         "Input/output error\n"},
        {changed, kTrouble,
         "octetwatch-cli: the result is void: FILE A was written, resized or replaced during the "
         "run: a.bin\noctetwatch-cli: the result is void: FILE B was written, resized or replaced "
         "during the run: b.bin\n"},
        {part, kTrouble,
         "octetwatch-cli: only the first 1000000 of 1000003 differences were repaired; compare "
         "again and repeat\n"},
        {Result(CommandOutcome::kRepairNotWritable, 1), kTrouble,
         "octetwatch-cli: no repair: FILE B was not writable when the run started\n"},
        {missing, kTrouble, "octetwatch-cli: b.bin: No such file or directory\n"},
        {pipe, kTrouble,
         "octetwatch-cli: FILE A is a named pipe: only regular files and block devices are "
         "compared: a.bin\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_strSaid);
        ::testing::internal::CaptureStderr();
        const std::optional<int> nExit = Tell(c.m_result, names);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.m_strSaid);
        EXPECT_EQ(nExit, c.m_nExit);
    }
}

} // namespace
