#pragma once
// The one interface through which the program's logic touches windows. Three backends implement
// it: the desktop window (desktop/QtUi), the terminal (cli/ConsoleUi) and tests (ScriptedUi).
//
// Threads: boxes and posted messages may come from the worker; posted messages and the worker's
// control effects are carried to the UI thread and handled there in the order they were issued.
// No call made on the worker waits for the UI thread to be idle, WaitWorker keeps serving the
// worker while it waits, and a backend that goes away answers the box its worker waits on with the
// box's fallback answer: the two threads never wait on each other.
#include "ui/DialogTemplate.h"
#include "platform/WinTypes.h"

#include <functional>
#include <string>
#include <vector>

namespace ui {

// A window as the logic sees it: what posted messages, commands and drops are delivered to.
class CWndTarget {
public:
    virtual ~CWndTarget() = default;
    // A posted message, on the UI thread.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // A button clicked; IDOK for the default button or Enter, IDCANCEL for Esc or the close box.
    virtual void OnCommand(int id) = 0;
    // Files dropped on control `id` (only controls that accept drops get them).
    virtual void OnDropFiles(int id, const std::vector<std::string>& files) = 0;
    // The "about" command of the window's menu.
    virtual void OnAbout() {}
    // The user changed the text of edit control `id` (typing, pasting, cutting).
    virtual void OnEditChange(int /*id*/) {}
};

using HWND = CWndTarget*;

enum class BoxButtons { Ok, YesNo };
enum class BoxIcon { None, Information, Question, Exclamation };

struct BoxSpec {
    BoxSpec() = default;
    explicit BoxSpec(std::string text, BoxIcon icon = BoxIcon::None)
        : m_strText(std::move(text)), m_icon(icon) {}
    std::string m_strText;
    std::string m_strCaption; // empty: the program's name
    BoxButtons m_buttons = BoxButtons::Ok;
    BoxIcon m_icon = BoxIcon::None;
    int m_nDefaultButton = 1; // 1 or 2
};

// The answer a box gets when no one can give one: No for a question, OK otherwise. The overwrite
// question's is IDCANCEL.
inline int FallbackAnswer(const BoxSpec& box) {
    return box.m_buttons == BoxButtons::YesNo ? IDNO : IDOK;
}

class IUi {
public:
    virtual ~IUi() = default;

    // --- boxes (any thread; the caller waits for the answer) ---
    // Returns IDOK, IDYES or IDNO.
    virtual int MessageBox(const BoxSpec& box) = 0;
    // The overwrite question (a dialog of its own); returns IDOK or IDCANCEL.
    virtual int OverwriteQuestion(const DialogTemplate& dlg, const std::string& message) = 0;

    // --- posted messages and the worker's effects (any thread) ---
    virtual void PostMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual void SetProgressPos(int id, int pos) = 0;
    virtual void EnableControl(int id, bool enable) = 0;
    virtual void ShowControl(int id, bool show) = 0;

    // --- the dialog window and its controls (UI thread) ---
    // Creates the window and its controls from the template; posted messages and commands go to
    // `target`, which is also the application's main window.
    virtual void CreateDialogWindow(const DialogTemplate& dlg, HWND target) = 0;
    // Runs the window until EndDialog; returns its result.
    virtual int RunModal() = 0;
    virtual void EndDialog(int result) = 0;
    virtual void DestroyDialogWindow() = 0;
    virtual HWND MainWindow() = 0;
    virtual void SetWindowIcon(int iconId) = 0;
    virtual void ShowAboutBox(const DialogTemplate& dlg) = 0;

    virtual bool HasControl(int id) = 0;
    virtual std::string GetControlText(int id) = 0;
    virtual void SetControlText(int id, const std::string& text) = 0;
    virtual bool IsControlEnabled(int id) = 0;
    virtual bool IsControlVisible(int id) = 0;
    virtual int GetCheck(int id) = 0; // 0 unchecked, 1 checked
    virtual void SetCheck(int id, int state) = 0;
    virtual void SetControlIcon(int id, int iconId) = 0;
    virtual int GetProgressPos(int id) = 0;
    virtual void AcceptDrops(int id, bool accept) = 0;

    // File dialogs: true and the chosen full path, or false when cancelled. The open dialog does
    // not insist that the file exists; the save dialog asks before an existing file is chosen.
    virtual bool OpenFileDialog(const std::string& initialFold, std::string* path) = 0;
    virtual bool SaveFileDialog(const std::string& initialFold, std::string* path) = 0;

    // --- the worker thread (one at a time) ---
    // False when the system could not start a thread; nothing runs then.
    virtual bool StartWorker(std::function<int()> proc) = 0;
    // Returns when the worker has ended; does nothing when none was started. The UI thread goes
    // on serving the worker's boxes and effects meanwhile.
    virtual void WaitWorker() = 0;
    virtual bool IsWorkerRunning() = 0;
};

// A box with an OK button, shown by the backend in use.
int ShowBox(const std::string& text, BoxIcon icon = BoxIcon::None);
// A Yes/No question; returns IDYES or IDNO.
int AskYesNo(const std::string& text, BoxIcon icon, int defaultButton = 1,
             const std::string& caption = {});

// The backend in use. Until one is set, boxes go to standard error and questions are answered No.
IUi& Ui();
void SetUi(IUi* ui);

} // namespace ui
