#pragma once
// A control of the dialog, addressed by its id, as the logic holds it (the progress bar, the
// buttons the engine enables). Every call goes through the UI backend in use.
#include "ui/Ui.h"

namespace ui {

class CControl {
public:
    explicit CControl(int id) : m_nId(id) {}
    int GetDlgCtrlID() const { return m_nId; }

    // Safe from the worker: carried to the UI thread in order with posted messages.
    void SetPos(int pos) const { Ui().SetProgressPos(m_nId, pos); }
    void EnableWindow(BOOL bEnable) const { Ui().EnableControl(m_nId, bEnable != FALSE); }
    void ShowWindow(BOOL bShow) const { Ui().ShowControl(m_nId, bShow != FALSE); }

    // UI thread only.
    std::string GetWindowText() const { return Ui().GetControlText(m_nId); }
    void SetWindowText(const std::string& text) const { Ui().SetControlText(m_nId, text); }
    int GetCheck() const { return Ui().GetCheck(m_nId); }
    void SetCheck(int state) const { Ui().SetCheck(m_nId, state); }
    void SetIcon(int iconId) const { Ui().SetControlIcon(m_nId, iconId); }
    BOOL IsWindowEnabled() const { return Ui().IsControlEnabled(m_nId) ? TRUE : FALSE; }
    BOOL IsWindowVisible() const { return Ui().IsControlVisible(m_nId) ? TRUE : FALSE; }
    BOOL Exists() const { return Ui().HasControl(m_nId) ? TRUE : FALSE; }

private:
    int m_nId;
};

} // namespace ui
