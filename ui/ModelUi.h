#pragma once
// A backend without widgets (the terminal, the tests, a program that has chosen none): the
// dialog's controls as a model of their state, the dialog's run as a pump of the queue, and what a
// script needs to act as the user would: clicks, drops, answers for the file dialogs.
#include "ui/UiQueue.h"

#include <map>

namespace ui {

class ModelUi : public UiQueue {
public:
    ModelUi() = default;
    ~ModelUi() override;

    void CreateDialogWindow(const DialogTemplate& dlg, HWND target) override;
    // Hands out the queue until EndDialog.
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

    // Take the next queued answer (see QueueFileDialogAnswer).
    bool OpenFileDialog(const std::string& initialFold, std::string* path) override;
    bool SaveFileDialog(const std::string& initialFold, std::string* path) override;

    bool DialogEnded() const { return m_bDialogEnded; }
    int DialogResult() const { return m_nDialogResult; }
    int WindowIcon() const { return m_nWindowIcon; }

    // --- acting as the user (UI thread) ---
    // The answers the file dialogs give, in order; an empty answer cancels. With none left, a
    // dialog is cancelled.
    void QueueFileDialogAnswer(std::optional<std::string> path);
    // Controls a click can reach: what a user could press now.
    bool CanClick(int id);
    // Acts as the user would: a click on an enabled, visible control (false otherwise).
    bool Click(int id);
    // Text typed into an enabled, editable box, replacing what it held (false otherwise).
    bool Type(int id, const std::string& text);
    // Files dropped on a control; only controls that accept drops take them.
    bool Drop(int id, const std::vector<std::string>& files);

protected:
    void ApplyEffect(const ControlEffect& effect) override;

private:
    struct ControlState {
        ControlKind m_kind = ControlKind::Label;
        std::string m_strText;
        bool m_bEnabled = true;
        bool m_bVisible = true;
        int m_nCheck = 0;
        int m_nIcon = 0;
        int m_nProgress = 0;
        bool m_bAcceptDrops = false;
        bool m_bReadOnly = false;
    };
    ControlState* Find(int id);

    // All of it belongs to the UI thread.
    std::map<int, ControlState> m_controls;
    HWND m_pMainWnd = nullptr;
    std::deque<std::optional<std::string>> m_fileAnswers;
    CUiThreadOnly<bool> m_bDialogEnded{false};
    int m_nDialogResult = 0;
    int m_nWindowIcon = 0;
};

} // namespace ui
