#include "desktop/DiffMapWindow.h"

#include "app/CMyMainDlg.h"
#include "desktop/QtUi.h"
#include "desktop/TemplateDialog.h"
#include "util/PathUtil.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace desktop {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QString Grouped(std::int64_t n) {
    std::string text = std::to_string(n);
    AddComma(&text);
    return Q(text);
}

constexpr const char* kHint = "色の濃いマスほど異なるバイトが多い範囲です。クリックすると、"
                              "その場所の両ファイルの内容を表示します。";

// Pale where the bucket agrees; from yellow to dark red as more of its bytes differ, on a
// logarithmic scale so that a single byte still shows.
QColor BucketColour(std::int64_t count, std::int64_t length) {
    if (count <= 0)
        return QColor(226, 236, 226);
    const double t = length > 1 ? std::log1p(static_cast<double>(count)) /
                                      std::log1p(static_cast<double>(length))
                                : 1.0;
    const double s = std::clamp(t, 0.0, 1.0);
    return QColor::fromHsvF(static_cast<float>((1.0 - s) * 50.0 / 360.0),
                            static_cast<float>(0.55 + 0.45 * s), static_cast<float>(1.0 - 0.4 * s));
}

// The main window ends hidden, not closed: its map, a window of its own, is closed with it.
class HideFollower : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide && !event->spontaneous())
            if (auto* map = DiffMapWindow::Of(static_cast<QWidget*>(watched)))
                map->close();
        return false;
    }
};

} // namespace

class MapGrid : public QWidget {
public:
    explicit MapGrid(DiffMapWindow& owner) : QWidget(&owner), m_owner(owner) {
        setMouseTracking(true);
        setFixedSize(DiffMapWindow::kColumns * 9, DiffMapWindow::kColumns * 6);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().window());
        const CMyDiffMap& map = m_owner.m_map;
        const int n = static_cast<int>(m_owner.m_drawn.size());
        for (int i = 0; i < n; ++i) {
            const QRect cell = m_owner.BucketRect(i);
            p.fillRect(cell.adjusted(0, 0, -1, -1),
                       BucketColour(m_owner.m_drawn[static_cast<std::size_t>(i)],
                                    map.BucketEnd(i) - map.BucketFirst(i)));
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        m_owner.Hover(m_owner.BucketAt(event->position().toPoint()));
        if (!m_owner.HoverText().isEmpty())
            QToolTip::showText(event->globalPosition().toPoint(), m_owner.HoverText(), this);
    }
    void leaveEvent(QEvent*) override { m_owner.Hover(-1); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        const int bucket = m_owner.BucketAt(event->position().toPoint());
        if (event->button() == Qt::LeftButton && bucket >= 0)
            m_owner.OpenBucket(bucket);
    }

private:
    DiffMapWindow& m_owner;
};

DiffMapWindow::DiffMapWindow(const CMyDiffMap& map, HexViewWindow::FilesSource files,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), m_map(map), m_files(std::move(files)) {
    setWindowTitle(QStringLiteral("差分マップ"));
    setObjectName(QStringLiteral("octwDiffMap"));
    auto* layout = new QVBoxLayout(this);
    m_pSummary = new QLabel(this);
    m_pGrid = new MapGrid(*this);
    m_pHover = new QLabel(this);
    auto* hint = new QLabel(QString::fromUtf8(kHint), this);
    hint->setWordWrap(true);
    for (QLabel* l : {m_pSummary, m_pHover, hint})
        l->setTextFormat(Qt::PlainText);
    layout->addWidget(m_pSummary);
    layout->addWidget(m_pGrid);
    layout->addWidget(m_pHover);
    layout->addWidget(hint);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(kRefreshMs);
    connect(m_pTimer, &QTimer::timeout, this, [this] { Refresh(); });
    Refresh();
}

void DiffMapWindow::showEvent(QShowEvent* event) {
    Refresh();
    m_pTimer->start(); // polled only while it is on screen
    QWidget::showEvent(event);
}

DiffMapWindow* DiffMapWindow::Of(const QWidget* mainWindow) {
    // By name: without a meta-object of its own, a cast by Qt's type would take any widget.
    return dynamic_cast<DiffMapWindow*>(
        mainWindow->findChild<QWidget*>(QStringLiteral("octwDiffMap"), Qt::FindDirectChildrenOnly));
}

QWidget* DiffMapWindow::Grid() const {
    return m_pGrid;
}

void DiffMapWindow::Refresh() {
    const int n = m_map.Buckets();
    std::vector<std::int64_t> counts(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        counts[static_cast<std::size_t>(i)] = m_map.Count(i);
    if (counts != m_drawn) {
        m_drawn.swap(counts);
        m_pGrid->update();
    }
    m_pSummary->setText(SummaryText());
}

QString DiffMapWindow::SummaryText() const {
    if (m_map.Buckets() == 0)
        return QStringLiteral("まだ比較していません。");
    std::int64_t total = 0;
    for (std::int64_t c : m_drawn)
        total += c;
    return QStringLiteral("比較した長さ %1 バイト　不一致 %2 バイト")
        .arg(Grouped(m_map.Length()), Grouped(total));
}

QString DiffMapWindow::HoverText() const {
    return m_pHover->text();
}

void DiffMapWindow::Hover(int nBucket) {
    m_pHover->setText(nBucket < 0 ? QString() : Q(CMyHexView::BucketText(m_map, nBucket)));
}

QRect DiffMapWindow::BucketRect(int nBucket) const {
    const int n = std::max(static_cast<int>(m_drawn.size()), 1);
    const int cols = std::min(n, kColumns);
    const int rows = (n + cols - 1) / cols;
    const int w = m_pGrid->width() / cols;
    const int h = std::min(m_pGrid->height() / rows, std::max(w, 12));
    return QRect(nBucket % cols * w, nBucket / cols * h, w, h);
}

int DiffMapWindow::BucketAt(const QPoint& pos) const {
    const int n = static_cast<int>(m_drawn.size());
    if (n == 0 || pos.x() < 0 || pos.y() < 0)
        return -1;
    const QRect first = BucketRect(0);
    const int cols = std::min(n, kColumns);
    const int col = pos.x() / first.width(), row = pos.y() / first.height();
    const int i = row * cols + col;
    return col < cols && i < n ? i : -1;
}

void DiffMapWindow::OpenBucket(int nBucket) {
    if (nBucket < 0 || nBucket >= m_map.Buckets())
        return;
    if (!m_pHexView)
        m_pHexView = new HexViewWindow(m_map, m_files, this);
    // A bucket with differences opens at its first one: only that bucket is read to find it.
    if (m_map.Count(nBucket) > 0)
        m_pHexView->GoToDiffFrom(m_map.BucketFirst(nBucket));
    else
        m_pHexView->GoTo(m_map.BucketFirst(nBucket));
    m_pHexView->show();
    m_pHexView->raise();
    m_pHexView->activateWindow();
}

void DiffMapWindow::hideEvent(QHideEvent* event) {
    // A window of its own: it does not go with this one unless told.
    if (m_pHexView)
        m_pHexView->close();
    QToolTip::hideText();
    m_pTimer->stop();
    QWidget::hideEvent(event);
}

void DiffMapWindow::Install(QtUi& ui) {
    ui.SetWindowHook([](TemplateDialog& window, ui::HWND target) {
        auto* dlg = dynamic_cast<CMyMainDlg*>(target);
        if (dlg == nullptr)
            return;
        const CMyMakeFile& engine = dlg->m_MakeFile;
        auto open = [&window, &engine] {
            auto* map = Of(&window);
            if (map == nullptr)
                map = new DiffMapWindow(
                    engine.DiffMap(),
                    [&engine] { return std::make_pair(engine.m_strFileA, engine.m_strFileB); },
                    &window);
            map->show();
            map->raise();
            map->activateWindow();
        };
        window.AddMenuCommand(QStringLiteral("差分マップ(&M)...\tCtrl+M"), open);
        auto* key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_M), &window);
        QObject::connect(key, &QShortcut::activated, &window, open);
        window.installEventFilter(new HideFollower(&window));
    });
}

} // namespace desktop
