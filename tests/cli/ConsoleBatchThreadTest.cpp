// The terminal backend under a flood of differences: they reach the window whole and in order
// with everything else the worker sends, and their lines are all out before the summary.
#include "cli/CliUi.h"

#include "support/TestSupport.h"
#include "support/Watchdog.h"
#include "util/Messages.h"

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>

using namespace testsupport;

namespace {

using Message = std::tuple<UINT, WPARAM, LPARAM>;

// "(n)", built piece by piece: GCC 12 warns (-Wrestrict) about "literal" + temporary string.
std::string Numbered(WPARAM n) {
    std::string text = "(";
    text.append(std::to_string(n)).append(")");
    return text;
}

// Records what it is sent and, given the backend, prints a line per difference, as the main
// window's output box does through the command line's observer.
class Window : public ui::CWndTarget {
public:
    explicit Window(cli::ConsoleUi* printTo = nullptr) : m_printTo(printTo) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        m_received.emplace_back(message, wParam, lParam);
        if (m_printTo && message == WM_DIFF_COUNT)
            m_printTo->PrintLine(Numbered(wParam));
        return 0;
    }
    void OnCommand(int) override {}
    void OnDropFiles(int, const std::vector<std::string>&) override {}
    std::vector<Message> m_received;

private:
    cli::ConsoleUi* m_printTo;
};

// The worker's three messages for difference `n`, as the engine posts them, recorded in `posted`.
void PostDifference(ui::UiQueue& ui, Window& window, WPARAM n, std::vector<Message>& posted) {
    for (const Message& m : {Message{WM_DIFF_ADRS, n * 64, 0}, Message{WM_DIFF_DATA, 1, 2},
                             Message{WM_DIFF_COUNT, n, 0}}) {
        posted.push_back(m);
        ui.PostMessage(&window, std::get<0>(m), std::get<1>(m), std::get<2>(m));
    }
}

TEST(DisplayBatches, ArriveInOrderWithEverythingElseAndTheirLinesPrecedeTheSummary) {
    TempDir dir;
    std::fflush(stdout);
    const int saved = ::dup(1);
    const int out = ::open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(out, 1);

    CCliUi ui;
    ui.SetStdoutBoxes([](const ui::BoxSpec& box) {
        return box.m_icon == ui::BoxIcon::Information;
    });
    Window window(&ui);
    std::vector<Message> posted;
    constexpr WPARAM kDiffs = 20000;
    ui.StartWorker([&] {
        for (WPARAM n = 1; n <= kDiffs; ++n) {
            PostDifference(ui, window, n, posted);
            if (n % 7000 == 0) { // something else in between, as a chunk's end would bring
                posted.emplace_back(WM_DISABLE_CTRLS, n, 0);
                ui.PostMessage(&window, WM_DISABLE_CTRLS, n, 0);
                ui.SetProgressPos(1, static_cast<int>(n / 1000));
            }
        }
        ui.MessageBox(ui::BoxSpec("summary", ui::BoxIcon::Information));
        return 0;
    });
    ui.WaitWorker();
    ui.FinishProgressLine();

    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    ::close(out);
    EXPECT_EQ(window.m_received, posted);
    std::string lines;
    for (WPARAM n = 1; n <= kDiffs; ++n)
        lines.append(Numbered(n)).append("\n");
    EXPECT_EQ(ReadFile(dir / "out"), lines + "summary\n");
}

TEST(DisplayBatches, WhatAWorkerGatheredLastIsDeliveredWhenItEndsWithoutAWord) {
    CCliUi ui;
    Window sink;
    ui.StartWorker([&] {
        ui.PostMessage(&sink, WM_DIFF_ADRS, 0, 0);
        ui.PostMessage(&sink, WM_DIFF_DATA, 0, 0);
        ui.PostMessage(&sink, WM_DIFF_COUNT, 1, 0);
        return 1; // abandoned, as on the disk reserve: nothing else follows
    });
    ui.WaitWorker();
    EXPECT_EQ(sink.m_received, (std::vector<Message>{{WM_DIFF_ADRS, 0, 0}, {WM_DIFF_DATA, 0, 0},
                                                     {WM_DIFF_COUNT, 1, 0}}));
}

// A reader that takes nothing (a pager paused): the worker is held once a bounded amount of live
// output waits, goes on when some is taken, and a stop lets it run to its end without the reader.
TEST(DisplayBatches, AWorkerAheadOfItsReaderWaitsAtTheBoundAndAStopEndsTheWait) {
    testsupport::Watchdog dog(120, "a worker held by its reader");
    struct : CCliUi {
        using UiQueue::PumpWhile;
    } ui;
    Window window;
    std::vector<Message> posted;
    std::atomic<std::size_t> nPosted{0};
    std::atomic<bool> done{false};
    ui.StartWorker([&] {
        for (WPARAM n = 1; n <= 100000; ++n) {
            PostDifference(ui, window, n, posted);
            nPosted += 3;
        }
        done = true;
        return 0;
    });
    auto await = [](auto pred) {
        while (!pred())
            std::this_thread::yield();
    };
    // Held with no more than a few MiB of messages waiting (each is 24 bytes here, more there).
    await([&] { return ui.LiveOutputWaits() == 1; });
    const std::size_t held = nPosted;
    EXPECT_LT(held, 3u * 65536u);
    EXPECT_FALSE(done);
    // One batch taken: it goes on, and is held again.
    EXPECT_EQ(ui.PumpWhile([] { return false; }), 1u);
    await([&] { return ui.LiveOutputWaits() == 2; });
    EXPECT_GT(nPosted.load(), held);
    // A stop: the worker ends although the reader still takes nothing.
    ui.EndLiveOutputWait();
    await([&] { return done.load(); });
    ui.WaitWorker();
    // What reached the window is what was posted first, in whole triples, and less than all.
    ASSERT_LT(window.m_received.size(), posted.size());
    EXPECT_EQ(window.m_received.size() % 3, 0u);
    EXPECT_TRUE(std::equal(window.m_received.begin(), window.m_received.end(), posted.begin()));
}

} // namespace
