#include "cli/ConsoleUi.h"

#include "platform/Clock.h"
#include "platform/OutputRoom.h"
#include "util/Messages.h"

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <unistd.h>

namespace cli {
namespace {

// How long lines and differences are gathered before they go on: well inside the 100 ms a
// reader may wait for a line, long enough that a flood of them costs a write now and then.
constexpr std::int64_t kGatherMs = 20;
constexpr std::int64_t kLineDelayMs = 80;
// The differences for the live display travel in groups that do not wake the UI thread each. A
// group this long goes to the UI thread at once; at most 1 MiB of them wait for it, and the worker
// waits for room beyond that, so a reader that falls behind (a pager paused) holds the run back
// instead of filling memory (a stop ends that wait).
constexpr ui::LivePolicy kLivePolicy{WM_DIFF_ADRS, WM_DIFF_COUNT, false, 3 * 4096, kGatherMs, 0,
                                     1 << 20};
// Lines gathered for standard output go out at this length at the latest.
constexpr std::size_t kMaxLineBytes = 64 << 10;

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

ConsoleUi::ConsoleUi() {
    SetLivePolicy(kLivePolicy);
}

ConsoleUi::~ConsoleUi() {
    JoinWorker();
    FlushLines();
}

void ConsoleUi::WriteLocked(std::FILE* out, const std::string& text) {
    // A stream that failed keeps its error for the program's end to report, and takes nothing
    // more: no text may appear to follow one that was lost.
    if (std::ferror(out))
        return;
    // In slices that a pipe with room takes without blocking: a stop is never held up by a reader
    // that stopped reading. What is left when it comes is not written.
    for (std::size_t at = 0; at < text.size(); at += platform::kOutputSlice) {
        if (!platform::WaitForOutputRoom(::fileno(out), [this] { return OutputStopped(); }))
            return;
        const std::size_t n = std::min(platform::kOutputSlice, text.size() - at);
        if (std::fwrite(text.data() + at, 1, n, out) != n || std::fflush(out) != 0) {
            if (out == stdout)
                m_nStdoutErrno = errno;
            return;
        }
    }
}

int ConsoleUi::StdoutWriteErrno() {
    platform::CMutexLock lock(m_ioMutex);
    return m_nStdoutErrno;
}

void ConsoleUi::ClearTerminalLocked() {
    if (m_bProgressShown) {
        WriteLocked(stderr, "\n");
        m_bProgressShown = false;
    }
    if (!m_strLines.empty()) {
        WriteLocked(stdout, m_strLines);
        m_strLines.clear();
    }
}

void ConsoleUi::FlushLinesLocked() {
    if (!m_strLines.empty())
        ClearTerminalLocked();
}

void ConsoleUi::PrintLocked(std::FILE* out, const std::string& text) {
    ClearTerminalLocked();
    WriteLocked(out, text);
}

void ConsoleUi::PrintLine(const std::string& line) {
    const std::int64_t now = platform::MonotonicMs();
    platform::CMutexLock lock(m_ioMutex);
    if (m_strLines.empty())
        m_i64FirstLineMs = now;
    m_strLines += line;
    m_strLines += '\n';
    if (now - m_i64FirstLineMs >= kLineDelayMs || m_strLines.size() >= kMaxLineBytes)
        FlushLinesLocked();
}

void ConsoleUi::FlushLines() {
    platform::CMutexLock lock(m_ioMutex);
    FlushLinesLocked();
}

std::optional<int> ConsoleUi::OnIdle() {
    const std::int64_t now = platform::MonotonicMs();
    platform::CMutexLock lock(m_ioMutex);
    if (m_strLines.empty())
        return std::nullopt;
    const std::int64_t left = kGatherMs - (now - m_i64FirstLineMs);
    if (left > 0)
        return static_cast<int>(left);
    FlushLinesLocked();
    return std::nullopt;
}

void ConsoleUi::WaitWorker() {
    ui::ModelUi::WaitWorker();
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

int ConsoleUi::MessageBox(const ui::BoxSpec& box) {
    platform::CMutexLock lock(m_ioMutex);
    std::string text = ForTerminal(box.m_strText);
    if (box.m_buttons == ui::BoxButtons::YesNo)
        return Ask(text, box.m_nDefaultButton == 1) ? IDYES : IDNO;
    bool toStdout = m_toStdout && m_toStdout(box);
    if (m_boxEnding)
        text += m_boxEnding(box);
    PrintLocked(toStdout ? stdout : stderr, text);
    return IDOK;
}

int ConsoleUi::OverwriteQuestion(const ui::DialogTemplate&, const std::string& message) {
    platform::CMutexLock lock(m_ioMutex);
    return Ask(ForTerminal(message), false) ? IDOK : IDCANCEL;
}

void ConsoleUi::SetControlText(int id, const std::string& text) {
    ui::ModelUi::SetControlText(id, text);
    if (m_textObserver)
        m_textObserver(id, text);
}

void ConsoleUi::ApplyEffect(const ui::ControlEffect& effect) {
    ui::ModelUi::ApplyEffect(effect);
    if (effect.m_kind == ui::ControlEffect::Progress)
        DrawProgress(effect.m_nValue);
}

void ConsoleUi::DrawProgress(int pos) {
    if (!m_bProgressBar || pos == m_nLastProgress)
        return;
    m_nLastProgress = pos;
    platform::CMutexLock lock(m_ioMutex);
    FlushLinesLocked(); // the bar stays below the lines
    constexpr int kWidth = 40;
    int filled = pos * kWidth / 100;
    std::string bar = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kWidth - filled), ' ') + "] " +
                      std::to_string(pos) + "%";
    WriteLocked(stderr, bar);
    m_bProgressShown = true;
}

void ConsoleUi::FinishProgressLine() {
    platform::CMutexLock lock(m_ioMutex);
    ClearTerminalLocked();
}

} // namespace cli
