#pragma once
// Cell operations on the log grid. Each addresses a cell by moving the grid's
// current cell (Row, then Col, then Text), so the current cell is left on the
// last cell touched. A text list shorter than the range writes empty text into
// the remaining cells. Rows and columns past the grid's end are skipped (a
// range that runs past it stops at the grid's last row or column).
#include <QString>
#include <QStringList>

class FlexGrid;

// Writes text into (row, col).
void SetGridCell(FlexGrid& grid, int row, int col, const QString& text);
// For c = firstCol..lastCol writes texts[c - firstCol] into (row, c).
void SetGridRow(FlexGrid& grid, int row, int firstCol, int lastCol, const QStringList& texts);
// For c = 0..lastCol writes texts[c] into (row, c).
void SetGridRow(FlexGrid& grid, int row, int lastCol, const QStringList& texts);
// For r = firstRow..lastRow writes texts[r - firstRow] into (r, col).
void SetGridColumn(FlexGrid& grid, int col, int firstRow, int lastRow, const QStringList& texts);
// The text of (row, col).
QString GetGridCell(FlexGrid& grid, int row, int col);
