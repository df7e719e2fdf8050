#include "ui/UiQueue.h"

#include "platform/Clock.h"
#include "platform/Faults.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace ui {

UiQueue::UiQueue() : m_uiThread(std::this_thread::get_id()) {}

UiQueue::~UiQueue() {
    // Only a guard against a leaked thread: the backend's own destructor has joined it already.
    JoinWorker();
}

std::int64_t UiQueue::NowMs() { return platform::MonotonicMs(); }

void UiQueue::Enqueue(Item item) {
    {
        platform::CMutexLock lock(m_mutex);
        m_queue.push_back(std::move(item));
    }
    m_cv.notify_all();
    WakeUi();
}

void UiQueue::PostMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_livePolicy.IsLive(message)) {
        PostLive(target, {message, wParam, lParam});
        return;
    }
    Item item{Item::Posted};
    item.m_target = target;
    item.m_message = message;
    item.m_wParam = wParam;
    item.m_lParam = lParam;
    Enqueue(std::move(item));
}

void UiQueue::SetProgressPos(int id, int pos) { IssueEffect({ControlEffect::Progress, id, pos}); }

void UiQueue::EnableControl(int id, bool enable) {
    IssueEffect({ControlEffect::Enable, id, enable ? 1 : 0});
}

void UiQueue::ShowControl(int id, bool show) { IssueEffect({ControlEffect::Show, id, show ? 1 : 0}); }

void UiQueue::IssueEffect(const ControlEffect& effect) {
    OnEffectIssued(effect);
    if (OnUiThread()) {
        ApplyEffect(effect);
        return;
    }
    Item item{Item::Effect};
    item.m_effect = effect;
    Enqueue(std::move(item));
}

void UiQueue::PostTask(std::function<void()> task) {
    Item item{Item::Task};
    item.m_task = std::move(task);
    Enqueue(std::move(item));
}

// --- the live display ---

LiveGroup* UiQueue::OpenGroupLocked(HWND target) {
    if (m_queue.empty())
        return nullptr;
    Item& last = m_queue.back();
    if (last.m_kind != Item::Live || last.m_live->Target() != target || last.m_live->Full(m_livePolicy))
        return nullptr;
    return last.m_live.get();
}

bool UiQueue::WaitLiveRoomLocked(platform::CMutexLock& lock) {
    const std::size_t bound = m_livePolicy.m_nBoundBytes;
    if (bound == 0 || OnUiThread())
        return true;
    if (m_nLiveBytes >= bound && !m_bLiveWaitEnded) {
        ++m_nLiveWaits;
        while (m_nLiveBytes >= bound && !m_bLiveWaitEnded)
            lock.Wait(m_roomCv);
    }
    m_bLiveDropped = m_bLiveDropped || m_nLiveBytes >= bound;
    return !m_bLiveDropped;
}

void UiQueue::PostLive(HWND target, const LiveMessage& message) {
    bool queued = false; // a group was opened or closed: the UI thread has news
    {
        platform::CMutexLock lock(m_mutex);
        LiveGroup* group = OpenGroupLocked(target);
        if (!group) {
            // Only a new group waits for room, so that an item is never split by a wait.
            if (!WaitLiveRoomLocked(lock))
                return;
            Item item{Item::Live};
            item.m_live = std::make_unique<LiveGroup>(target, NowMs());
            m_queue.push_back(std::move(item));
            group = m_queue.back().m_live.get();
            queued = true;
        }
        std::size_t merged = group->Add(message, m_livePolicy);
        if (m_livePolicy.m_bLatestOnly && group->HoldsOneWholeItem(m_livePolicy))
            merged += MergeEarlierGroupsLocked(target);
        m_nLiveMerged += merged;
        m_nLiveBytes = m_nLiveBytes + sizeof(LiveMessage) - merged * sizeof(LiveMessage);
        queued = queued || group->Full(m_livePolicy);
    }
    if (queued) {
        m_cv.notify_all();
        WakeUi();
    }
}

std::size_t UiQueue::MergeEarlierGroupsLocked(HWND target) {
    std::size_t merged = 0;
    for (auto it = std::next(m_queue.rbegin()); it != m_queue.rend(); ++it) {
        if (it->m_kind == Item::Effect)
            continue;
        if (it->m_kind != Item::Live || it->m_live->Target() != target)
            break;
        merged += it->m_live->Clear();
    }
    return merged;
}

bool UiQueue::HeadReadyLocked(std::int64_t* dueMs) {
    if (m_queue.empty())
        return false;
    const Item& head = m_queue.front();
    if (head.m_kind != Item::Live || head.m_live->Size() == 0 || head.m_live->Full(m_livePolicy))
        return true;
    // Whatever else is queued behind a group goes at once, and the group before it, to keep its
    // place; effects and later groups wait with it.
    for (auto it = std::next(m_queue.begin()); it != m_queue.end(); ++it)
        if (it->m_kind != Item::Effect && it->m_kind != Item::Live)
            return true;
    const std::int64_t due = head.m_live->DueMs(m_livePolicy, m_i64LiveHandedMs);
    if (NowMs() >= due)
        return true;
    *dueMs = due;
    return false;
}

std::optional<int> UiQueue::LiveDueInMs() {
    platform::CMutexLock lock(m_mutex);
    std::int64_t due = 0;
    if (HeadReadyLocked(&due) || m_queue.empty())
        return std::nullopt;
    return static_cast<int>(std::max<std::int64_t>(due - NowMs(), 1));
}

std::uint64_t UiQueue::LiveDelivered() {
    platform::CMutexLock lock(m_mutex);
    return m_nLiveDelivered;
}

std::uint64_t UiQueue::LiveMerged() {
    platform::CMutexLock lock(m_mutex);
    return m_nLiveMerged;
}

std::uint64_t UiQueue::LiveOutputWaits() {
    platform::CMutexLock lock(m_mutex);
    return m_nLiveWaits;
}

void UiQueue::EndLiveOutputWait() {
    {
        platform::CMutexLock lock(m_mutex);
        m_bLiveWaitEnded = true;
    }
    m_roomCv.notify_all();
}

int UiQueue::AskOnUiThread(const std::function<int()>& ask, int nFallback) {
    if (OnUiThread())
        return ask();
    PendingCall call{&ask, nFallback};
    Item item{Item::Call};
    item.m_pCall = &call;
    Enqueue(std::move(item));
    platform::CMutexLock lock(m_mutex);
    while (!call.m_bAnswered)
        lock.Wait(m_cv);
    return call.m_nAnswer;
}

void UiQueue::Answer(PendingCall* call, int answer) {
    {
        platform::CMutexLock lock(m_mutex);
        call->m_nAnswer = answer;
        call->m_bAnswered = true;
    }
    m_cv.notify_all();
}

bool UiQueue::Take(Item* item, TakeMode mode) {
    bool live = false;
    {
        platform::CMutexLock lock(m_mutex);
        if (mode == TakeMode::WaitAny) {
            while (m_queue.empty())
                lock.Wait(m_cv);
        } else if (std::int64_t due = 0; !HeadReadyLocked(&due)) {
            return false;
        }
        *item = std::move(m_queue.front());
        m_queue.pop_front();
        live = item->m_kind == Item::Live;
        if (live && item->m_live->Size() != 0) {
            m_nLiveBytes -= item->m_live->Size() * sizeof(LiveMessage);
            m_i64LiveHandedMs = NowMs();
        }
    }
    if (live)
        m_roomCv.notify_all();
    return true;
}

void UiQueue::Handle(Item& item) {
    switch (item.m_kind) {
    case Item::Posted:
        if (item.m_target)
            item.m_target->WindowProc(item.m_message, item.m_wParam, item.m_lParam);
        break;
    case Item::Live: {
        const std::size_t n = item.m_live->Deliver();
        platform::CMutexLock lock(m_mutex);
        m_nLiveDelivered += n;
        break;
    }
    case Item::Effect:
        ApplyEffect(item.m_effect);
        break;
    case Item::Task:
        item.m_task();
        break;
    case Item::Call:
        Answer(item.m_pCall, (*item.m_pCall->m_pAsk)());
        break;
    case Item::WorkerEnd:
        OnWorkerEnd(item.m_nExit);
        break;
    }
}

std::size_t UiQueue::PumpWhile(const std::function<bool()>& more) {
    std::size_t handled = 0;
    Item item{Item::Posted};
    while (Take(&item, TakeMode::Ready)) {
        Handle(item);
        ++handled;
        if (more && !more())
            break;
    }
    return handled;
}

void UiQueue::Wake() {
    {
        platform::CMutexLock lock(m_mutex);
        ++m_nWakes;
    }
    m_cv.notify_all();
}

void UiQueue::PumpUntil(const std::function<bool()>& done, bool bAskEachItem) {
    using Clock = std::chrono::steady_clock;
    const std::function<bool()> more = [&done] { return !done(); };
    for (;;) {
        std::uint64_t wakes = 0;
        {
            platform::CMutexLock lock(m_mutex);
            wakes = m_nWakes; // a Wake from here on is not lost
        }
        PumpWhile(bAskEachItem ? more : nullptr);
        const std::optional<int> again = OnIdle();
        if (done())
            return;
        std::optional<Clock::time_point> idleUntil;
        if (again)
            idleUntil = Clock::now() + std::chrono::milliseconds(*again);
        platform::CMutexLock lock(m_mutex);
        // Until something may be handed out, a Wake, or OnIdle's time; a group that opens or
        // waits meanwhile shortens the wait to when it falls due.
        for (;;) {
            std::int64_t due = 0;
            if (HeadReadyLocked(&due) || m_nWakes != wakes)
                break;
            std::optional<Clock::time_point> until = idleUntil;
            if (!m_queue.empty()) {
                const auto groupUntil =
                    Clock::now() + std::chrono::milliseconds(std::max<std::int64_t>(due - NowMs(), 1));
                until = std::min(until.value_or(groupUntil), groupUntil);
            }
            if (!until) {
                lock.Wait(m_cv);
                continue;
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*until - Clock::now());
            if (idleUntil && Clock::now() >= *idleUntil)
                break;
            if (left.count() > 0)
                lock.WaitFor(m_cv, left);
        }
    }
}

void UiQueue::DiscardPosted() {
    platform::CMutexLock lock(m_mutex);
    std::size_t live = 0;
    std::erase_if(m_queue, [&live](const Item& item) {
        if (item.m_kind == Item::Live)
            live += item.m_live->Size() * sizeof(LiveMessage);
        return item.m_kind == Item::Posted || item.m_kind == Item::Live;
    });
    m_nLiveBytes -= live;
    m_roomCv.notify_all();
}

bool UiQueue::StartWorker(std::function<int()> proc) {
    WaitWorker(); // only one worker at a time; the previous one has normally ended already
    if (platform::IFaultInjector* f = platform::FaultInjector(); f && !f->OnStartThread())
        return false;
    {
        platform::CMutexLock lock(m_mutex);
        m_bLiveWaitEnded = false;
        m_bLiveDropped = false;
    }
    m_bWorkerRunning = true;
    // std::thread reports a thread the system would not give as an exception; the caller gets a
    // result instead.
    try {
        m_worker = std::thread([this, proc = std::move(proc)] {
            const int exitCode = proc();
            // The end is the last thing queued: it closes a group still open before it.
            Item end{Item::WorkerEnd};
            end.m_nExit = exitCode;
            Enqueue(std::move(end));
        });
    } catch (const std::system_error&) {
        m_bWorkerRunning = false;
        return false;
    }
    return true;
}

void UiQueue::OnWorkerEnd(int exitCode) {
    m_nWorkerExit = exitCode;
    m_bWorkerRunning = false;
}

void UiQueue::WaitWorker() {
    if (!m_worker.joinable())
        return;
    PumpUntil([this] { return !m_bWorkerRunning; });
    m_worker.join();
}

void UiQueue::JoinWorker() {
    if (!m_worker.joinable())
        return;
    EndLiveOutputWait();
    Item item{Item::Posted};
    while (m_bWorkerRunning && Take(&item, TakeMode::WaitAny)) {
        if (item.m_kind == Item::Call)
            Answer(item.m_pCall, item.m_pCall->m_nAnswer);
        else if (item.m_kind == Item::WorkerEnd)
            OnWorkerEnd(item.m_nExit);
    }
    m_worker.join();
}

} // namespace ui
