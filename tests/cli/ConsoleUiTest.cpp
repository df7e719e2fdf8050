#include "cli/ConsoleUi.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>

using namespace testsupport;
using namespace platform;
using namespace ui;
using namespace cli;

namespace {

// Runs `f` with standard output and standard error (and, if given, standard input) redirected
// to files, and returns what was written to each.
struct Output {
    std::string out, err;
};
Output Capture(const std::function<void()>& f, const char* stdinPath = nullptr) {
    TempDir dir;
    std::fflush(stdout);
    std::fflush(stderr);
    const int saved[3] = {::dup(0), ::dup(1), ::dup(2)};
    const int out = ::open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open((dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (stdinPath) {
        const int in = ::open(stdinPath, O_RDONLY | O_NOCTTY);
        ::dup2(in, 0);
        ::close(in);
    }
    f();
    std::fflush(stdout);
    std::fflush(stderr);
    for (int i = 0; i < 3; ++i) {
        ::dup2(saved[i], i);
        ::close(saved[i]);
    }
    ::close(out);
    ::close(err);
    return {ReadFile(dir / "out"), ReadFile(dir / "err")};
}

BoxSpec YesNo(const std::string& text) {
    BoxSpec box(text, BoxIcon::Question);
    box.m_buttons = BoxButtons::YesNo;
    return box;
}

TEST(ConsoleUi, BoxPrintsUtf8LinesOnStandardError) {
    ConsoleUi ui;
    int answer = 0;
    Output o = Capture([&] { answer = ui.MessageBox(BoxSpec("※表示できません。\r\n二行目")); });
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "※表示できません。\n二行目\n");
    o = Capture([&] { ui.MessageBox(BoxSpec("◎済み\n")); });
    EXPECT_EQ(o.err, "◎済み\n"); // its own line end is not doubled
}

TEST(ConsoleUi, QuestionsTakeThePresetAnswer) {
    const struct {
        std::optional<bool> preset;
        int box, overwrite;
    } table[] = {{true, IDYES, IDOK}, {false, IDNO, IDCANCEL}};
    for (const auto& t : table) {
        SCOPED_TRACE(*t.preset ? "--yes" : "--no");
        ConsoleUi ui;
        ui.SetPresetAnswer(t.preset);
        int box = 0, overwrite = 0;
        Output o = Capture([&] {
            box = ui.MessageBox(YesNo("上書きしますか?"));
            overwrite = ui.OverwriteQuestion(DialogTemplate{}, "Result.txt\n");
        });
        EXPECT_EQ(box, t.box);
        EXPECT_EQ(overwrite, t.overwrite);
        EXPECT_EQ(o.err, "上書きしますか?\nResult.txt\n"); // the question is still shown
        EXPECT_EQ(o.out, "");
    }
}

TEST(ConsoleUi, QuestionWithoutTerminalOrPresetIsNo) {
    ConsoleUi ui;
    int answer = 0;
    Capture([&] { answer = ui.MessageBox(YesNo("続けますか?")); }, "/dev/null");
    EXPECT_EQ(answer, IDNO);
}

TEST(ConsoleUi, EnterAloneTakesTheDefaultButton) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string typed = "\n\ny\nn\n";
    ASSERT_EQ(::write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    BoxSpec yesFirst = YesNo("保存?"), noFirst = YesNo("修復?");
    noFirst.m_nDefaultButton = 2;
    ConsoleUi ui;
    std::vector<int> answers;
    Output o = Capture(
        [&] {
            for (const BoxSpec* box : {&yesFirst, &noFirst, &noFirst, &yesFirst})
                answers.push_back(ui.MessageBox(*box));
        },
        ::ptsname(master));
    ::close(master);
    EXPECT_EQ(answers, (std::vector<int>{IDYES, IDNO, IDYES, IDNO}));
    EXPECT_EQ(o.err, "保存? [Y/n] 修復? [y/N] 修復? [y/N] 保存? [Y/n] ");
}

TEST(ConsoleUi, RouterSendsChosenBoxesToStandardOutput) {
    ConsoleUi ui;
    ui.SetStdoutBoxes([](const BoxSpec& box) { return box.m_strText.rfind("◎", 0) == 0; });
    Output o = Capture([&] {
        ui.MessageBox(BoxSpec("◎比較終了"));
        ui.MessageBox(BoxSpec("※失敗"));
        ui.MessageBox(BoxSpec("◎二つ目"));
    });
    EXPECT_EQ(o.out, "◎比較終了\n◎二つ目\n");
    EXPECT_EQ(o.err, "※失敗\n");
}

TEST(ConsoleUi, ProgressLineIsEndedBeforeABox) {
    ConsoleUi ui;
    ui.SetProgressBar(true);
    Output o = Capture([&] {
        ui.SetProgressPos(1, 50);
        ui.MessageBox(BoxSpec("box"));
    });
    EXPECT_EQ(o.err, "\r[" + std::string(20, '#') + std::string(20, ' ') + "] 50%\nbox\n");
}

} // namespace
