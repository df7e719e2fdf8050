#pragma once
// The difference map: the whole compared length as a grid of the engine's buckets, each coloured
// by how many of its bytes differ, redrawn from the live counts while a run goes on and kept after
// it. Hovering names a bucket's addresses and count; a click shows both files there.
#include "desktop/HexViewWindow.h"
#include "engine/CMyDiffMap.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QTimer;

namespace desktop {

class QtUi;
class MapGrid;

class DiffMapWindow : public QWidget {
public:
    // Columns of the grid: 4,096 buckets make a square of 64 by 64.
    static constexpr int kColumns = 64;
    // How often the live counts are drawn anew.
    static constexpr int kRefreshMs = 200;

    DiffMapWindow(const CMyDiffMap& map, HexViewWindow::FilesSource files, QWidget* parent);

    // The bucket under a point of the grid, -1 for none; the cell a bucket is drawn in.
    int BucketAt(const QPoint& pos) const;
    QRect BucketRect(int nBucket) const;
    QWidget* Grid() const;
    QString SummaryText() const;
    QString HoverText() const;
    // Opens the view of both files at the bucket's first difference (its start when it has none).
    void OpenBucket(int nBucket);
    HexViewWindow* HexView() const { return m_pHexView; }
    // The counts as last drawn, bucket by bucket.
    const std::vector<std::int64_t>& DrawnCounts() const { return m_drawn; }

    // Adds the map's command to the main window's menu each time the backend makes the window.
    static void Install(QtUi& ui);
    // The map opened from a main window, if any.
    static DiffMapWindow* Of(const QWidget* mainWindow);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    friend class MapGrid;
    void Refresh();
    void Hover(int nBucket);

    const CMyDiffMap& m_map;
    HexViewWindow::FilesSource m_files;
    MapGrid* m_pGrid = nullptr;
    QLabel* m_pSummary = nullptr;
    QLabel* m_pHover = nullptr;
    QTimer* m_pTimer = nullptr;
    QPointer<HexViewWindow> m_pHexView;
    std::vector<std::int64_t> m_drawn;
};

} // namespace desktop
