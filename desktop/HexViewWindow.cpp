#include "desktop/HexViewWindow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

namespace desktop {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Columns of a row, in characters: the address, FILE A's bytes, FILE B's bytes.
constexpr int kAdrsChars = 14;
constexpr int kHexChars = HexRow::kBytes * 3 - 1;
constexpr int kColumnA = kAdrsChars;
constexpr int kColumnB = kColumnA + kHexChars + 3;
constexpr int kRowChars = kColumnB + kHexChars;
// Rows shown above the current address when the view jumps to it.
constexpr int kContextRows = 4;

} // namespace

// The rows, painted in a fixed-width font with the differing bytes on red.
class HexRowsPane : public QWidget {
public:
    explicit HexRowsPane(const HexViewWindow& owner, QWidget* parent)
        : QWidget(parent), m_owner(owner) {
        setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        const QFontMetrics fm(font());
        // Each byte is drawn at its own place, so a face whose digits differ in width keeps the
        // columns straight.
        for (QChar c : QStringLiteral("0123456789ABCDEF h"))
            m_nCharWidth = std::max(m_nCharWidth, fm.horizontalAdvance(c));
        setFixedSize(m_nCharWidth * (kRowChars + 2),
                     fm.lineSpacing() * (HexViewWindow::kRows + 1) + 8);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().base());
        const QFontMetrics fm(font());
        const int cw = m_nCharWidth, lh = fm.lineSpacing();
        const int x0 = cw, y0 = 4;
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(x0, y0 + fm.ascent(), QStringLiteral("アドレス"));
        p.drawText(x0 + kColumnA * cw, y0 + fm.ascent(), QStringLiteral("FILE A"));
        p.drawText(x0 + kColumnB * cw, y0 + fm.ascent(), QStringLiteral("FILE B"));
        int y = y0 + lh;
        for (const HexRow& row : m_owner.Rows()) {
            p.setPen(palette().color(QPalette::Text));
            p.drawText(x0, y + fm.ascent(), Q(CMyHexView::AdrsText(row.m_i64Adrs)));
            for (int f = 0; f < 2; ++f) {
                const int col = x0 + (f == 0 ? kColumnA : kColumnB) * cw;
                const QString hex = Q(CMyHexView::HexText(row, f));
                for (int i = 0; i < HexRow::kBytes; ++i) {
                    const QRect cell(col + i * 3 * cw - cw / 2, y, 3 * cw, lh);
                    const bool differs = row.m_nDiffMask & (1u << i);
                    if (differs)
                        p.fillRect(cell, QColor(255, 190, 190));
                    if (row.m_i64Adrs + i == m_owner.CurrentAdrs()) {
                        p.setPen(QColor(0, 70, 200));
                        p.drawRect(cell.adjusted(0, 0, -1, -1));
                    }
                    p.setPen(differs ? QColor(170, 0, 0) : palette().color(QPalette::Text));
                    p.drawText(col + i * 3 * cw, y + fm.ascent(), hex.mid(i * 3, 2));
                }
            }
            y += lh;
        }
    }

private:
    const HexViewWindow& m_owner;
    int m_nCharWidth = 1;
};

HexViewWindow::HexViewWindow(const CMyDiffMap& map, FilesSource files, QWidget* parent)
    : QWidget(parent, Qt::Window), m_view(map), m_files(std::move(files)) {
    setWindowTitle(QStringLiteral("データの比較表示"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    m_pFileA = new QLabel(this);
    m_pFileB = new QLabel(this);
    for (QLabel* l : {m_pFileA, m_pFileB}) {
        l->setTextFormat(Qt::PlainText);
        l->setTextInteractionFlags(Qt::NoTextInteraction);
        layout->addWidget(l);
    }
    m_pPane = new HexRowsPane(*this, this);
    layout->addWidget(m_pPane);
    auto* buttons = new QHBoxLayout;
    auto* prev = new QPushButton(QStringLiteral("◀ 前の相違 (Shift+F6)"), this);
    auto* next = new QPushButton(QStringLiteral("次の相違 (F6) ▶"), this);
    prev->setObjectName(QStringLiteral("prevDiff"));
    next->setObjectName(QStringLiteral("nextDiff"));
    m_pStatus = new QLabel(this);
    m_pStatus->setTextFormat(Qt::PlainText);
    buttons->addWidget(prev);
    buttons->addWidget(next);
    buttons->addWidget(m_pStatus, 1);
    layout->addLayout(buttons);
    for (QPushButton* b : {prev, next})
        b->setFocusPolicy(Qt::NoFocus); // the keys stay with the window
    connect(prev, &QPushButton::clicked, this, [this] { PrevDiff(); });
    connect(next, &QPushButton::clicked, this, [this] { NextDiff(); });
}

HexViewWindow::~HexViewWindow() = default;

bool HexViewWindow::ShowFrom(std::int64_t i64Top) {
    const auto [a, b] = m_files();
    m_view.SetFiles(a, b);
    m_pFileA->setText(QStringLiteral("FILE A: ") + Q(a));
    m_pFileB->setText(QStringLiteral("FILE B: ") + Q(b));
    std::vector<HexRow> rows;
    const bool read = m_view.ReadRows(i64Top, kRows, &rows) == 0;
    if (!read) {
        SayFailure();
    } else if (!rows.empty() || i64Top == 0) {
        m_rows.swap(rows);
        m_i64Top = i64Top / HexRow::kBytes * HexRow::kBytes;
    }
    m_pPane->update();
    return read;
}

void HexViewWindow::GoTo(std::int64_t i64Adrs) {
    m_i64Current = std::max<std::int64_t>(i64Adrs, 0);
    if (ShowFrom(std::max<std::int64_t>(m_i64Current - kContextRows * HexRow::kBytes, 0)))
        m_pStatus->setText(QStringLiteral("現在位置 ") + Q(CMyHexView::AdrsText(m_i64Current)));
}

void HexViewWindow::Scroll(std::int64_t nRows) {
    ShowFrom(std::max<std::int64_t>(m_i64Top + nRows * HexRow::kBytes, 0));
}

int HexViewWindow::Step(bool bForward, std::int64_t i64From) {
    const auto [a, b] = m_files();
    m_view.SetFiles(a, b);
    std::int64_t adrs = 0;
    const int r = bForward ? m_view.NextDiff(i64From, &adrs) : m_view.PrevDiff(i64From, &adrs);
    if (r < 0)
        SayFailure();
    else if (r > 0)
        GoTo(adrs);
    return r;
}

void HexViewWindow::NextDiff() {
    if (Step(true, m_i64Current) == 0)
        m_pStatus->setText(QStringLiteral("これより後に異なるデータはありません。"));
}

void HexViewWindow::PrevDiff() {
    if (Step(false, m_i64Current) == 0)
        m_pStatus->setText(QStringLiteral("これより前に異なるデータはありません。"));
}

void HexViewWindow::GoToDiffFrom(std::int64_t i64Adrs) {
    if (Step(true, i64Adrs - 1) == 0)
        GoTo(i64Adrs);
}

void HexViewWindow::SayFailure() {
    m_pStatus->setText(m_view.ErrorFile() == 0 ? QStringLiteral("※ファイルAの読みとりに失敗")
                                               : QStringLiteral("※ファイルBの読みとりに失敗"));
}

QString HexViewWindow::StatusText() const {
    return m_pStatus->text();
}

void HexViewWindow::keyPressEvent(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_F6:
        shift ? PrevDiff() : NextDiff();
        return;
    case Qt::Key_Up:
        Scroll(-1);
        return;
    case Qt::Key_Down:
        Scroll(1);
        return;
    case Qt::Key_PageUp:
        Scroll(-kRows);
        return;
    case Qt::Key_PageDown:
        Scroll(kRows);
        return;
    case Qt::Key_Escape:
        close();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void HexViewWindow::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 40; // three rows a notch
    if (steps != 0)
        Scroll(-steps);
    event->accept();
}

} // namespace desktop
