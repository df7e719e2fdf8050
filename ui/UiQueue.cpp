#include "ui/UiQueue.h"

#include "platform/Faults.h"

#include <chrono>
#include <system_error>

namespace ui {

UiQueue::UiQueue() : m_uiThread(std::this_thread::get_id()) {}

UiQueue::~UiQueue() {
    // Only a guard against a leaked thread: the backend's own destructor has joined it already.
    JoinWorker();
}

void UiQueue::Enqueue(Item item) {
    {
        platform::CMutexLock lock(m_mutex);
        m_nLiveBytes += item.m_nLiveBytes;
        m_queue.push_back(std::move(item));
    }
    m_cv.notify_all();
    WakeUi();
}

void UiQueue::PostMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
    if (HoldPosted(target, message, wParam, lParam))
        return;
    ReleaseHeld();
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
    ReleaseHeld();
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

bool UiQueue::WaitLiveOutputRoom() {
    if (m_nLiveBound == 0 || OnUiThread())
        return true;
    platform::CMutexLock lock(m_mutex);
    if (m_nLiveBytes >= m_nLiveBound && !m_bLiveWaitEnded) {
        ++m_nLiveWaits;
        while (m_nLiveBytes >= m_nLiveBound && !m_bLiveWaitEnded)
            lock.Wait(m_roomCv);
    }
    m_bLiveDropped = m_bLiveDropped || m_nLiveBytes >= m_nLiveBound;
    return !m_bLiveDropped;
}

void UiQueue::PostLiveOutput(std::function<void()> task, std::size_t nBytes) {
    Item item{Item::Task};
    item.m_task = std::move(task);
    item.m_nLiveBytes = nBytes;
    Enqueue(std::move(item));
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
    ReleaseHeld();
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

bool UiQueue::Take(Item* item, bool wait) {
    std::size_t live = 0;
    {
        platform::CMutexLock lock(m_mutex);
        while (wait && m_queue.empty())
            lock.Wait(m_cv);
        if (m_queue.empty())
            return false;
        *item = std::move(m_queue.front());
        m_queue.pop_front();
        live = item->m_nLiveBytes;
        m_nLiveBytes -= live;
    }
    if (live != 0)
        m_roomCv.notify_all();
    return true;
}

void UiQueue::Handle(Item& item) {
    switch (item.m_kind) {
    case Item::Posted:
        if (item.m_target)
            item.m_target->WindowProc(item.m_message, item.m_wParam, item.m_lParam);
        break;
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
    while (Take(&item, false)) {
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
        platform::CMutexLock lock(m_mutex);
        if (again) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(*again);
            while (m_queue.empty() && m_nWakes == wakes) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    until - std::chrono::steady_clock::now());
                if (left.count() <= 0 || !lock.WaitFor(m_cv, left))
                    break;
            }
        } else {
            while (m_queue.empty() && m_nWakes == wakes)
                lock.Wait(m_cv);
        }
    }
}

void UiQueue::DiscardPosted() {
    platform::CMutexLock lock(m_mutex);
    std::erase_if(m_queue, [](const Item& item) { return item.m_kind == Item::Posted; });
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
            // What the backend kept back goes before the end, which is the last thing queued.
            ReleaseHeld();
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
    while (m_bWorkerRunning && Take(&item, true)) {
        if (item.m_kind == Item::Call)
            Answer(item.m_pCall, item.m_pCall->m_nAnswer);
        else if (item.m_kind == Item::WorkerEnd)
            OnWorkerEnd(item.m_nExit);
    }
    m_worker.join();
}

} // namespace ui
