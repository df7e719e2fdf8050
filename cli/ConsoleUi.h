#pragma once
// The terminal backend: a box is printed in UTF-8, a question is asked on the terminal or
// answered by a preset answer, the progress bar is drawn on standard error.
#include "platform/Mutex.h"
#include "ui/ModelUi.h"

#include <cstdint>
#include <cstdio>
#include <optional>

namespace cli {

class ConsoleUi : public ui::ModelUi {
public:
    ConsoleUi();
    ~ConsoleUi() override;

    // Every question answered Yes (true) or No (false); without one, a question is asked when
    // standard input is a terminal and answered No when it is not.
    void SetPresetAnswer(std::optional<bool> yes) { m_presetYes = yes; }
    // Which boxes go to standard output; the rest go to standard error.
    void SetStdoutBoxes(std::function<bool(const ui::BoxSpec&)> toStdout) {
        m_toStdout = std::move(toStdout);
    }
    void SetProgressBar(bool enabled) { m_bProgressBar = enabled; }
    // What a box's printed text ends with, given the box; asked on the UI thread while the worker
    // waits for the box.
    void SetBoxEnding(std::function<std::string(const ui::BoxSpec&)> ending) {
        m_boxEnding = std::move(ending);
    }
    // Called on the UI thread whenever a control's text is set.
    void SetTextObserver(std::function<void(int id, const std::string& text)> observer) {
        m_textObserver = std::move(observer);
    }
    // Ends the progress bar's line, if one is drawn, after the lines still to be printed.
    void FinishProgressLine();

    // A line for standard output, from any thread. Lines are gathered and written together: whenever the UI
    // thread has caught up with the worker, at the latest 100 ms after the first of them or when
    // they make 64 KiB, and before anything else is printed. Once a write to standard output has failed, nothing more
    // is written there: the stream keeps its error for the program's end to report.
    void PrintLine(const std::string& line);
    // Writes the gathered lines now.
    void FlushLines() EXCLUDES(m_ioMutex);
    // The cause of the write to standard output that failed, 0 while none has.
    int StdoutWriteErrno();

    int MessageBox(const ui::BoxSpec& box) override;
    int OverwriteQuestion(const ui::DialogTemplate& dlg, const std::string& message) override;
    void SetControlText(int id, const std::string& text) override;
    void WaitWorker() override;

protected:
    // True once the program is stopping: output that waits for its reader is given up then.
    virtual bool OutputStopped() { return false; }
    void ApplyEffect(const ui::ControlEffect& effect) override;
    std::optional<int> OnIdle() override;

private:
    bool Ask(const std::string& question, bool yesByDefault) REQUIRES(m_ioMutex);
    void DrawProgress(int pos) EXCLUDES(m_ioMutex);
    void PrintLocked(std::FILE* out, const std::string& text) REQUIRES(m_ioMutex);
    void WriteLocked(std::FILE* out, const std::string& text) REQUIRES(m_ioMutex);
    void FlushLinesLocked() REQUIRES(m_ioMutex);
    // The gathered lines out and the progress bar's line ended: the terminal is free for a text.
    void ClearTerminalLocked() REQUIRES(m_ioMutex);

    platform::CMutex m_ioMutex;
    std::optional<bool> m_presetYes;
    std::function<bool(const ui::BoxSpec&)> m_toStdout;
    std::function<std::string(const ui::BoxSpec&)> m_boxEnding;
    std::function<void(int, const std::string&)> m_textObserver;
    bool m_bProgressBar = false;
    bool m_bProgressShown GUARDED_BY(m_ioMutex) = false;
    int m_nLastProgress = -1; // the UI thread's
    std::string m_strLines GUARDED_BY(m_ioMutex); // gathered for standard output
    int m_nStdoutErrno GUARDED_BY(m_ioMutex) = 0;
    std::int64_t m_i64FirstLineMs GUARDED_BY(m_ioMutex) = 0; // when the oldest of them came
};

} // namespace cli
