#pragma once
// Both files side by side at one place of the difference map, 16 bytes a row in hexadecimal,
// the differing bytes marked; F6 and Shift+F6 go to the next and the previous difference.
#include "app/CMyHexView.h"

#include <QWidget>

#include <functional>
#include <string>
#include <utility>
#include <vector>

class QLabel;
class QPushButton;

namespace desktop {

class HexRowsPane;

class HexViewWindow : public QWidget {
public:
    static constexpr int kRows = 16;
    // `files` names the files of the run the map was counted from, asked anew at each read.
    using FilesSource = std::function<std::pair<std::string, std::string>()>;
    HexViewWindow(const CMyDiffMap& map, FilesSource files, QWidget* parent);
    ~HexViewWindow() override;

    // Shows the rows around `i64Adrs` and makes it the current address.
    void GoTo(std::int64_t i64Adrs);
    // Goes to the first difference at or after `i64Adrs`, or to `i64Adrs` when there is none.
    void GoToDiffFrom(std::int64_t i64Adrs);
    void NextDiff();
    void PrevDiff();
    // Moves the rows shown by `nRows` (negative: back), the current address staying.
    void Scroll(std::int64_t nRows);

    std::int64_t CurrentAdrs() const { return m_i64Current; }
    const std::vector<HexRow>& Rows() const { return m_rows; }
    // What the line under the rows says: the current address, or why it did not move.
    QString StatusText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    bool ShowFrom(std::int64_t i64Top); // false: a file could not be read, and it says so
    // The next or previous difference from `i64From`: 1 gone there, 0 none, -1 said why not.
    int Step(bool bForward, std::int64_t i64From);
    void SayFailure();

    CMyHexView m_view;
    FilesSource m_files;
    std::int64_t m_i64Current = 0;
    std::int64_t m_i64Top = 0;
    std::vector<HexRow> m_rows;
    HexRowsPane* m_pPane = nullptr;
    QLabel* m_pFileA = nullptr;
    QLabel* m_pFileB = nullptr;
    QLabel* m_pStatus = nullptr;
};

} // namespace desktop
