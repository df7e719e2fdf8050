// The live display's hold in the queue, under both backends' policies: every interleaving of a
// worker's posts with the UI thread's turns, taken one step at a time, keeps what the worker sent
// in order; a group that is last waits for its time; the bound holds a worker back.
#include "ui/ModelUi.h"

#include "support/Watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <semaphore>
#include <thread>

using namespace ui;

namespace {

constexpr UINT kFirst = WM_USER + 100; // an item: kFirst, kFirst + 1, kLast
constexpr UINT kLast = WM_USER + 102;
constexpr UINT kOther = WM_USER + 110;
constexpr UINT kEffect = 0; // stands for a progress effect in the record

struct Event {
    UINT m_message;
    WPARAM m_nValue;
    bool operator==(const Event&) const = default;
};
void PrintTo(const Event& e, std::ostream* os) { *os << e.m_message << ":" << e.m_nValue; }

// Records what reaches the window and every effect applied, in the order of the UI thread; its
// clock moves only when the test moves it.
class HoldUi : public ModelUi, public CWndTarget {
public:
    explicit HoldUi(const LivePolicy& policy) { SetLivePolicy(policy); }
    ~HoldUi() override { JoinWorker(); }
    using UiQueue::PumpWhile;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
        m_log.push_back({message, wParam});
        return 0;
    }
    void OnCommand(int) override {}
    void OnDropFiles(int, const std::vector<std::string>&) override {}
    int MessageBox(const BoxSpec&) override { return IDOK; }
    int OverwriteQuestion(const DialogTemplate&, const std::string&) override { return IDOK; }

    std::int64_t NowMs() override { return m_bRealClock ? UiQueue::NowMs() : m_now.load(); }
    void ApplyEffect(const ControlEffect& effect) override {
        m_log.push_back({kEffect, static_cast<WPARAM>(effect.m_nValue)});
    }

    std::atomic<std::int64_t> m_now{1000};
    bool m_bRealClock = false;
    std::vector<Event> m_log; // the UI thread's
};

// What the worker sends: three items, with a message and an effect between them.
const std::vector<Event> kScript = {
    {kFirst, 1}, {kFirst + 1, 1}, {kLast, 1}, {kOther, 1},  {kFirst, 2}, {kFirst + 1, 2},
    {kLast, 2},  {kEffect, 2},    {kFirst, 3}, {kFirst + 1, 3}, {kLast, 3}};

bool IsLive(const Event& e) { return e.m_message >= kFirst && e.m_message <= kLast; }

// The UI thread's turn in a gap between two of the worker's steps: none, handing out what is due
// at once, or what is due by the time it has waited as long as the policy asks.
enum class Turn { None, Pump, PumpLater };

struct PolicyRow {
    const char* m_name;
    LivePolicy m_policy;
};

const PolicyRow kPolicies[] = {
    // The terminal's: everything, gathered for 20 ms.
    {"gather", {kFirst, kLast, false, 100, 20, 0, 0}},
    // The window's: the latest item only, at most one group per 15 ms.
    {"latest", {kFirst, kLast, true, 0, 0, 15, 0}},
};

// Runs the script with the worker and the UI thread taking turns as `turns` says (one entry per
// gap, the last one before the worker's end) and returns the record; checks on the way what must
// hold after each turn.
std::vector<Event> RunInterleaved(const PolicyRow& row, const std::vector<Turn>& turns) {
    HoldUi ui(row.m_policy);
    std::binary_semaphore go{0}, done{0};
    ui.StartWorker([&] {
        for (const Event& e : kScript) {
            go.acquire();
            if (e.m_message == kEffect)
                ui.SetProgressPos(1, static_cast<int>(e.m_nValue));
            else
                ui.PostMessage(&ui, e.m_message, e.m_nValue, 0);
            done.release();
        }
        go.acquire(); // the end, too, only when its turn comes
        return 0;
    });
    for (std::size_t gap = 0; gap <= kScript.size(); ++gap) {
        const Turn turn = turns[gap];
        if (turn == Turn::Pump) {
            ui.PumpWhile(nullptr);
        } else if (turn == Turn::PumpLater) {
            do // waits out every wait, the display's pace after each group included
                ui.m_now += 1000;
            while (ui.PumpWhile(nullptr) != 0);
        }
        if (gap > 0 && turn != Turn::None) {
            const Event& newest = kScript[gap - 1];
            // Later than any policy's wait, everything sent so far is out, the newest last.
            if (turn == Turn::PumpLater) {
                EXPECT_TRUE(!ui.m_log.empty() && ui.m_log.back() == newest);
            }
            // At the moment a gathering group opened, it is not due while nothing follows it.
            if (turn == Turn::Pump && !row.m_policy.m_bLatestOnly && IsLive(newest)) {
                EXPECT_TRUE(ui.m_log.empty() || !(ui.m_log.back() == newest));
            }
        }
        go.release();
        if (gap < kScript.size())
            done.acquire();
    }
    ui.WaitWorker();
    return ui.m_log;
}

void CheckRecord(const PolicyRow& row, const std::vector<Event>& log) {
    if (!row.m_policy.m_bLatestOnly) {
        EXPECT_EQ(log, kScript); // everything, in order
        return;
    }
    // Only whole older items are left out: what arrives is the script with some items removed,
    // each item that arrives ends whole, and a message arrives with the item before it.
    std::size_t at = 0;
    for (const Event& e : log) {
        while (at < kScript.size() && !(kScript[at] == e)) {
            EXPECT_TRUE(IsLive(kScript[at])) << "lost: " << kScript[at].m_message;
            EXPECT_TRUE(at + 1 >= kScript.size() || kScript[at + 1].m_message != kOther ||
                        kScript[at].m_message != kLast)
                << "the item before something else was merged away";
            ++at;
        }
        ASSERT_LT(at, kScript.size()) << "out of order: " << e.m_message << " " << e.m_nValue;
        if (e.m_message == kLast) {
            ASSERT_GE(at, 2u);
            const std::size_t k = static_cast<std::size_t>(&e - log.data());
            ASSERT_GE(k, 2u);
            EXPECT_EQ(log[k - 2], kScript[at - 2]);
            EXPECT_EQ(log[k - 1], kScript[at - 1]);
        }
        ++at;
    }
    EXPECT_EQ(at, kScript.size()) << "the latest item did not arrive";
}

TEST(LiveHold, EveryInterleavingKeepsTheWorkersOrder) {
    testsupport::Watchdog dog(600, "the interleavings of the live hold");
    const std::size_t gaps = kScript.size() + 1;
    for (const PolicyRow& row : kPolicies) {
        // Every choice of gaps in which the UI thread takes a turn, once at the worker's pace and
        // once with its clock past every wait (a turn before the first step finds nothing).
        for (Turn kind : {Turn::Pump, Turn::PumpLater}) {
            for (unsigned mask = 0; mask < (1u << (gaps - 1)); ++mask) {
                std::vector<Turn> turns(gaps, Turn::None);
                for (std::size_t g = 1; g < gaps; ++g)
                    if (mask & (1u << (g - 1)))
                        turns[g] = kind;
                SCOPED_TRACE(testing::Message() << row.m_name << " mask " << mask);
                CheckRecord(row, RunInterleaved(row, turns));
                if (testing::Test::HasFailure())
                    return;
            }
        }
    }
}

// The UI thread waiting for nothing in particular hands a gathered group out when it falls due,
// though the worker sends nothing after it.
TEST(LiveHold, AGroupFallsDueWhileTheUiThreadWaits) {
    testsupport::Watchdog dog(60, "a group that never fell due");
    HoldUi ui(kPolicies[0].m_policy);
    ui.m_bRealClock = true;
    std::binary_semaphore shown{0};
    ui.StartWorker([&] {
        for (UINT m = kFirst; m <= kLast; ++m)
            ui.PostMessage(&ui, m, 1, 0);
        shown.acquire();
        return 0;
    });
    ui.PumpUntil([&] { return ui.m_log.size() == 3; });
    shown.release();
    ui.WaitWorker();
    EXPECT_EQ(ui.m_log.size(), 3u);
}

// Spins until `done`, which another thread makes true; the watchdog ends a wait that never does.
template <class F> void Await(F done) {
    while (!done())
        std::this_thread::yield();
}

// A consumer that takes nothing holds the worker at the bound; each group taken lets one more in;
// a stop ends the wait, and what finds no room from then on is dropped, never queued.
TEST(LiveHold, AWorkerWaitsAtTheBoundResumesAndAStopEndsTheWait) {
    testsupport::Watchdog dog(120, "a worker waiting for room");
    // Groups of one message, three of which fill the bound.
    HoldUi ui({kFirst, kLast, false, 1, 0, 0, 3 * sizeof(LiveMessage)});
    std::atomic<int> tried{0};
    auto post = [&](WPARAM first, int count) {
        return [&ui, &tried, first, count] {
            for (int i = 0; i < count; ++i) {
                ui.PostMessage(&ui, kFirst, first + static_cast<WPARAM>(i), 0);
                ++tried;
            }
            return 0;
        };
    };
    ui.StartWorker(post(0, 10));
    // Three fill the bound: the fourth waits, and nothing passes it while it does.
    Await([&] { return ui.LiveOutputWaits() == 1; });
    EXPECT_EQ(tried.load(), 3);
    EXPECT_TRUE(ui.m_log.empty());
    // One taken: the fourth goes in, the fifth waits.
    EXPECT_EQ(ui.PumpWhile([] { return false; }), 1u);
    Await([&] { return ui.LiveOutputWaits() == 2; });
    EXPECT_EQ(tried.load(), 4);
    // A stop while the consumer still takes nothing: the worker runs to its end.
    ui.EndLiveOutputWait();
    Await([&] { return tried.load() == 10; });
    ui.WaitWorker();
    auto values = [&] {
        std::vector<WPARAM> v;
        for (const Event& e : ui.m_log)
            v.push_back(e.m_nValue);
        return v;
    };
    EXPECT_EQ(values(), (std::vector<WPARAM>{0, 1, 2, 3}));
    EXPECT_EQ(ui.LiveOutputWaits(), 2u);

    // The next worker is bounded again.
    ui.StartWorker(post(10, 5));
    Await([&] { return ui.LiveOutputWaits() == 3; });
    ui.WaitWorker(); // takes the groups, so the worker gets room for every one
    EXPECT_EQ(values(), (std::vector<WPARAM>{0, 1, 2, 3, 10, 11, 12, 13, 14}));
}

} // namespace
