#pragma once
// The desktop backend: the program's dialogs as Qt 6 widgets built from their templates, message
// boxes, file dialogs, and the FIFO of posted messages handed to the Qt event loop in slices, so
// the window keeps painting and answering input while a worker floods it with differences.
#include "ui/ThreadFlag.h"
#include "ui/UiQueue.h"

#include <QPointer>

#include <atomic>
#include <functional>
#include <map>

class QDialog;
class QEventLoop;
class QFont;
class QIcon;
class QObject;
class QTimer;
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

protected:
    void ApplyEffect(const ui::ControlEffect& effect) override;
    void WakeUi() override;

private:
    void OnWake();
    QWidget* BoxParent() const;
    int ShowBoxNow(const ui::BoxSpec& box);
    int OverwriteNow(const ui::DialogTemplate& dlg, const std::string& message);

    QObject* m_pWaker = nullptr;            // lives on the UI thread; wake-ups are queued to it
    std::atomic<bool> m_bWakePosted{false}; // any thread sets it, the wake-up clears it
    QTimer* m_pLiveTimer = nullptr;         // when the live display's group falls due

    QPointer<QDialog> m_pWindow;
    std::function<void(TemplateDialog&, ui::HWND)> m_onWindow;
    std::map<int, QWidget*> m_widgets;
    QEventLoop* m_pLoop = nullptr;
    ui::HWND m_pMainWnd = nullptr;
    ui::CUiThreadOnly<bool> m_bDialogEnded{false};
    int m_nDialogResult = 0;
};

} // namespace desktop
