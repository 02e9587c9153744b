#include "view/FlexGrid.h"

#include "view/JapaneseFont.h"
#include "view/Vb.h"

#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace {
// The log's font: the Japanese UI Gothic when the system has it, else a
// Japanese-capable font of the system, 9 pt.
QFont GridFont(const QFont& base) {
    const QStringList families = QFontDatabase::families();
    const QString preferred =
        PickFamily({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("Noto Sans CJK JP"),
                    QStringLiteral("Noto Sans JP"), QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic")},
                   families);
    QFont f = base;
    if (!preferred.isEmpty()) {
        f.setFamily(preferred);
    } else {
        for (const QString& n : families) {
            if (n.contains(QLatin1String("CJK JP")) || n.contains(QLatin1String("Gothic"))) {
                f.setFamily(n);
                break;
            }
        }
    }
    f.setPointSize(9);
    return f;
}
}  // namespace

FlexGrid::FlexGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    widths_.fill(DefaultColWidth, cols_);
    cells_.resize(qsizetype(rows_) * cols_);
    setFont(GridFont(font()));
    updateRowHeight();
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(20);
    setFocusPolicy(Qt::NoFocus);
    updateScrollBars();
}

void FlexGrid::SetRows(int n) {
    n = std::clamp(n, 0, MaxRows);
    if (n == rows_) return;
    rows_ = n;
    cells_.resize(qsizetype(rows_) * cols_);
    if (fixedRows_ > rows_) fixedRows_ = rows_;
    updateScrollBars();
    viewport()->update();
}

void FlexGrid::SetCols(int n) {
    n = std::clamp(n, 0, MaxCols);
    if (n == cols_) return;
    QList<QString> cells(qsizetype(rows_) * n);
    const int keep = std::min(n, cols_);
    for (int r = 0; r < rows_; ++r)
        for (int c = 0; c < keep; ++c) cells[qsizetype(r) * n + c] = std::move(cells_[index(r, c)]);
    cells_ = std::move(cells);
    cols_ = n;
    widths_.resize(cols_, DefaultColWidth);
    if (fixedCols_ > cols_) fixedCols_ = cols_;
    updateScrollBars();
    viewport()->update();
}

void FlexGrid::SetFixedRows(int n) {
    n = std::clamp(n, 0, rows_);
    if (n == fixedRows_) return;
    fixedRows_ = n;
    updateScrollBars();
    viewport()->update();
}

void FlexGrid::SetFixedCols(int n) {
    n = std::clamp(n, 0, cols_);
    if (n == fixedCols_) return;
    fixedCols_ = n;
    updateScrollBars();
    viewport()->update();
}

int FlexGrid::ColWidth(int c) const { return (c >= 0 && c < cols_) ? widths_[c] : 0; }

void FlexGrid::SetColWidth(int c, int twips) {
    if (c < 0 || c >= cols_) return;
    twips = std::max(twips, 0);
    if (widths_[c] == twips) return;
    widths_[c] = twips;
    updateScrollBars();
    viewport()->update();
}

void FlexGrid::SetText(const QString& s) {
    if (!validCell(row_, col_)) return;
    QString& cell = cells_[index(row_, col_)];
    if (cell == s) return;
    cell = s;
    const QRect rc = CellRect(row_, col_);
    if (!rc.isEmpty()) viewport()->update(rc);
}

QString FlexGrid::TextMatrix(int r, int c) const { return validCell(r, c) ? cells_[index(r, c)] : QString(); }

void FlexGrid::Clear() {
    for (QString& cell : cells_) cell = QString();
    viewport()->update();
}

int FlexGrid::colPx(int c) const { return TwipsToPx(widths_[c]); }

int FlexGrid::fixedWidthPx() const {
    int w = 0;
    for (int c = 0; c < fixedCols_; ++c) w += colPx(c);
    return w;
}

int FlexGrid::cellX(int c) const {
    int x = 0;
    for (int i = 0; i < c; ++i) x += colPx(i);
    if (c >= fixedCols_) x -= horizontalScrollBar()->value();
    return x;
}

int FlexGrid::cellY(int r) const {
    if (r < fixedRows_) return r * rowHeight_;
    const int top = fixedRows_ + verticalScrollBar()->value();
    if (r < top) return INT_MIN;
    const qint64 y = qint64(fixedHeightPx()) + qint64(r - top) * rowHeight_;
    return y > INT_MAX / 2 ? INT_MAX / 2 : int(y);
}

// The part of the viewport in which a cell may be drawn: fixed cells in their
// bands, scrolling cells only outside the fixed bands.
QRect FlexGrid::regionOf(int r, int c) const {
    const QRect vp = viewport()->rect();
    const int fw = fixedWidthPx();
    const int fh = fixedHeightPx();
    const int left = c < fixedCols_ ? 0 : fw;
    const int right = c < fixedCols_ ? fw : vp.width();
    const int top = r < fixedRows_ ? 0 : fh;
    const int bottom = r < fixedRows_ ? fh : vp.height();
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(vp);
}

QRect FlexGrid::CellRect(int r, int c) const {
    if (!validCell(r, c)) return {};
    const int y = cellY(r);
    if (y == INT_MIN || y >= viewport()->height()) return {};
    const int x = cellX(c);
    if (x >= viewport()->width()) return {};
    return QRect(x, y, colPx(c), rowHeight_).intersected(regionOf(r, c));
}

void FlexGrid::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    const QRect vp = viewport()->rect();
    const QRect dirty = event->rect();
    const QPalette& pal = palette();
    p.fillRect(dirty, pal.color(QPalette::Base));
    if (rows_ == 0 || cols_ == 0) return;

    const int fw = fixedWidthPx();
    const int fh = fixedHeightPx();
    const int hval = horizontalScrollBar()->value();
    const int top = fixedRows_ + verticalScrollBar()->value();

    // Rows in view: the fixed rows, then the scrolling rows from the top one.
    QList<int> rowsInView;
    for (int r = 0; r < fixedRows_ && r * rowHeight_ < vp.height(); ++r) rowsInView.append(r);
    for (int r = top, y = fh; r < rows_ && y < vp.height(); ++r, y += rowHeight_) rowsInView.append(r);

    QList<int> colsInView;
    QList<int> colsX;
    for (int c = 0, x = 0; c < cols_; ++c) {
        const int w = colPx(c);
        const int xc = c < fixedCols_ ? x : x - hval;
        x += w;
        if (xc >= vp.width()) {
            if (c >= fixedCols_) break;
            continue;
        }
        if (c >= fixedCols_ && xc + w <= fw) continue;
        colsInView.append(c);
        colsX.append(xc);
    }

    const QColor face = pal.color(QPalette::Button);
    const QColor faceText = pal.color(QPalette::ButtonText);
    const QColor bodyText = pal.color(QPalette::Text);
    const QColor fixedLine = pal.color(QPalette::Dark);
    const QColor bodyLine = pal.color(QPalette::Mid);

    for (int r : rowsInView) {
        const int y = r < fixedRows_ ? r * rowHeight_ : fh + (r - top) * rowHeight_;
        if (y >= dirty.bottom() + 1 || y + rowHeight_ <= dirty.top()) continue;
        for (qsizetype i = 0; i < colsInView.size(); ++i) {
            const int c = colsInView[i];
            const QRect cell(colsX[i], y, colPx(c), rowHeight_);
            const QRect clip = cell.intersected(regionOf(r, c)).intersected(dirty);
            if (clip.isEmpty()) continue;
            const bool fixed = r < fixedRows_ || c < fixedCols_;
            p.save();
            p.setClipRect(clip);
            if (fixed) p.fillRect(cell, face);
            p.setPen(fixed ? fixedLine : bodyLine);
            p.drawLine(cell.topRight(), cell.bottomRight());
            p.drawLine(cell.bottomLeft(), cell.bottomRight());
            const QString& text = cells_[index(r, c)];
            if (!text.isEmpty()) {
                p.setPen(fixed ? faceText : bodyText);
                p.drawText(cell.adjusted(3, 0, -3, -1), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
            }
            p.restore();
        }
    }
}

void FlexGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void FlexGrid::scrollContentsBy(int, int) { viewport()->update(); }

void FlexGrid::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateRowHeight();
        updateScrollBars();
        viewport()->update();
    }
}

void FlexGrid::updateRowHeight() { rowHeight_ = std::max(16, QFontMetrics(font()).height() + 3); }

void FlexGrid::updateScrollBars() {
    const QSize vp = viewport()->size();
    const int availH = std::max(0, vp.height() - fixedHeightPx());
    const int inView = std::max(1, availH / rowHeight_);
    const int scrollRows = rows_ - fixedRows_;
    verticalScrollBar()->setPageStep(inView);
    verticalScrollBar()->setRange(0, std::max(0, scrollRows - inView));

    qint64 scrollWidth = 0;
    for (int c = fixedCols_; c < cols_; ++c) scrollWidth += colPx(c);
    const int availW = std::max(0, vp.width() - fixedWidthPx());
    horizontalScrollBar()->setPageStep(std::max(1, availW));
    horizontalScrollBar()->setRange(0, int(std::clamp<qint64>(scrollWidth - availW, 0, INT_MAX / 2)));
}
