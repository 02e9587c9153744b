#pragma once
// The measurement log window "自動測定のログ": the log grid (five frozen rows
// above one row per logged cycle) and the button that opens the trend. It
// shows the run's cycle records; the texts are the records' own, so the grid
// and the log file agree.
#include "engine/model/CycleRecord.h"

#include <QWidget>

class QCloseEvent;
class QPushButton;

namespace qm {

class LogGrid;
class LogTableModel;

class AMLogForm : public QWidget {
    Q_OBJECT
public:
    // A top-level window without owner; the caller shows it (modeless).
    AMLogForm();
    ~AMLogForm() override;

    LogGrid& grid() const { return *grid_; }
    QPushButton& trendButton() const { return *trendButton_; }

    // The slots' source, kind and unit, shown from the next logged cycle on.
    void setItems(const MeasItemArray& items);
    // A logged cycle: its line into the next row (after the 10000th row the
    // first again, so the grid keeps the latest 10000 lines) and into "Last".
    void addRecord(const CycleRecord& record);
    // Empties every row and the slots' texts; the labels stay and the next
    // line takes the first row.
    void clear();

signals:
    void trendRequested();

protected:
    // The close box hides the window; the window, its grid and its rows stay.
    void closeEvent(QCloseEvent* event) override;

private:
    LogTableModel* model_;
    LogGrid* grid_;
    QPushButton* trendButton_;
};

}  // namespace qm
