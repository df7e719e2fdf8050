#include "ui/Ui.h"
#include "ui/Control.h"
#include "support/ScriptedUi.h"

#include "support/ThreadExit.h"
#include "support/Watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>

using namespace ui;
using namespace support;

namespace {

constexpr int kProgress = 100;
constexpr int kButton = 101;
constexpr UINT kMsg = WM_USER + 1;

DialogTemplate TwoControls() {
    DialogTemplate dlg{1, "test", 100, 100, "font", 9, {}};
    dlg.m_controls.push_back({kProgress, ControlKind::Progress, "", 0, 0, 10, 10, kStyleNone});
    dlg.m_controls.push_back({kButton, ControlKind::PushButton, "go", 0, 0, 10, 10, kStyleNone});
    return dlg;
}

using testsupport::Watchdog;

// Records every delivered message with the state of the controls at that moment.
class Recorder : public CWndTarget {
public:
    struct Delivery {
        std::thread::id m_thread;
        UINT m_message;
        WPARAM m_wParam;
        LPARAM m_lParam;
        int m_nProgress;
        bool m_bEnabled;
    };
    explicit Recorder(IUi& ui) : m_ui(ui) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        m_deliveries.push_back({std::this_thread::get_id(), message, wParam, lParam,
                                m_ui.GetProgressPos(kProgress), m_ui.IsControlEnabled(kButton)});
        return 0;
    }
    void OnCommand(int) override {}
    void OnDropFiles(int, const std::vector<std::string>&) override {}

    IUi& m_ui;
    std::vector<Delivery> m_deliveries;
};

TEST(UiWorker, PostedMessagesAndEffectsArriveInOrderOnTheUiThread) {
    Watchdog dog(120, "a wait for the worker");
    ScriptedUi ui;
    Recorder wnd(ui);
    ui.CreateDialogWindow(TwoControls(), &wnd);
    constexpr int kCount = 500;
    ui.StartWorker([&] {
        for (int i = 1; i <= kCount; ++i) {
            CControl(kProgress).SetPos(i);
            CControl(kButton).EnableWindow(i % 2 == 0);
            Ui().PostMessage(&wnd, kMsg, static_cast<WPARAM>(i), -i);
        }
        return 7;
    });
    ui.WaitWorker();
    EXPECT_EQ(ui.WorkerExitCode(), 7);
    EXPECT_FALSE(ui.IsWorkerRunning());
    ASSERT_EQ(wnd.m_deliveries.size(), static_cast<std::size_t>(kCount));
    for (int i = 1; i <= kCount; ++i) {
        const auto& d = wnd.m_deliveries[static_cast<std::size_t>(i - 1)];
        EXPECT_EQ(d.m_thread, std::this_thread::get_id());
        EXPECT_EQ(d.m_message, kMsg);
        EXPECT_EQ(d.m_wParam, static_cast<WPARAM>(i));
        EXPECT_EQ(d.m_lParam, -i);
        EXPECT_EQ(d.m_nProgress, i) << "effects issued before the post are applied before it";
        EXPECT_EQ(d.m_bEnabled, i % 2 == 0);
    }
    const auto posted = ui.EventsOf(UiEvent::Kind::Posted);
    ASSERT_EQ(posted.size(), static_cast<std::size_t>(kCount));
    EXPECT_TRUE(posted.front().m_bFromWorker);
}

TEST(UiWorker, MessagePostedOnTheUiThreadWaitsForThePump) {
    ScriptedUi ui;
    Recorder wnd(ui);
    ui.CreateDialogWindow(TwoControls(), &wnd);
    ui.PostMessage(&wnd, kMsg, 1, 2);
    ui.SetProgressPos(kProgress, 40); // on the UI thread: at once
    EXPECT_EQ(ui.GetProgressPos(kProgress), 40);
    EXPECT_TRUE(wnd.m_deliveries.empty());
    EXPECT_EQ(ui.Pump(), 1u);
    ASSERT_EQ(wnd.m_deliveries.size(), 1u);
    EXPECT_FALSE(ui.EventsOf(UiEvent::Kind::Posted).front().m_bFromWorker);
}

TEST(UiWorker, BoxesFromTheWorkerAreAnsweredFromTheQueue) {
    Watchdog dog(120, "a wait for the worker");
    ScriptedUi ui;
    ui.QueueAnswer(IDYES);
    ui.QueueAnswer(IDOK);
    std::vector<int> answers;
    ui.StartWorker([&] {
        answers.push_back(AskYesNo("一つ目?", BoxIcon::Question, 2, "cap"));
        answers.push_back(ui.OverwriteQuestion(DialogTemplate{}, "上書き?"));
        answers.push_back(AskYesNo("二つ目?", BoxIcon::Question));   // nothing queued: No
        answers.push_back(ui.OverwriteQuestion(DialogTemplate{}, "x")); // nothing: Cancel
        answers.push_back(ShowBox("終了", BoxIcon::Information));
        return 0;
    });
    ui.WaitWorker();
    EXPECT_EQ(answers, (std::vector<int>{IDYES, IDOK, IDNO, IDCANCEL, IDOK}));
    EXPECT_EQ(ui.UnansweredQuestions(), 2);
    const auto events = ui.Events();
    ASSERT_EQ(events.size(), 5u);
    for (const auto& e : events)
        EXPECT_TRUE(e.m_bFromWorker);
    EXPECT_EQ(events[0].m_strText, "一つ目?");
    EXPECT_EQ(events[0].m_strCaption, "cap");
    EXPECT_EQ(events[0].m_nDefaultButton, 2);
    EXPECT_EQ(events[0].m_buttons, BoxButtons::YesNo);
    EXPECT_EQ(events[1].m_kind, UiEvent::Kind::Overwrite);
    EXPECT_EQ(events[4].m_icon, BoxIcon::Information);
    EXPECT_EQ(ui.BoxTexts(), (std::vector<std::string>{"一つ目?", "上書き?", "二つ目?", "x", "終了"}));

    ShowBox("ui");
    EXPECT_FALSE(ui.Events().back().m_bFromWorker);
}

// A backend that shows the worker's boxes on the UI thread, as the desktop one does: the worker
// waits for the answer while the UI thread is inside WaitWorker.
class BoxOnUiThread : public ModelUi {
public:
    ~BoxOnUiThread() override { JoinWorker(); }
    int MessageBox(const BoxSpec& box) override {
        return AskOnUiThread(
            [&] {
                m_shownOn.push_back(std::this_thread::get_id());
                return box.m_buttons == BoxButtons::YesNo ? IDYES : IDOK;
            },
            FallbackAnswer(box));
    }
    int OverwriteQuestion(const DialogTemplate&, const std::string&) override {
        return AskOnUiThread([] { return IDOK; }, IDCANCEL);
    }
    std::vector<std::thread::id> m_shownOn;
};

TEST(UiWorker, WaitWorkerServesTheWorkersBoxes) {
    Watchdog dog(120, "a wait for the worker");
    BoxOnUiThread ui;
    std::atomic<int> yes{0};
    ui.StartWorker([&] {
        for (int i = 0; i < 50; ++i)
            yes += ui.MessageBox(BoxSpec("q")) == IDOK;
        return 0;
    });
    ui.WaitWorker();
    EXPECT_EQ(yes.load(), 50);
    ASSERT_EQ(ui.m_shownOn.size(), 50u);
    for (auto id : ui.m_shownOn)
        EXPECT_EQ(id, std::this_thread::get_id());
}

// The worker's end is an item of the queue, behind everything the worker sent: a thread that is
// gone does not count as ended until the UI thread has handled what it left.
TEST(UiWorker, WorkerEndsForTheUiThreadOnlyWhenItsEndIsHandledAfterWhatItSent) {
    Watchdog dog(120, "a wait for the worker");
    ScriptedUi ui;
    Recorder wnd(ui);
    ui.CreateDialogWindow(TwoControls(), &wnd);
    testsupport::ThreadExit exit;
    ui.StartWorker([&] {
        exit.Watch();
        ui.SetProgressPos(kProgress, 30);
        ui.PostMessage(&wnd, kMsg, 1, 0);
        return 4;
    });
    exit.Wait();
    EXPECT_TRUE(ui.IsWorkerRunning());
    EXPECT_TRUE(wnd.m_deliveries.empty());
    EXPECT_EQ(ui.Pump(), 3u); // the effect, the message, the end
    EXPECT_FALSE(ui.IsWorkerRunning());
    EXPECT_EQ(ui.WorkerExitCode(), 4);
    ASSERT_EQ(wnd.m_deliveries.size(), 1u);
    EXPECT_EQ(wnd.m_deliveries[0].m_nProgress, 30);
}

// A backend that goes away while its worker still asks: nothing is shown any more, each box gets
// its fallback answer, nothing queued is delivered, and neither thread waits for the other.
TEST(UiWorker, BackendGoingAwayAnswersTheWorkersBoxesWithTheirFallback) {
    Watchdog dog(120, "a backend going away under its worker");
    struct Counter : CWndTarget {
        LRESULT WindowProc(UINT, WPARAM, LPARAM) override { return ++m_nGot; }
        void OnCommand(int) override {}
        void OnDropFiles(int, const std::vector<std::string>&) override {}
        int m_nGot = 0;
    } wnd;
    std::vector<int> answers;
    std::size_t shown = 0;
    {
        BoxOnUiThread ui;
        ui.CreateDialogWindow(TwoControls(), &wnd);
        ui.StartWorker([&] {
            ui.PostMessage(&wnd, kMsg, 0, 0);
            BoxSpec question("q");
            question.m_buttons = BoxButtons::YesNo;
            answers.push_back(ui.MessageBox(question));
            answers.push_back(ui.MessageBox(BoxSpec("ok")));
            answers.push_back(ui.OverwriteQuestion(DialogTemplate{}, "x"));
            ui.SetProgressPos(kProgress, 50);
            return 0;
        });
        shown = ui.m_shownOn.size(); // read before the destructor, on the UI thread
    }
    EXPECT_EQ(answers, (std::vector<int>{IDNO, IDOK, IDCANCEL}));
    EXPECT_EQ(shown, 0u);
    EXPECT_EQ(wnd.m_nGot, 0);
}

TEST(UiWorker, OneWorkerAtATime) {
    Watchdog dog(120, "a wait for the worker");
    ScriptedUi ui;
    ui.WaitWorker(); // none started: returns at once
    std::atomic<bool> firstDone{false};
    bool secondSawFirstDone = false;
    ui.StartWorker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        firstDone = true;
        return 1;
    });
    EXPECT_TRUE(ui.IsWorkerRunning());
    ui.StartWorker([&] { // starts only after the first has ended
        secondSawFirstDone = firstDone.load();
        return 2;
    });
    ui.WaitWorker();
    EXPECT_TRUE(secondSawFirstDone);
    EXPECT_EQ(ui.WorkerExitCode(), 2);
}

} // namespace
