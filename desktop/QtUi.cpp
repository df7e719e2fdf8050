#include "desktop/QtUi.h"

#include "desktop/TemplateDialog.h"
#include "res/Resource.h"
#include "util/Messages.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontInfo>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

// The pictures are in a static library; nothing refers to them by name, so pull them in.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace desktop {
namespace {

constexpr const char* kProgramName = "Octetwatch";
// A slice of the FIFO per turn of the event loop: long enough to keep up with a worker, short
// enough that painting and input are never held up noticeably.
constexpr int kSliceMs = 12;
// The live display is refreshed at most this often (about a screen's frame); the differences in
// between are merged, so a flood of them costs the UI thread next to nothing.
constexpr qint64 kDisplayMs = 15;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// はい before いいえ, as the program's users know its boxes, whatever order the desktop prefers.
class WinButtonOrder : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == SH_DialogButtonLayout)
            return QDialogButtonBox::WinLayout;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

// Boxes and edit controls break lines at "\n"; a "\r" before it is the CR of a CR LF line end.
QString BoxText(const std::string& s) {
    QString text = Q(s);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

// A box names paths up to thousands of characters long. A zero-width space after every "/" lets
// the text break there, where a reader expects it; a run of characters without any place to break
// gets one every kUnbrokenRun characters, so that no line is wider than the box.
constexpr QChar kBreak(0x200B);
constexpr int kUnbrokenRun = 48;

QString BoxDisplayText(const std::string& s) {
    const QString text = BoxText(s);
    QString shown;
    shown.reserve(text.size() + text.size() / 8);
    int run = 0;
    for (QChar c : text) {
        shown.append(c);
        run = c.isSpace() ? 0 : run + 1;
        if (c == QLatin1Char('/') || (run >= kUnbrokenRun && !c.isHighSurrogate())) {
            shown.append(kBreak);
            run = 0;
        }
    }
    return shown;
}

// QMessageBox makes a long text wrap at a fixed width and grows downwards, past the bottom of the
// screen. A text that would not fit gets a wider label instead, up to the width beyond which
// QMessageBox would cut the box itself (its own limit, computed as it does).
void KeepWithinScreen(QMessageBox& box) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    QScreen* screen = box.screen();
    if (label == nullptr || screen == nullptr)
        return;
    const QRect avail = screen->availableGeometry();
    const int hardLimit =
        avail.width() <= 1024 ? avail.width() : std::min(avail.width() - 480, 1000);
    constexpr int kBesideLabel = 140; // the icon, the margins and the spacing of the box
    const int widest = hardLimit - kBesideLabel;
    const int tallest = avail.height() * 3 / 4;
    label->setWordWrap(true);
    int width = std::min(avail.width() / 2, 500) - kBesideLabel;
    if (label->heightForWidth(width) <= tallest)
        return;
    while (width < widest && label->heightForWidth(width) > tallest)
        width = std::min(width + 40, widest);
    label->setMinimumWidth(width);
}

} // namespace

QtUi::QtUi() {
    InitIconResources();
    m_pWaker = new QObject;
    SetLivePolicy({WM_DIFF_ADRS, WM_DIFF_COUNT, true, 0, 0, kDisplayMs, 0});
    m_pLiveTimer = new QTimer(m_pWaker);
    m_pLiveTimer->setSingleShot(true);
    QObject::connect(m_pLiveTimer, &QTimer::timeout, m_pWaker, [this] { OnWake(); });
    // The program ends when its dialog ends, not when a window closes: Qt's quit would end
    // every running loop, a box's or the dialog's own, in the middle of the logic.
    QApplication::setQuitOnLastWindowClosed(false);
}

QtUi::~QtUi() {
    // Nothing queued can be shown any more: a box the worker waits on gets its fallback answer.
    JoinWorker();
    delete m_pWindow.data();
    delete m_pWaker;
    if (&ui::Ui() == this)
        ui::SetUi(nullptr);
}

// --- fonts and icons ---

QFont QtUi::DialogFont(const ui::DialogTemplate& dlg) {
    // fontconfig knows no alias for the Windows name, so tell Qt which installed face stands in.
    static const bool substituted = [] {
        QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
        return true;
    }();
    (void)substituted;
    QFont font(Q(dlg.m_strFontName));
    font.setPointSize(dlg.m_nFontPoints);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QIcon QtUi::ResourceIcon(int iconId) {
    if (iconId != 128 && iconId != 134 && iconId != 135)
        return {};
    QIcon icon;
    for (int size : {16, 32})
        icon.addFile(QStringLiteral(":/icons/icon%1_%2.png").arg(iconId).arg(size), QSize(size, size));
    return icon;
}

// --- the FIFO on the Qt event loop ---

void QtUi::WakeUi() {
    if (m_bWakePosted.exchange(true))
        return; // one wake-up waiting is enough: it hands out everything queued by then
    QMetaObject::invokeMethod(m_pWaker, [this] { OnWake(); }, Qt::QueuedConnection);
}

void QtUi::OnWake() {
    m_bWakePosted = false;
    QElapsedTimer slice;
    slice.start();
    bool sliced = false;
    PumpWhile([this, &slice, &sliced] {
        if (slice.elapsed() < kSliceMs)
            return true;
        WakeUi(); // the rest after the events that came in meanwhile
        sliced = true;
        return false;
    });
    // The live display's group waits out the display's pace, merging, and is handed out then
    // (or at once when anything is queued behind it, which wakes this again).
    if (!sliced)
        if (const std::optional<int> due = LiveDueInMs())
            m_pLiveTimer->start(*due);
}

void QtUi::WaitWorker() {
    // The worker's end may be queued already behind the item whose handler waits here, with its
    // wake-up spent on that item: a slice is handed out here, and what is queued after it posts
    // a wake-up that ends the event loop's wait. User input waits, so no handler runs in the
    // middle of the caller's.
    while (IsWorkerRunning()) {
        OnWake();
        if (IsWorkerRunning())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::WaitForMoreEvents);
    }
    ui::UiQueue::WaitWorker(); // joins
}

// --- boxes ---

QWidget* QtUi::BoxParent() const {
    return m_pWindow && m_pWindow->isVisible() ? m_pWindow.data() : nullptr;
}

int QtUi::MessageBox(const ui::BoxSpec& box) {
    return AskOnUiThread([&] { return ShowBoxNow(box); }, ui::FallbackAnswer(box));
}

int QtUi::ShowBoxNow(const ui::BoxSpec& box) {
    QMessageBox mb(BoxParent());
    mb.setWindowTitle(Q(box.m_strCaption.empty() ? kProgramName : box.m_strCaption));
    mb.setTextFormat(Qt::PlainText);
    mb.setText(BoxDisplayText(box.m_strText));
    KeepWithinScreen(mb);
    switch (box.m_icon) {
    case ui::BoxIcon::None:
        break;
    case ui::BoxIcon::Information:
        mb.setIcon(QMessageBox::Information);
        break;
    case ui::BoxIcon::Question:
        mb.setIcon(QMessageBox::Question);
        break;
    case ui::BoxIcon::Exclamation:
        mb.setIcon(QMessageBox::Warning);
        break;
    }
    if (box.m_buttons == ui::BoxButtons::Ok) {
        QPushButton* ok = mb.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        mb.setDefaultButton(ok);
        mb.setEscapeButton(ok);
        mb.exec();
        return IDOK;
    }
    if (auto* buttons = mb.findChild<QDialogButtonBox*>()) {
        static WinButtonOrder* order = new WinButtonOrder;
        buttons->setStyle(order);
    }
    QPushButton* yes = mb.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
    QPushButton* no = mb.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
    mb.setDefaultButton(box.m_nDefaultButton == 2 ? no : yes);
    mb.setEscapeButton(no);
    mb.exec();
    return mb.clickedButton() == yes ? IDYES : IDNO;
}

int QtUi::OverwriteQuestion(const ui::DialogTemplate& dlg, const std::string& message) {
    return AskOnUiThread([&] { return OverwriteNow(dlg, message); }, IDCANCEL);
}

int QtUi::OverwriteNow(const ui::DialogTemplate& dlg, const std::string& message) {
    // The dialog is made without a parent window: the worker asks it, not the main window.
    TemplateDialog question(dlg, nullptr);
    question.SetCommandHandler([&question](int id) { question.done(id); });
    if (auto* edit = qobject_cast<QTextEdit*>(question.Control(IDC_EDIT_MESSAGE))) {
        edit->setPlainText(BoxText(message));
        TemplateDialog::CentreLines(edit);
    }
    int result = question.exec();
    return result == IDOK ? IDOK : IDCANCEL;
}

void QtUi::ShowAboutBox(const ui::DialogTemplate& dlg) {
    TemplateDialog about(dlg, BoxParent());
    about.SetCommandHandler([&about](int id) { about.done(id); });
    about.exec();
}

// --- the dialog window ---

void QtUi::CreateDialogWindow(const ui::DialogTemplate& dlg, ui::HWND target) {
    m_pMainWnd = target;
    m_bDialogEnded = false;
    delete m_pWindow.data();
    auto* window = new TemplateDialog(dlg, nullptr, TemplateDialog::MainWindow);
    window->SetCommandHandler([this](int id) {
        if (m_pMainWnd)
            m_pMainWnd->OnCommand(id);
    });
    window->SetAboutHandler([this] {
        if (m_pMainWnd)
            m_pMainWnd->OnAbout();
    });
    window->SetEditHandler([this](int id) {
        if (m_pMainWnd)
            m_pMainWnd->OnEditChange(id);
    });
    window->SetDropHandler([this](int id, const std::vector<std::string>& files) {
        if (m_pMainWnd)
            m_pMainWnd->OnDropFiles(id, files);
    });
    m_pWindow = window;
    m_widgets = window->Controls();
    if (m_onWindow)
        m_onWindow(*window, target);
}

int QtUi::RunModal() {
    if (!m_pWindow)
        return m_nDialogResult;
    if (!m_bDialogEnded) {
        auto* window = static_cast<TemplateDialog*>(m_pWindow.data());
        window->show();
        window->FocusFirstControl();
        QEventLoop loop;
        m_pLoop = &loop;
        if (!m_bDialogEnded)
            loop.exec(QEventLoop::DialogExec);
        m_pLoop = nullptr;
    }
    return m_nDialogResult;
}

void QtUi::EndDialog(int result) {
    m_bDialogEnded = true;
    m_nDialogResult = result;
    if (m_pWindow)
        m_pWindow->hide();
    if (m_pLoop)
        m_pLoop->quit();
}

void QtUi::DestroyDialogWindow() {
    DiscardPosted();
    m_widgets.clear();
    delete m_pWindow.data();
    m_pMainWnd = nullptr;
}

void QtUi::SetWindowIcon(int iconId) {
    QIcon icon = ResourceIcon(iconId);
    if (m_pWindow)
        m_pWindow->setWindowIcon(icon);
    QApplication::setWindowIcon(icon);
}

QWidget* QtUi::Window() const { return m_pWindow.data(); }

QWidget* QtUi::Control(int id) const {
    auto it = m_widgets.find(id);
    return it == m_widgets.end() ? nullptr : it->second;
}

// --- controls ---

bool QtUi::HasControl(int id) { return Control(id) != nullptr; }

std::string QtUi::GetControlText(int id) {
    QWidget* w = Control(id);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text().toStdString();
    if (auto* t = qobject_cast<QTextEdit*>(w))
        return t->toPlainText().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text().toStdString();
    return {};
}

void QtUi::SetControlText(int id, const std::string& text) {
    QWidget* w = Control(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(Q(text));
        e->setCursorPosition(0); // a new text is read from its start, as an edit control shows it
    } else if (auto* t = qobject_cast<QTextEdit*>(w)) {
        t->setPlainText(BoxText(text));
        if (t->property("octwCentre").toBool())
            TemplateDialog::CentreLines(t);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(Q(text));
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(Q(text));
    }
}

bool QtUi::IsControlEnabled(int id) {
    QWidget* w = Control(id);
    return w && w->isEnabled();
}

bool QtUi::IsControlVisible(int id) {
    QWidget* w = Control(id);
    return w && !w->isHidden(); // shown, even while the window itself is not on screen yet
}

int QtUi::GetCheck(int id) {
    auto* c = qobject_cast<QCheckBox*>(Control(id));
    return c && c->isChecked() ? 1 : 0;
}

void QtUi::SetCheck(int id, int state) {
    if (auto* c = qobject_cast<QCheckBox*>(Control(id)))
        c->setChecked(state != 0);
}

void QtUi::SetControlIcon(int id, int iconId) {
    if (auto* l = qobject_cast<QLabel*>(Control(id)))
        TemplateDialog::SetIconPicture(l, ResourceIcon(iconId), 16); // the small-icon size
}

int QtUi::GetProgressPos(int id) {
    auto* p = qobject_cast<QProgressBar*>(Control(id));
    return p ? p->value() : 0;
}

void QtUi::AcceptDrops(int id, bool accept) {
    if (auto* e = dynamic_cast<DropLineEdit*>(Control(id)))
        e->SetAcceptFiles(accept);
}

void QtUi::ApplyEffect(const ui::ControlEffect& effect) {
    QWidget* w = Control(effect.m_nId);
    if (!w)
        return;
    switch (effect.m_kind) {
    case ui::ControlEffect::Progress:
        if (auto* p = qobject_cast<QProgressBar*>(w))
            p->setValue(std::clamp(effect.m_nValue, p->minimum(), p->maximum()));
        break;
    case ui::ControlEffect::Enable:
        w->setEnabled(effect.m_nValue != 0);
        break;
    case ui::ControlEffect::Show:
        w->setVisible(effect.m_nValue != 0);
        break;
    }
}

// --- file dialogs ---

namespace {
// On a small screen (800 x 600) the dialog's own width cut its size and date columns: it takes
// the screen's width, and the name column gives way to the others, which keep their contents'.
void FitFileDialog(QFileDialog& dialog) {
    if (QScreen* screen = dialog.screen()) {
        const QSize avail = screen->availableGeometry().size();
        dialog.resize(dialog.sizeHint()
                          .expandedTo(QSize(avail.width() * 9 / 10, avail.height() * 2 / 3))
                          .boundedTo(avail));
    }
    if (auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = tree->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int c = 1; c < header->count(); ++c)
            header->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    }
}

bool RunFileDialog(QWidget* parent, const std::string& initialFold, bool save, std::string* path) {
    QFileDialog dialog(parent, save ? QStringLiteral("名前を付けて保存") : QStringLiteral("開く"),
                       Q(initialFold));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // AnyFile: the open dialog takes a name that does not exist yet; the sizing refuses it.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !save);
    FitFileDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    *path = dialog.selectedFiles().constFirst().toStdString();
    return true;
}
} // namespace

bool QtUi::OpenFileDialog(const std::string& initialFold, std::string* path) {
    return RunFileDialog(BoxParent(), initialFold, false, path);
}

bool QtUi::SaveFileDialog(const std::string& initialFold, std::string* path) {
    return RunFileDialog(BoxParent(), initialFold, true, path);
}

} // namespace desktop
