#include "platform/UiBase.h"

#include "platform/Faults.h"

#include <chrono>
#include <future>
#include <system_error>

namespace platform {

UiBase::UiBase() : m_uiThread(std::this_thread::get_id()) {}

UiBase::~UiBase() {
    // A worker still running here would outlive the objects it uses; the owner waits for it
    // first. This join only guards against a leaked thread.
    if (m_worker.joinable())
        m_worker.join();
}

void UiBase::Enqueue(Item item) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(item));
    }
    m_cv.notify_all();
    WakeUi();
}

void UiBase::PostMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
    Item item{Item::Posted};
    item.m_target = target;
    item.m_message = message;
    item.m_wParam = wParam;
    item.m_lParam = lParam;
    Enqueue(std::move(item));
}

void UiBase::SetProgressPos(int id, int pos) {
    if (OnUiThread()) {
        ApplyProgress(id, pos);
        return;
    }
    Item item{Item::Progress};
    item.m_nId = id;
    item.m_nValue = pos;
    Enqueue(std::move(item));
}

void UiBase::EnableControl(int id, bool enable) {
    if (OnUiThread()) {
        ApplyEnable(id, enable);
        return;
    }
    Item item{Item::Enable};
    item.m_nId = id;
    item.m_nValue = enable;
    Enqueue(std::move(item));
}

void UiBase::ShowControl(int id, bool show) {
    if (OnUiThread()) {
        ApplyShow(id, show);
        return;
    }
    Item item{Item::Show};
    item.m_nId = id;
    item.m_nValue = show;
    Enqueue(std::move(item));
}

void UiBase::RunOnUiThread(std::function<void()> task) {
    if (OnUiThread()) {
        task();
        return;
    }
    std::promise<void> done;
    std::future<void> ready = done.get_future();
    Item item{Item::Task};
    item.m_task = [&task, &done] {
        task();
        done.set_value();
    };
    Enqueue(std::move(item));
    ready.wait();
}

void UiBase::Handle(Item& item) {
    switch (item.m_kind) {
    case Item::Posted:
        if (item.m_target)
            item.m_target->WindowProc(item.m_message, item.m_wParam, item.m_lParam);
        break;
    case Item::Progress:
        ApplyProgress(item.m_nId, item.m_nValue);
        break;
    case Item::Enable:
        ApplyEnable(item.m_nId, item.m_nValue != 0);
        break;
    case Item::Show:
        ApplyShow(item.m_nId, item.m_nValue != 0);
        break;
    case Item::Task:
        item.m_task();
        break;
    }
}

std::size_t UiBase::Pump() {
    std::size_t handled = 0;
    for (;;) {
        Item item{Item::Posted};
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty())
                return handled;
            item = std::move(m_queue.front());
            m_queue.pop_front();
        }
        Handle(item);
        ++handled;
    }
}

void UiBase::PumpUntil(const std::function<bool()>& done) {
    for (;;) {
        Pump();
        OnIdle();
        if (done())
            return;
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::milliseconds(20), [this] { return !m_queue.empty(); });
    }
}

void UiBase::ApplyProgress(int id, int pos) {
    if (ControlState* c = Find(id))
        c->m_nProgress = pos;
}

void UiBase::ApplyEnable(int id, bool enable) {
    if (ControlState* c = Find(id))
        c->m_bEnabled = enable;
}

void UiBase::ApplyShow(int id, bool show) {
    if (ControlState* c = Find(id))
        c->m_bVisible = show;
}

void UiBase::CreateDialogWindow(const DialogTemplate& dlg, HWND target) {
    m_controls.clear();
    for (const DialogControl& dc : dlg.m_controls) {
        if (dc.m_nId == kIdStatic)
            continue;
        ControlState& c = m_controls[dc.m_nId];
        c.m_kind = dc.m_kind;
        c.m_strText = dc.m_strText;
        c.m_bVisible = (dc.m_nStyle & kStyleHidden) == 0;
        c.m_nIcon = dc.m_nIconId;
    }
    m_pMainWnd = target;
    m_bDialogEnded = false;
}

int UiBase::RunModal() {
    PumpUntil([this] { return m_bDialogEnded; });
    return m_nDialogResult;
}

void UiBase::EndDialog(int result) {
    m_bDialogEnded = true;
    m_nDialogResult = result;
    m_cv.notify_all();
    WakeUi();
}

void UiBase::DestroyDialogWindow() { m_controls.clear(); }

void UiBase::ShowAboutBox(const DialogTemplate&) {}

UiBase::ControlState* UiBase::Find(int id) {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : &it->second;
}

bool UiBase::HasControl(int id) { return Find(id) != nullptr; }

std::string UiBase::GetControlText(int id) {
    ControlState* c = Find(id);
    return c ? c->m_strText : std::string();
}

void UiBase::SetControlText(int id, const std::string& text) {
    if (ControlState* c = Find(id))
        c->m_strText = text;
}

bool UiBase::IsControlEnabled(int id) {
    ControlState* c = Find(id);
    return c && c->m_bEnabled;
}

bool UiBase::IsControlVisible(int id) {
    ControlState* c = Find(id);
    return c && c->m_bVisible;
}

int UiBase::GetCheck(int id) {
    ControlState* c = Find(id);
    return c ? c->m_nCheck : 0;
}

void UiBase::SetCheck(int id, int state) {
    if (ControlState* c = Find(id))
        c->m_nCheck = state;
}

void UiBase::SetControlIcon(int id, int iconId) {
    if (ControlState* c = Find(id))
        c->m_nIcon = iconId;
}

int UiBase::GetProgressPos(int id) {
    ControlState* c = Find(id);
    return c ? c->m_nProgress : 0;
}

void UiBase::AcceptDrops(int id, bool accept) {
    if (ControlState* c = Find(id))
        c->m_bAcceptDrops = accept;
}

void UiBase::QueueFileDialogAnswer(std::optional<std::string> path) {
    std::lock_guard lock(m_mutex);
    m_fileAnswers.push_back(std::move(path));
}

bool UiBase::OpenFileDialog(const std::string&, std::string* path) {
    std::optional<std::string> answer;
    {
        std::lock_guard lock(m_mutex);
        if (m_fileAnswers.empty())
            return false;
        answer = std::move(m_fileAnswers.front());
        m_fileAnswers.pop_front();
    }
    if (!answer)
        return false;
    *path = *answer;
    return true;
}

bool UiBase::SaveFileDialog(const std::string& initialFold, std::string* path) {
    return UiBase::OpenFileDialog(initialFold, path);
}

bool UiBase::CanClick(int id) {
    if (id == IDOK || id == IDCANCEL)
        return m_pMainWnd != nullptr;
    ControlState* c = Find(id);
    return c && c->m_bEnabled && c->m_bVisible && m_pMainWnd;
}

bool UiBase::Click(int id) {
    if (!CanClick(id))
        return false;
    if (ControlState* c = Find(id); c && c->m_kind == ControlKind::CheckBox)
        c->m_nCheck = c->m_nCheck ? 0 : 1; // an auto check box flips before its handler runs
    m_pMainWnd->OnCommand(id);
    return true;
}

bool UiBase::Drop(int id, const std::vector<std::string>& files) {
    ControlState* c = Find(id);
    if (!c || !c->m_bAcceptDrops || !m_pMainWnd)
        return false;
    m_pMainWnd->OnDropFiles(id, files);
    return true;
}

bool UiBase::StartWorker(std::function<int()> proc) {
    WaitWorker(); // only one worker at a time; the previous one has normally ended already
    m_bWorkerDone = false;
    // std::thread reports a thread the system would not give as an exception; the caller gets a
    // result instead.
    try {
        if (IFaultInjector* f = FaultInjector(); f && !f->OnStartThread())
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        m_worker = std::thread([this, proc = std::move(proc)] {
            m_nWorkerExit = proc();
            m_bWorkerDone = true;
            m_cv.notify_all();
            WakeUi();
        });
    } catch (const std::system_error&) {
        m_bWorkerDone = true;
        return false;
    }
    return true;
}

void UiBase::WaitWorker() {
    if (!m_worker.joinable())
        return;
    PumpUntil([this] { return m_bWorkerDone.load(); });
    m_worker.join();
    // What the worker queued just before it ended may have arrived after the last pump; hand it
    // over now, so what a caller sees after the wait does not depend on that race.
    Pump();
}

void UiBase::JoinWorker() {
    if (m_worker.joinable())
        m_worker.join();
}

bool UiBase::IsWorkerRunning() { return m_worker.joinable() && !m_bWorkerDone; }

} // namespace platform
