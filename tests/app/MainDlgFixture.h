#pragma once
// The main dialog on the scripted backend, in a program folder of its own.
#include "support/ProgramFolder.h"
#include "support/TestSupport.h"
#include "support/Watchdog.h"

#include "app/CMyMainDlg.h"
#include "platform/Encoding.h"
#include "support/ScriptedUi.h"
#include "res/Dialogs.h"
#include "util/Messages.h"

#include <algorithm>
#include <memory>

namespace testsupport {

// The trace's first bytes after a start in which nothing failed.
inline std::string TraceMarker() {
    return std::string("\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF\r\n", 18);
}

// A CP932 text file as the UTF-8 text the program wrote into it ("\n" for CR LF).
inline std::string ReadCp932(const std::string& path) {
    std::string out;
    for (char c : platform::Cp932ToUtf8(ReadFile(path)))
        if (c != '\r')
            out.push_back(c);
    return out;
}

class MainDlgTest : public ::testing::Test {
protected:
    // The window as it stands after its initialisation.
    CMyMainDlg& Open(BOOL bUseSettings = TRUE) {
        m_dlg = std::make_unique<CMyMainDlg>();
        m_dlg->m_bUseSettingsFile = bUseSettings;
        m_ui.CreateDialogWindow(MainDialogTemplate(), m_dlg.get());
        m_dlg->OnInitDialog();
        return *m_dlg;
    }
    // The window's shutdown, as DoModal ends it.
    void Close() {
        m_dlg->OnDestroy();
        m_ui.DestroyDialogWindow();
    }

    // Chooses a file with a select button, as the user would in the file dialog.
    void Choose(int nButton, const std::string& path) { Select(nButton, path); }
    // The same, with what the button's command did.
    CommandResult Select(int nButton, const std::optional<std::string>& path) {
        m_ui.QueueFileDialogAnswer(path);
        EXPECT_TRUE(m_ui.CanClick(nButton));
        return nButton == IDC_BTN_FILE_A   ? m_dlg->OnBtnFileA()
               : nButton == IDC_BTN_FILE_B ? m_dlg->OnBtnFileB()
                                           : m_dlg->OnBtnLogFile();
    }

    // Waits for the window's worker as its stop button does, serving what it posts; a worker
    // that never ends fails the test instead of hanging it.
    void WaitForWorker() {
        Watchdog dog(300, "a wait for the window's worker");
        m_dlg->ControlThread(FALSE);
    }

    std::string Text(int id) { return m_ui.GetControlText(id); }
    std::string Trace() { return ReadCp932(m_prog / "DataTrace.txt"); }
    // The trace after the start-up's marker line.
    std::string TraceAfterMarker() {
        const std::string t = m_prog.Trace();
        const std::string m = TraceMarker();
        const auto pos = t.find(m);
        std::string out;
        for (char c : platform::Cp932ToUtf8(pos == std::string::npos ? t : t.substr(pos + m.size())))
            if (c != '\r')
                out.push_back(c);
        return out;
    }
    std::vector<std::string> Boxes() { return m_ui.BoxTexts(); }
    // The icon last set on a control, 0 when none was.
    int LastIcon(int id) {
        int icon = 0;
        for (const support::UiEvent& e : m_ui.EventsOf(support::UiEvent::Kind::Icon))
            if (e.m_nId == id)
                icon = e.m_nValue;
        return icon;
    }

    ProgramFolder m_prog;
    TempDir m_dir;
    support::ScriptedUi m_ui;
    std::unique_ptr<CMyMainDlg> m_dlg; // dies before the backend it talks to
};

} // namespace testsupport
