#include "view/LogTableModel.h"

namespace qm {

namespace {
const QString kTitles[LogTableModel::Columns] = {QStringLiteral("Time"), QStringLiteral("A"), QStringLiteral("B"),
                                                  QStringLiteral("C"), QStringLiteral("D")};
// "Last" shows only once a line is logged.
const QString kLabels[LogTableModel::FrozenRows] = {QString(), QStringLiteral("Ch"), QStringLiteral("Type"),
                                                     QStringLiteral("Unit"), QStringLiteral("Last")};

// Time, then A to D.
QString LineCell(const CycleRecord& r, int column) {
    if (r.cycle == 0) return {};
    return column == 0 ? r.timeText : r.cells[size_t(column - 1)];
}
}  // namespace

LogTableModel::LogTableModel(QObject* parent) : QAbstractTableModel(parent), rows_(LogRows) {}

int LogTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : LogRows; }

int LogTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Columns; }

QVariant LogTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    return LineCell(rows_[size_t(index.row())], index.column());
}

QVariant LogTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return section >= 0 && section < Columns ? kTitles[section] : QVariant();
    if (section < 0 || section >= LogRows) return {};
    const int32_t cycle = rows_[size_t(section)].cycle;
    return cycle == 0 ? QString() : QString::number(cycle);
}

QString LogTableModel::frozenText(int frozenRow, int gridColumn) const {
    if (frozenRow < 0 || frozenRow >= FrozenRows || gridColumn < 0 || gridColumn > Columns) return {};
    if (gridColumn == 0) return frozenRow == 4 && last_.cycle == 0 ? QString() : kLabels[frozenRow];
    const int column = gridColumn - 1;
    const int slot = column - 1;  // A..D
    switch (frozenRow) {
    case 0: return kTitles[column];
    case 1: return slot >= 0 ? shownItems_[size_t(slot)].source : QString();
    case 2: return slot >= 0 ? shownItems_[size_t(slot)].kind : QString();
    case 3: return slot >= 0 ? shownItems_[size_t(slot)].unit : QString();
    default: return LineCell(last_, column);
    }
}

void LogTableModel::addRecord(const CycleRecord& record) {
    const int row = nextRow_;
    rows_[size_t(row)] = record;
    last_ = record;
    nextRow_ = (nextRow_ + 1) % LogRows;
    // The row's label (its cycle number) changes with it: a view shows both
    // from this one signal (a header change per line would cost a view a
    // relayout of its headers each time).
    emit dataChanged(index(row, 0), index(row, Columns - 1), {Qt::DisplayRole});
    // The slots' texts change rarely; "Last" with every line.
    bool itemsChanged = false;
    for (size_t k = 0; k < items_.size(); ++k) {
        const MeasItemRecord& a = items_[k];
        const MeasItemRecord& b = shownItems_[k];
        itemsChanged = itemsChanged || a.source != b.source || a.kind != b.kind || a.unit != b.unit;
    }
    if (itemsChanged) shownItems_ = items_;
    emit frozenRowsChanged(itemsChanged ? 1 : 4, 4);
}

void LogTableModel::clear() {
    for (CycleRecord& r : rows_) r = CycleRecord{};
    last_ = CycleRecord{};
    shownItems_ = MeasItemArray{};
    nextRow_ = 0;
    emit dataChanged(index(0, 0), index(LogRows - 1, Columns - 1), {Qt::DisplayRole});
    emit headerDataChanged(Qt::Vertical, 0, LogRows - 1);
    emit frozenRowsChanged(1, 4);
}

}  // namespace qm
