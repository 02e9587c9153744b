#pragma once
// The log grid: a read-only table view of the LogTableModel. Its five frozen
// rows (titles, Ch, Type, Unit, Last) are drawn in the header band above the
// lines and stay in view while the lines scroll; the column of labels and
// cycle numbers stays at the left while the other columns scroll sideways.
// Clicks and keys select and edit nothing.
#include "view/LogTableModel.h"

#include <QTableView>
#include <array>

namespace qm {

class LogGrid : public QTableView {
    Q_OBJECT
public:
    // Column widths in pixels: the labels, Time, and each of A to D.
    static constexpr int LabelWidth = 56;
    static constexpr int TimeWidth = 152;
    static constexpr int ValueWidth = 104;

    explicit LogGrid(LogTableModel& model, QWidget* parent = nullptr);

    // The text the grid shows at a row and column, counted as the user sees
    // them: rows 0..4 are the frozen rows and 5..10004 the lines; column 0
    // holds the labels and cycle numbers, 1..5 Time and A to D.
    QString shownText(int row, int column) const;
    // The height of every row, frozen or not.
    int rowHeight() const { return rowHeight_; }
    // The width that shows every column whole beside the vertical scroll bar.
    int widthForAllColumns() const;

protected:
    void updateGeometries() override;
    void changeEvent(QEvent* event) override;
    // A changed line repaints its own cells and label only, and only when in view.
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) override;

private:
    void applyRowHeight();
    void updateFrozenRows(int first, int last);

    LogTableModel& model_;
    QWidget* corner_ = nullptr;  // the labels of the frozen rows, above the cycle numbers
    int rowHeight_ = 16;
    // The frozen rows' texts as last drawn, by grid column.
    std::array<std::array<QString, LogTableModel::Columns + 1>, LogTableModel::FrozenRows> frozenShown_;
};

}  // namespace qm
