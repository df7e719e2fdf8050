#pragma once
// What every backend shares: the FIFO that carries posted messages, the worker's control effects
// and its boxes to the UI thread, the one loop that hands them out there, and the worker thread,
// whose end arrives through the same FIFO, after everything it sent.
//
// The live display is held here too, in one place for every backend (LiveHold.h): messages the
// worker posts one after another for it wait as one group, the last item of the FIFO, which takes
// more of them until anything else is queued behind it. The UI thread hands out a group when the
// backend's policy says it is due, or at once when anything but effects and other groups waits
// behind it (PumpUntil waits for that; a backend with a loop of its own asks LiveDueInMs): the
// effects a worker issues between differences then wait with them, a display's pace at most.
//
// The UI thread never waits for the worker but in WaitWorker and JoinWorker, which hand out or drop
// everything meanwhile. The worker waits for the UI thread in two places: for the answer to a box,
// and, when the policy bounds the live output, for room in the FIFO; a stop ends the latter
// (EndLiveOutputWait, and the join of a backend going away).
// Lock order: m_mutex guards the FIFO, the open group and the bound, and is taken last: a backend
// may call in holding its own mutex, and the queue calls out to a backend (WakeUi, ApplyEffect,
// handlers) with m_mutex released. The worker's waits are on condition variables of m_mutex alone.
#include "platform/Mutex.h"
#include "ui/LiveHold.h"
#include "ui/ThreadFlag.h"
#include "ui/Ui.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <thread>

namespace ui {

// One of the synchronous effects on a control: the progress position, enabling, showing.
struct ControlEffect {
    enum Kind { Progress, Enable, Show };
    Kind m_kind;
    int m_nId;
    int m_nValue; // the position, or 1 / 0
};

class UiQueue : public IUi {
public:
    // The thread that constructs the backend is its UI thread.
    UiQueue();
    // A backend joins its worker first of all in its own destructor (JoinWorker): the worker
    // calls into the backend until it ends.
    ~UiQueue() override;
    UiQueue(const UiQueue&) = delete;
    UiQueue& operator=(const UiQueue&) = delete;

    void PostMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam) override;
    // On the UI thread at once; from the worker, in order with its posted messages.
    void SetProgressPos(int id, int pos) override;
    void EnableControl(int id, bool enable) override;
    void ShowControl(int id, bool show) override;

    bool StartWorker(std::function<int()> proc) override;
    // UI thread: hands out what is queued until the worker's end has been handled, then joins it.
    void WaitWorker() override;
    // UI thread: true from the start until the worker's end has been handled there, so that when
    // it turns false everything the worker sent has been handled too.
    bool IsWorkerRunning() override { return m_bWorkerRunning; }
    int WorkerExitCode() const { return m_nWorkerExit; }

    // Handles everything queued so far that may be handed out, oldest first; returns how many items
    // it handled.
    std::size_t Pump() { return PumpWhile(nullptr); }
    // Handles queued items until `done` is true; sleeps while nothing is queued. `done` is asked
    // whenever the queue is empty, or with `bAskEachItem` after every item as well: a worker
    // that keeps the queue full cannot then hold off what `done` waits for.
    void PumpUntil(const std::function<bool()>& done, bool bAskEachItem = false);

    bool OnUiThread() const { return std::this_thread::get_id() == m_uiThread; }

    // A stop: ends the worker's wait for room for the live output, and every later one until the
    // next worker starts. Live output that then finds no room is dropped, and so is all that
    // follows it, so that no display is made of pieces from both sides of a gap. Any thread.
    void EndLiveOutputWait() EXCLUDES(m_mutex);
    // How often a worker has had to wait for room for the live output.
    std::uint64_t LiveOutputWaits() EXCLUDES(m_mutex);
    // Live messages handed to their window / merged away by the policy before that.
    std::uint64_t LiveDelivered() EXCLUDES(m_mutex);
    std::uint64_t LiveMerged() EXCLUDES(m_mutex);

protected:
    // --- what a backend adds (called by the queue) ---
    // Applies an effect, on the UI thread.
    virtual void ApplyEffect(const ControlEffect& effect) = 0;
    // Sees each effect on the thread that issued it, before it is applied or queued.
    virtual void OnEffectIssued(const ControlEffect&) {}
    // Any thread, after something was queued: a backend with an event loop of its own wakes it.
    virtual void WakeUi() {}
    // UI thread, each time PumpUntil has handled everything queued: returns in how many
    // milliseconds it wants to be called again while nothing arrives, or nothing.
    virtual std::optional<int> OnIdle() { return std::nullopt; }

    // The clock the live display's policy is timed by.
    virtual std::int64_t NowMs();

    // --- for backends ---
    // How the live display is held, chosen before a worker starts; as built, nothing is held.
    void SetLivePolicy(const LivePolicy& policy) { m_livePolicy = policy; }
    // UI thread: in how many milliseconds the group last in the FIFO falls due, when it is all
    // that waits and is not due yet; nothing otherwise.
    std::optional<int> LiveDueInMs() EXCLUDES(m_mutex);
    // Runs `ask` on the UI thread and returns its answer; a worker waits for it meanwhile. If the
    // worker is joined instead (the backend is going away), it gets `nFallback`.
    int AskOnUiThread(const std::function<int()>& ask, int nFallback) EXCLUDES(m_mutex);
    // Queues `task` for the UI thread, in order with everything else; dropped by a join.
    void PostTask(std::function<void()> task);
    // Handles queued items, oldest first, while `more` (asked after each, when given) says so.
    std::size_t PumpWhile(const std::function<bool()>& more);
    // Makes PumpUntil ask OnIdle again (for a backend that keeps something back without queuing).
    void Wake() EXCLUDES(m_mutex);
    // Drops the posted messages and live groups not delivered yet: a window that is gone gets
    // none.
    void DiscardPosted() EXCLUDES(m_mutex);
    // Waits for the worker without handing anything out, when the windows may be gone: messages,
    // effects and tasks are dropped, and a box the worker waits on gets its fallback answer.
    void JoinWorker();

private:
    // A box the worker waits on: answered on the UI thread, or with its fallback by a join. Its
    // answer is guarded by the queue's m_mutex (the analysis cannot name it from here).
    struct PendingCall {
        const std::function<int()>* m_pAsk;
        int m_nAnswer;
        bool m_bAnswered = false;
    };
    struct Item {
        enum Kind { Posted, Live, Effect, Task, Call, WorkerEnd };
        explicit Item(Kind kind) : m_kind(kind) {}
        Kind m_kind;
        HWND m_target = nullptr;
        UINT m_message = 0;
        WPARAM m_wParam = 0;
        LPARAM m_lParam = 0;
        ControlEffect m_effect{};
        std::function<void()> m_task;
        PendingCall* m_pCall = nullptr;
        int m_nExit = 0;
        std::unique_ptr<LiveGroup> m_live;
    };
    void IssueEffect(const ControlEffect& effect);
    void Enqueue(Item item) EXCLUDES(m_mutex);
    void PostLive(HWND target, const LiveMessage& message) EXCLUDES(m_mutex);
    // The group last in the FIFO that `target`'s next live message joins, or null.
    LiveGroup* OpenGroupLocked(HWND target) REQUIRES(m_mutex);
    // Worker: waits until the live output in the FIFO is below the bound; false when a stop ended
    // the wait (or had ended it) with no room.
    bool WaitLiveRoomLocked(platform::CMutexLock& lock) REQUIRES(m_mutex);
    // Latest only: a whole item makes the groups before it old news, as far back as only effects
    // stand between them. Returns how many messages that merged away.
    std::size_t MergeEarlierGroupsLocked(HWND target) REQUIRES(m_mutex);
    // True when the oldest item may be handed out now; otherwise, with an undue group, when it
    // falls due.
    bool HeadReadyLocked(std::int64_t* dueMs) REQUIRES(m_mutex);
    // Ready: the oldest item if it may be handed out now. WaitAny: the oldest item, due or not,
    // waiting for one (a join). False when there is none.
    enum class TakeMode { Ready, WaitAny };
    bool Take(Item* item, TakeMode mode) EXCLUDES(m_mutex);
    void Handle(Item& item);
    void Answer(PendingCall* call, int answer) EXCLUDES(m_mutex);
    void OnWorkerEnd(int exitCode);

    const std::thread::id m_uiThread;
    platform::CMutex m_mutex;
    std::condition_variable m_cv; // the queue grew, a call was answered, or Wake
    std::deque<Item> m_queue GUARDED_BY(m_mutex);
    std::uint64_t m_nWakes GUARDED_BY(m_mutex) = 0;
    // The live display: its policy, what of it waits in m_queue, whether a stop ended the wait.
    LivePolicy m_livePolicy; // set by the backend before a worker exists
    std::condition_variable m_roomCv; // live output was taken from m_queue, or a stop came
    std::size_t m_nLiveBytes GUARDED_BY(m_mutex) = 0;
    bool m_bLiveWaitEnded GUARDED_BY(m_mutex) = false;
    bool m_bLiveDropped GUARDED_BY(m_mutex) = false;
    std::uint64_t m_nLiveWaits GUARDED_BY(m_mutex) = 0;
    std::int64_t m_i64LiveHandedMs GUARDED_BY(m_mutex) = -1; // when a group was last handed out
    std::uint64_t m_nLiveDelivered GUARDED_BY(m_mutex) = 0;
    std::uint64_t m_nLiveMerged GUARDED_BY(m_mutex) = 0;

    std::thread m_worker; // kept joinable until joined, so a wait always has a thread to wait for
    CUiThreadOnly<bool> m_bWorkerRunning{false};
    CUiThreadOnly<int> m_nWorkerExit{0};
};

} // namespace ui
