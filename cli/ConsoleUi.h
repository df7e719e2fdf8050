#pragma once
// The terminal backend: a box is printed in UTF-8, a question is asked on the terminal or
// answered by a preset answer, the progress bar is drawn on standard error.
#include "platform/UiBase.h"

#include <cstdio>
#include <mutex>
#include <optional>

namespace platform {

class ConsoleUi : public UiBase {
public:
    ConsoleUi();

    // Every question answered Yes (true) or No (false); without one, a question is asked when
    // standard input is a terminal and answered No when it is not.
    void SetPresetAnswer(std::optional<bool> yes) { m_presetYes = yes; }
    // Which boxes go to standard output; the rest go to standard error.
    void SetStdoutBoxes(std::function<bool(const BoxSpec&)> toStdout) {
        m_toStdout = std::move(toStdout);
    }
    void SetProgressBar(bool enabled) { m_bProgressBar = enabled; }
    // Called on the UI thread whenever a control's text is set.
    void SetTextObserver(std::function<void(int id, const std::string& text)> observer) {
        m_textObserver = std::move(observer);
    }
    // Ends the progress bar's line, if one is drawn.
    void FinishProgressLine();

    int MessageBox(const BoxSpec& box) override;
    int OverwriteQuestion(const DialogTemplate& dlg, const std::string& message) override;
    void SetControlText(int id, const std::string& text) override;

protected:
    void ApplyProgress(int id, int pos) override;

private:
    bool Ask(const std::string& question, bool yesByDefault);
    void PrintLocked(std::FILE* out, const std::string& text);

    std::mutex m_ioMutex;
    std::optional<bool> m_presetYes;
    std::function<bool(const BoxSpec&)> m_toStdout;
    std::function<void(int, const std::string&)> m_textObserver;
    bool m_bProgressBar = false;
    bool m_bProgressShown = false;
    int m_nLastProgress = -1;
};

} // namespace platform
