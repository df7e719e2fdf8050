#pragma once
#include "support/Watchdog.h"
// Real windows on Qt's offscreen platform: the application, waits that fail the test when they
// time out, answering the box or dialog that opens next, and a watchdog against hangs.
#include "desktop/QtUi.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace qttest {

inline QApplication& App() {
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "octw_qt_tests";
        static char* argv[] = {name, nullptr};
        auto* a = new QApplication(argc, argv);
        QApplication::setFont(desktop::QtUi::DialogFont({0, "", 0, 0, "ＭＳ Ｐゴシック", 9, {}}));
        return a;
    }();
    return *app;
}

// Lets the event loop run until `done`; false when `timeoutMs` passed first.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 30000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

inline int VisibleTopLevels() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            ++n;
    return n;
}

// A box's text as the user reads it: without the zero-width breaks after each "/".
inline std::string ShownText(const QString& text) {
    QString plain = text;
    plain.remove(QChar(0x200B));
    return plain.toStdString();
}

inline QAbstractButton* ButtonWithText(QWidget* parent, const QString& text) {
    for (QAbstractButton* b : parent->findChildren<QAbstractButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

// Hands the widget `next` finds to `act` once it is open and takes a user's keys; the returned
// flag turns true when it has. If none comes within `timeoutMs`, the test fails.
inline std::shared_ptr<std::atomic<bool>> OnNext(QWidget* (*next)(),
                                                 std::function<void(QWidget*)> act,
                                                 int timeoutMs) {
    auto handled = std::make_shared<std::atomic<bool>>(false);
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget* w = next();
        // Acted on once it is the active window, as a user's keys would reach it.
        if (w && w->isVisible() && w->isActiveWindow()) {
            timer->stop();
            timer->deleteLater();
            act(w);
            *handled = true;
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "nothing came up within " << timeoutMs << " ms";
            if (w)
                w->close(); // so the test goes on to fail instead of hanging
        } else if (w && w->isVisible()) {
            w->activateWindow();
        }
    });
    timer->start(20);
    return handled;
}

// The next modal box or dialog.
inline std::shared_ptr<std::atomic<bool>> OnNextModal(std::function<void(QWidget*)> act,
                                                      int timeoutMs = 30000) {
    return OnNext(&QApplication::activeModalWidget, std::move(act), timeoutMs);
}

// The next pop-up menu.
inline std::shared_ptr<std::atomic<bool>> OnNextPopup(std::function<void(QWidget*)> act,
                                                      int timeoutMs = 30000) {
    return OnNext(&QApplication::activePopupWidget, std::move(act), timeoutMs);
}

using testsupport::Watchdog;

// Every test starts and ends without a window on screen.
class QtTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ASSERT_EQ(VisibleTopLevels(), 0);
    }
    void TearDown() override {
        QCoreApplication::processEvents();
        EXPECT_EQ(VisibleTopLevels(), 0) << "a window was left open";
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                w->hide();
    }
};

} // namespace qttest
