#pragma once
// The log CSV file: a copy of grid rows, six cells joined by ",", CR LF line
// ends, Shift-JIS bytes. Only ever appended to.
#include <QString>
#include <cstdint>

class FlexGrid;

// Appends grid row logGridRow to the file; when the file cannot be opened for
// reading (it is new), grid rows 0..3 go first. Cells are read through
// GetGridCell, so the grid's current cell ends on (logGridRow, 5).
// Everything of one call is written as one block, then flushed and closed, so
// a line is never left half written. Returns false, with an error text that
// names the file in *error, when the file cannot be opened or written, or when
// logGridRow is not a row of the grid (then nothing is written).
bool AppendLogRowToFile(const QString& fileName, FlexGrid& grid, int32_t logGridRow, QString* error = nullptr);
