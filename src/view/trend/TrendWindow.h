#pragma once
// The window "トレンド": the trend of slots A to D, one chart per slot sharing
// the x axis (cycle number, or the PC time), with each slot's statistics and
// lower/upper limit inputs beside its chart.
//
// Cycles arrive through addCycle(); the picture and the statistics follow at
// most ten times a second (a timer coalesces them), and not at all while the
// window is hidden. Closing the window hides it. The limits are kept in
// <data folder>/Trend.ini.
#include "engine/stats/TrendLog.h"
#include "view/trend/TrendChart.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

// A statistic beside the chart: the log's engineering notation ("12.103e-3",
// "1.501"), rounded to StatisticDigits significant digits; "-" for none.
constexpr int StatisticDigits = 5;
QString StatisticText(double v);

class TrendWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int RedrawIntervalMs = 100;

    explicit TrendWindow(const QString& dataFolder, QWidget* parent = nullptr);

    void addCycle(const CycleRecord& record);
    void setItems(const MeasItemArray& items);
    void clear();
    // Shows the log file instead of what was shown. Returns an error text
    // naming the file (and the line) when it is not a log, and then nothing
    // changes; or the text naming lines that were skipped; else an empty one.
    QString loadLogFile(const QString& path);
    // Return an error text naming the file, or an empty one.
    QString exportPng(const QString& path);
    QString exportStatsCsv(const QString& path);

    // Sets a slot's limits as the inputs do: shown, counted, saved.
    void setLimits(int slot, std::optional<double> lower, std::optional<double> upper);
    void setXAxis(TrendXAxis x);
    // Draws and updates the statistics now instead of at the next timer tick.
    void redrawNow();

    const TrendLog& log() const { return log_; }
    const TrendChart& chart() const { return chart_; }
    QString statsText(int slot) const;

    // Seams for the dialogs. The defaults open window-modal dialogs that call
    // back (no nested event loop); tests put in functions that answer at once.
    enum class FileAsk { OpenLog, SavePng, SaveStatsCsv };
    using AskFile = std::function<void(FileAsk, std::function<void(const QString&)>)>;
    using ShowError = std::function<void(const QString&)>;
    void setAskFile(AskFile ask) { askFile_ = std::move(ask); }
    void setShowError(ShowError show) { showError_ = std::move(show); }

public slots:
    void askOpenLog();
    void askExportPng();
    void askExportStatsCsv();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void scheduleRedraw();
    void timerRedraw();
    void updateTitles();
    void updateStats();
    void applyLimitInputs(int slot);
    void showLimitInputs(int slot);
    void reportIfError(const QString& error);
    void defaultAskFile(FileAsk kind, std::function<void(const QString&)> done);
    void defaultShowError(const QString& text);

    QString dataFolder_;
    QString lastFolder_;
    TrendLog log_;
    TrendChart chart_;
    QTimer redrawTimer_;
    struct SlotView {
        QGroupBox* box = nullptr;
        QLabel* stats = nullptr;
        QLineEdit* lower = nullptr;
        QLineEdit* upper = nullptr;
    };
    std::array<SlotView, 4> views_;
    QCheckBox* pcTime_ = nullptr;
    QLabel* source_ = nullptr;
    AskFile askFile_;
    ShowError showError_;
};

}  // namespace qm
