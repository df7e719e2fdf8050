#pragma once
// Drives the engine the way the main window does: a scripted UI with the main dialog's controls, a
// window that records what reaches it, the configuration in the main window's order, the worker.
#include "support/ProgramFolder.h"
#include "support/TestSupport.h"
#include "support/Watchdog.h"

#include "diffdb/CMyDiffDataBase.h"
#include "engine/CMyMakeFile.h"
#include "ui/Control.h"
#include "platform/Encoding.h"
#include "support/ScriptedUi.h"
#include "res/Dialogs.h"
#include "res/Resource.h"
#include "util/Messages.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

// A failed check names the ending rather than its bytes.
inline void PrintTo(RunOutcome outcome, std::ostream* os) {
    static const char* const kNames[] = {
        "none",         "completed", "log unfinished",   "stopped",
        "declined",     "open failed", "log busy",       "read failed",
        "disk reserve", "abandoned", "log write failed", "file changed"};
    static_assert(std::size(kNames) == static_cast<std::size_t>(RunOutcome::kFileChanged) + 1);
    *os << kNames[static_cast<int>(outcome)];
}

namespace enginetest {

using support::UiEvent;
using testsupport::ReadFile;
using testsupport::WriteFile;

// The scripted backend, with hooks a test can hang on the worker's side of things.
class TestUi : public support::ScriptedUi {
public:
    // Called on the worker for every progress position it sets.
    std::function<void(int pos)> m_onProgress;
    // Answers for the free-space queries, in order; when they run out, the system is asked.
    std::vector<std::uint64_t> m_freeAnswers;
    // The file system cannot tell where the holes are: every block is read whole.
    bool m_bPlainReads = false;
    // The machine's memory, as the run is told it.
    std::optional<std::uint64_t> m_memorySize;
    // Called before each read of a file, with the path and where it reads from.
    std::function<void(const std::string& path, std::int64_t pos)> m_onRead;
    // Called after each file is opened, with its path.
    std::function<void(const std::string& path)> m_onOpen;

    bool OnDataMap(int) override { return !m_bPlainReads; }
    bool OnMemorySize(std::uint64_t& bytes) override {
        if (m_memorySize)
            bytes = *m_memorySize;
        return m_memorySize.has_value();
    }

    void SetProgressPos(int id, int pos) override {
        ScriptedUi::SetProgressPos(id, pos);
        if (m_onProgress)
            m_onProgress(pos);
    }
    bool OnFreeSpace(const std::string& fold, std::uint64_t& bytes) override {
        {
            std::lock_guard lock(m_mutex);
            if (m_nFreeQueries < m_freeAnswers.size()) {
                bytes = m_freeAnswers[m_nFreeQueries++];
                return true;
            }
            ++m_nFreeQueries;
        }
        return ScriptedUi::OnFreeSpace(fold, bytes);
    }
    void OnOpen(int fd, const std::string& path) override {
        {
            std::lock_guard lock(m_mutex);
            m_paths[fd] = path;
        }
        ScriptedUi::OnOpen(fd, path);
        if (m_onOpen)
            m_onOpen(path);
    }
    int OnRead(int fd, std::int64_t i64At, std::size_t& n) override {
        if (m_onRead) {
            std::string path;
            {
                std::lock_guard lock(m_mutex);
                path = m_paths[fd];
            }
            m_onRead(path, i64At);
        }
        int err = ScriptedUi::OnRead(fd, i64At, n);
        std::lock_guard lock(m_mutex);
        m_reads.emplace_back(m_paths[fd], n);
        return err;
    }
    int OnWrite(int fd, std::size_t& n) override {
        const std::size_t asked = n;
        int err = ScriptedUi::OnWrite(fd, n);
        std::lock_guard lock(m_mutex);
        m_writes.emplace_back(m_paths[fd], asked);
        return err;
    }
    // Sizes asked of the reads and writes of one path, in order.
    std::vector<std::size_t> Reads(const std::string& path) { return Of(m_reads, path); }
    std::vector<std::size_t> Writes(const std::string& path) { return Of(m_writes, path); }
    std::size_t FreeQueries() {
        std::lock_guard lock(m_mutex);
        return m_nFreeQueries;
    }
    std::vector<int> ProgressPositions() {
        std::vector<int> out;
        for (const UiEvent& e : EventsOf(UiEvent::Kind::Progress))
            out.push_back(e.m_nValue);
        return out;
    }

private:
    std::vector<std::size_t> Of(const std::vector<std::pair<std::string, std::size_t>>& v,
                                const std::string& path) {
        std::lock_guard lock(m_mutex);
        std::vector<std::size_t> out;
        for (const auto& [p, n] : v)
            if (p == path)
                out.push_back(n);
        return out;
    }
    std::mutex m_mutex;
    std::map<int, std::string> m_paths;
    std::vector<std::pair<std::string, std::size_t>> m_reads;
    std::vector<std::pair<std::string, std::size_t>> m_writes;
    std::size_t m_nFreeQueries = 0;
};

// The main window as far as the engine is concerned: it records the posted messages it handles.
class RecordingWindow : public ui::CWndTarget {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        m_messages.emplace_back(message, wParam, lParam);
        return 0;
    }
    void OnCommand(int) override {}
    void OnDropFiles(int, const std::vector<std::string>&) override {}
    std::vector<std::tuple<UINT, WPARAM, LPARAM>> m_messages;
};

struct RunOptions {
    bool m_bUseDB = false;
    bool m_bDisplay = false;
    bool m_bResetStore = true;
    std::string m_strDB; // empty: DiffData.db in the program's folder
    std::function<void()> m_beforeStart; // after the configuration, before the worker starts
};

class EngineRun {
public:
    EngineRun() {
        ui.CreateDialogWindow(MainDialogTemplate(), &window);
        engine = std::make_unique<CMyMakeFile>();
        engine->m_hWndMain = &window; // start-up
        engine->SetPorgCtrl(&progress);
    }
    ~EngineRun() {
        testsupport::Watchdog watchdog(300, "the end of an engine test's worker");
        ui.WaitWorker();
    }

    std::string File(const std::string& name) const { return dir / name; }
    std::string Log() const { return dir / "Result.txt"; }
    std::string DB() const { return prog / "DiffData.db"; }

    // One run of a against b into the log, configured in the main window's order; returns the
    // worker's exit code after everything it posted has been handled.
    int Run(const std::string& a, const std::string& b, const std::string& log,
            const RunOptions& opt = {}) {
        namespace fs = std::filesystem;
        FILEDATA data;
        data.strFileA = a;
        data.strFileB = b;
        data.strLogFile = log;
        data.i64SizeA = static_cast<std::int64_t>(fs::file_size(a));
        data.i64SizeB = static_cast<std::int64_t>(fs::file_size(b));
        SetSizeRelation(&data);

        btnExe.EnableWindow(FALSE);
        RunSetup setup(&data, &progress, &btnExe, &btnStop);
        setup.m_bDisplayDiff = opt.m_bDisplay ? TRUE : FALSE;
        if (opt.m_bUseDB) {
            if (opt.m_bResetStore)
                store.ResetDiffData();
            setup.m_pDiffDataBase = &store;
            setup.m_strDBFileName = opt.m_strDB.empty() ? DB() : opt.m_strDB;
        }
        engine->Configure(setup);
        ui.ClearEvents();
        window.m_messages.clear();
        if (opt.m_beforeStart)
            opt.m_beforeStart();
        CMyMakeFile* p = engine.get();
        if (!ui.StartWorker([p] { return CompareThreadProc(p); })) {
            ADD_FAILURE() << "the worker could not be started";
            return -1;
        }
        // A worker stuck in a wait ends the test with a report instead of hanging it.
        testsupport::Watchdog watchdog(300, "a run of the engine");
        ui.WaitWorker();
        ui.Pump();
        return ui.WorkerExitCode();
    }

    // Message numbers the window received, in order.
    std::vector<UINT> Received() const {
        std::vector<UINT> out;
        for (const auto& m : window.m_messages)
            out.push_back(std::get<0>(m));
        return out;
    }

    testsupport::ProgramFolder prog;
    testsupport::TempDir dir;
    TestUi ui;
    RecordingWindow window;
    const ui::CControl progress{IDC_PROGRESS};
    const ui::CControl btnExe{IDC_BTN_EXECUTE};
    const ui::CControl btnStop{IDC_BTN_STOP};
    CMyDiffDataBase store;
    std::unique_ptr<CMyMakeFile> engine;
};

using testsupport::OnDisk;

inline std::string ExpectedHeader(const std::string& a, std::int64_t sizeA, const std::string& b,
                                  std::int64_t sizeB, const std::string& log) {
    const std::string stars(50, '*'), dashes(50, '-');
    char sa[32], sb[32];
    std::snprintf(sa, sizeof sa, "%15lld", static_cast<long long>(sizeA));
    std::snprintf(sb, sizeof sb, "%15lld", static_cast<long long>(sizeB));
    return OnDisk(stars + "\n          Octetwatch 結果出力ファイル\n" + stars + "\n\nFile A   : " +
                  a + " \t/ Size " + sa + " Byte\nFile B   : " + b + " \t/ Size " + sb +
                  " Byte\nLog File : " + log + "\n\n" + dashes +
                  "\n   Address     Data A  Data B\n" + dashes + "\n");
}

inline std::string Line(std::int64_t adrs, int a, int b) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%010llX h :   %02X      %02X\r\n",
                  static_cast<unsigned long long>(adrs), a, b);
    return buf;
}

// Whether `rest` is exactly the closing lines.
inline bool IsFooter(const std::string& rest) {
    const std::string head = std::string(50, '-') + "\r\n\r\nGenerated by Octetwatch At ";
    if (rest.size() != head.size() + 19 + 2 || rest.compare(0, head.size(), head) != 0)
        return false;
    const std::string stamp = rest.substr(head.size(), 19); // 2026/12/07 04:41:12
    const std::string shape = "dddd/dd/dd dd:dd:dd";
    for (std::size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(stamp[i]))
                            : stamp[i] != shape[i])
            return false;
    return rest.compare(rest.size() - 2, 2, "\r\n") == 0;
}

// Two files of `size` zero bytes (sparse) that differ at the given addresses (A 0x00, B 0x5A).
inline void MakePair(const std::string& a, const std::string& b, std::int64_t size,
                     const std::vector<std::int64_t>& diffs) {
    testsupport::MakeSparse(a, size);
    testsupport::MakeSparse(b, size);
    for (std::int64_t d : diffs)
        testsupport::PokeByte(b, d, 0x5A);
}

} // namespace enginetest
