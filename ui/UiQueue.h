#pragma once
// What every backend shares: the FIFO that carries posted messages, the worker's control effects
// and its boxes to the UI thread, the one loop that hands them out there, and the worker thread,
// whose end arrives through the same FIFO, after everything it sent.
//
// The UI thread never waits for the worker but in WaitWorker and JoinWorker, which hand out or drop
// everything meanwhile. The worker waits for the UI thread in two places: for the answer to a box,
// and, when the backend bounds the live output, for room in the FIFO; a stop ends the latter
// (EndLiveOutputWait, and the join of a backend going away).
// Lock order: a backend's own mutex before m_mutex, never the other way; no wait is made with a
// backend's mutex held.
#include "platform/Mutex.h"
#include "ui/ThreadFlag.h"
#include "ui/Ui.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
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

    // Handles everything queued so far, oldest first; returns how many items it handled.
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

protected:
    // --- what a backend adds (called by the queue) ---
    // Applies an effect, on the UI thread.
    virtual void ApplyEffect(const ControlEffect& effect) = 0;
    // Sees each effect on the thread that issued it, before it is applied or queued.
    virtual void OnEffectIssued(const ControlEffect&) {}
    // Any thread: true when the backend keeps the message back to hand it out later (live
    // display), false to queue it now.
    virtual bool HoldPosted(HWND, UINT, WPARAM, LPARAM) { return false; }
    // Any thread: queues what HoldPosted kept back, so that whatever is queued next follows it.
    virtual void ReleaseHeld() {}
    // Any thread, after something was queued: a backend with an event loop of its own wakes it.
    virtual void WakeUi() {}
    // UI thread, each time PumpUntil has handled everything queued: returns in how many
    // milliseconds it wants to be called again while nothing arrives, or nothing.
    virtual std::optional<int> OnIdle() { return std::nullopt; }

    // --- for backends ---
    // The policy for the live output, chosen before a worker starts: at most `nBytes` of it wait
    // in the FIFO, and a worker that has more waits for the UI thread to take some. 0 (as built):
    // no bound, for a backend that merges the live output instead, so the worker never waits.
    void SetLiveOutputBound(std::size_t nBytes) { m_nLiveBound = nBytes; }
    // Worker: waits until the live output waiting in the FIFO is below the bound; false when a
    // stop ended the wait (or had ended it) with no room. At once on the UI thread or without a
    // bound. Call it with no lock held.
    bool WaitLiveOutputRoom() EXCLUDES(m_mutex);
    // Queues `task`, which carries `nBytes` of live output, in order with everything else; never
    // waits (see WaitLiveOutputRoom).
    void PostLiveOutput(std::function<void()> task, std::size_t nBytes);
    // Runs `ask` on the UI thread and returns its answer; a worker waits for it meanwhile. If the
    // worker is joined instead (the backend is going away), it gets `nFallback`.
    int AskOnUiThread(const std::function<int()>& ask, int nFallback) EXCLUDES(m_mutex);
    // Queues `task` for the UI thread, in order with everything else; dropped by a join.
    void PostTask(std::function<void()> task);
    // Handles queued items, oldest first, while `more` (asked after each, when given) says so.
    std::size_t PumpWhile(const std::function<bool()>& more);
    // Makes PumpUntil ask OnIdle again (for a backend that keeps something back without queuing).
    void Wake() EXCLUDES(m_mutex);
    // Drops the posted messages not delivered yet: a window that is gone gets none.
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
        enum Kind { Posted, Effect, Task, Call, WorkerEnd };
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
        std::size_t m_nLiveBytes = 0; // of the live output's bound
    };
    void IssueEffect(const ControlEffect& effect);
    void Enqueue(Item item) EXCLUDES(m_mutex);
    // The oldest item, waiting for one when `wait`; false when there is none.
    bool Take(Item* item, bool wait) EXCLUDES(m_mutex);
    void Handle(Item& item);
    void Answer(PendingCall* call, int answer) EXCLUDES(m_mutex);
    void OnWorkerEnd(int exitCode);

    const std::thread::id m_uiThread;
    platform::CMutex m_mutex;
    std::condition_variable m_cv; // the queue grew, a call was answered, or Wake
    std::deque<Item> m_queue GUARDED_BY(m_mutex);
    std::uint64_t m_nWakes GUARDED_BY(m_mutex) = 0;
    // The live output: what of it waits in m_queue, the bound, and whether a stop ended the wait.
    std::condition_variable m_roomCv; // live output was taken from m_queue, or a stop came
    std::size_t m_nLiveBytes GUARDED_BY(m_mutex) = 0;
    bool m_bLiveWaitEnded GUARDED_BY(m_mutex) = false;
    bool m_bLiveDropped GUARDED_BY(m_mutex) = false;
    std::uint64_t m_nLiveWaits GUARDED_BY(m_mutex) = 0;
    std::size_t m_nLiveBound = 0; // set by the backend before a worker exists

    std::thread m_worker; // kept joinable until joined, so a wait always has a thread to wait for
    CUiThreadOnly<bool> m_bWorkerRunning{false};
    CUiThreadOnly<int> m_nWorkerExit{0};
};

} // namespace ui
