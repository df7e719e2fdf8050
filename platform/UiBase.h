#pragma once
// What the terminal and test backends share, and what the desktop backend builds on: the FIFO that
// carries posted messages and the worker's effects to the UI thread, the worker thread itself, and
// a model of the dialog's controls for backends that have no widgets.
#include "platform/Ui.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace platform {

class UiBase : public IUi {
public:
    // The thread that constructs the backend is its UI thread.
    UiBase();
    ~UiBase() override;

    void PostMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam) override;
    void SetProgressPos(int id, int pos) override;
    void EnableControl(int id, bool enable) override;
    void ShowControl(int id, bool show) override;

    void CreateDialogWindow(const DialogTemplate& dlg, HWND target) override;
    int RunModal() override;
    void EndDialog(int result) override;
    void DestroyDialogWindow() override;
    HWND MainWindow() override { return m_pMainWnd; }
    void SetWindowIcon(int iconId) override { m_nWindowIcon = iconId; }
    void ShowAboutBox(const DialogTemplate& dlg) override;

    bool HasControl(int id) override;
    std::string GetControlText(int id) override;
    void SetControlText(int id, const std::string& text) override;
    bool IsControlEnabled(int id) override;
    bool IsControlVisible(int id) override;
    int GetCheck(int id) override;
    void SetCheck(int id, int state) override;
    void SetControlIcon(int id, int iconId) override;
    int GetProgressPos(int id) override;
    void AcceptDrops(int id, bool accept) override;

    bool OpenFileDialog(const std::string& initialFold, std::string* path) override;
    bool SaveFileDialog(const std::string& initialFold, std::string* path) override;

    bool StartWorker(std::function<int()> proc) override;
    void WaitWorker() override;
    bool IsWorkerRunning() override;

    // Handles everything queued for the UI thread so far; returns how many items it handled.
    std::size_t Pump();
    // Handles queued items until `done` is true (checked after each item and on every wake-up).
    void PumpUntil(const std::function<bool()>& done);

    bool OnUiThread() const { return std::this_thread::get_id() == m_uiThread; }
    bool DialogEnded() const { return m_bDialogEnded; }
    int DialogResult() const { return m_nDialogResult; }
    int WindowIcon() const { return m_nWindowIcon; }
    int WorkerExitCode() const { return m_nWorkerExit.load(); }

    // The answers the file dialogs give, in order; an empty answer cancels. With none left, a
    // dialog is cancelled.
    void QueueFileDialogAnswer(std::optional<std::string> path);

    // Controls a click can reach: what a user could press now.
    bool CanClick(int id);
    // Acts as the user would: a click on an enabled, visible control (false otherwise).
    bool Click(int id);
    // Files dropped on a control; only controls that accept drops take them.
    bool Drop(int id, const std::vector<std::string>& files);

protected:
    struct ControlState {
        ControlKind m_kind = ControlKind::Label;
        std::string m_strText;
        bool m_bEnabled = true;
        bool m_bVisible = true;
        int m_nCheck = 0;
        int m_nIcon = 0;
        int m_nProgress = 0;
        bool m_bAcceptDrops = false;
    };

    // Effects carried to the UI thread, applied there by Pump.
    virtual void ApplyProgress(int id, int pos);
    virtual void ApplyEnable(int id, bool enable);
    virtual void ApplyShow(int id, bool show);
    // Called from any thread after something was queued; a backend with an event loop wakes it.
    virtual void WakeUi() {}
    // Called on the UI thread while it waits, each time it has handled everything queued.
    virtual void OnIdle() {}
    // Waits for the worker without handling anything queued: for destructors, when the windows
    // the queue would be delivered to may be gone already.
    void JoinWorker();
    // Runs `task` on the UI thread and waits for it (immediately when already there).
    void RunOnUiThread(std::function<void()> task);
    // Queues `task` for the UI thread, in order with everything else, without waiting for it.
    void PostTask(std::function<void()> task) {
        Item item{Item::Task};
        item.m_task = std::move(task);
        Enqueue(std::move(item));
    }
    // Handles the oldest queued item; false when nothing was queued. For an event loop that
    // hands out the queue in slices and keeps its own input and painting going in between.
    bool PumpOne() {
        Item item{Item::Posted};
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty())
                return false;
            item = std::move(m_queue.front());
            m_queue.pop_front();
        }
        Handle(item);
        return true;
    }
    // Drops the posted messages not delivered yet: a window that is gone gets none (the worker's
    // boxes and effects stay queued).
    void DiscardPosted() {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_queue, [](const Item& item) { return item.m_kind == Item::Posted; });
    }

    ControlState* Find(int id);

    std::thread::id m_uiThread;
    std::map<int, ControlState> m_controls;
    HWND m_pMainWnd = nullptr;

private:
    struct Item {
        enum Kind { Posted, Progress, Enable, Show, Task };
        explicit Item(Kind kind) : m_kind(kind) {}
        Kind m_kind;
        HWND m_target = nullptr;
        UINT m_message = 0;
        WPARAM m_wParam = 0;
        LPARAM m_lParam = 0;
        int m_nId = 0;
        int m_nValue = 0;
        std::function<void()> m_task;
    };
    void Enqueue(Item item);
    void Handle(Item& item);

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Item> m_queue;
    std::deque<std::optional<std::string>> m_fileAnswers;

    std::thread m_worker; // kept joinable, so a wait always has a valid thread to wait for
    std::atomic<bool> m_bWorkerDone{true};
    std::atomic<int> m_nWorkerExit{0};

    bool m_bDialogEnded = false;
    int m_nDialogResult = 0;
    int m_nWindowIcon = 0;
};

} // namespace platform
