#pragma once
// The four stacked trend charts of slots A to D in one QCustomPlot: one axis
// rect per slot with its title above, the x axes sharing one range.
//
// Drawing cost is bounded so that a run stays smooth with 10000 points per
// slot: the kept points are drawn on the plot's main layer, and the points
// added since the last full drawing go to graphs on a separately buffered top
// layer, so a new cycle redraws only that layer. A full drawing happens when
// a new point falls outside the axes (which keep some headroom), after
// RecentMax new points, or after a change of data, titles, limits or x axis.
#include "engine/stats/TrendLog.h"

#include <QPointF>
#include <QString>
#include <QVector>
#include <array>

class QCustomPlot;
class QCPAxisRect;
class QCPGraph;
class QCPItemStraightLine;
class QCPLayer;
class QCPTextElement;
class QWidget;

namespace qm {

enum class TrendXAxis { Cycle, PcTime };

class TrendChart {
public:
    static constexpr int RecentMax = 200;      // new points drawn on the top layer before a full drawing
    static constexpr int MarkerMaxPoints = 500;  // points per slot up to which every point gets a marker
    // On the time axis the line stops across a pause longer than GapSteps
    // times the usual step from one cycle to the next (and than MinGapSeconds);
    // on both axes it stops where the cycle numbering starts again or jumps.
    static constexpr double GapSteps = 3.0;
    static constexpr double MinGapSeconds = 1.0;

    explicit TrendChart(QWidget* parent);
    QCustomPlot* plot() const { return plot_; }

    void setTitles(const std::array<QString, 4>& titles);
    void setXAxis(TrendXAxis x);
    TrendXAxis xAxis() const { return xAxis_; }

    // Everything changed (data, limits): the next redraw() draws it all anew.
    void invalidate() { needFull_ = true; }
    // Shows the log's newest point (after TrendLog::add).
    void appendLast(const TrendLog& log);
    // Draws what changed since the last call; `immediate` paints before
    // returning instead of at the next paint event. Returns true if it drew.
    bool redraw(const TrendLog& log, bool immediate);
    bool fullPending() const { return needFull_; }

    // What the charts show, for checks: the points with a value (key, value)
    // in order, the points marked outside the limits, and the limit lines.
    QVector<QPointF> shownPoints(int slot) const;
    QVector<QPointF> shownOutside(int slot) const;
    // The points of each unbroken piece of the line, in order.
    QList<int> shownLines(int slot) const;
    // Where the x axis has its ticks (after a drawing).
    QVector<double> shownTicks() const;
    std::optional<double> shownLimit(int slot, bool upper) const;
    QString shownTitle(int slot) const;
    int fullDrawings() const { return fullDrawings_; }

private:
    struct Slot {
        QCPAxisRect* rect = nullptr;
        QCPTextElement* title = nullptr;
        QCPGraph* line = nullptr;        // kept points, main layer
        QCPGraph* outside = nullptr;     // kept points outside the limits, main layer
        QCPGraph* newLine = nullptr;     // points since the last full drawing, top layer
        QCPGraph* newOutside = nullptr;
        QCPItemStraightLine* limitLine[2] = {nullptr, nullptr};  // lower, upper
        bool seeded = false;  // newLine starts with a copy of line's last point
    };
    double keyOf(const TrendPoint& p) const;
    bool breaksLine(const TrendPoint& before, const TrendPoint& p) const;
    // The median step (s) from one cycle to the next within a run; -1 when none.
    static double usualTimeStep(const TrendLog& log);
    void drawAll(const TrendLog& log);
    void setMarkers(bool on);

    QCustomPlot* plot_;
    QCPLayer* newLayer_;
    std::array<Slot, 4> slots_;
    TrendXAxis xAxis_ = TrendXAxis::Cycle;
    bool needFull_ = true;
    bool newDirty_ = false;
    int newCount_ = 0;
    int fullDrawings_ = 0;
    double timeStep_ = -1;  // the usual step on the time axis at the last full drawing; -1: not known
};

}  // namespace qm
