#pragma once
// A thin read-only cell grid: what the measurement log needs and nothing more.
//
// Cells are addressed through a current cell: set Row, then Col, then read or
// write Text. Rows 0..FixedRows-1 and columns 0..FixedCols-1 are fixed: they
// are drawn in the button-face colour and do not scroll; the other rows scroll
// vertically (one row per scroll step), the other columns horizontally (in
// pixels) while the fixed columns stay put.
//
// Row and Col accept any value. A current cell outside the grid reads as
// empty text and ignores writes, so a stray row or column number can neither
// crash nor write into a neighbouring cell.
//
// The grid is read-only for the user: clicks and keys do not edit cells and do
// not move the current cell (only the program moves it).
#include <QAbstractScrollArea>
#include <QList>
#include <QString>

class FlexGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Width a column gets until the program sets one, in twips (80 px).
    static constexpr int DefaultColWidth = 1200;
    // Bounds of the grid's size; larger requests are cut to these.
    static constexpr int MaxRows = 1000000;
    static constexpr int MaxCols = 256;

    explicit FlexGrid(QWidget* parent = nullptr);

    int Rows() const { return rows_; }
    void SetRows(int n);  // keeps the text of the rows that remain
    int Cols() const { return cols_; }
    void SetCols(int n);  // keeps the text of the columns that remain
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int n);  // cut to 0..Rows()
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int n);  // cut to 0..Cols()

    // Column widths in twips (15 per pixel). Out-of-range columns read as 0
    // and ignore writes; a negative width counts as 0.
    int ColWidth(int c) const;
    void SetColWidth(int c, int twips);

    // The current cell.
    int Row() const { return row_; }
    void SetRow(int r) { row_ = r; }
    int Col() const { return col_; }
    void SetCol(int c) { col_ = c; }
    QString Text() const { return TextMatrix(row_, col_); }
    // Repaints only the cell, and only when its text really changes.
    void SetText(const QString& s);

    // Direct read of a cell; empty outside the grid.
    QString TextMatrix(int r, int c) const;

    // Empties every cell; rows, columns, widths and the current cell stay.
    void Clear();

    // Height of every row in pixels (from the font).
    int RowHeight() const { return rowHeight_; }
    // Where a cell is drawn in the viewport, cut to the part that is not
    // covered by the fixed cells; empty when the cell is not in view.
    QRect CellRect(int r, int c) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

private:
    bool validCell(int r, int c) const { return r >= 0 && r < rows_ && c >= 0 && c < cols_; }
    qsizetype index(int r, int c) const { return qsizetype(r) * cols_ + c; }
    int colPx(int c) const;
    int fixedWidthPx() const;
    int fixedHeightPx() const { return fixedRows_ * rowHeight_; }
    int cellX(int c) const;  // left edge in the viewport (before clipping)
    int cellY(int r) const;  // top edge in the viewport; INT_MIN when scrolled out above
    QRect regionOf(int r, int c) const;
    void updateRowHeight();
    void updateScrollBars();

    int rows_ = 2;
    int cols_ = 2;
    int fixedRows_ = 1;
    int fixedCols_ = 1;
    int row_ = 1;
    int col_ = 1;
    int rowHeight_ = 16;
    QList<int> widths_;    // twips
    QList<QString> cells_;  // rows_ * cols_, row after row
};
