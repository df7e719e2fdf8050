// What live display costs in the desktop window: the same run of the program's window, clicked
// through as a user would, with the check box "異なるデータがあったら表示する" off and on,
// alternately, in one process. Prints the median of each and their ratio.
//
//   octw_bench_window make DIR            DIR/a: 64 MiB of noise, DIR/b: every 64th byte inverted
//   octw_bench_window run DIR [RUNS]      RUNS pairs of runs on DIR/a and DIR/b, database on
#include "app/CMyMainApp.h"
#include "platform/FileStatus.h"
#include "desktop/QtUi.h"
#include "res/Resource.h"
#include "util/Trace.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

int Make(const std::string& dir) {
    constexpr std::size_t kSize = 64u << 20;
    std::vector<char> a(kSize);
    std::mt19937_64 rng(64);
    for (std::size_t i = 0; i < kSize; i += 8) {
        const std::uint64_t v = rng();
        std::copy_n(reinterpret_cast<const char*>(&v), 8, a.data() + i);
    }
    std::vector<char> b = a;
    for (std::size_t i = 63; i < kSize; i += 64)
        b[i] = static_cast<char>(~b[i]);
    std::ofstream(dir + "/a", std::ios::binary).write(a.data(), static_cast<std::streamsize>(kSize));
    std::ofstream(dir + "/b", std::ios::binary).write(b.data(), static_cast<std::streamsize>(kSize));
    return 0;
}

struct Result {
    double m_seconds = -1;
    std::string m_line;
    long long m_delivered = 0;
    long long m_merged = 0;
};

// One run in the program's window; -1 seconds when it did not end.
Result RunOnce(desktop::QtUi& ui, const std::string& dir, bool display) {
    Result result;
    std::remove((dir + "/Result.txt").c_str()); // no overwrite question
    const long long delivered = ui.LiveDelivered(), merged = ui.LiveMerged();

    // Every box is answered at once with its default button, as a user who reads nothing.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            if (box->isVisible() && box->defaultButton())
                box->defaultButton()->click();
    });
    answer.start(1);

    QTimer::singleShot(0, [&] {
        auto edit = [&](int id) { return static_cast<QLineEdit*>(ui.Control(id)); };
        edit(IDC_EDIT_FILE_A)->setText(QString::fromStdString(dir + "/a"));
        edit(IDC_EDIT_FILE_B)->setText(QString::fromStdString(dir + "/b"));
        edit(IDC_EDIT_LOG_FILE)->setText(QString::fromStdString(dir + "/Result.txt"));
        auto click = [&](int id) { static_cast<QAbstractButton*>(ui.Control(id))->click(); };
        if (ui.GetCheck(IDC_CHK_DISP_DIFF) != (display ? 1 : 0))
            click(IDC_CHK_DISP_DIFF);
        if (ui.GetCheck(IDC_CHK_MAKE_DB) != 1)
            click(IDC_CHK_MAKE_DB);
        QElapsedTimer clock;
        clock.start();
        click(IDC_BTN_EXECUTE);
        while (ui.IsWorkerRunning() || !ui.IsControlEnabled(IDC_BTN_EXECUTE)) {
            if (clock.elapsed() > 600000)
                break;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                            50);
        }
        if (!ui.IsWorkerRunning())
            result.m_seconds = clock.nsecsElapsed() / 1e9;
        result.m_line = ui.GetControlText(IDC_EDIT_OUTPUT);
        click(IDOK);
    });
    CMyMainApp().InitInstance();
    result.m_delivered = ui.LiveDelivered() - delivered;
    result.m_merged = ui.LiveMerged() - merged;
    return result;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int Run(int argc, char** argv, const std::string& dir, int runs) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The program's own files (trace, settings, database) go to DIR, not beside this binary.
    platform::OverrideExecutablePath(dir + "/octetwatch");
    desktop::QtUi ui;
    ui::SetUi(&ui);
    std::vector<double> off, on;
    Result last;
    for (int i = 0; i < runs; ++i) {
        for (bool display : {false, true}) {
            Result r = RunOnce(ui, dir, display);
            if (r.m_seconds < 0) {
                std::fprintf(stderr, "a run did not end\n");
                return 1;
            }
            (display ? on : off).push_back(r.m_seconds);
            std::fprintf(stderr, "display=%s %.3f s  delivered=%lld merged=%lld  %s\n",
                         display ? "on " : "off", r.m_seconds, r.m_delivered, r.m_merged,
                         r.m_line.c_str());
            if (display)
                last = r;
        }
    }
    ui::SetUi(nullptr);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const double mOff = Median(off), mOn = Median(on);
    std::printf("diff-every-64-window display_off_s=%.3f display_on_s=%.3f ratio=%.2f "
                "delivered=%lld merged=%lld peak_rss_mib=%.1f\n",
                mOff, mOn, mOn / mOff, last.m_delivered, last.m_merged,
                usage.ru_maxrss / 1024.0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string verb = argc > 2 ? argv[1] : "";
    if (verb == "make")
        return Make(argv[2]);
    if (verb == "run")
        return Run(argc, argv, argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 3);
    std::fprintf(stderr, "usage: octw_bench_window make DIR | run DIR [RUNS]\n");
    return 2;
}
