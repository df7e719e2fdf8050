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
// A batch this long goes to the UI thread at once; at most kLiveBound bytes of batches wait for it,
// and the worker waits for room beyond that, so a reader that falls behind (a pager paused) holds
// the run back instead of filling memory.
constexpr std::size_t kMaxBatch = 3 * 4096;
constexpr std::size_t kLiveBound = 1 << 20;
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
    SetLiveOutputBound(kLiveBound);
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

void ConsoleUi::Deliver(const std::vector<Posted>& batch) {
    for (const Posted& m : batch)
        if (m.m_target)
            m.m_target->WindowProc(m.m_message, m.m_wParam, m.m_lParam);
}

void ConsoleUi::ReleaseHeld() {
    {
        platform::CMutexLock lock(m_batchMutex);
        if (m_batch.empty())
            return;
    }
    // Only the worker adds to the batch; it waits for room with no lock held, so the UI thread
    // may queue the batch meanwhile. The batch is queued with m_batchMutex held: whatever the
    // worker posts next, which releases the batch first, cannot overtake it.
    const bool room = WaitLiveOutputRoom();
    platform::CMutexLock lock(m_batchMutex);
    if (m_batch.empty())
        return;
    std::vector<Posted> batch;
    batch.swap(m_batch);
    if (room) {
        const std::size_t bytes = batch.capacity() * sizeof(Posted);
        PostLiveOutput([batch = std::move(batch)] { Deliver(batch); }, bytes);
    }
}

bool ConsoleUi::HoldPosted(ui::HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsLiveDisplayMessage(message))
        return false;
    bool opened = false;
    bool full = false;
    {
        platform::CMutexLock lock(m_batchMutex);
        opened = m_batch.empty();
        if (opened)
            m_i64BatchMs = platform::MonotonicMs();
        m_batch.push_back({target, message, wParam, lParam});
        full = m_batch.size() >= kMaxBatch;
    }
    if (full)
        ReleaseHeld();
    else if (opened)
        Wake(); // the UI thread's wait learns when to hand the batch out
    return true;
}

std::optional<int> ConsoleUi::OnIdle() {
    const std::int64_t now = platform::MonotonicMs();
    std::optional<int> again;
    // True when something gathered since `since` is due; otherwise notes when it will be.
    auto due = [&](std::int64_t since) {
        const std::int64_t left = kGatherMs - (now - since);
        if (left <= 0)
            return true;
        again = static_cast<int>(std::min<std::int64_t>(left, again.value_or(kGatherMs)));
        return false;
    };
    bool close = false;
    {
        platform::CMutexLock lock(m_batchMutex);
        close = !m_batch.empty() && due(m_i64BatchMs);
    }
    // Queued behind whatever is queued now; handled at once, since the queue is otherwise empty.
    if (close)
        ReleaseHeld();
    platform::CMutexLock lock(m_ioMutex);
    if (!m_strLines.empty() && due(m_i64FirstLineMs))
        FlushLinesLocked();
    return again;
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
