#pragma once
// The test backend: records every box, posted message and control change in order, answers
// questions from a queue, and can make reads, writes, free-space queries and allocations fail.
// Constructing one makes it the program's UI and fault injector; destroying it undoes both.
#include "platform/Faults.h"
#include "ui/ModelUi.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

namespace support {

struct UiEvent {
    enum class Kind {
        Box,
        Overwrite,
        Posted,
        Progress,
        Enable,
        Show,
        Text,
        Check,
        Icon,
        WindowIcon,
        OpenDialog,
        SaveDialog,
        EndDialog,
        About,
    };
    explicit UiEvent(Kind kind) : m_kind(kind) {}
    Kind m_kind;
    std::string m_strText;    // box or overwrite text, control text, chosen file
    std::string m_strCaption; // box caption
    ui::BoxButtons m_buttons = ui::BoxButtons::Ok;
    ui::BoxIcon m_icon = ui::BoxIcon::None;
    int m_nDefaultButton = 1;
    int m_nAnswer = 0;        // what a box or dialog returned
    UINT m_message = 0;
    WPARAM m_wParam = 0;
    LPARAM m_lParam = 0;
    int m_nId = 0;            // control id
    int m_nValue = 0;         // position, enabled, shown, check state, icon id, dialog result
    bool m_bFromWorker = false;
};

class ScriptedUi : public ui::ModelUi, public platform::IFaultInjector {
public:
    ScriptedUi();
    ~ScriptedUi() override;

    // --- what happened ---
    std::vector<UiEvent> Events();
    std::vector<UiEvent> EventsOf(UiEvent::Kind kind);
    std::vector<std::string> BoxTexts();    // boxes and overwrite questions, in order
    std::vector<UINT> PostedMessages();     // message numbers, in posting order
    void ClearEvents();

    // --- answers ---
    // Answers for Yes/No boxes (IDYES, IDNO) and the overwrite question (IDOK, IDCANCEL), in
    // order. A question with no answer left is answered No / Cancel and counted.
    void QueueAnswer(int answer);
    // The overwrite question waits until the UI thread hands out the queue, as on screen.
    void AnswerOverwriteOnUiThread(bool onUi) { m_bOverwriteOnUi = onUi; }
    // True once the worker waits at such a question.
    bool OverwriteWaiting() const { return m_bOverwriteWaiting; }
    int UnansweredQuestions();

    // --- faults ---
    // Reads of `path` fail with `err` once `afterBytes` have been read through that handle.
    void FailReads(const std::string& path, std::uint64_t afterBytes, int err);
    // Reads of `path` deliver no byte past `totalBytes`, as if the file had shrunk to that size.
    void EndReadsAt(const std::string& path, std::uint64_t totalBytes);
    // Writes to `path` fail with `err` once `afterBytes` have been written through that handle.
    void FailWrites(const std::string& path, std::uint64_t afterBytes, int err);
    // Closing `path` reports `err`, as a network file system may when it could not keep a write.
    void FailCloses(const std::string& path, int err);
    // Free-space queries answer `bytes` (every folder); std::nullopt asks the system again.
    void SetFreeSpace(std::optional<std::uint64_t> bytes);
    // The next `count` allocations of at least `minBytes` that the program checks fail, after
    // `after` such allocations were let through.
    void FailAllocations(int count, std::size_t minBytes = 0, int after = 0);
    // The next `count` threads the backend is asked to start cannot be started.
    void FailThreadStarts(int count);
    // Whether the CP932 converter can be opened.
    void SetConverterAvailable(bool available);
    // Handles of `path` opened through the file layer and not yet closed.
    int OpenHandles(const std::string& path);

    // --- ui::IUi ---
    int MessageBox(const ui::BoxSpec& box) override;
    int OverwriteQuestion(const ui::DialogTemplate& dlg, const std::string& message) override;
    void PostMessage(ui::HWND target, UINT message, WPARAM wParam, LPARAM lParam) override;
    void SetControlText(int id, const std::string& text) override;
    void SetCheck(int id, int state) override;
    void SetControlIcon(int id, int iconId) override;
    void SetWindowIcon(int iconId) override;
    void EndDialog(int result) override;
    void ShowAboutBox(const ui::DialogTemplate& dlg) override;
    bool OpenFileDialog(const std::string& initialFold, std::string* path) override;
    bool SaveFileDialog(const std::string& initialFold, std::string* path) override;

    // --- IFaultInjector ---
    void OnOpen(int fd, const std::string& path) override;
    int OnClose(int fd) override;
    int OnRead(int fd, std::int64_t i64At, std::size_t& n) override;
    int OnWrite(int fd, std::size_t& n) override;
    bool OnFreeSpace(const std::string& fold, std::uint64_t& bytes) override;
    bool OnAllocate(std::size_t bytes) override;
    bool OnOpenConverter() override;
    bool OnStartThread() override;

protected:
    void OnEffectIssued(const ui::ControlEffect& effect) override;

private:
    void Record(UiEvent event);
    int NextAnswer(int fallback);

    struct Rule {
        std::uint64_t m_nLimit;
        int m_nErr; // 0: end the data there instead of failing
    };
    struct Handle {
        std::string m_strPath;
        std::uint64_t m_nRead = 0;
        std::uint64_t m_nWritten = 0;
    };

    std::mutex m_eventMutex;
    std::vector<UiEvent> m_events;
    std::deque<int> m_answers;
    int m_nUnanswered = 0;
    std::atomic<bool> m_bOverwriteOnUi{false};
    std::atomic<bool> m_bOverwriteWaiting{false};

    std::mutex m_faultMutex;
    std::map<std::string, Rule> m_readRules;
    std::map<std::string, Rule> m_writeRules;
    std::map<std::string, int> m_closeRules;
    std::map<int, Handle> m_handles;
    std::optional<std::uint64_t> m_freeSpace;
    int m_nFailAllocations = 0;
    int m_nAllocationsBeforeFailing = 0;
    std::size_t m_nFailAllocMin = 0;
    int m_nFailThreadStarts = 0;
    bool m_bConverter = true;
};

} // namespace support
