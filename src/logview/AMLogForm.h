#pragma once
// The measurement log window: one grid with five fixed header rows (titles,
// channel, kind, unit, and the "Last" row that repeats the latest result) and
// one row per logged cycle below them.
#include "engine/instrument/InstrumentConfig.h"
#include "engine/run/MeasRecords.h"

#include <QWidget>
#include <cstdint>

class FlexGrid;
class QCloseEvent;

// The run's state the window reads (and, for AcqTime, writes).
struct LogViewRefs {
    AMLogArray& AMLog;
    int32_t& CycleNo;
    int32_t& LogGridRow;
    MeasItemArray& MeasItem;
    InstrumentConfig& DsoConfig;
};

class AMLogForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int LogHeaderRows = 5;     // rows 0..4: titles, Ch, Type, Unit, Last
    static constexpr int LogRowCount = 10000;   // log rows 5..10004

    // A top-level window without owner; the caller shows it (modeless).
    // Runs Form_Load.
    explicit AMLogForm(const LogViewRefs& refs);

    FlexGrid* AMLogGrid = nullptr;

    // 10005 rows, column widths 0.7 / 1.9 / 1.3 x the grid's column-0 width
    // (ties to even), then the labels. Runs once from the constructor.
    void Form_Load();
    // Writes the fixed labels (row 0 and column 0 of rows 1..3); no other cell.
    void Init_Log_Grid();
    // The update after a cycle's values are stored: header rows 1..3 from
    // MeasItem; the line of AMLog(CycleNo), stamped with the PC's date and time
    // (also stored into DsoConfig.AcqTime), into row LogGridRow and, with
    // "Last" in column 0, into row 4; the grid made visible.
    // CycleNo outside 0..10000: no cell changes and AMLog is not read.
    // LogGridRow outside 5..Rows()-1: only the "Last" row is written.
    // Only this explicit call updates; repainting the window does not.
    void Form_Paint();
    // Hides the grid, empties every cell, writes the labels, shows the grid.
    void ResetGrid();

protected:
    // The close box hides the window; the window, its grid and its rows stay.
    void closeEvent(QCloseEvent* event) override;

private:
    LogViewRefs refs_;
};
