#include "view/trend/TrendChart.h"

#include <qcustomplot.h>

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <limits>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(TrendChart)
};
}  // namespace

namespace qm {

namespace {
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

QPixmap Disc(const QColor& color, int d) {
    QPixmap pm(d, d);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QRectF(0, 0, d, d));
    return pm;
}

// Pixmap markers: blitting is far cheaper than drawing thousands of ellipses.
QCPScatterStyle Marker(const QColor& color, int d) { return QCPScatterStyle(Disc(color, d)); }

// Cycles are whole numbers: ticks 1, 2 or 5 times a power of ten apart, at
// least 1, and sub-ticks only on whole numbers.
class CycleTicker : public QCPAxisTicker {
protected:
    double getTickStep(const QCPRange& range) override {
        const double step = QCPAxisTicker::getTickStep(range);  // 1, 2, 2.5 or 5 times a power of ten
        if (step <= 1) return 1;
        return std::floor(step) == step ? step : std::floor(step / 2) * 2;  // 2.5 -> 2
    }
    int getSubTickCount(double tickStep) override {
        const int n = QCPAxisTicker::getSubTickCount(tickStep);
        const double sub = tickStep / (n + 1);
        if (sub >= 1 && std::floor(sub) == sub) return n;
        return tickStep <= 5 ? int(tickStep) - 1 : 0;
    }
};

const QColor LineColor(0, 90, 200);
const QColor OutsideColor(220, 0, 0);
}  // namespace

TrendChart::TrendChart(QWidget* parent) : plot_(new QCustomPlot(parent)) {
    plot_->setObjectName(QStringLiteral("trendPlot"));
    plot_->setNoAntialiasingOnDrag(true);
    // Only the new points' layer keeps its own buffer.
    plot_->layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);
    plot_->addLayer(QStringLiteral("new"), plot_->layer(QStringLiteral("overlay")), QCustomPlot::limAbove);
    newLayer_ = plot_->layer(QStringLiteral("new"));
    newLayer_->setMode(QCPLayer::lmBuffered);

    plot_->plotLayout()->clear();
    auto* margins = new QCPMarginGroup(plot_);
    const QPen linePen(LineColor, 1);
    for (int k = 0; k < 4; ++k) {
        Slot& s = slots_[size_t(k)];
        s.title = new QCPTextElement(plot_, QString(QChar(u'A' + k)));
        s.title->setMargins(QMargins(0, 2, 0, 0));
        plot_->plotLayout()->addElement(2 * k, 0, s.title);
        s.rect = new QCPAxisRect(plot_);
        s.rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
        plot_->plotLayout()->addElement(2 * k + 1, 0, s.rect);
        QCPAxis* x = s.rect->axis(QCPAxis::atBottom);
        QCPAxis* y = s.rect->axis(QCPAxis::atLeft);
        y->ticker()->setTickCount(4);
        x->ticker()->setTickCount(6);
        if (k < 3) x->setTickLabels(false);

        plot_->setCurrentLayer(QStringLiteral("main"));
        s.line = plot_->addGraph(x, y);
        s.outside = plot_->addGraph(x, y);
        for (int side = 0; side < 2; ++side) {
            auto* l = new QCPItemStraightLine(plot_);
            l->setClipAxisRect(s.rect);
            for (QCPItemPosition* p : {l->point1, l->point2}) {
                p->setAxes(x, y);
                p->setAxisRect(s.rect);
            }
            l->setPen(QPen(OutsideColor, 1, Qt::DashLine));
            l->setVisible(false);
            s.limitLine[side] = l;
        }
        plot_->setCurrentLayer(QStringLiteral("new"));
        s.newLine = plot_->addGraph(x, y);
        s.newOutside = plot_->addGraph(x, y);
        for (QCPGraph* g : {s.line, s.newLine}) {
            g->setPen(linePen);
            g->setAntialiased(false);
        }
        for (QCPGraph* g : {s.outside, s.newOutside}) {
            g->setLineStyle(QCPGraph::lsNone);
            g->setScatterStyle(Marker(OutsideColor, 5));
        }
    }
    plot_->setCurrentLayer(QStringLiteral("main"));
    plot_->plotLayout()->setRowSpacing(0);
    setMarkers(true);
    setXAxis(TrendXAxis::Cycle);
}

void TrendChart::setTitles(const std::array<QString, 4>& titles) {
    for (int k = 0; k < 4; ++k) slots_[size_t(k)].title->setText(titles[size_t(k)]);
    needFull_ = true;
}

void TrendChart::setXAxis(TrendXAxis x) {
    xAxis_ = x;
    for (int k = 0; k < 4; ++k) {
        QCPAxis* axis = slots_[size_t(k)].rect->axis(QCPAxis::atBottom);
        if (x == TrendXAxis::PcTime) {
            auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
            ticker->setDateTimeFormat(QStringLiteral("HH:mm:ss\nyyyy/MM/dd"));
            ticker->setTickCount(5);
            axis->setTicker(ticker);
        } else {
            auto ticker = QSharedPointer<CycleTicker>::create();
            ticker->setTickCount(6);
            axis->setTicker(ticker);
        }
        if (k == 3) axis->setLabel(x == TrendXAxis::PcTime ? Texts::tr("PC 時刻") : Texts::tr("サイクル (通し番号)"));
    }
    needFull_ = true;
}

void TrendChart::setMarkers(bool on) {
    const QCPScatterStyle style = on ? Marker(LineColor, 4) : QCPScatterStyle();
    for (Slot& s : slots_) {
        s.line->setScatterStyle(style);
        s.newLine->setScatterStyle(style);
    }
}

double TrendChart::keyOf(const TrendPoint& p) const { return xAxis_ == TrendXAxis::PcTime ? p.time : double(p.seq); }

bool TrendChart::breaksLine(const TrendPoint& before, const TrendPoint& p) const {
    // Another run: the numbering starts again or jumps.
    if (p.cycle != before.cycle + 1) return true;
    if (xAxis_ != TrendXAxis::PcTime) return false;
    // A pause: longer than GapSteps usual steps (and than MinGapSeconds).
    const double step = p.time - before.time;
    return !(step <= std::max(GapSteps * timeStep_, MinGapSeconds));
}

double TrendChart::usualTimeStep(const TrendLog& log) {
    // The median time from one cycle to the next within a run.
    std::vector<double> steps;
    steps.reserve(log.points().size());
    const TrendPoint* before = nullptr;
    for (const TrendPoint& p : log.points()) {
        if (before && p.cycle == before->cycle + 1 && p.time >= before->time) steps.push_back(p.time - before->time);
        if (!std::isnan(p.time)) before = &p;
    }
    if (steps.empty()) return -1;
    auto mid = steps.begin() + std::ptrdiff_t(steps.size() / 2);
    std::nth_element(steps.begin(), mid, steps.end());
    return *mid;
}

void TrendChart::appendLast(const TrendLog& log) {
    if (needFull_ || log.points().empty()) return;
    if (newCount_ >= RecentMax) {
        needFull_ = true;
        return;
    }
    const TrendPoint& p = log.points().back();
    const double key = keyOf(p);
    if (std::isnan(key)) return;  // no PC time: not on a time axis
    // A gap before the point (and, on the time axis, no usual step known yet)
    // is drawn by a full drawing.
    if (const size_t n = log.points().size(); n >= 2) {
        const TrendPoint& before = log.points()[n - 2];
        if (!std::isnan(keyOf(before)) &&
            (breaksLine(before, p) || (xAxis_ == TrendXAxis::PcTime && timeStep_ < 0))) {
            needFull_ = true;
            return;
        }
    }
    // A point beyond the current axes needs them rescaled: draw everything.
    const QCPRange xr = slots_[0].rect->axis(QCPAxis::atBottom)->range();
    if (key < xr.lower || key > xr.upper) {
        needFull_ = true;
        return;
    }
    for (int k = 0; k < 4; ++k) {
        const QCPRange yr = slots_[size_t(k)].rect->axis(QCPAxis::atLeft)->range();
        if (p.hasValue(k) && !yr.contains(p.values[size_t(k)])) {
            needFull_ = true;
            return;
        }
    }
    const bool rolled = log.added() > TrendLog::MaxPoints && xAxis_ == TrendXAxis::Cycle;
    for (int k = 0; k < 4; ++k) {
        Slot& s = slots_[size_t(k)];
        if (s.newLine->data()->isEmpty() && !s.line->data()->isEmpty()) {
            const QCPGraphData last = *(s.line->data()->constEnd() - 1);
            s.newLine->addData(last.key, last.value);
            s.seeded = true;
        }
        const double v = p.hasValue(k) ? p.values[size_t(k)] : NaN;
        s.newLine->addData(key, v);
        if (p.hasValue(k) && log.limits(k).outside(v)) s.newOutside->addData(key, v);
        // Points the log no longer keeps leave the data now and the picture
        // at the next full drawing.
        if (rolled) {
            const double first = keyOf(log.points().front());
            s.line->data()->removeBefore(first);
            s.outside->data()->removeBefore(first);
        }
    }
    ++newCount_;
    newDirty_ = true;
}

void TrendChart::drawAll(const TrendLog& log) {
    const auto& points = log.points();
    const bool sorted = xAxis_ == TrendXAxis::Cycle;
    timeStep_ = xAxis_ == TrendXAxis::PcTime ? usualTimeStep(log) : -1;
    double kLo = std::numeric_limits<double>::infinity(), kHi = -kLo;
    int valued = 0;
    for (int k = 0; k < 4; ++k) {
        Slot& s = slots_[size_t(k)];
        QVector<QCPGraphData> line, outside;
        line.reserve(int(points.size()));
        double vLo = std::numeric_limits<double>::infinity(), vHi = -vLo;
        const SlotLimits& lim = log.limits(k);
        const TrendPoint* before = nullptr;
        for (const TrendPoint& p : points) {
            const double key = keyOf(p);
            if (std::isnan(key)) continue;
            // No line across a gap: a point without a value between the two.
            if (before && breaksLine(*before, p)) line.append(QCPGraphData((keyOf(*before) + key) / 2, NaN));
            before = &p;
            kLo = std::min(kLo, key);
            kHi = std::max(kHi, key);
            if (!p.hasValue(k)) {
                line.append(QCPGraphData(key, NaN));
                continue;
            }
            const double v = p.values[size_t(k)];
            line.append(QCPGraphData(key, v));
            vLo = std::min(vLo, v);
            vHi = std::max(vHi, v);
            if (lim.outside(v)) outside.append(QCPGraphData(key, v));
        }
        valued = std::max(valued, int(line.size()));
        s.line->data()->set(line, sorted);
        s.outside->data()->set(outside, sorted);
        s.newLine->data()->clear();
        s.newOutside->data()->clear();
        s.seeded = false;

        // Value axis: the values and the limits, with 5 % room on both sides.
        for (const std::optional<double>& l : {lim.lower, lim.upper})
            if (l) {
                vLo = std::min(vLo, *l);
                vHi = std::max(vHi, *l);
            }
        if (vLo > vHi) {
            vLo = -1;
            vHi = 1;
        }
        double pad = (vHi - vLo) * 0.05;
        if (pad <= 0) pad = vLo != 0 ? std::fabs(vLo) * 0.05 : 1.0;
        s.rect->axis(QCPAxis::atLeft)->setRange(vLo - pad, vHi + pad);
        for (int side = 0; side < 2; ++side) {
            const std::optional<double> l = side ? lim.upper : lim.lower;
            s.limitLine[side]->setVisible(l.has_value());
            if (l) {
                s.limitLine[side]->point1->setCoords(0, *l);
                s.limitLine[side]->point2->setCoords(1, *l);
            }
        }
    }
    // Key axis shared by the four: room ahead for a quarter more, so new
    // points land inside for a while.
    const bool time = xAxis_ == TrendXAxis::PcTime;
    const double minAhead = time ? 30.0 : 10.0;
    if (kLo > kHi) {
        kLo = time ? double(QDateTime::currentSecsSinceEpoch()) : 0.0;
        kHi = kLo;
    }
    const double lo = time ? kLo : kLo - 0.5;
    const double hi = kHi + std::max((kHi - kLo) * 0.25, minAhead);
    for (Slot& s : slots_) s.rect->axis(QCPAxis::atBottom)->setRange(lo, hi);
    setMarkers(valued <= MarkerMaxPoints);
}

bool TrendChart::redraw(const TrendLog& log, bool immediate) {
    const QCustomPlot::RefreshPriority refresh = immediate ? QCustomPlot::rpImmediateRefresh : QCustomPlot::rpQueuedRefresh;
    if (needFull_) {
        drawAll(log);
        needFull_ = newDirty_ = false;
        newCount_ = 0;
        ++fullDrawings_;
        plot_->replot(refresh);
        return true;
    }
    if (!newDirty_) return false;
    newDirty_ = false;
    newLayer_->replot();  // a full replot by itself when anything else changed
    if (immediate) plot_->repaint();
    return true;
}

namespace {
void Collect(QVector<QPointF>& out, const QCPGraph* g, int skip) {
    for (auto it = g->data()->constBegin() + skip; it != g->data()->constEnd(); ++it)
        if (!std::isnan(it->value)) out.append(QPointF(it->key, it->value));
}
}  // namespace

QVector<QPointF> TrendChart::shownPoints(int slot) const {
    const Slot& s = slots_[size_t(slot)];
    QVector<QPointF> out;
    Collect(out, s.line, 0);
    Collect(out, s.newLine, s.seeded && !s.newLine->data()->isEmpty() ? 1 : 0);
    return out;
}

QList<int> TrendChart::shownLines(int slot) const {
    const Slot& s = slots_[size_t(slot)];
    QList<int> lines;
    int points = 0;
    const auto take = [&](const QCPGraph* g, int skip) {
        for (auto it = g->data()->constBegin() + skip; it != g->data()->constEnd(); ++it) {
            if (!std::isnan(it->value)) {
                ++points;
            } else if (points > 0) {
                lines.append(points);
                points = 0;
            }
        }
    };
    take(s.line, 0);
    take(s.newLine, s.seeded && !s.newLine->data()->isEmpty() ? 1 : 0);
    if (points > 0) lines.append(points);
    return lines;
}

QVector<double> TrendChart::shownTicks() const {
    return slots_[3].rect->axis(QCPAxis::atBottom)->tickVector();
}

QVector<QPointF> TrendChart::shownOutside(int slot) const {
    const Slot& s = slots_[size_t(slot)];
    QVector<QPointF> out;
    Collect(out, s.outside, 0);
    Collect(out, s.newOutside, 0);
    return out;
}

std::optional<double> TrendChart::shownLimit(int slot, bool upper) const {
    const QCPItemStraightLine* l = slots_[size_t(slot)].limitLine[upper ? 1 : 0];
    if (!l->visible()) return std::nullopt;
    return l->point1->coords().y();
}

QString TrendChart::shownTitle(int slot) const { return slots_[size_t(slot)].title->text(); }

}  // namespace qm
