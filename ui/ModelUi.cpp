#include "ui/ModelUi.h"

namespace ui {

ModelUi::~ModelUi() { JoinWorker(); }

void ModelUi::CreateDialogWindow(const DialogTemplate& dlg, HWND target) {
    m_controls.clear();
    for (const DialogControl& dc : dlg.m_controls) {
        if (dc.m_nId == kIdStatic)
            continue;
        ControlState& c = m_controls[dc.m_nId];
        c.m_kind = dc.m_kind;
        c.m_strText = dc.m_strText;
        c.m_bVisible = (dc.m_nStyle & kStyleHidden) == 0;
        c.m_nIcon = dc.m_nIconId;
        c.m_bReadOnly = (dc.m_nStyle & kStyleReadOnly) != 0;
    }
    m_pMainWnd = target;
    m_bDialogEnded = false;
}

int ModelUi::RunModal() {
    PumpUntil([this]() -> bool { return m_bDialogEnded; });
    return m_nDialogResult;
}

void ModelUi::EndDialog(int result) {
    m_bDialogEnded = true;
    m_nDialogResult = result;
    Wake();
}

void ModelUi::DestroyDialogWindow() { m_controls.clear(); }

void ModelUi::ShowAboutBox(const DialogTemplate&) {}

ModelUi::ControlState* ModelUi::Find(int id) {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : &it->second;
}

void ModelUi::ApplyEffect(const ControlEffect& effect) {
    ControlState* c = Find(effect.m_nId);
    if (!c)
        return;
    switch (effect.m_kind) {
    case ControlEffect::Progress:
        c->m_nProgress = effect.m_nValue;
        break;
    case ControlEffect::Enable:
        c->m_bEnabled = effect.m_nValue != 0;
        break;
    case ControlEffect::Show:
        c->m_bVisible = effect.m_nValue != 0;
        break;
    }
}

bool ModelUi::HasControl(int id) { return Find(id) != nullptr; }

std::string ModelUi::GetControlText(int id) {
    ControlState* c = Find(id);
    return c ? c->m_strText : std::string();
}

void ModelUi::SetControlText(int id, const std::string& text) {
    if (ControlState* c = Find(id))
        c->m_strText = text;
}

bool ModelUi::IsControlEnabled(int id) {
    ControlState* c = Find(id);
    return c && c->m_bEnabled;
}

bool ModelUi::IsControlVisible(int id) {
    ControlState* c = Find(id);
    return c && c->m_bVisible;
}

int ModelUi::GetCheck(int id) {
    ControlState* c = Find(id);
    return c ? c->m_nCheck : 0;
}

void ModelUi::SetCheck(int id, int state) {
    if (ControlState* c = Find(id))
        c->m_nCheck = state;
}

void ModelUi::SetControlIcon(int id, int iconId) {
    if (ControlState* c = Find(id))
        c->m_nIcon = iconId;
}

int ModelUi::GetProgressPos(int id) {
    ControlState* c = Find(id);
    return c ? c->m_nProgress : 0;
}

void ModelUi::AcceptDrops(int id, bool accept) {
    if (ControlState* c = Find(id))
        c->m_bAcceptDrops = accept;
}

void ModelUi::QueueFileDialogAnswer(std::optional<std::string> path) {
    m_fileAnswers.push_back(std::move(path));
}

bool ModelUi::OpenFileDialog(const std::string&, std::string* path) {
    if (m_fileAnswers.empty())
        return false;
    std::optional<std::string> answer = std::move(m_fileAnswers.front());
    m_fileAnswers.pop_front();
    if (!answer)
        return false;
    *path = *answer;
    return true;
}

bool ModelUi::SaveFileDialog(const std::string& initialFold, std::string* path) {
    return ModelUi::OpenFileDialog(initialFold, path);
}

bool ModelUi::CanClick(int id) {
    if (id == IDOK || id == IDCANCEL)
        return m_pMainWnd != nullptr;
    ControlState* c = Find(id);
    return c && c->m_bEnabled && c->m_bVisible && m_pMainWnd;
}

bool ModelUi::Click(int id) {
    if (!CanClick(id))
        return false;
    if (ControlState* c = Find(id); c && c->m_kind == ControlKind::CheckBox)
        c->m_nCheck = c->m_nCheck ? 0 : 1; // an auto check box flips before its handler runs
    m_pMainWnd->OnCommand(id);
    return true;
}

bool ModelUi::Type(int id, const std::string& text) {
    ControlState* c = Find(id);
    if (!c || c->m_kind != ControlKind::Edit || !c->m_bEnabled || !c->m_bVisible ||
        c->m_bReadOnly || !m_pMainWnd)
        return false;
    c->m_strText = text;
    m_pMainWnd->OnEditChange(id);
    return true;
}

bool ModelUi::Drop(int id, const std::vector<std::string>& files) {
    ControlState* c = Find(id);
    if (!c || !c->m_bAcceptDrops || !m_pMainWnd)
        return false;
    m_pMainWnd->OnDropFiles(id, files);
    return true;
}

} // namespace ui
