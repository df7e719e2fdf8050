#pragma once
// A dialog built from its template: every control at its place in dialog units converted through
// the dialog's font, with its style. The main window, the about box and the overwrite question
// are all made this way.
#include "ui/DialogTemplate.h"

#include <QDialog>
#include <QLineEdit>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class QDropEvent;
class QLabel;
class QIcon;
class QTextEdit;

namespace desktop {

// A name box that takes files dropped from a file manager, when the logic asks it to.
class DropLineEdit : public QLineEdit {
public:
    using DropHandler = std::function<void(int id, const std::vector<std::string>& files)>;
    DropLineEdit(int id, QWidget* parent) : QLineEdit(parent), m_nId(id) { setAcceptDrops(false); }
    void SetAcceptFiles(bool accept);
    void SetDropHandler(DropHandler handler) { m_onDrop = std::move(handler); }
    // Enter in an editable box goes here instead of to the dialog's default button.
    void SetEnterHandler(std::function<void()> handler) { m_onEnter = std::move(handler); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The files a drag carries when this box takes them; none otherwise.
    std::vector<std::string> FilesTaken(const QDropEvent* event) const;

    int m_nId;
    bool m_bAcceptFiles = false;
    DropHandler m_onDrop;
    std::function<void()> m_onEnter;
};

class TemplateDialog : public QDialog {
public:
    enum Kind {
        Modal,      // shown with exec(); its buttons end it through the command handler
        MainWindow, // the program's window: in the task bar, with the about command
    };
    TemplateDialog(const ui::DialogTemplate& dlg, QWidget* parent, Kind kind = Modal);

    // Buttons and check boxes by id; Esc and the close box as IDCANCEL.
    void SetCommandHandler(std::function<void(int)> handler) { m_onCommand = std::move(handler); }
    void SetAboutHandler(std::function<void()> handler) { m_onAbout = std::move(handler); }
    // A further item of the main window's menu, after the about item.
    void AddMenuCommand(const QString& text, std::function<void()> command) {
        m_menuCommands.emplace_back(text, std::move(command));
    }
    void SetDropHandler(DropLineEdit::DropHandler handler);
    // The user's changes to an edit control's text, by id.
    void SetEditHandler(std::function<void(int)> handler) { m_onEdit = std::move(handler); }

    const std::map<int, QWidget*>& Controls() const { return m_controls; }
    QWidget* Control(int id) const;
    // Gives the focus to the first control of the tab order, as a dialog opens.
    void FocusFirstControl();

    // Pixels per 4 horizontal and 8 vertical dialog units: the 52 letters' mean width, rounded,
    // and the font's height.
    static QSize BaseUnits(const QFont& font);
    static QRect ToPixels(const QSize& base, int x, int y, int cx, int cy);
    static void SetIconPicture(QLabel* label, const QIcon& icon, int size);
    static void CentreLines(QTextEdit* edit);

protected:
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;
    // The about item, on the window where no control has a menu of its own.
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* MakeControl(const ui::DialogControl& dc, const QSize& base);
    // Enter in a name box of the main window: on to the next name box, from the last to 実行.
    void MoveOnFrom(QWidget* edit);

    Kind m_kind;
    std::map<int, QWidget*> m_controls;
    std::vector<QWidget*> m_tabOrder;
    std::function<void(int)> m_onCommand;
    std::function<void()> m_onAbout;
    std::vector<std::pair<QString, std::function<void()>>> m_menuCommands;
    std::function<void(int)> m_onEdit;
};

} // namespace desktop
