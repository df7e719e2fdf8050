#include "platform/Ui.h"

#include "platform/ConsoleUi.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<IUi*> g_pUi{nullptr};
}

IUi& Ui() {
    if (IUi* ui = g_pUi.load(std::memory_order_acquire))
        return *ui;
    // No backend chosen (a library used on its own): boxes go to the terminal, questions get No.
    static ConsoleUi* fallback = [] {
        auto* ui = new ConsoleUi;
        ui->SetPresetAnswer(false);
        return ui;
    }();
    return *fallback;
}

int ShowBox(const std::string& text, BoxIcon icon) { return Ui().MessageBox(BoxSpec(text, icon)); }

int AskYesNo(const std::string& text, BoxIcon icon, int defaultButton, const std::string& caption) {
    BoxSpec box(text, icon);
    box.m_buttons = BoxButtons::YesNo;
    box.m_nDefaultButton = defaultButton;
    box.m_strCaption = caption;
    return Ui().MessageBox(box);
}

void SetUi(IUi* ui) { g_pUi.store(ui, std::memory_order_release); }

} // namespace platform
