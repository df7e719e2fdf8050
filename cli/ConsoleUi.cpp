#include "cli/ConsoleUi.h"

#include <iostream>
#include <unistd.h>

namespace platform {
namespace {

// Box texts carry CR LF in places; a terminal wants LF.
std::string ForTerminal(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out.push_back(text[i]);
    }
    if (out.empty() || out.back() != '\n')
        out.push_back('\n');
    return out;
}

} // namespace

ConsoleUi::ConsoleUi() = default;

void ConsoleUi::PrintLocked(std::FILE* out, const std::string& text) {
    if (m_bProgressShown) {
        std::fputs("\n", stderr);
        m_bProgressShown = false;
    }
    std::fputs(text.c_str(), out);
    std::fflush(out);
}

bool ConsoleUi::Ask(const std::string& question, bool yesByDefault) {
    if (m_presetYes) {
        PrintLocked(stderr, question);
        return *m_presetYes;
    }
    if (!::isatty(STDIN_FILENO)) {
        PrintLocked(stderr, question);
        return false;
    }
    std::string text = question;
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    // Enter alone picks the default button, as it does in the window.
    PrintLocked(stderr, text + (yesByDefault ? " [Y/n] " : " [y/N] "));
    std::string reply;
    if (!std::getline(std::cin, reply)) {
        std::cin.clear(); // a later question asks again
        return false;
    }
    if (reply.empty())
        return yesByDefault;
    return reply == "y" || reply == "Y" || reply == "yes";
}

int ConsoleUi::MessageBox(const BoxSpec& box) {
    std::lock_guard lock(m_ioMutex);
    std::string text = ForTerminal(box.m_strText);
    if (box.m_buttons == BoxButtons::YesNo)
        return Ask(text, box.m_nDefaultButton == 1) ? IDYES : IDNO;
    bool toStdout = m_toStdout && m_toStdout(box);
    PrintLocked(toStdout ? stdout : stderr, text);
    return IDOK;
}

int ConsoleUi::OverwriteQuestion(const DialogTemplate&, const std::string& message) {
    std::lock_guard lock(m_ioMutex);
    return Ask(ForTerminal(message), false) ? IDOK : IDCANCEL;
}

void ConsoleUi::SetControlText(int id, const std::string& text) {
    UiBase::SetControlText(id, text);
    if (m_textObserver) {
        std::lock_guard lock(m_ioMutex);
        if (m_bProgressShown) {
            std::fputs("\n", stderr);
            m_bProgressShown = false;
        }
        m_textObserver(id, text);
    }
}

void ConsoleUi::ApplyProgress(int id, int pos) {
    UiBase::ApplyProgress(id, pos);
    if (!m_bProgressBar || pos == m_nLastProgress)
        return;
    m_nLastProgress = pos;
    std::lock_guard lock(m_ioMutex);
    constexpr int kWidth = 40;
    int filled = pos * kWidth / 100;
    std::string bar = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kWidth - filled), ' ') + "] " +
                      std::to_string(pos) + "%";
    std::fputs(bar.c_str(), stderr);
    std::fflush(stderr);
    m_bProgressShown = true;
}

void ConsoleUi::FinishProgressLine() {
    std::lock_guard lock(m_ioMutex);
    if (m_bProgressShown) {
        std::fputs("\n", stderr);
        m_bProgressShown = false;
    }
}

} // namespace platform
