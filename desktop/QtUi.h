#pragma once
// The desktop backend: the program's dialogs as Qt 6 widgets built from their templates, message
// boxes, file dialogs, and the FIFO of posted messages handed to the Qt event loop in slices, so
// the window keeps painting and answering input while a worker floods it with differences.
#include "platform/Mutex.h"
#include "ui/ThreadFlag.h"
#include "ui/UiQueue.h"

#include <QElapsedTimer>
#include <QPointer>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QDialog;
class QEventLoop;
class QFont;
class QIcon;
class QObject;
class QWidget;

namespace desktop {

class TemplateDialog;

class QtUi : public ui::UiQueue {
public:
    // Needs the QApplication; the constructing thread is the UI thread.
    QtUi();
    ~QtUi() override;
    QtUi(const QtUi&) = delete;
    QtUi& operator=(const QtUi&) = delete;

    // --- boxes ---
    int MessageBox(const ui::BoxSpec& box) override;
    int OverwriteQuestion(const ui::DialogTemplate& dlg, const std::string& message) override;

    // --- the dialog window ---
    void CreateDialogWindow(const ui::DialogTemplate& dlg, ui::HWND target) override;
    int RunModal() override;
    void EndDialog(int result) override;
    void DestroyDialogWindow() override;
    ui::HWND MainWindow() override { return m_pMainWnd; }
    void SetWindowIcon(int iconId) override;
    void ShowAboutBox(const ui::DialogTemplate& dlg) override;

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

    // Keeps painting and serving the worker's boxes while it waits; user input waits meanwhile.
    void WaitWorker() override;

    // --- for the program and its tests ---
    // Called with each main window the backend makes, and the logic it serves.
    void SetWindowHook(std::function<void(TemplateDialog&, ui::HWND)> hook) {
        m_onWindow = std::move(hook);
    }
    int DialogResult() const { return m_nDialogResult; }
    QWidget* Window() const;
    QWidget* Control(int id) const;
    // The template's font, with the substitution that makes it available on Linux.
    static QFont DialogFont(const ui::DialogTemplate& dlg);
    // Icon resource 128, 134 or 135 with its 16 x 16 and 32 x 32 pictures (null for others).
    static QIcon ResourceIcon(int iconId);
    // Live-display messages handed to the window / merged away before delivery.
    long long DiffMessagesDelivered() const { return m_nDiffDelivered.load(); }
    long long DiffMessagesMerged() const { return m_nDiffMerged.load(); }

protected:
    void ApplyEffect(const ui::ControlEffect& effect) override;
    // Live-display messages posted one after another wait in the FIFO as one group.
    bool HoldPosted(ui::HWND target, UINT message, WPARAM wParam, LPARAM lParam) override;
    void ReleaseHeld() override;
    void WakeUi() override;

private:
    struct Message {
        UINT m_message;
        WPARAM m_wParam;
        LPARAM m_lParam;
    };
    // Live-display messages posted one after another, waiting in the FIFO as one item.
    struct DiffGroup {
        ui::HWND m_target = nullptr;
        unsigned m_nWindow = 0;
        std::vector<Message> m_messages;
        bool m_bHeldBack = false; // out of the FIFO until the display's pace or the next post
    };

    void OnWake();
    void CloseDiffGroupLocked() REQUIRES(m_diffMutex);
    void DeliverDiffGroup(const std::shared_ptr<DiffGroup>& group);
    QWidget* BoxParent() const;
    int ShowBoxNow(const ui::BoxSpec& box);
    int OverwriteNow(const ui::DialogTemplate& dlg, const std::string& message);

    QObject* m_pWaker = nullptr;            // lives on the UI thread; wake-ups are queued to it
    std::atomic<bool> m_bWakePosted{false}; // any thread sets it, the wake-up clears it

    QPointer<QDialog> m_pWindow;
    std::function<void(TemplateDialog&, ui::HWND)> m_onWindow;
    std::map<int, QWidget*> m_widgets;
    QEventLoop* m_pLoop = nullptr;
    ui::HWND m_pMainWnd = nullptr;
    ui::CUiThreadOnly<bool> m_bDialogEnded{false};
    int m_nDialogResult = 0;
    // Counts windows made, so late deliveries find theirs gone; the UI thread makes them, the
    // worker stamps its groups with the count.
    ui::CPolledFlag<unsigned> m_nWindow{0};

    // Guards the open group and every group's messages and m_bHeldBack.
    platform::CMutex m_diffMutex;
    std::shared_ptr<DiffGroup> m_pOpenGroup GUARDED_BY(m_diffMutex);
    QElapsedTimer m_lastDiffShown; // UI thread
    std::atomic<long long> m_nDiffDelivered{0};
    std::atomic<long long> m_nDiffMerged{0};
};

} // namespace desktop
