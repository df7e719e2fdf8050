// The program's window end to end: the main window's logic, unchanged, in real Qt widgets, driven
// the way a user drives it (typing, clicking, dropping, closing), with every box answered from a
// timer as a user would.
#include "QtTestSupport.h"

#include "app/CMyMainApp.h"
#include "desktop/DiffMapWindow.h"
#include "engine/RunTexts.h"
#include "platform/Encoding.h"
#include "platform/WinTypes.h"
#include "res/Resource.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/TestSupport.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

using namespace platform;
using namespace ui;
using namespace desktop;
using qttest::WaitFor;
namespace fs = std::filesystem;

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
            if (!m_strPicture.isEmpty()) {
                box->grab().save(QStringLiteral(OCTW_PICTURE_DIR "/%1.png").arg(m_strPicture));
                m_strPicture.clear();
            }
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
    // The next box is saved as a picture of that name.
    void PictureNext(const char* name) { m_strPicture = QString::fromLatin1(name); }
    std::size_t Count() const { return m_texts.size(); }
    const std::vector<std::string>& Texts() const { return m_texts; }
    const std::vector<std::string>& Titles() const { return m_titles; }
    const std::vector<QMessageBox::Icon>& Icons() const { return m_icons; }

private:
    Answer m_answer;
    QTimer m_timer;
    bool m_bBusy = false;
    QString m_strPicture;
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

std::int64_t Sum(const std::vector<std::int64_t>& counts) {
    std::int64_t sum = 0;
    for (std::int64_t c : counts)
        sum += c;
    return sum;
}

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

// The database keeps the first 1,000,000 differences: its box says how many the run found, and
// after the repair a box says how many still differ.
TEST_F(QtWindowTest, PartialDatabaseAndRepairSayHowManyDifferencesAreLeft) {
    const std::string a = m_data / "a.bin", b = m_data / "b.bin";
    constexpr std::int64_t kFound = 1000003;
    testsupport::MakeSparse(a, kFound);
    testsupport::WriteFile(b, std::string(kFound, '\x5A'));
    BoxAnswerer boxes([](QMessageBox* box) {
        const std::string text = qttest::ShownText(box->text());
        if (text.rfind("◎不一致情報データベース", 0) == 0 || text.rfind("※修復したのは", 0) == 0)
            box->grab().save(QStringLiteral(OCTW_PICTURE_DIR "/%1.png")
                                 .arg(text.rfind("◎", 0) == 0 ? "database-part-box" : "repair-left-box"));
        if (auto* yes = qttest::ButtonWithText(box, QStringLiteral("はい")))
            yes->click();
        else
            QTest::keyClick(box, Qt::Key_Return);
    });
    RunProgram([&] {
        Type(IDC_EDIT_FILE_A, a);
        Type(IDC_EDIT_FILE_B, b);
        Type(IDC_EDIT_LOG_FILE, m_data / "many.log");
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 2 && Idle(); }, 120000));
        ASSERT_TRUE(WaitFor([&] { return m_ui.IsControlVisible(IDC_BTN_REPAIR_A); }));
        Click(IDC_BTN_REPAIR_A);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 5; }, 120000));
        Click(IDOK);
    });
    ASSERT_EQ(boxes.Count(), 5u);
    EXPECT_EQ(boxes.Texts()[0].rfind("1,000,003バイトのデータが一致しませんでした。", 0), 0u);
    EXPECT_EQ(boxes.Texts()[1],
              "◎不一致情報データベースを作成しました。\n" + DataBasePartText(kFound, 1000000));
    EXPECT_EQ(boxes.Texts()[3].rfind("◎ファイルの修復が完了しました。", 0), 0u);
    EXPECT_EQ(boxes.Texts()[4].rfind("※修復したのは、比較で見つかった不一致 1,000,003 バイトのうち\n"
                                     "1,000,000 バイトだけです。\nまだ 3 バイトが",
                                     0),
              0u)
        << boxes.Texts()[4];
    EXPECT_EQ(boxes.Icons()[4], QMessageBox::Warning);
}

// After a run in which FILE B was read-only, only the arrow of FILE A is shown.
TEST_F(QtWindowTest, ArrowsShowExactlyWhatTheLastRunCanRepair) {
    const std::string a = m_data / "a.bin", b = m_data / "b.bin";
    testsupport::WriteFile(a, "ABC");
    testsupport::WriteFile(b, "AXC");
    BoxAnswerer boxes;
    bool bothFirst = false, onlyUpThen = false;
    RunProgram([&] {
        Type(IDC_EDIT_FILE_A, a);
        Type(IDC_EDIT_FILE_B, b);
        Type(IDC_EDIT_LOG_FILE, m_data / "arrows.log");
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 2 && Idle(); }));
        bothFirst = m_ui.IsControlVisible(IDC_BTN_REPAIR_A) && m_ui.IsControlVisible(IDC_BTN_REPAIR_B);
        testsupport::MakeReadOnly(b);
        fs::remove(m_data / "arrows.log");
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 4 && Idle(); }));
        onlyUpThen = m_ui.IsControlVisible(IDC_BTN_REPAIR_A) && !m_ui.IsControlVisible(IDC_BTN_REPAIR_B);
        Click(IDOK);
    });
    EXPECT_TRUE(bothFirst);
    EXPECT_TRUE(onlyUpThen) << "a stale ↓ from the first run";
}

// A read-only log typed into its box: its icon says so before the run, and 実行 is refused with a
// box that names it, before anyone is asked to overwrite it.
TEST_F(QtWindowTest, ReadOnlyTypedLogShowsItsIconAndIsRefusedByName) {
    const std::string a = m_data / "a.bin", b = m_data / "b.bin", log = m_data / "ro.log";
    testsupport::WriteFile(a, "ABC");
    testsupport::WriteFile(b, "AXC");
    testsupport::WriteFile(log, "old");
    testsupport::MakeReadOnly(log);
    BoxAnswerer boxes;
    bool readOnlyIcon = false;
    RunProgram([&] {
        Type(IDC_EDIT_FILE_A, a);
        Type(IDC_EDIT_FILE_B, b);
        Type(IDC_EDIT_LOG_FILE, log);
        auto* icon = qobject_cast<QLabel*>(W(IDC_ICON_LOG));
        ASSERT_NE(icon, nullptr);
        readOnlyIcon = icon->pixmap().toImage() ==
                       QtUi::ResourceIcon(IDI_READONLY).pixmap(QSize(16, 16)).toImage();
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 1 && Idle(); }));
        Click(IDOK);
    });
    EXPECT_TRUE(readOnlyIcon);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Texts()[0],
              "※不一致情報を書き込むテキストファイルが書き込み不能です。\n\t[ " + log + " ]\n");
    EXPECT_EQ(testsupport::ReadFile(log), "old");
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

// Enter in a name box moves on (FILE B -> LOG FILE -> 実行), Esc does nothing; only the close box
// or 終了 end the program, and both keep the settings.
TEST_F(QtWindowTest, DropOfThreeFilesOnFileBTakesTheFirstAndEnterInANameBoxMovesOn) {
    QList<QUrl> urls;
    std::vector<std::string> files;
    for (const char* name : {"one.bin", "two.bin", "three.bin"}) {
        files.push_back(m_data / name);
        testsupport::WriteFile(files.back(), "data");
        urls.push_back(QUrl::fromLocalFile(QString::fromStdString(files.back())));
    }
    std::string fileA, fileB, log, logBefore, sizeB;
    bool enteredB = false, droppedB = false, enteredLog = true, droppedLog = true;
    bool onLogAfterB = false, onRunAfterLog = false, openAfterKeys = false;
    RunProgram([&] {
        logBefore = m_ui.GetControlText(IDC_EDIT_LOG_FILE);
        SendDrop(W(IDC_EDIT_FILE_B), urls, &enteredB, &droppedB);
        SendDrop(W(IDC_EDIT_LOG_FILE), urls, &enteredLog, &droppedLog);
        fileA = m_ui.GetControlText(IDC_EDIT_FILE_A);
        fileB = m_ui.GetControlText(IDC_EDIT_FILE_B);
        sizeB = m_ui.GetControlText(IDC_EDIT_SIZE_B);
        log = m_ui.GetControlText(IDC_EDIT_LOG_FILE);
        QLineEdit* nameBox = Edit(IDC_EDIT_FILE_B);
        m_ui.Window()->activateWindow();
        nameBox->setFocus();
        QTest::keyClick(nameBox, Qt::Key_Return);
        onLogAfterB = m_ui.Window()->focusWidget() == W(IDC_EDIT_LOG_FILE);
        QTest::keyClick(Edit(IDC_EDIT_LOG_FILE), Qt::Key_Enter);
        onRunAfterLog = m_ui.Window()->focusWidget() == W(IDC_BTN_EXECUTE);
        QTest::keyClick(Edit(IDC_EDIT_LOG_FILE), Qt::Key_Escape);
        QTest::keyClick(m_ui.Window(), Qt::Key_Escape);
        QCoreApplication::processEvents();
        openAfterKeys = m_ui.Window()->isVisible();
        m_ui.Window()->close(); // the close box
    });
    EXPECT_TRUE(enteredB);
    EXPECT_TRUE(droppedB);
    EXPECT_EQ(fileB, files[0]);
    EXPECT_EQ(sizeB, "└ 4 Byte"); // the dropped file's size, not an earlier one's
    EXPECT_EQ(fileA, "比較元のファイル名を入力");
    EXPECT_FALSE(enteredLog) << "the log name box must refuse drops";
    EXPECT_FALSE(droppedLog);
    EXPECT_EQ(log, logBefore);
    EXPECT_TRUE(onLogAfterB) << "Enter in FILE B did not move on to LOG FILE";
    EXPECT_TRUE(onRunAfterLog) << "Enter in LOG FILE did not move on to 実行";
    EXPECT_TRUE(openAfterKeys) << "Enter or Esc ended the program";
    EXPECT_EQ(m_ui.DialogResult(), IDCANCEL);
    // The settings were kept by the close box as by 終了.
    const std::string ini = Cp932ToUtf8(testsupport::ReadFile(m_prog / "octwtch.ini"));
    EXPECT_NE(ini.find(logBefore), std::string::npos) << ini;
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

// The map opens from the window's menu before the run and draws its counts as they come; a
// bucket's cell names its addresses and count, and a click shows both files there, from where F6
// and Shift+F6 go from difference to difference.
TEST_F(QtWindowTest, DifferenceMapDrawsTheRunAndOpensTheFilesAtABucket) {
    DiffMapWindow::Install(m_ui);
    const std::string a = m_data / "a.bin", b = m_data / "b.bin";
    // 64 KiB: 4,096 buckets of 16 bytes. A few bytes, noise over 4 KiB and a torn last 2 KiB.
    std::string bytes = Pattern(0x10000);
    testsupport::WriteFile(a, bytes);
    std::vector<std::int64_t> diffs = {0x100, 0x4000, 0x4001, 0x400F, 0x4010};
    for (std::int64_t d = 0x9000; d < 0xA000; d += 37)
        diffs.push_back(d);
    for (std::int64_t d = 0xF800; d < 0x10000; ++d)
        diffs.push_back(d);
    std::vector<std::int64_t> expected(4096);
    for (std::int64_t d : diffs)
        ++expected[static_cast<std::size_t>(d / 16)];
    for (std::int64_t d : diffs)
        bytes[static_cast<std::size_t>(d)] = static_cast<char>(~bytes[static_cast<std::size_t>(d)]);
    testsupport::WriteFile(b, bytes);

    BoxAnswerer boxes;
    std::vector<std::int64_t> drawn;
    QString summary, hover, item;
    std::vector<std::int64_t> visited;
    QString firstStatus, lastStatus, goneStatus;
    HexRow shownRow;
    RunProgram([&] {
        auto menuShown = qttest::OnNextPopup([&](QWidget* w) {
            auto* menu = qobject_cast<QMenu*>(w);
            ASSERT_NE(menu, nullptr);
            ASSERT_EQ(menu->actions().size(), 2);
            item = menu->actions()[1]->text();
            menu->actions()[1]->trigger();
            menu->close();
        });
        QWidget* window = m_ui.Window();
        const QPoint at(2, window->height() - 2);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, window->mapToGlobal(at));
        QApplication::sendEvent(window, &menuEvent);
        DiffMapWindow* map = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            map = DiffMapWindow::Of(window);
            return menuShown->load() && map && map->isVisible();
        }));
        EXPECT_EQ(map->SummaryText(), QStringLiteral("まだ比較していません。"));

        Type(IDC_EDIT_FILE_A, a);
        Type(IDC_EDIT_FILE_B, b);
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 2 && Idle(); }));
        ASSERT_TRUE(WaitFor([&] { return Sum(map->DrawnCounts()) == static_cast<std::int64_t>(diffs.size()); }));
        drawn = map->DrawnCounts();
        summary = map->SummaryText();
        QTest::mouseMove(map->Grid(), map->BucketRect(0x400).center());
        hover = map->HoverText();
        Picture(map, "diff-map");

        QTest::mouseClick(map->Grid(), Qt::LeftButton, {}, map->BucketRect(0x10).center());
        HexViewWindow* view = map->HexView();
        ASSERT_TRUE(view && view->isVisible());
        visited.push_back(view->CurrentAdrs());
        firstStatus = view->StatusText();
        for (const HexRow& row : view->Rows())
            if (row.m_i64Adrs == 0x100)
                shownRow = row;
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(view, Qt::Key_F6);
            visited.push_back(view->CurrentAdrs());
        }
        Picture(view, "hex-view");
        for (int i = 0; i < 2; ++i) {
            QTest::keyClick(view, Qt::Key_F6, Qt::ShiftModifier);
            visited.push_back(view->CurrentAdrs());
        }
        QTest::mouseClick(map->Grid(), Qt::LeftButton, {}, map->BucketRect(0xFFF).center());
        visited.push_back(view->CurrentAdrs());
        for (int i = 0; i < 16; ++i) // the last finds none after 0xFFFF: it stays
            QTest::keyClick(view, Qt::Key_F6);
        visited.push_back(view->CurrentAdrs());
        lastStatus = view->StatusText();
        // A bucket without differences opens at its start; a file gone since is named.
        QTest::mouseClick(map->Grid(), Qt::LeftButton, {}, map->BucketRect(0).center());
        visited.push_back(view->CurrentAdrs());
        fs::remove(b);
        QTest::keyClick(view, Qt::Key_F6);
        goneStatus = view->StatusText();
        Click(IDOK);
    });
    EXPECT_EQ(drawn, expected);
    ASSERT_EQ(diffs.size(), 2164u);
    EXPECT_EQ(S(summary), "比較した長さ 65,536 バイト　不一致 2,164 バイト");
    EXPECT_EQ(S(item), "差分マップ(&M)...\tCtrl+M");
    EXPECT_EQ(S(hover), "0000004000 h - 000000400F h  不一致 3 バイト");
    EXPECT_EQ(S(firstStatus), "現在位置 0000000100 h");
    EXPECT_EQ(shownRow.m_i64Adrs, 0x100);
    EXPECT_EQ(shownRow.m_nDiffMask, 1u);
    EXPECT_EQ(shownRow.m_abA[0], static_cast<BYTE>(Pattern(0x10000)[0x100]));
    EXPECT_EQ(shownRow.m_abB[0], static_cast<BYTE>(bytes[0x100]));
    EXPECT_EQ(visited, (std::vector<std::int64_t>{0x100, 0x4000, 0x4001, 0x400F, 0x4010, 0x9000,
                                                  0x4010, 0x400F, 0xFFF0, 0xFFFF, 0}));
    EXPECT_EQ(S(lastStatus), "これより後に異なるデータはありません。");
    EXPECT_EQ(S(goneStatus), "※ファイルBの読みとりに失敗");
}

// Both ways out in the middle of a long run end the program at once: the exit button (abort
// set), and the close box (the window's destruction aborts and waits, serving the worker).
class QtWindowLongRunTest : public QtWindowTest, public ::testing::WithParamInterface<bool> {};

// 1 GiB each, with 32 MiB of differences at the start of FILE B: far more than a run gets through
// before the test acts on it.
void MakeLongRun(const std::string& a, const std::string& b) {
    constexpr std::int64_t kSize = 1LL << 30;
    testsupport::MakeSparse(a, kSize);
    testsupport::MakeSparse(b, kSize);
    int fd = ::open(b.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::string block(1 << 20, '\x5A');
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(::write(fd, block.data(), block.size()), static_cast<ssize_t>(block.size()));
    ::close(fd);
}

TEST_P(QtWindowLongRunTest, LeavingInTheMiddleOfALongRunDoesNotHang) {
    const bool closeBox = GetParam();
    const std::string a = m_data / "a.bin", b = m_data / "b.bin";
    MakeLongRun(a, b);
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

// The stop button stands beside 実行 while a run goes on; it ends the run, not the program: a box
// names the log, which keeps the lines so far and no closing lines, no database is written, and
// the next run starts from the same window.
// The difference map, opened with Ctrl+M in the middle of the run, draws it live, keeps it after
// the stop, and follows the next run.
TEST_F(QtWindowTest, StopButtonEndsALongRunAndTheWindowGoesOn) {
    DiffMapWindow::Install(m_ui);
    const std::string a = m_data / "a.bin", b = m_data / "b.bin", log = m_data / "long.log";
    MakeLongRun(a, b);
    bool mapLive = false, mapKept = false;
    std::vector<std::int64_t> mapOfNextRun;
    const std::string small = m_data / "small.bin";
    testsupport::WriteFile(small, "abc");
    BoxAnswerer boxes;
    bool stopShown = false, stopHiddenBefore = false, readyAfter = false, dbAfterStop = true;
    std::size_t boxesAtStop = 0;
    RunProgram([&] {
        stopHiddenBefore = !m_ui.IsControlVisible(IDC_BTN_STOP);
        Type(IDC_EDIT_FILE_A, a);
        Type(IDC_EDIT_FILE_B, b);
        Type(IDC_EDIT_LOG_FILE, log);
        Click(IDC_CHK_DISP_DIFF);
        ASSERT_EQ(m_ui.GetCheck(IDC_CHK_MAKE_DB), 1);
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] {
            return m_ui.GetControlText(IDC_EDIT_OUTPUT).rfind("(", 0) == 0;
        }));
        stopShown = m_ui.IsControlVisible(IDC_BTN_STOP) && m_ui.IsControlEnabled(IDC_BTN_STOP);
        Picture(m_ui.Window(), "main-window-running");
        QTest::keyClick(m_ui.Window(), Qt::Key_M, Qt::ControlModifier);
        DiffMapWindow* map = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            map = DiffMapWindow::Of(m_ui.Window());
            return map && map->isVisible() && Sum(map->DrawnCounts()) > 0;
        }));
        mapLive = m_ui.IsWorkerRunning();
        // Only the first 32 MiB of the 1 GiB differ: the first 128 of its 4,096 buckets.
        const std::vector<std::int64_t> live = map->DrawnCounts();
        mapLive = mapLive && live.size() == 4096 && Sum(live) == Sum({live.begin(), live.begin() + 128});
        boxesAtStop = boxes.Count();
        boxes.PictureNext("stop-box");
        Click(IDC_BTN_STOP);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() == boxesAtStop + 1 && Idle(); }));
        readyAfter = !m_ui.IsControlVisible(IDC_BTN_STOP) &&
                     m_ui.IsControlEnabled(IDC_BTN_FILE_A) &&
                     m_ui.IsControlEnabled(IDC_BTN_LOG_FILE) &&
                     m_ui.IsControlEnabled(IDC_CHK_MAKE_DB) &&
                     !m_ui.IsControlVisible(IDC_BTN_REPAIR_A);
        dbAfterStop = fs::exists(m_prog / "DiffData.db");
        mapKept = map->isVisible() && Sum(map->DrawnCounts()) >= Sum(live);
        Picture(m_ui.Window(), "main-window-stopped");
        // The next run, from the same window.
        Type(IDC_EDIT_FILE_A, small);
        Type(IDC_EDIT_FILE_B, small + "x");
        testsupport::WriteFile(small + "x", "abd");
        boxes.SetAnswer([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
        auto overwrite = qttest::OnNextModal([](QWidget* w) {
            if (auto* yes = qttest::ButtonWithText(w, QStringLiteral("はい")))
                yes->click();
        });
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] { return overwrite->load() && boxes.Count() >= boxesAtStop + 3 && Idle(); }));
        WaitFor([&] { return map->DrawnCounts() == std::vector<std::int64_t>{0, 0, 1}; });
        mapOfNextRun = map->DrawnCounts();
        Click(IDOK);
    });
    EXPECT_TRUE(stopHiddenBefore);
    EXPECT_TRUE(stopShown);
    ASSERT_GE(boxes.Count(), boxesAtStop + 1);
    EXPECT_EQ(boxesAtStop, 0u);
    EXPECT_EQ(boxes.Texts()[0], StoppedText(log));
    EXPECT_EQ(boxes.Icons()[0], QMessageBox::Warning);
    EXPECT_TRUE(readyAfter);
    EXPECT_FALSE(dbAfterStop) << "the stopped run wrote a database";
    EXPECT_TRUE(mapLive);
    EXPECT_TRUE(mapKept);
    EXPECT_EQ(mapOfNextRun, (std::vector<std::int64_t>{0, 0, 1}));
    ASSERT_GE(boxes.Count(), 3u);
    EXPECT_EQ(boxes.Texts()[1].rfind("1バイトのデータが一致しませんでした。", 0), 0u) << boxes.Texts()[1];
    const std::string text = Cp932ToUtf8(testsupport::ReadFile(log));
    EXPECT_NE(text.find("0000000002 h :   63      64"), std::string::npos) << "the second run's log";
}

// Files of different sizes: the summary warns and names the shorter file.
TEST_F(QtWindowTest, ShorterFileEndsWithAWarningThatNamesIt) {
    const std::string a = m_data / "a.bin", b = m_data / "b.bin";
    testsupport::WriteFile(a, "0123456789");
    testsupport::WriteFile(b, "0123456789AB");
    BoxAnswerer boxes;
    RunProgram([&] {
        Type(IDC_EDIT_FILE_A, a);
        Type(IDC_EDIT_FILE_B, b);
        Type(IDC_EDIT_LOG_FILE, m_data / "short.log");
        Click(IDC_CHK_MAKE_DB);
        boxes.SetAnswer([&](QMessageBox* box) {
            if (qttest::ShownText(box->text()).rfind("壊れた", 0) == 0)
                box->grab().save(QStringLiteral(OCTW_PICTURE_DIR "/summary-shorter-file.png"));
            QTest::keyClick(box, Qt::Key_Return);
        });
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 2 && Idle(); }));
        Click(IDOK);
    });
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Texts()[1], SummaryText(0, 10, 12, 10));
    EXPECT_NE(boxes.Texts()[1].find("FILE A の方が短く、\n共通部分 (先頭の 10 バイト) は一致"),
              std::string::npos);
    EXPECT_EQ(boxes.Icons()[1], QMessageBox::Warning);
}

// 実行 with a name that cannot be compared says which and why; the size line stops showing the
// size of the file named before.
TEST_F(QtWindowTest, RefusedExecuteNamesTheFileAndWhy) {
    const std::string a = m_data / "a.bin", b = m_data / "b.bin";
    testsupport::WriteFile(a, std::string(2000, 'a'));
    testsupport::WriteFile(b, std::string(1999, 'a') + "b");
    fs::create_directory(m_data / "folder");
    BoxAnswerer boxes;
    std::string sizeBefore, sizeAfter;
    RunProgram([&] {
        Type(IDC_EDIT_FILE_A, a);
        Type(IDC_EDIT_FILE_B, b);
        Type(IDC_EDIT_LOG_FILE, m_data / "r.log");
        Click(IDC_CHK_MAKE_DB);
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 1 && Idle(); }));
        sizeBefore = m_ui.GetControlText(IDC_EDIT_SIZE_A);
        Type(IDC_EDIT_FILE_A, m_data / "folder");
        boxes.PictureNext("refused-folder");
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 2; }));
        sizeAfter = m_ui.GetControlText(IDC_EDIT_SIZE_A);
        Picture(m_ui.Window(), "main-window-refused");
        Click(IDOK);
    });
    EXPECT_EQ(sizeBefore, "└ 2,000 Byte");
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Texts()[1], "ファイルAのサイズ取得に失敗。\n\t[ " + (m_data / "folder") +
                                    " ]\nフォルダです。比較するファイルを指定してください。");
    EXPECT_EQ(sizeAfter, "※ファイルA: サイズエラー");
}

// A full disk under the log ends the run with a box that names the log and says it lacks its
// closing lines; the window is ready again, not a dead end. A real 1 MiB file system holds the log.
TEST_F(QtWindowTest, FullDiskUnderTheLogIsExplainedAndTheWindowGoesOn) {
    const std::string fold = m_data / "small";
    fs::create_directory(fold);
    if (::geteuid() != 0 ||
        std::system(("mount -t tmpfs -o size=1m tmpfs '" + fold + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    struct Unmount {
        std::string m_strFold;
        ~Unmount() {
            const int rc = std::system(("umount '" + m_strFold + "'").c_str());
            EXPECT_EQ(rc, 0) << "umount " << m_strFold;
        }
    } unmount{fold};
    const std::string a = m_data / "a.bin", b = m_data / "b.bin", log = fold + "/full.log";
    constexpr std::int64_t kSize = 256 * 1024; // a line per byte: several times the disk
    testsupport::MakeSparse(a, kSize);
    testsupport::WriteFile(b, std::string(kSize, '\x5A'));
    BoxAnswerer boxes;
    bool ready = false;
    RunProgram([&] {
        Type(IDC_EDIT_FILE_A, a);
        Type(IDC_EDIT_FILE_B, b);
        Type(IDC_EDIT_LOG_FILE, log);
        boxes.PictureNext("disk-full-box");
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 1 && Idle(); }));
        ready = m_ui.IsControlEnabled(IDC_BTN_FILE_A) && m_ui.IsControlEnabled(IDC_BTN_FILE_B) &&
                m_ui.IsControlEnabled(IDC_BTN_LOG_FILE) && !m_ui.IsControlVisible(IDC_BTN_STOP);
        Picture(m_ui.Window(), "main-window-after-full-disk");
        // The next run, with its log where there is room.
        Type(IDC_EDIT_LOG_FILE, m_data / "roomy.log");
        Click(IDC_CHK_MAKE_DB);
        Click(IDC_BTN_EXECUTE);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 2 && Idle(); }));
        Click(IDOK);
    });
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Texts()[0], DiskFullText(log));
    EXPECT_TRUE(ready) << "the window stayed a dead end";
    const std::string text = Cp932ToUtf8(testsupport::ReadFile(log));
    EXPECT_NE(text.find("0000000000 h :   00      5A"), std::string::npos);
    EXPECT_EQ(text.find("Generated by"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_prog / "DiffData.db"));
    EXPECT_EQ(boxes.Texts()[1].rfind("262,144バイトのデータが一致しませんでした。", 0), 0u)
        << boxes.Texts()[1];
}

} // namespace
