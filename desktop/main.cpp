// octetwatch: the desktop program. One window; it takes no arguments of its own.
#include "app/CMyMainApp.h"
#include "desktop/DiffMapWindow.h"
#include "desktop/QtUi.h"
#include "platform/StandardDescriptors.h"
#include "res/Dialogs.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>

namespace {

bool Set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

void Fail(const char* why) {
    std::fprintf(stderr,
                 "octetwatch: %s\n"
                 "The window needs a graphical session (X11 or Wayland). Start it from the desktop,\n"
                 "or use the command-line program octetwatch-cli in a terminal.\n",
                 why);
}

// Qt ends a program it cannot give a window to with an abort; say why and end cleanly instead.
void OnQtMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtFatalMsg) {
        Fail(qPrintable(text));
        std::_Exit(2);
    }
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "octetwatch: %s\n", qPrintable(text));
}

} // namespace

int main(int argc, char** argv) {
    // The settings, the trace, the log and the database must not take the number of a closed
    // standard descriptor, where Qt's messages would be written into them.
    if (!platform::OpenClosedStandardDescriptors())
        return 2;
    if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY") && !Set("QT_QPA_PLATFORM")) {
        Fail("no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).");
        return 2;
    }
    qInstallMessageHandler(OnQtMessage);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Octetwatch"));
    // The installed desktop entry's name, so that a desktop finds its icon for the window.
    QApplication::setDesktopFileName(QStringLiteral("org.octetwatch.Octetwatch"));

    // Qt's own dialogs (the file dialogs) in Japanese, where the translations are installed.
    QTranslator qtText;
    if (qtText.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtText);

    desktop::QtUi ui;
    desktop::DiffMapWindow::Install(ui);
    QApplication::setFont(desktop::QtUi::DialogFont(MainDialogTemplate()));
    ui::SetUi(&ui);
    if (!CheckTextConverter()) {
        std::fprintf(stderr, "octetwatch: the system cannot convert text to Shift_JIS (CP932): "
                             "not started, so that no file is damaged.\n");
        ui::SetUi(nullptr);
        return 2;
    }
    CMyMainApp().InitInstance();
    ui::SetUi(nullptr);
    return 0;
}
