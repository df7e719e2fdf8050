#include "support/ScriptedUi.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace support {

ScriptedUi::ScriptedUi() {
    ui::SetUi(this);
    platform::SetFaultInjector(this);
}

ScriptedUi::~ScriptedUi() {
    JoinWorker(); // a worker still recording must not outlive the event log
    platform::SetFaultInjector(nullptr);
    ui::SetUi(nullptr);
}

void ScriptedUi::Record(UiEvent event) {
    event.m_bFromWorker = !OnUiThread();
    std::lock_guard lock(m_eventMutex);
    m_events.push_back(std::move(event));
}

std::vector<UiEvent> ScriptedUi::Events() {
    std::lock_guard lock(m_eventMutex);
    return m_events;
}

std::vector<UiEvent> ScriptedUi::EventsOf(UiEvent::Kind kind) {
    std::vector<UiEvent> out;
    for (UiEvent& e : Events())
        if (e.m_kind == kind)
            out.push_back(std::move(e));
    return out;
}

std::vector<std::string> ScriptedUi::BoxTexts() {
    std::vector<std::string> out;
    for (UiEvent& e : Events())
        if (e.m_kind == UiEvent::Kind::Box || e.m_kind == UiEvent::Kind::Overwrite)
            out.push_back(std::move(e.m_strText));
    return out;
}

std::vector<UINT> ScriptedUi::PostedMessages() {
    std::vector<UINT> out;
    for (const UiEvent& e : Events())
        if (e.m_kind == UiEvent::Kind::Posted)
            out.push_back(e.m_message);
    return out;
}

void ScriptedUi::ClearEvents() {
    std::lock_guard lock(m_eventMutex);
    m_events.clear();
}

void ScriptedUi::QueueAnswer(int answer) {
    std::lock_guard lock(m_eventMutex);
    m_answers.push_back(answer);
}

int ScriptedUi::UnansweredQuestions() {
    std::lock_guard lock(m_eventMutex);
    return m_nUnanswered;
}

int ScriptedUi::NextAnswer(int fallback) {
    std::lock_guard lock(m_eventMutex);
    if (m_answers.empty()) {
        ++m_nUnanswered;
        return fallback;
    }
    int a = m_answers.front();
    m_answers.pop_front();
    return a;
}

int ScriptedUi::MessageBox(const ui::BoxSpec& box) {
    int answer = box.m_buttons == ui::BoxButtons::YesNo ? NextAnswer(IDNO) : IDOK;
    UiEvent e{UiEvent::Kind::Box};
    e.m_strText = box.m_strText;
    e.m_strCaption = box.m_strCaption;
    e.m_buttons = box.m_buttons;
    e.m_icon = box.m_icon;
    e.m_nDefaultButton = box.m_nDefaultButton;
    e.m_nAnswer = answer;
    Record(std::move(e));
    return answer;
}

int ScriptedUi::OverwriteQuestion(const ui::DialogTemplate& dlg, const std::string& message) {
    if (m_bOverwriteOnUi && !OnUiThread()) {
        m_bOverwriteWaiting = true;
        const int answer = AskOnUiThread([&] { return OverwriteQuestion(dlg, message); }, IDCANCEL);
        m_bOverwriteWaiting = false;
        return answer;
    }
    int answer = NextAnswer(IDCANCEL);
    UiEvent e{UiEvent::Kind::Overwrite};
    e.m_strText = message;
    e.m_nAnswer = answer;
    Record(std::move(e));
    return answer;
}

void ScriptedUi::PostMessage(ui::HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
    UiEvent e{UiEvent::Kind::Posted};
    e.m_message = message;
    e.m_wParam = wParam;
    e.m_lParam = lParam;
    Record(std::move(e));
    ui::ModelUi::PostMessage(target, message, wParam, lParam);
}

void ScriptedUi::OnEffectIssued(const ui::ControlEffect& effect) {
    constexpr UiEvent::Kind kKinds[] = {UiEvent::Kind::Progress, UiEvent::Kind::Enable,
                                        UiEvent::Kind::Show};
    UiEvent e{kKinds[effect.m_kind]};
    e.m_nId = effect.m_nId;
    e.m_nValue = effect.m_nValue;
    Record(std::move(e));
}

void ScriptedUi::SetControlText(int id, const std::string& text) {
    UiEvent e{UiEvent::Kind::Text};
    e.m_nId = id;
    e.m_strText = text;
    Record(std::move(e));
    ui::ModelUi::SetControlText(id, text);
}

void ScriptedUi::SetCheck(int id, int state) {
    UiEvent e{UiEvent::Kind::Check};
    e.m_nId = id;
    e.m_nValue = state;
    Record(std::move(e));
    ui::ModelUi::SetCheck(id, state);
}

void ScriptedUi::SetControlIcon(int id, int iconId) {
    UiEvent e{UiEvent::Kind::Icon};
    e.m_nId = id;
    e.m_nValue = iconId;
    Record(std::move(e));
    ui::ModelUi::SetControlIcon(id, iconId);
}

void ScriptedUi::SetWindowIcon(int iconId) {
    UiEvent e{UiEvent::Kind::WindowIcon};
    e.m_nValue = iconId;
    Record(std::move(e));
    ui::ModelUi::SetWindowIcon(iconId);
}

void ScriptedUi::EndDialog(int result) {
    UiEvent e{UiEvent::Kind::EndDialog};
    e.m_nValue = result;
    Record(std::move(e));
    ui::ModelUi::EndDialog(result);
}

void ScriptedUi::ShowAboutBox(const ui::DialogTemplate& dlg) {
    UiEvent e{UiEvent::Kind::About};
    e.m_strText = dlg.m_strCaption;
    Record(std::move(e));
}

bool ScriptedUi::OpenFileDialog(const std::string& initialFold, std::string* path) {
    bool ok = ui::ModelUi::OpenFileDialog(initialFold, path);
    UiEvent e{UiEvent::Kind::OpenDialog};
    e.m_strCaption = initialFold;
    e.m_strText = ok ? *path : std::string();
    e.m_nAnswer = ok ? IDOK : IDCANCEL;
    Record(std::move(e));
    return ok;
}

bool ScriptedUi::SaveFileDialog(const std::string& initialFold, std::string* path) {
    bool ok = ui::ModelUi::SaveFileDialog(initialFold, path);
    UiEvent e{UiEvent::Kind::SaveDialog};
    e.m_strCaption = initialFold;
    e.m_strText = ok ? *path : std::string();
    e.m_nAnswer = ok ? IDOK : IDCANCEL;
    Record(std::move(e));
    return ok;
}

// --- faults ---

void ScriptedUi::FailReads(const std::string& path, std::uint64_t afterBytes, int err) {
    std::lock_guard lock(m_faultMutex);
    m_readRules[path] = {afterBytes, err};
}

void ScriptedUi::EndReadsAt(const std::string& path, std::uint64_t totalBytes) {
    std::lock_guard lock(m_faultMutex);
    m_readRules[path] = {totalBytes, 0};
}

void ScriptedUi::FailWrites(const std::string& path, std::uint64_t afterBytes, int err) {
    std::lock_guard lock(m_faultMutex);
    m_writeRules[path] = {afterBytes, err};
}

void ScriptedUi::FailCloses(const std::string& path, int err) {
    std::lock_guard lock(m_faultMutex);
    m_closeRules[path] = err;
}

void ScriptedUi::SetFreeSpace(std::optional<std::uint64_t> bytes) {
    std::lock_guard lock(m_faultMutex);
    m_freeSpace = bytes;
}

void ScriptedUi::FailAllocations(int count, std::size_t minBytes, int after) {
    std::lock_guard lock(m_faultMutex);
    m_nFailAllocations = count;
    m_nFailAllocMin = minBytes;
    m_nAllocationsBeforeFailing = after;
}

void ScriptedUi::FailThreadStarts(int count) {
    std::lock_guard lock(m_faultMutex);
    m_nFailThreadStarts = count;
}

void ScriptedUi::SetConverterAvailable(bool available) {
    std::lock_guard lock(m_faultMutex);
    m_bConverter = available;
}

int ScriptedUi::OpenHandles(const std::string& path) {
    std::lock_guard lock(m_faultMutex);
    int n = 0;
    for (const auto& h : m_handles)
        n += h.second.m_strPath == path ? 1 : 0;
    return n;
}

void ScriptedUi::OnOpen(int fd, const std::string& path) {
    std::lock_guard lock(m_faultMutex);
    m_handles[fd] = Handle{path};
}

int ScriptedUi::OnClose(int fd) {
    std::lock_guard lock(m_faultMutex);
    auto h = m_handles.find(fd);
    if (h == m_handles.end())
        return 0;
    const auto r = m_closeRules.find(h->second.m_strPath);
    m_handles.erase(h);
    return r != m_closeRules.end() ? r->second : 0;
}

namespace {
// Bytes a read at `pos` can still deliver; reads are counted by what they can really get, so a
// read that meets the end of the file does not trip a limit beyond it.
std::size_t Deliverable(int fd, std::int64_t pos, std::size_t n) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return n;
    if (pos < 0 || pos >= st.st_size)
        return 0;
    return std::min(n, static_cast<std::size_t>(st.st_size - pos));
}
} // namespace

int ScriptedUi::OnRead(int fd, std::int64_t i64At, std::size_t& n) {
    std::lock_guard lock(m_faultMutex);
    auto h = m_handles.find(fd);
    if (h == m_handles.end())
        return 0;
    const std::uint64_t done = h->second.m_nRead;
    const std::size_t want = Deliverable(fd, i64At, n);
    if (auto r = m_readRules.find(h->second.m_strPath);
        r != m_readRules.end() && done + want > r->second.m_nLimit) {
        // A failing read fails as a whole, as the read loop would on meeting the bad spot.
        if (r->second.m_nErr != 0)
            return r->second.m_nErr;
        n = done >= r->second.m_nLimit ? 0 : static_cast<std::size_t>(r->second.m_nLimit - done);
        h->second.m_nRead += n;
        return 0;
    }
    h->second.m_nRead += want;
    return 0;
}

int ScriptedUi::OnWrite(int fd, std::size_t& n) {
    std::lock_guard lock(m_faultMutex);
    auto h = m_handles.find(fd);
    if (h == m_handles.end())
        return 0;
    const std::uint64_t done = h->second.m_nWritten;
    if (auto r = m_writeRules.find(h->second.m_strPath);
        r != m_writeRules.end() && done + n > r->second.m_nLimit) {
        const int err = r->second.m_nErr;
        // A full disk takes what fits and then refuses (the file layer reports ENOSPC for the
        // cut); any other error fails the write as a whole, with that error.
        if ((err != 0 && err != ENOSPC) || done >= r->second.m_nLimit)
            return err != 0 ? err : ENOSPC;
        n = static_cast<std::size_t>(r->second.m_nLimit - done);
    }
    h->second.m_nWritten += n;
    return 0;
}

bool ScriptedUi::OnFreeSpace(const std::string&, std::uint64_t& bytes) {
    std::lock_guard lock(m_faultMutex);
    if (!m_freeSpace)
        return false;
    bytes = *m_freeSpace;
    return true;
}

bool ScriptedUi::OnAllocate(std::size_t bytes) {
    std::lock_guard lock(m_faultMutex);
    if (m_nFailAllocations == 0 || bytes < m_nFailAllocMin)
        return true;
    if (m_nAllocationsBeforeFailing > 0) {
        --m_nAllocationsBeforeFailing;
        return true;
    }
    --m_nFailAllocations;
    return false;
}

bool ScriptedUi::OnOpenConverter() {
    std::lock_guard lock(m_faultMutex);
    return m_bConverter;
}

bool ScriptedUi::OnStartThread() {
    std::lock_guard lock(m_faultMutex);
    if (m_nFailThreadStarts == 0)
        return true;
    --m_nFailThreadStarts;
    return false;
}

} // namespace support
