// The program's window end to end: the main window's logic, unchanged, in real Qt widgets, driven
// the way a user drives it (typing, clicking, dropping, closing), with every box answered from a
// timer as a user would.
#include "QtTestSupport.h"

#include "app/CMyMainApp.h"
#include "platform/Encoding.h"
#include "platform/WinTypes.h"
#include "res/Resource.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/TestSupport.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>

using namespace platform;
using qttest::WaitFor;

namespace {

std::string S(const QString& s) { return s.toStdString(); }

// Answers every message box that opens, through `answer`, and keeps what they said.
class BoxAnswerer {
public:
    using Answer = std::function<void(QMessageBox*)>;
    explicit BoxAnswerer(Answer answer = PressEnter) : m_answer(std::move(answer)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || !box->isActiveWindow() || m_bBusy)
                return;
            m_bBusy = true;
            m_texts.push_back(qttest::ShownText(box->text()));
            m_titles.push_back(S(box->windowTitle()));
            m_icons.push_back(box->icon());
            m_answer(box);
            m_bBusy = false;
        });
        m_timer.start(20);
    }
    static void PressEnter(QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }
    void SetAnswer(Answer answer) { m_answer = std::move(answer); }
    std::size_t Count() const { return m_texts.size(); }
    const std::vector<std::string>& Texts() const { return m_texts; }
    const std::vector<std::string>& Titles() const { return m_titles; }
    const std::vector<QMessageBox::Icon>& Icons() const { return m_icons; }

private:
    Answer m_answer;
    QTimer m_timer;
    bool m_bBusy = false;
    std::vector<std::string> m_texts;
    std::vector<std::string> m_titles;
    std::vector<QMessageBox::Icon> m_icons;
};

class QtWindowTest : public qttest::QtTest {
protected:
    QtWindowTest() { SetUi(&m_ui); }
    ~QtWindowTest() override { SetUi(nullptr); }

    // Starts the program; `script` runs in its window once it is on screen. Whatever the script
    // leaves open is closed with the exit button, so a failing script cannot hang the test.
    void RunProgram(const std::function<void()>& script) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            ran = true;
            script();
            if (m_ui.Window() && m_ui.Window()->isVisible()) {
                ADD_FAILURE() << "the script left the window open";
                m_ui.EndDialog(IDCANCEL);
            }
        });
        qttest::Watchdog dog(180, "the program's window");
        CMyMainApp().InitInstance();
        EXPECT_TRUE(ran);
        EXPECT_EQ(m_ui.Window(), nullptr);
    }

    QWidget* W(int id) {
        QWidget* w = m_ui.Control(id);
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(W(id)); }
    void Type(int id, const std::string& text) {
        QLineEdit* e = Edit(id);
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, QString::fromStdString(text));
    }
    void Click(int id) { QTest::mouseClick(W(id), Qt::LeftButton); }
    bool Idle() { return !m_ui.IsWorkerRunning() && m_ui.IsControlEnabled(IDC_BTN_EXECUTE); }
    void Picture(QWidget* w, const char* name) {
        ASSERT_TRUE(w->grab().save(QStringLiteral(OCTW_PICTURE_DIR "/%1.png").arg(name)));
    }
    std::string TraceText() { return Cp932ToUtf8(m_prog.Trace()); }

    testsupport::ProgramFolder m_prog;
    testsupport::TempDir m_data;
    QtUi m_ui;
};

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i * 31 + 7);
    return s;
}

TEST_F(QtWindowTest, WholeRunByTypingNamesAndClickingExecute) {
    const std::string a = m_data / "a.bin", b = m_data / "b.bin", log = m_data / "run.log";
    std::string bytes = Pattern(4096);
    testsupport::WriteFile(a, bytes);
    bytes[100] = 'X';
    bytes[2000] = 'Y';
    bytes[4095] = 'Z';
    testsupport::WriteFile(b, bytes);

    BoxAnswerer boxes;
    std::string sizeA, output;
    RunProgram([&] {
        Picture(m_ui.Window(), "main-window-idle");
        Type(IDC_EDIT_FILE_A, a);
        Type(IDC_EDIT_FILE_B, b);
        Type(IDC_EDIT_LOG_FILE, log);
        Click(IDC_BTN_EXECUTE);
        // The summary, then the database's note (the database is on by default).
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 2 && Idle(); }));
        EXPECT_EQ(m_ui.GetProgressPos(IDC_PROGRESS), 100);
        sizeA = m_ui.GetControlText(IDC_EDIT_SIZE_A);
        output = m_ui.GetControlText(IDC_EDIT_OUTPUT);
        Click(IDOK);
    });
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Titles()[0], "Octetwatch");
    EXPECT_EQ(boxes.Icons()[0], QMessageBox::Information);
    EXPECT_EQ(boxes.Texts()[0].rfind("3バイトのデータが一致しませんでした。", 0), 0u)
        << boxes.Texts()[0];
    EXPECT_EQ(sizeA, "└ 4,096 Byte");
    EXPECT_EQ(output, "異なるデータの出力欄"); // live display is off by default
    const std::string text = Cp932ToUtf8(testsupport::ReadFile(log));
    EXPECT_NE(text.find("0000000064 h :   "), std::string::npos) << text;
    EXPECT_NE(text.find("00000007D0 h :   "), std::string::npos);
    EXPECT_NE(text.find("0000000FFF h :   "), std::string::npos);
    EXPECT_NE(text.find("Generated by Octetwatch At"), std::string::npos);
}

TEST_F(QtWindowTest, RunWithDatabaseShowsTheArrowsAndUpRepairsFileA) {
    const std::string a = m_data / "a.bin", b = m_data / "b.bin";
    std::string bytes = Pattern(100000);
    testsupport::WriteFile(b, bytes);
    for (std::size_t i = 0; i < bytes.size(); i += 997)
        bytes[i] = static_cast<char>(~bytes[i]);
    testsupport::WriteFile(a, bytes);

    BoxAnswerer boxes;
    QString confirmDefault;
    QMessageBox::Icon confirmIcon = QMessageBox::NoIcon;
    bool arrowsShown = false, arrowsHiddenAfterRepair = false;
    std::string filesAfterNo;
    RunProgram([&] {
        Type(IDC_EDIT_FILE_A, a);
        Type(IDC_EDIT_FILE_B, b);
        ASSERT_EQ(m_ui.GetCheck(IDC_CHK_MAKE_DB), 1);
        EXPECT_FALSE(m_ui.IsControlVisible(IDC_BTN_REPAIR_A));
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 1 && Idle(); }));
        arrowsShown = WaitFor([&] {
            return m_ui.IsControlVisible(IDC_BTN_REPAIR_A) &&
                   m_ui.IsControlVisible(IDC_BTN_REPAIR_B);
        });
        ASSERT_TRUE(arrowsShown);
        Picture(m_ui.Window(), "main-window-repair-arrows");

        // Enter on the confirmation is No: nothing is repaired.
        boxes.SetAnswer([&](QMessageBox* box) {
            confirmDefault = box->defaultButton() ? box->defaultButton()->text() : QString();
            confirmIcon = box->icon();
            QTest::keyClick(box, Qt::Key_Return);
        });
        Click(IDC_BTN_REPAIR_A);
        filesAfterNo = testsupport::ReadFile(a);

        boxes.SetAnswer([](QMessageBox* box) {
            if (auto* yes = qttest::ButtonWithText(box, QStringLiteral("はい")))
                yes->click();
            else
                QTest::keyClick(box, Qt::Key_Return);
        });
        Click(IDC_BTN_REPAIR_A);
        arrowsHiddenAfterRepair = WaitFor([&] {
            return !m_ui.IsControlVisible(IDC_BTN_REPAIR_A) &&
                   !m_ui.IsControlVisible(IDC_BTN_REPAIR_B);
        });
        Click(IDOK);
    });
    ASSERT_GE(boxes.Count(), 3u);
    const std::size_t confirm = boxes.Count() - 3;
    EXPECT_EQ(boxes.Titles()[confirm], "修復ファイルの確認");
    EXPECT_EQ(boxes.Texts()[confirm], "FileA: 【 " + a + " 】\nを修復しようとしています。\n"
                                      "元には戻せませんが本当に実行してよろしいですか?");
    EXPECT_EQ(confirmDefault, QStringLiteral("いいえ"));
    EXPECT_EQ(confirmIcon, QMessageBox::Warning);
    EXPECT_EQ(filesAfterNo, bytes) << "No still repaired FILE A";
    EXPECT_NE(TraceText().find("▽ファイルAの修復を開始しませんでした。"), std::string::npos);
    EXPECT_TRUE(arrowsHiddenAfterRepair);
    EXPECT_EQ(testsupport::ReadFile(a), testsupport::ReadFile(b)) << "FILE A was not repaired";
    EXPECT_NE(TraceText().find("◎修復に成功しました。"), std::string::npos);
}

void SendDrop(QWidget* target, const QList<QUrl>& urls, bool* entered, bool* dropped) {
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    *entered = enter.isAccepted();
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    *dropped = drop.isAccepted();
}

TEST_F(QtWindowTest, DropOfThreeFilesOnFileBTakesTheFirstAndEnterInANameBoxExits) {
    QList<QUrl> urls;
    std::vector<std::string> files;
    for (const char* name : {"one.bin", "two.bin", "three.bin"}) {
        files.push_back(m_data / name);
        testsupport::WriteFile(files.back(), "data");
        urls.push_back(QUrl::fromLocalFile(QString::fromStdString(files.back())));
    }
    std::string fileA, fileB, log, logBefore;
    bool enteredB = false, droppedB = false, enteredLog = true, droppedLog = true;
    RunProgram([&] {
        logBefore = m_ui.GetControlText(IDC_EDIT_LOG_FILE);
        SendDrop(W(IDC_EDIT_FILE_B), urls, &enteredB, &droppedB);
        SendDrop(W(IDC_EDIT_LOG_FILE), urls, &enteredLog, &droppedLog);
        fileA = m_ui.GetControlText(IDC_EDIT_FILE_A);
        fileB = m_ui.GetControlText(IDC_EDIT_FILE_B);
        log = m_ui.GetControlText(IDC_EDIT_LOG_FILE);
        QLineEdit* nameBox = Edit(IDC_EDIT_FILE_B);
        nameBox->setFocus();
        QTest::keyClick(nameBox, Qt::Key_Return); // the default button: exit
    });
    EXPECT_TRUE(enteredB);
    EXPECT_TRUE(droppedB);
    EXPECT_EQ(fileB, files[0]);
    EXPECT_EQ(fileA, "比較元のファイル名を入力");
    EXPECT_FALSE(enteredLog) << "the log name box must refuse drops";
    EXPECT_FALSE(droppedLog);
    EXPECT_EQ(log, logBefore);
    EXPECT_EQ(m_ui.DialogResult(), IDOK);
}

TEST_F(QtWindowTest, AboutBoxOpensWithF1AndFromTheWindowsContextMenu) {
    int aboutOpened = 0;
    std::string caption;
    RunProgram([&] {
        auto about = qttest::OnNextModal([&](QWidget* w) {
            caption = S(w->windowTitle());
            Picture(w, "about-box");
            QTest::keyClick(w, Qt::Key_Return); // OK is its default button
            ++aboutOpened;
        });
        QTest::keyClick(m_ui.Window(), Qt::Key_F1);
        ASSERT_TRUE(WaitFor([&] { return about->load(); }));

        // Right button on the window: a menu with the about item.
        QString item;
        std::shared_ptr<std::atomic<bool>> again;
        auto menuShown = qttest::OnNextPopup([&](QWidget* w) {
            auto* menu = qobject_cast<QMenu*>(w);
            ASSERT_NE(menu, nullptr);
            ASSERT_FALSE(menu->actions().isEmpty());
            item = menu->actions()[0]->text();
            again = qttest::OnNextModal([&](QWidget* box) {
                QTest::keyClick(box, Qt::Key_Escape);
                ++aboutOpened;
            });
            menu->actions()[0]->trigger();
            menu->close();
        });
        QWidget* window = m_ui.Window();
        const QPoint at(2, window->height() - 2);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, window->mapToGlobal(at));
        QApplication::sendEvent(window, &menuEvent);
        ASSERT_TRUE(WaitFor([&] { return menuShown->load() && aboutOpened == 2; }));
        EXPECT_EQ(S(item), "Octetwatch のﾊﾞｰｼﾞｮﾝ情報(&A)...");
        Click(IDOK);
    });
    EXPECT_EQ(caption, "Octetwatchのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(aboutOpened, 2);
}

// Both ways out in the middle of a long run end the program at once: the exit button (abort
// set), and the close box (the window's destruction aborts and waits, serving the worker).
class QtWindowLongRunTest : public QtWindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(QtWindowLongRunTest, LeavingInTheMiddleOfALongRunDoesNotHang) {
    const bool closeBox = GetParam();
    const std::string a = m_data / "a.bin", b = m_data / "b.bin";
    constexpr std::int64_t kSize = 1LL << 30;
    testsupport::MakeSparse(a, kSize);
    testsupport::MakeSparse(b, kSize);
    {
        // 32 MiB of differences at the start of FILE B: far more than the run gets through.
        int fd = ::open(b.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        std::string block(1 << 20, '\x5A');
        for (int i = 0; i < 32; ++i)
            ASSERT_EQ(::write(fd, block.data(), block.size()), static_cast<ssize_t>(block.size()));
        ::close(fd);
    }
    BoxAnswerer boxes;
    std::string line;
    bool wasRunning = false;
    RunProgram([&] {
        Type(IDC_EDIT_FILE_A, a);
        Type(IDC_EDIT_FILE_B, b);
        Type(IDC_EDIT_LOG_FILE, m_data / "long.log");
        Click(IDC_CHK_DISP_DIFF);
        Click(IDC_CHK_MAKE_DB);
        ASSERT_EQ(m_ui.GetCheck(IDC_CHK_DISP_DIFF), 1);
        ASSERT_EQ(m_ui.GetCheck(IDC_CHK_MAKE_DB), 0);
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] {
            return m_ui.GetControlText(IDC_EDIT_OUTPUT).rfind("(", 0) == 0;
        }));
        line = m_ui.GetControlText(IDC_EDIT_OUTPUT);
        wasRunning = m_ui.IsWorkerRunning();
        if (!closeBox)
            Picture(m_ui.Window(), "main-window-running");
        if (closeBox)
            m_ui.Window()->close();
        else
            Click(IDOK);
    });
    EXPECT_TRUE(wasRunning);
    EXPECT_FALSE(m_ui.IsWorkerRunning());
    EXPECT_EQ(boxes.Count(), 0u) << (boxes.Count() ? boxes.Texts()[0] : "");
    EXPECT_NE(line.find(" h : 00 , 5A"), std::string::npos) << line;
    EXPECT_EQ(m_ui.DialogResult(), closeBox ? IDCANCEL : IDOK);
}

INSTANTIATE_TEST_SUITE_P(ExitButtonAndCloseBox, QtWindowLongRunTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "CloseBox" : "ExitButton"; });

} // namespace
