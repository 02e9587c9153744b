#include "view/GridOps.h"

#include "view/FlexGrid.h"

#include <algorithm>

namespace {
QString TextAt(const QStringList& texts, qsizetype i) { return (i >= 0 && i < texts.size()) ? texts[i] : QString(); }
}  // namespace

void SetGridCell(FlexGrid& grid, int row, int col, const QString& text) {
    grid.SetRow(row);
    grid.SetCol(col);
    grid.SetText(text);
}

void SetGridRow(FlexGrid& grid, int row, int firstCol, int lastCol, const QStringList& texts) {
    // Columns past the grid's last one cannot hold text: the walk stops there.
    lastCol = std::min(lastCol, grid.Cols() - 1);
    for (int c = firstCol; c <= lastCol; ++c) SetGridCell(grid, row, c, TextAt(texts, qsizetype(c) - firstCol));
}

void SetGridRow(FlexGrid& grid, int row, int lastCol, const QStringList& texts) {
    SetGridRow(grid, row, 0, lastCol, texts);
}

void SetGridColumn(FlexGrid& grid, int col, int firstRow, int lastRow, const QStringList& texts) {
    lastRow = std::min(lastRow, grid.Rows() - 1);
    for (int r = firstRow; r <= lastRow; ++r) SetGridCell(grid, r, col, TextAt(texts, qsizetype(r) - firstRow));
}

QString GetGridCell(FlexGrid& grid, int row, int col) {
    grid.SetRow(row);
    grid.SetCol(col);
    return grid.Text();
}
