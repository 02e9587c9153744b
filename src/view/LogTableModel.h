#pragma once
// The measurement log as a table: the latest 10000 logged cycles in a ring of
// rows, and the five rows the grid keeps above them (titles; the slots'
// channel, kind and unit; the "Last" row that repeats the latest line). The
// texts are the cycle records' own, so the grid and the log file agree.
//
// Columns of the table are Time and A to D; the cycle number is each row's
// label (the vertical header), so it stays in view when the grid scrolls
// sideways. A new line is told by dataChanged() of its row alone, which
// covers its label too. The five frozen rows are read through frozenText().
#include "engine/model/CycleRecord.h"

#include <QAbstractTableModel>
#include <vector>

namespace qm {

class LogTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int FrozenRows = 5;   // titles, Ch, Type, Unit, Last
    static constexpr int LogRows = 10000;  // the ring of logged lines
    static constexpr int Columns = 5;      // Time, A, B, C, D

    explicit LogTableModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // A cell of a logged line (empty rows read empty).
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Vertical: the cycle number of the row's line; horizontal: the title.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The text of a frozen row (0..4) in a grid column: 0 is the label
    // column ("", "Ch", "Type", "Unit", "Last"), 1..5 are Time and A to D.
    QString frozenText(int frozenRow, int gridColumn) const;

    // The slots' channel, kind and unit, shown from the next logged line on.
    void setItems(const MeasItemArray& items) { items_ = items; }
    // A logged line: into the next row of the ring (after the last row the
    // first one again, so the latest 10000 lines stay), and into "Last"; the
    // slots' texts are shown as they are now.
    void addRecord(const CycleRecord& record);
    // Empties every row and the slots' texts; the next line takes the first row.
    void clear();
    // The row (0..9999) that takes the next line.
    int nextRow() const { return nextRow_; }

signals:
    // The texts of frozen rows first..last changed.
    void frozenRowsChanged(int first, int last);

private:
    std::vector<CycleRecord> rows_;  // cycle 0: an empty row
    MeasItemArray items_;            // as last read
    MeasItemArray shownItems_;       // as the frozen rows show them
    CycleRecord last_;               // the latest line (cycle 0: none)
    int nextRow_ = 0;
};

}  // namespace qm
