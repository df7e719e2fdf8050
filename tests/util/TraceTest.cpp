#include "util/Trace.h"

#include "support/ProgramFolder.h"
#include "support/ScriptedUi.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

using namespace testsupport;

namespace {

const char* const kCannotOpen = "トレース用ファイルが開けません";

TEST(TraceFile, StoresCp932WithCrLfAndAddsNothing) {
    ProgramFolder prog;
    WriteTrace("※引数が無効。IxExistFile()\n");
    WriteTrace("○　表[%s]\n\tFileName[ソ]\n");
    EXPECT_EQ(prog.Trace(), "\x81\xA6\x88\xF8\x90\x94\x82\xAA\x96\xB3\x8C\xF8\x81\x42"
                            "IxExistFile()\r\n"
                            "\x81\x9B\x81\x40\x95\x5C[%s]\r\n\tFileName[\x83\x5C]\r\n");
}

TEST(TraceFile, WhatABoxSaysIsTracedAsAWholeLine) {
    ProgramFolder prog;
    support::ScriptedUi ui;
    TraceAndShow("※ひとつ\n");
    TraceAndShow("※ふたつ", ui::BoxIcon::Exclamation);
    EXPECT_EQ(ui.BoxTexts(), (std::vector<std::string>{"※ひとつ\n", "※ふたつ"}));
    EXPECT_EQ(ui.EventsOf(support::UiEvent::Kind::Box).back().m_icon, ui::BoxIcon::Exclamation);
    EXPECT_EQ(prog.Trace(), "\x81\xA6\x82\xD0\x82\xC6\x82\xC2\r\n"
                            "\x81\xA6\x82\xD3\x82\xBD\x82\xC2\r\n");
}

TEST(TraceFile, EmptyMessageCreatesTheFileAndWritesNothing) {
    ProgramFolder prog;
    ASSERT_FALSE(fs::exists(prog / "DataTrace.txt"));
    WriteTrace("");
    EXPECT_TRUE(fs::exists(prog / "DataTrace.txt"));
    EXPECT_EQ(fs::file_size(prog / "DataTrace.txt"), 0u);
}

TEST(TraceFile, StartUpMarkerIsWrittenAsRawBytes) {
    ProgramFolder prog;
    WriteFile(prog / "DataTrace.txt", "left from the last start\r\n");
    ResetTraceFile();
    EXPECT_EQ(fs::file_size(prog / "DataTrace.txt"), 0u);
    std::string marker;
    for (int c = 0xF0; c <= 0xFF; ++c)
        marker.push_back(static_cast<char>(c));
    WriteTrace(marker);
    WriteTrace("\n");
    EXPECT_EQ(prog.Trace(), marker + "\r\n");
}

TEST(TraceFile, MessageLengthNotTerminatorCounts) {
    ProgramFolder prog;
    WriteTrace(std::string("a\0b\n", 4));
    EXPECT_EQ(prog.Trace(), std::string("a\0b\r\n", 5));
}

TEST(TraceFile, UnopenableFileIsSaidOnceWithItsFolderAndReason) {
    ProgramFolder prog;
    support::ScriptedUi ui;
    WriteFile(prog / "DataTrace.txt", "kept");
    MakeReadOnly(prog / "DataTrace.txt");
    ResetTraceFile(); // silent, and the file stays as it was
    EXPECT_TRUE(ui.BoxTexts().empty());
    for (int i = 0; i < 3; ++i)
        WriteTrace("※lost\n");
    g_strTracePath = prog / "no-such-folder/DataTrace.txt";
    WriteTrace("※lost\n");
    EXPECT_EQ(prog.Trace(), "kept");
    EXPECT_EQ(ui.BoxTexts(), std::vector<std::string>{std::string(kCannotOpen) + "\n\t[ " +
                                                      prog.Str() + " ]\n\tPermission denied"});

    // A later call tries again from the start; a failure after a success is said again.
    g_strTracePath = prog / "DataTrace.txt";
    fs::permissions(g_strTracePath, fs::perms::owner_write, fs::perm_options::add);
    WriteTrace("◎\n");
    EXPECT_EQ(prog.Trace(), "kept\x81\x9D\r\n");
    g_strTracePath = prog / "no-such-folder/DataTrace.txt";
    WriteTrace("※lost\n");
    WriteTrace("※lost\n");
    const auto boxes = ui.EventsOf(support::UiEvent::Kind::Box);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].m_strText, std::string(kCannotOpen) + "\n\t[ " + prog.Str() +
                                      "/no-such-folder ]\n\tNo such file or directory");
    EXPECT_EQ(boxes[1].m_buttons, ui::BoxButtons::Ok);
    EXPECT_EQ(boxes[1].m_icon, ui::BoxIcon::None);
}

// A start empties the trace only when no running program holds it; otherwise it appends, and
// says so.
TEST(TraceFile, StartAppendsWhileAnotherProgramHoldsTheTrace) {
    ProgramFolder prog;
    WriteFile(prog / "DataTrace.txt", "another run's line\r\n");
    {
        const int other = ::open((prog / "DataTrace.txt").c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(other, 0);
        ASSERT_EQ(::flock(other, LOCK_SH), 0);
        ResetTraceFile();
        WriteTrace("○mine\n");
        ::close(other);
    }
    EXPECT_EQ(prog.Trace(), "another run's line\r\n" +
                                OnDisk("○トレースファイルは実行中の別のプログラムが使用しているため、"
                                       "空にせずに追記します。\n\tFileName[" +
                                       prog / "DataTrace.txt" + "]\n○mine\n"));
    // This program's own hold does not keep its next start from emptying the file.
    ResetTraceFile();
    EXPECT_EQ(prog.Trace(), "");
    // And it is held: another start now appends.
    const int other = ::open((prog / "DataTrace.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);
}

} // namespace
