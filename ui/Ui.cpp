#include "ui/Ui.h"

#include "ui/ModelUi.h"

#include <atomic>
#include <cstdio>

namespace ui {
namespace {
std::atomic<IUi*> g_pUi{nullptr};

// Used until a program chooses its backend (a library used on its own): boxes go to standard
// error, and every question is answered No.
class FallbackUi : public ModelUi {
public:
    int MessageBox(const BoxSpec& box) override {
        std::fprintf(stderr, "%s\n", box.m_strText.c_str());
        return FallbackAnswer(box);
    }
    int OverwriteQuestion(const DialogTemplate&, const std::string& message) override {
        std::fprintf(stderr, "%s\n", message.c_str());
        return IDCANCEL;
    }
};
} // namespace

IUi& Ui() {
    if (IUi* ui = g_pUi.load(std::memory_order_acquire))
        return *ui;
    static FallbackUi* fallback = new FallbackUi;
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

} // namespace ui
