#pragma once
// The measurement log window: one grid with five fixed header rows (titles,
// channel, kind, unit, and the "Last" row that repeats the latest result) and
// one row per logged cycle below them. It shows the run's cycle records; the
// texts are the records' own, so the grid and the log file agree.
#include "engine/run/CycleRecord.h"

#include <QWidget>
#include <cstdint>

class FlexGrid;
class QCloseEvent;
class QPushButton;

class AMLogForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int LogHeaderRows = 5;     // rows 0..4: titles, Ch, Type, Unit, Last
    static constexpr int LogRowCount = 10000;   // log rows 5..10004

    // A top-level window without owner; the caller shows it (modeless).
    AMLogForm();

    FlexGrid* AMLogGrid = nullptr;
    // Opens the trend window.
    QPushButton* TrendButton = nullptr;

    // The slots' source, kind and unit (header rows 1..3 at the next record).
    void SetItems(const MeasItemArray& items) { items_ = items; }
    // A logged cycle: header rows 1..3 from the slots; the line into the
    // next log row and, with "Last" in column 0, into row 4. The next row
    // advances and goes back to 5 after the grid's last row, so the grid keeps
    // the latest 10000 lines.
    void AddRecord(const CycleRecord& record);
    // The row that takes the next line (5 after a reset).
    int NextRow() const { return nextRow_; }
    // Hides the grid, empties every cell, writes the labels, shows the grid;
    // the next line goes to row 5.
    void ResetGrid();

signals:
    void trendRequested();

protected:
    // The close box hides the window; the window, its grid and its rows stay.
    void closeEvent(QCloseEvent* event) override;

private:
    // 10005 rows, column widths 0.7 / 1.9 / 1.3 x the grid's column-0 width
    // (ties to even), then the labels.
    void Form_Load();
    // The grid's width that shows every column whole beside its scroll bar.
    int GridWidthForColumns() const;
    // Writes the fixed labels (row 0 and column 0 of rows 1..3); no other cell.
    void Init_Log_Grid();

    MeasItemArray items_;
    int nextRow_ = LogHeaderRows;
};
