// The desktop backend on its own, with a window of the test's own: the FIFO on the Qt event
// loop, boxes asked for by the worker, the dialogs built from their templates, file dialogs.
#include "QtTestSupport.h"

#include "platform/WinTypes.h"
#include "res/Dialogs.h"
#include "res/Resource.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ThreadExit.h"
#include "util/Messages.h"

#include "desktop/TemplateDialog.h"

#include <QCheckBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include <algorithm>
#include <vector>

using namespace platform;
using namespace ui;
using namespace desktop;
using qttest::OnNextModal;
using qttest::WaitFor;

namespace {

struct Delivered {
    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
};

class RecordingWindow : public CWndTarget {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        m_got.push_back({message, wParam, lParam});
        return 0;
    }
    void OnCommand(int id) override { m_commands.push_back(id); }
    void OnDropFiles(int id, const std::vector<std::string>& files) override {
        m_dropId = id;
        m_dropped = files;
    }
    std::vector<Delivered> m_got;
    std::vector<int> m_commands;
    int m_dropId = 0;
    std::vector<std::string> m_dropped;
};

class QtUiTest : public qttest::QtTest {
protected:
    void TearDown() override {
        m_ui.DestroyDialogWindow();
        qttest::QtTest::TearDown();
    }
    QtUi m_ui;
    RecordingWindow m_window;
};

// --- posted messages ---

TEST_F(QtUiTest, FloodOfLiveDisplayKeepsOrderSkipsOnlyWholeOldTriplesAndLetsTheLoopRun) {
    m_ui.CreateDialogWindow(MainDialogTemplate(), &m_window);
    constexpr WPARAM kTriples = 300000;
    constexpr WPARAM kEvery = 25000; // a control message (1134..1138) after every kEvery triples
    std::atomic<int> ticks{0};
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(1);
    std::atomic<int> ticksSeen{0};
    std::atomic<bool> starved{false};
    std::atomic<long long> posted{0};
    m_ui.StartWorker([&] {
        for (WPARAM i = 1; i <= kTriples; ++i) {
            m_ui.PostMessage(&m_window, WM_DIFF_ADRS, i, 7);
            m_ui.PostMessage(&m_window, WM_DIFF_DATA, i & 0xFF, (i * 7) & 0xFF);
            m_ui.PostMessage(&m_window, WM_DIFF_COUNT, i, 0);
            posted += 3;
            if (i % kEvery == 0) {
                m_ui.PostMessage(&m_window, WM_ENABLE_CTRLS + (i / kEvery) % 5, i, 0);
                m_ui.SetProgressPos(IDC_PROGRESS, static_cast<int>(i * 100 / kTriples));
            }
            if (i == kTriples / 2) {
                // Keep flooding until the UI thread's timer has fired a few times: a loop that
                // only drained the FIFO while it was being filled would never get there.
                QElapsedTimer clock;
                clock.start();
                const int start = ticks.load();
                for (WPARAM j = 0; ticks < start + 3; ++j) {
                    if (clock.elapsed() > 20000) {
                        starved = true;
                        break;
                    }
                    m_ui.PostMessage(&m_window, WM_DIFF_ADRS, i, 7);
                    m_ui.PostMessage(&m_window, WM_DIFF_DATA, i & 0xFF, (i * 7) & 0xFF);
                    m_ui.PostMessage(&m_window, WM_DIFF_COUNT, i, 0);
                    posted += 3;
                }
                ticksSeen = ticks.load();
            }
        }
        return 0;
    });
    {
        qttest::Watchdog dog(120, "the flood of posted messages");
        m_ui.WaitWorker();
    }
    EXPECT_FALSE(starved) << "the event loop did not run while the worker posted";

    // Every 1126 closes a triple whose three parts belong together; counts never go back; the
    // control messages arrive all, in order, each after every difference posted before it and
    // before every difference posted after it.
    const std::vector<Delivered>& got = m_window.m_got;
    WPARAM lastCount = 0;
    WPARAM nextControl = kEvery;
    std::size_t triples = 0;
    for (std::size_t k = 0; k < got.size(); ++k) {
        const Delivered& d = got[k];
        if (d.m_message == WM_DIFF_COUNT) {
            ASSERT_GE(k, 2u);
            const Delivered& a = got[k - 2];
            const Delivered& b = got[k - 1];
            ASSERT_EQ(a.m_message, WM_DIFF_ADRS);
            ASSERT_EQ(b.m_message, WM_DIFF_DATA);
            ASSERT_EQ(a.m_wParam, d.m_wParam);
            ASSERT_EQ(a.m_lParam, 7);
            ASSERT_EQ(b.m_wParam, d.m_wParam & 0xFF);
            ASSERT_EQ(static_cast<WPARAM>(b.m_lParam), (d.m_wParam * 7) & 0xFF);
            ASSERT_GE(d.m_wParam, lastCount);
            ASSERT_LE(d.m_wParam, nextControl) << "a difference overtook a control message";
            lastCount = d.m_wParam;
            ++triples;
        } else if (d.m_message >= WM_ENABLE_CTRLS) {
            ASSERT_EQ(d.m_wParam, nextControl) << "a control message was lost or reordered";
            ASSERT_EQ(d.m_message, WM_ENABLE_CTRLS + (nextControl / kEvery) % 5);
            ASSERT_EQ(lastCount, nextControl) << "the triple posted just before it is missing";
            nextControl += kEvery;
        }
    }
    EXPECT_EQ(nextControl, kTriples + kEvery);
    EXPECT_EQ(lastCount, kTriples) << "the latest difference was not delivered";
    EXPECT_GT(triples, 0u);
    // What was not delivered was merged away, nothing else; the queue never held more than a
    // few of them at a time, however many were posted.
    EXPECT_EQ(m_ui.LiveDelivered() + m_ui.LiveMerged(), posted.load());
    EXPECT_EQ(m_ui.GetProgressPos(IDC_PROGRESS), 100);
    EXPECT_GT(ticksSeen.load(), 0);
}

TEST_F(QtUiTest, PostedMessagesOfAWindowThatIsGoneAreNotDelivered) {
    m_ui.CreateDialogWindow(MainDialogTemplate(), &m_window);
    m_ui.PostMessage(&m_window, WM_THREAD_END, 0, 0);
    m_ui.PostMessage(&m_window, WM_DIFF_ADRS, 1, 0);
    m_ui.DestroyDialogWindow();
    RecordingWindow second;
    m_ui.CreateDialogWindow(MainDialogTemplate(), &second);
    m_ui.PostMessage(&second, WM_ENABLE_CTRLS, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !second.m_got.empty(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_window.m_got.empty());
    ASSERT_EQ(second.m_got.size(), 1u);
    EXPECT_EQ(second.m_got[0].m_message, WM_ENABLE_CTRLS);
}

// The dialog's handler of the run's end waits for the worker. The worker posts that message as
// its last but one act and its end as its last, so both may be queued before the UI thread wakes
// once for them: the wait inside the handler must hand out the end itself.
TEST_F(QtUiTest, WaitForTheWorkerInsideTheHandlerOfItsLastMessageReturns) {
    struct WaitingWindow : RecordingWindow {
        explicit WaitingWindow(QtUi& ui) : m_ui(ui) {}
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
            m_ui.WaitWorker();
            m_bRunningAfterWait = m_ui.IsWorkerRunning();
            return RecordingWindow::WindowProc(message, wParam, lParam);
        }
        QtUi& m_ui;
        bool m_bRunningAfterWait = true;
    } window(m_ui);
    m_ui.CreateDialogWindow(MainDialogTemplate(), &window);
    testsupport::ThreadExit exit;
    m_ui.StartWorker([&] {
        exit.Watch();
        m_ui.PostMessage(&window, WM_THREAD_END, 0, 0);
        return 5;
    });
    qttest::Watchdog dog(60, "a wait for the worker inside a handler");
    exit.Wait();
    m_ui.WaitWorker();
    ASSERT_EQ(window.m_got.size(), 1u);
    EXPECT_EQ(window.m_got[0].m_message, WM_THREAD_END);
    EXPECT_FALSE(window.m_bRunningAfterWait);
    EXPECT_EQ(m_ui.WorkerExitCode(), 5);
}

// --- boxes from the worker ---

TEST_F(QtUiTest, WorkerBoxIsShownByTheUiThreadWhileItWaitsAndEnterChoosesTheDefaultNo) {
    m_ui.CreateDialogWindow(MainDialogTemplate(), &m_window);
    QString title, defaultText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool onUiThread = false;
    bool yesLeftOfNo = false;
    auto answered = OnNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        onUiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        title = box->windowTitle();
        icon = box->icon();
        defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
        auto* yes = qttest::ButtonWithText(box, QStringLiteral("はい"));
        auto* no = qttest::ButtonWithText(box, QStringLiteral("いいえ"));
        yesLeftOfNo = yes && no && yes->mapToGlobal(QPoint()).x() < no->mapToGlobal(QPoint()).x();
        box->grab().save(QStringLiteral(OCTW_PICTURE_DIR "/repair-confirmation.png"));
        QTest::keyClick(box, Qt::Key_Return);
    });
    // The backend is in use before the worker starts: it asks through it at once.
    SetUi(&m_ui);
    m_ui.StartWorker([this] {
        m_ui.SetProgressPos(IDC_PROGRESS, 42);
        m_ui.EnableControl(IDC_BTN_EXECUTE, false);
        return AskYesNo("FileA: 【 /x 】\nを修復しようとしています。", BoxIcon::Exclamation, 2,
                        "修復ファイルの確認");
    });
    {
        qttest::Watchdog dog(60, "waiting for a worker that asks a question");
        m_ui.WaitWorker();
    }
    SetUi(nullptr);
    EXPECT_TRUE(*answered);
    EXPECT_TRUE(onUiThread);
    EXPECT_EQ(m_ui.WorkerExitCode(), IDNO);
    EXPECT_EQ(title, QStringLiteral("修復ファイルの確認"));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(defaultText, QStringLiteral("いいえ"));
    EXPECT_TRUE(yesLeftOfNo) << "はい stands left of いいえ";
    EXPECT_EQ(m_ui.GetProgressPos(IDC_PROGRESS), 42);
    EXPECT_FALSE(m_ui.IsControlEnabled(IDC_BTN_EXECUTE));
}

// The desktop backend destroyed while its worker asks: no box comes up, the worker gets No.
TEST_F(QtUiTest, BackendDestroyedUnderAWorkerThatAsksAnswersNoWithoutABox) {
    qttest::Watchdog dog(60, "a backend destroyed under its worker");
    int answer = 0;
    {
        QtUi ui;
        ui.CreateDialogWindow(MainDialogTemplate(), &m_window);
        ui.StartWorker([&] {
            answer = ui.MessageBox([] {
                BoxSpec box("q", BoxIcon::Question);
                box.m_buttons = BoxButtons::YesNo;
                return box;
            }());
            return 0;
        });
    }
    EXPECT_EQ(answer, IDNO);
    EXPECT_EQ(qttest::VisibleTopLevels(), 0);
}

TEST_F(QtUiTest, BoxWithoutCaptionIsTitledWithTheProgramAndShowsTextAsWritten) {
    QString title;
    std::string text;
    auto answered = OnNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = qttest::ShownText(box->text());
        qttest::ButtonWithText(box, QStringLiteral("OK"))->click();
    });
    EXPECT_EQ(m_ui.MessageBox(BoxSpec("<b>a</b>\r\nb")), IDOK);
    EXPECT_TRUE(*answered);
    EXPECT_EQ(title, QStringLiteral("Octetwatch"));
    EXPECT_EQ(text, "<b>a</b>\nb"); // plain text: a path may hold "<"
}

// A confirmation that names a path of thousands of characters: every character shows, broken at
// "/", and the box stays on the screen.
TEST_F(QtUiTest, LongPathInABoxWrapsAndStaysWithinTheScreen) {
    std::string path;
    for (int i = 0; i < 120; ++i)
        path += "/folder" + std::to_string(i) + "_abcdefghijklmn";
    path += "/" + std::string(200, 'n') + ".bin"; // a name longer than a line
    const std::string text = "FileA: 【 " + path +
                             " 】\nを修復しようとしています。\n元には戻せませんが本当に実行"
                             "してよろしいですか?";
    QRect screen, frame;
    std::string shown;
    bool bAllLinesShown = false;
    auto answered = OnNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        screen = box->screen()->availableGeometry();
        frame = box->frameGeometry();
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        shown = qttest::ShownText(label->text());
        bAllLinesShown = label->heightForWidth(label->width()) <= label->height() &&
                         box->rect().contains(label->geometry());
        box->grab().save(QStringLiteral(OCTW_PICTURE_DIR "/long-path-box.png"));
        qttest::ButtonWithText(box, QStringLiteral("OK"))->click();
    });
    EXPECT_EQ(m_ui.MessageBox(BoxSpec(text)), IDOK);
    ASSERT_TRUE(*answered);
    EXPECT_GT(path.size(), 2500u);
    EXPECT_EQ(shown, text);
    EXPECT_TRUE(bAllLinesShown);
    EXPECT_LE(frame.width(), screen.width());
    EXPECT_LE(frame.height(), screen.height()) << "the box grew past the bottom of the screen";
}

// --- the dialogs built from their templates ---

TEST_F(QtUiTest, MainWindowIsLaidOutInDialogUnitsOfTheSubstitutedFont) {
    const DialogTemplate& dlg = MainDialogTemplate();
    m_ui.CreateDialogWindow(dlg, &m_window);
    QWidget* window = m_ui.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(QFontInfo(window->font()).family(), QStringLiteral("IPAPGothic"));
    const QSize base = TemplateDialog::BaseUnits(window->font());
    EXPECT_EQ(window->size(), TemplateDialog::ToPixels(base, 0, 0, 251, 159).size());
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the window must not be resizable";
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Octetwatch Version 2.58"));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    for (const DialogControl& dc : dlg.m_controls) {
        if (dc.m_nId == kIdStatic || dc.m_kind == ControlKind::Icon)
            continue;
        QWidget* w = m_ui.Control(dc.m_nId);
        ASSERT_NE(w, nullptr) << dc.m_nId;
        EXPECT_EQ(w->geometry(), TemplateDialog::ToPixels(base, dc.m_x, dc.m_y, dc.m_cx, dc.m_cy))
            << dc.m_nId;
    }
    EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_STOP));
    EXPECT_TRUE(m_ui.IsControlVisible(IDC_BTN_EXECUTE));
    // The stop button, shown during a run, stands clear of every other control.
    const QRect stop = m_ui.Control(IDC_BTN_STOP)->geometry();
    for (const auto& [id, w] : static_cast<TemplateDialog*>(window)->Controls())
        if (id != IDC_BTN_STOP) {
            EXPECT_FALSE(stop.intersects(w->geometry())) << id;
        }
    // Tab passes the read-only lines by.
    for (int id : {IDC_EDIT_SIZE_A, IDC_EDIT_SIZE_B, IDC_EDIT_OUTPUT})
        EXPECT_FALSE(m_ui.Control(id)->focusPolicy() & Qt::TabFocus) << id;
    auto* size = qobject_cast<QLineEdit*>(m_ui.Control(IDC_EDIT_SIZE_A));
    ASSERT_NE(size, nullptr);
    EXPECT_TRUE(size->isReadOnly());
    EXPECT_FALSE(size->hasFrame());
    EXPECT_TRUE(size->alignment() & Qt::AlignRight);
    auto* bar = qobject_cast<QProgressBar*>(m_ui.Control(IDC_PROGRESS));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    auto* exit = qobject_cast<QPushButton*>(m_ui.Control(IDOK));
    ASSERT_NE(exit, nullptr);
    EXPECT_TRUE(exit->isDefault());

    // Status icons arrive at the small-icon size.
    m_ui.SetControlIcon(IDC_ICON_A, IDI_READONLY);
    auto* icon = qobject_cast<QLabel*>(m_ui.Control(IDC_ICON_A));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->pixmap().deviceIndependentSize().toSize(), QSize(16, 16));
    EXPECT_EQ(icon->size(), QSize(16, 16));
    EXPECT_FALSE(QtUi::ResourceIcon(IDI_WRITABLE).isNull());
    EXPECT_FALSE(QtUi::ResourceIcon(IDR_MAINFRAME).pixmap(32, 32).isNull());
}

TEST_F(QtUiTest, NoTextIsClippedInAnyDialog) {
    for (const DialogTemplate* dlg :
         {&MainDialogTemplate(), &AboutDialogTemplate(), &OverwriteDialogTemplate()}) {
        SCOPED_TRACE(dlg->m_strCaption);
        TemplateDialog dialog(*dlg, nullptr);
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            QString text;
            int room = w->width();
            if (auto* c = qobject_cast<QCheckBox*>(w)) {
                text = c->text();
                QStyleOptionButton opt;
                opt.initFrom(c);
                room -= c->style()->pixelMetric(QStyle::PM_IndicatorWidth, &opt, c) +
                        c->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &opt, c);
            } else if (auto* b = qobject_cast<QPushButton*>(w)) {
                text = b->text();
                room -= 6; // the button's frame
            } else if (auto* l = qobject_cast<QLabel*>(w)) {
                text = l->text();
                room = l->contentsRect().width();
            } else {
                continue;
            }
            EXPECT_LE(w->fontMetrics().horizontalAdvance(text), room)
                << "\"" << text.toStdString() << "\" is cut off";
            EXPECT_LE(w->fontMetrics().height(), w->height())
                << "\"" << text.toStdString() << "\" is cut off below";
        }
    }
}

TEST_F(QtUiTest, OverwriteQuestionOpensOnNoWithYesAsDefaultAndAnswersBothWays) {
    QString focused;
    QString message;
    auto first = OnNextModal([&](QWidget* w) {
        if (auto* b = qobject_cast<QPushButton*>(w->focusWidget()))
            focused = b->text();
        if (auto* edit = w->findChild<QTextEdit*>())
            message = edit->toPlainText();
        w->grab().save(QStringLiteral(OCTW_PICTURE_DIR "/overwrite-question.png"));
        QTest::keyClick(w, Qt::Key_Return); // the focused いいえ takes Enter
    });
    const std::string text = "※同名のログファイル\r\n[ /tmp/Result.txt ]\r\nが存在します。上書きしますか?";
    EXPECT_EQ(m_ui.OverwriteQuestion(OverwriteDialogTemplate(), text), IDCANCEL);
    ASSERT_TRUE(*first);
    EXPECT_EQ(focused, QStringLiteral("いいえ"));
    EXPECT_EQ(message, QStringLiteral("※同名のログファイル\n[ /tmp/Result.txt ]\nが存在します。上書きしますか?"));

    // Away from the buttons, Enter goes to the default button はい.
    bool yesIsDefault = false;
    auto second = OnNextModal([&](QWidget* w) {
        QWidget* edit = w->findChild<QTextEdit*>();
        edit->setFocus();
        auto* yes = qobject_cast<QPushButton*>(qttest::ButtonWithText(w, QStringLiteral("はい")));
        yesIsDefault = yes && yes->isDefault();
        QTest::keyClick(edit, Qt::Key_Return);
    });
    EXPECT_EQ(m_ui.OverwriteQuestion(OverwriteDialogTemplate(), text), IDOK);
    EXPECT_TRUE(*second);
    EXPECT_TRUE(yesIsDefault);
    auto third = OnNextModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_EQ(m_ui.OverwriteQuestion(OverwriteDialogTemplate(), text), IDCANCEL);
    EXPECT_TRUE(*third);
}

// --- file dialogs ---

TEST_F(QtUiTest, OpenDialogStartsInTheFolderAndTakesAFileThatDoesNotExist) {
    testsupport::TempDir dir;
    const std::string missing = dir / "not-yet.bin";
    QString startedIn;
    auto answered = OnNextModal([&](QWidget* w) {
        auto* fd = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(fd, nullptr);
        startedIn = fd->directory().absolutePath();
        // Typed into the name box and confirmed with Enter, as a user does.
        auto* name = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(missing));
        QTest::keyClick(name, Qt::Key_Return);
        if (fd->isVisible()) {
            ADD_FAILURE() << "the open dialog refused a file that does not exist";
            fd->reject();
        }
    });
    std::string path;
    EXPECT_TRUE(m_ui.OpenFileDialog(dir.Str(), &path));
    EXPECT_TRUE(*answered);
    EXPECT_EQ(startedIn.toStdString(), dir.Str());
    EXPECT_EQ(path, missing);
}

// At 800 x 600 (the offscreen screen) the size and date columns are not cut off.
TEST_F(QtUiTest, FileDialogShowsItsColumnsWholeOnASmallScreen) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "a-file-of-some-size.bin", std::string(123456, 'x'));
    bool fits = false, whole = false;
    int columns = 0;
    auto answered = OnNextModal([&](QWidget* w) {
        auto* fd = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(fd, nullptr);
        auto* tree = fd->findChild<QTreeView*>(QStringLiteral("treeView"));
        ASSERT_NE(tree, nullptr);
        WaitFor([&] { return tree->model()->rowCount(tree->rootIndex()) > 0; }, 5000);
        QCoreApplication::processEvents();
        fits = w->screen()->availableGeometry().contains(w->frameGeometry());
        QHeaderView* header = tree->header();
        columns = header->count();
        whole = true;
        for (int c = 1; c < columns; ++c) {
            if (header->isSectionHidden(c))
                continue;
            int need = header->sectionSizeHint(c);
            for (int row = 0; row < tree->model()->rowCount(tree->rootIndex()); ++row) {
                const QModelIndex at = tree->model()->index(row, c, tree->rootIndex());
                need = std::max(need, tree->fontMetrics().horizontalAdvance(at.data().toString()));
            }
            whole = whole && header->sectionSize(c) >= need &&
                    header->sectionViewportPosition(c) + header->sectionSize(c) <=
                        tree->viewport()->width();
        }
        w->grab().save(QStringLiteral(OCTW_PICTURE_DIR "/file-dialog.png"));
        fd->reject();
    });
    std::string path;
    EXPECT_FALSE(m_ui.OpenFileDialog(dir.Str(), &path));
    EXPECT_TRUE(*answered);
    EXPECT_GE(columns, 4);
    EXPECT_TRUE(fits) << "the dialog is larger than the screen";
    EXPECT_TRUE(whole) << "a column is cut off";
}

TEST_F(QtUiTest, SaveDialogAsksBeforeAnExistingFileAndCancelChoosesNothing) {
    testsupport::TempDir dir;
    bool confirms = false;
    auto answered = OnNextModal([&](QWidget* w) {
        auto* fd = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(fd, nullptr);
        confirms = fd->acceptMode() == QFileDialog::AcceptSave &&
                   !fd->testOption(QFileDialog::DontConfirmOverwrite);
        fd->reject();
    });
    std::string path = "unchanged";
    EXPECT_FALSE(m_ui.SaveFileDialog(dir.Str(), &path));
    EXPECT_TRUE(*answered);
    EXPECT_TRUE(confirms);
    EXPECT_EQ(path, "unchanged");
}

} // namespace
