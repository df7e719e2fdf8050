#include "cli/ConsoleUi.h"

#include "platform/Clock.h"
#include "util/Messages.h"

#include <iostream>
#include <unistd.h>

namespace platform {
namespace {

// How long lines and differences are gathered before they go on: well inside the 100 ms a
// reader may wait for a line, long enough that a flood of them costs a write now and then.
constexpr std::int64_t kGatherMs = 20;
constexpr std::int64_t kLineDelayMs = 80;
// A batch this long goes to the UI thread at once, so memory stays bounded when it is busy.
constexpr std::size_t kMaxBatch = 3 * 65536;

bool IsLiveDisplay(UINT message) {
    return message == WM_DIFF_ADRS || message == WM_DIFF_DATA || message == WM_DIFF_COUNT;
}

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

ConsoleUi::~ConsoleUi() { FlushLines(); }

void ConsoleUi::EndProgressLineLocked() {
    if (m_bProgressShown) {
        std::fputs("\n", stderr);
        m_bProgressShown = false;
    }
}

void ConsoleUi::FlushLinesLocked() {
    if (m_strLines.empty())
        return;
    EndProgressLineLocked();
    // Lines that standard output does not take are dropped, as they were one by one.
    if (std::fwrite(m_strLines.data(), 1, m_strLines.size(), stdout) != m_strLines.size() ||
        std::fflush(stdout) != 0)
        std::clearerr(stdout);
    m_strLines.clear();
}

void ConsoleUi::PrintLocked(std::FILE* out, const std::string& text) {
    FlushLinesLocked();
    EndProgressLineLocked();
    std::fputs(text.c_str(), out);
    std::fflush(out);
}

void ConsoleUi::PrintLine(const std::string& line) {
    const std::int64_t now = MonotonicMs();
    std::lock_guard lock(m_ioMutex);
    if (m_strLines.empty())
        m_i64FirstLineMs = now;
    m_strLines += line;
    m_strLines += '\n';
    if (now - m_i64FirstLineMs >= kLineDelayMs)
        FlushLinesLocked();
}

void ConsoleUi::FlushLines() {
    std::lock_guard lock(m_ioMutex);
    FlushLinesLocked();
}

void ConsoleUi::Deliver(const std::vector<Posted>& batch) {
    for (const Posted& m : batch)
        if (m.m_target)
            m.m_target->WindowProc(m.m_message, m.m_wParam, m.m_lParam);
}

void ConsoleUi::CloseDisplayBatch() {
    std::vector<Posted> batch;
    {
        std::lock_guard lock(m_batchMutex);
        if (m_batch.empty())
            return;
        batch.swap(m_batch);
    }
    PostTask([batch = std::move(batch)] { Deliver(batch); });
}

void ConsoleUi::PostMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsLiveDisplay(message)) {
        CloseDisplayBatch();
        UiBase::PostMessage(target, message, wParam, lParam);
        return;
    }
    bool full = false;
    {
        std::lock_guard lock(m_batchMutex);
        if (m_batch.empty())
            m_i64BatchMs = MonotonicMs();
        m_batch.push_back({target, message, wParam, lParam});
        full = m_batch.size() >= kMaxBatch;
    }
    if (full)
        CloseDisplayBatch();
}

void ConsoleUi::SetProgressPos(int id, int pos) {
    CloseDisplayBatch();
    UiBase::SetProgressPos(id, pos);
}

void ConsoleUi::EnableControl(int id, bool enable) {
    CloseDisplayBatch();
    UiBase::EnableControl(id, enable);
}

void ConsoleUi::ShowControl(int id, bool show) {
    CloseDisplayBatch();
    UiBase::ShowControl(id, show);
}

void ConsoleUi::OnIdle() {
    const std::int64_t now = MonotonicMs();
    bool close = false;
    {
        std::lock_guard lock(m_batchMutex);
        close = !m_batch.empty() && now - m_i64BatchMs >= kGatherMs;
    }
    // Queued behind whatever is queued now; handled at once, since the queue is otherwise empty.
    if (close)
        CloseDisplayBatch();
    std::lock_guard lock(m_ioMutex);
    if (!m_strLines.empty() && now - m_i64FirstLineMs >= kGatherMs)
        FlushLinesLocked();
}

void ConsoleUi::WaitWorker() {
    UiBase::WaitWorker();
    // What a worker that ended abruptly gathered last, after everything it queued before.
    CloseDisplayBatch();
    Pump();
    FlushLines();
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
    if (m_textObserver)
        m_textObserver(id, text);
}

void ConsoleUi::ApplyProgress(int id, int pos) {
    UiBase::ApplyProgress(id, pos);
    if (!m_bProgressBar || pos == m_nLastProgress)
        return;
    m_nLastProgress = pos;
    std::lock_guard lock(m_ioMutex);
    FlushLinesLocked(); // the bar stays below the lines
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
    FlushLinesLocked();
    EndProgressLineLocked();
}

} // namespace platform
