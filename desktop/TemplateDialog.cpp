#include "desktop/TemplateDialog.h"

#include "platform/WinTypes.h"
#include "desktop/QtUi.h"
#include "res/Dialogs.h"
#include "res/Resource.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QKeyEvent>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace desktop {
namespace {

std::vector<std::string> LocalFiles(const QMimeData* mime) {
    std::vector<std::string> files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            files.push_back(url.toLocalFile().toStdString());
    return files;
}

int MulDiv(int value, int mul, int div) {
    return static_cast<int>(std::lround(static_cast<double>(value) * mul / div));
}

// Read-only edits show the window's colour behind their text, so they read as labels.
void UseWindowBackground(QWidget* w) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    w->setPalette(pal);
}

} // namespace

// --- name boxes that take dropped files ---

void DropLineEdit::SetAcceptFiles(bool accept) {
    m_bAcceptFiles = accept;
    setAcceptDrops(accept);
}

std::vector<std::string> DropLineEdit::FilesTaken(const QDropEvent* event) const {
    // Only files: no text is dragged into a name box, and other boxes refuse everything.
    return m_bAcceptFiles ? LocalFiles(event->mimeData()) : std::vector<std::string>{};
}

// Entering is the first move: QLineEdit's own handler would take dragged text.
void DropLineEdit::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void DropLineEdit::dragMoveEvent(QDragMoveEvent* event) {
    if (FilesTaken(event).empty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void DropLineEdit::dropEvent(QDropEvent* event) {
    const std::vector<std::string> files = FilesTaken(event);
    if (files.empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (m_onDrop)
        m_onDrop(m_nId, files);
}

void DropLineEdit::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && m_onEnter && !isReadOnly() && event->modifiers() == Qt::NoModifier) {
        event->accept();
        m_onEnter();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

// --- the dialog ---

QSize TemplateDialog::BaseUnits(const QFont& font) {
    QFontMetrics fm(font);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int width = static_cast<int>(std::lround(fm.horizontalAdvance(letters) / 52.0));
    return QSize(width, fm.height());
}

QRect TemplateDialog::ToPixels(const QSize& base, int x, int y, int cx, int cy) {
    return QRect(MulDiv(x, base.width(), 4), MulDiv(y, base.height(), 8),
                 MulDiv(cx, base.width(), 4), MulDiv(cy, base.height(), 8));
}

void TemplateDialog::SetIconPicture(QLabel* label, const QIcon& icon, int size) {
    // An icon control takes the size of its picture, from its top-left corner.
    label->setPixmap(icon.pixmap(QSize(size, size)));
    label->resize(size, size);
}

void TemplateDialog::CentreLines(QTextEdit* edit) {
    QTextCursor cursor(edit->document());
    cursor.select(QTextCursor::Document);
    QTextBlockFormat format;
    format.setAlignment(Qt::AlignHCenter);
    cursor.mergeBlockFormat(format);
}

TemplateDialog::TemplateDialog(const ui::DialogTemplate& dlg, QWidget* parent, Kind kind)
    : QDialog(parent), m_kind(kind) {
    setWindowTitle(QString::fromStdString(dlg.m_strCaption));
    // A modal frame with caption and system menu: a close box, no minimise or maximise box.
    Qt::WindowFlags flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    // The main window is a window of its own, so the task bar shows it.
    setWindowFlags(flags | (kind == MainWindow ? Qt::Window : Qt::Dialog));
    setSizeGripEnabled(false);
    QFont font = QtUi::DialogFont(dlg);
    setFont(font);
    const QSize base = BaseUnits(font);
    QRect client = ToPixels(base, 0, 0, dlg.m_cx, dlg.m_cy);
    setFixedSize(client.size());

    for (const ui::DialogControl& dc : dlg.m_controls) {
        QWidget* w = MakeControl(dc, base);
        w->setObjectName(QStringLiteral("ctl%1").arg(dc.m_nId));
        if (dc.m_nId != ui::kIdStatic)
            m_controls[dc.m_nId] = w;
        m_tabOrder.push_back(w);
    }
    for (std::size_t i = 1; i < m_tabOrder.size(); ++i)
        QWidget::setTabOrder(m_tabOrder[i - 1], m_tabOrder[i]);

    FocusFirstControl(); // taken when the dialog is shown

}

QWidget* TemplateDialog::MakeControl(const ui::DialogControl& dc, const QSize& base) {
    const unsigned style = dc.m_nStyle;
    const QString text = QString::fromStdString(dc.m_strText);
    const QRect rect = ToPixels(base, dc.m_x, dc.m_y, dc.m_cx, dc.m_cy);
    QWidget* w = nullptr;
    switch (dc.m_kind) {
    case ui::ControlKind::PushButton: {
        auto* b = new QPushButton(text, this);
        b->setAutoDefault(true); // a focused button takes Enter
        b->setDefault((style & ui::kStyleDefault) != 0);
        connect(b, &QPushButton::clicked, this, [this, id = dc.m_nId] {
            if (m_onCommand)
                m_onCommand(id);
        });
        w = b;
        break;
    }
    case ui::ControlKind::CheckBox: {
        auto* c = new QCheckBox(text, this);
        connect(c, &QCheckBox::clicked, this, [this, id = dc.m_nId] {
            if (m_onCommand)
                m_onCommand(id);
        });
        w = c;
        break;
    }
    case ui::ControlKind::Label: {
        auto* l = new QLabel(text, this);
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(((style & ui::kStyleCentre) ? Qt::AlignHCenter : Qt::AlignLeft) |
                        ((style & ui::kStyleSunken) ? Qt::AlignVCenter : Qt::AlignTop));
        if (style & ui::kStyleSunken) {
            l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            l->setLineWidth(1);
        }
        w = l;
        break;
    }
    case ui::ControlKind::Icon: {
        auto* l = new QLabel(this);
        l->setGeometry(rect);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        SetIconPicture(l, QtUi::ResourceIcon(dc.m_nIconId), 32); // the large icon, as created
        w = l;
        break;
    }
    case ui::ControlKind::Edit: {
        const Qt::Alignment align = (style & ui::kStyleCentre)  ? Qt::AlignHCenter
                                    : (style & ui::kStyleRight) ? Qt::AlignRight
                                                            : Qt::AlignLeft;
        if (style & ui::kStyleMultiline) {
            auto* t = new QTextEdit(this);
            t->setAcceptRichText(false);
            t->setReadOnly((style & ui::kStyleReadOnly) != 0);
            t->setFrameStyle((style & ui::kStyleBorder) ? QFrame::StyledPanel : QFrame::NoFrame);
            t->setTabChangesFocus(true);
            t->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            t->setAlignment(align);
            t->setProperty("octwCentre", (style & ui::kStyleCentre) != 0);
            if (style & ui::kStyleReadOnly)
                UseWindowBackground(t->viewport());
            w = t;
        } else {
            auto* e = new DropLineEdit(dc.m_nId, this);
            e->setReadOnly((style & ui::kStyleReadOnly) != 0);
            connect(e, &QLineEdit::textEdited, this, [this, id = dc.m_nId] {
                if (m_onEdit)
                    m_onEdit(id);
            });
            // Enter in a name box must not press the default button 終了 and end the program.
            if (m_kind == MainWindow)
                e->SetEnterHandler([this, e] { MoveOnFrom(e); });
            e->setFrame((style & ui::kStyleBorder) != 0);
            e->setAlignment(align | Qt::AlignVCenter);
            if (style & ui::kStyleReadOnly)
                UseWindowBackground(e);
            w = e;
        }
        break;
    }
    case ui::ControlKind::Progress: {
        auto* p = new QProgressBar(this);
        p->setRange(0, 100);
        p->setValue(0);
        p->setTextVisible(false);
        w = p;
        break;
    }
    }
    if (dc.m_kind != ui::ControlKind::Icon)
        w->setGeometry(rect);
    const bool focusable = dc.m_kind == ui::ControlKind::PushButton ||
                           dc.m_kind == ui::ControlKind::CheckBox || dc.m_kind == ui::ControlKind::Edit;
    if (focusable)
        w->setFocusPolicy((style & ui::kStyleTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
    else
        w->setFocusPolicy(Qt::NoFocus);
    if (style & ui::kStyleHidden)
        w->hide();
    return w;
}

void TemplateDialog::SetDropHandler(DropLineEdit::DropHandler handler) {
    for (auto& [id, w] : m_controls)
        if (auto* e = dynamic_cast<DropLineEdit*>(w))
            e->SetDropHandler(handler);
}

QWidget* TemplateDialog::Control(int id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void TemplateDialog::FocusFirstControl() {
    for (QWidget* w : m_tabOrder) {
        if ((w->focusPolicy() & Qt::TabFocus) && !w->isHidden() && w->isEnabled()) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void TemplateDialog::MoveOnFrom(QWidget* edit) {
    auto it = std::find(m_tabOrder.begin(), m_tabOrder.end(), edit);
    if (it == m_tabOrder.end())
        return;
    for (++it; it != m_tabOrder.end(); ++it) {
        auto* next = qobject_cast<QLineEdit*>(*it);
        if (next && !next->isReadOnly() && next->isEnabled() && !next->isHidden()) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    // From the last name box to 実行, so that a second Enter starts the run.
    QWidget* run = Control(IDC_BTN_EXECUTE);
    if (run && run->isEnabled() && !run->isHidden())
        run->setFocus(Qt::TabFocusReason);
}

void TemplateDialog::reject() {
    // Esc and the close box: the owner decides whether and how the dialog ends.
    if (m_onCommand)
        m_onCommand(IDCANCEL);
    else
        QDialog::reject();
}

void TemplateDialog::keyPressEvent(QKeyEvent* event) {
    // A stray Esc must not end the program; the close box and 終了 do.
    if (m_kind == MainWindow && event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    // No system menu to carry the about item on Linux: F1 (the controls pass it on) opens it.
    if (m_kind == MainWindow && m_onAbout &&
        (event->key() == Qt::Key_F1 || event->key() == Qt::Key_Help) &&
        event->modifiers() == Qt::NoModifier) {
        m_onAbout();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TemplateDialog::contextMenuEvent(QContextMenuEvent* event) {
    if (m_kind != MainWindow || !m_onAbout) {
        QDialog::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    QAction* about = menu.addAction(QString::fromStdString(LoadResString(IDS_ABOUTBOX)));
    // Once the menu has closed: the about box is modal and must not open inside the menu.
    connect(about, &QAction::triggered, this, [this] { m_onAbout(); }, Qt::QueuedConnection);
    for (const auto& [text, command] : m_menuCommands)
        connect(menu.addAction(text), &QAction::triggered, this, command, Qt::QueuedConnection);
    menu.exec(event->globalPos());
}

} // namespace desktop
