#include "view/LogGrid.h"

#include "view/JapaneseFont.h"
#include "view/LogTableModel.h"

#include <QAccessible>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>

namespace qm {

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

// A frozen cell: the button face, a line at its right and bottom, the text
// from its left edge.
void PaintFrozenCell(QPainter& p, const QPalette& palette, const QRect& cell, const QString& text) {
    p.save();
    p.setClipRect(cell);
    p.fillRect(cell, palette.color(QPalette::Button));
    p.setPen(palette.color(QPalette::Dark));
    p.drawLine(cell.topRight(), cell.bottomRight());
    p.drawLine(cell.bottomLeft(), cell.bottomRight());
    if (!text.isEmpty()) {
        p.setPen(palette.color(QPalette::ButtonText));
        p.drawText(cell.adjusted(3, 0, -3, -1), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
    p.restore();
}

// A line's cell: its text from the left edge, as plain as the frozen cells
// (no elision, no focus or hover decoration: nothing can be selected).
class LineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QString text = index.data().toString();
        if (text.isEmpty()) return;
        painter->save();
        painter->setClipRect(option.rect);
        painter->setFont(option.font);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(option.rect.adjusted(3, 0, -3, -1), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        painter->restore();
    }
};

// The headers of the grid: horizontally the band of the five frozen rows
// (one column of it per section), vertically the cycle numbers.
class FrozenHeader : public QHeaderView {
public:
    FrozenHeader(Qt::Orientation orientation, const LogTableModel& model, const int& rowHeight, QWidget* parent)
        : QHeaderView(orientation, parent), model_(model), rowHeight_(rowHeight) {
        setSectionsClickable(false);
        setHighlightSections(false);
        setSectionsMovable(false);
    }

    QSize sizeHint() const override {
        QSize size = QHeaderView::sizeHint();
        if (orientation() == Qt::Horizontal) size.setHeight(LogTableModel::FrozenRows * rowHeight_);
        return size;
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        dirty_ = event->region();
        QHeaderView::paintEvent(event);
    }
    void paintSection(QPainter* painter, const QRect& rect, int section) const override {
        if (orientation() == Qt::Vertical) {
            PaintFrozenCell(*painter, palette(), rect, model_.headerData(section, Qt::Vertical).toString());
            return;
        }
        // Only the cells that need it.
        for (int k = 0; k < LogTableModel::FrozenRows; ++k) {
            const QRect cell(rect.left(), rect.top() + k * rowHeight_, rect.width(), rowHeight_);
            if (dirty_.intersects(cell)) PaintFrozenCell(*painter, palette(), cell, model_.frozenText(k, section + 1));
        }
    }

private:
    const LogTableModel& model_;
    const int& rowHeight_;
    QRegion dirty_;  // the part of the band being painted
};

// The corner above the cycle numbers: the frozen rows' labels.
class FrozenLabels : public QWidget {
public:
    FrozenLabels(const LogTableModel& model, const int& rowHeight, QWidget* parent)
        : QWidget(parent), model_(model), rowHeight_(rowHeight) {}

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter p(this);
        for (int k = 0; k < LogTableModel::FrozenRows; ++k) {
            const QRect cell(0, k * rowHeight_, width(), rowHeight_);
            if (event->region().intersects(cell)) PaintFrozenCell(p, palette(), cell, model_.frozenText(k, 0));
        }
    }

private:
    const LogTableModel& model_;
    const int& rowHeight_;
};

}  // namespace

LogGrid::LogGrid(LogTableModel& model, QWidget* parent) : QTableView(parent), model_(model) {
    setFont(GridFont(font()));
    setHorizontalHeader(new FrozenHeader(Qt::Horizontal, model_, rowHeight_, this));
    setVerticalHeader(new FrozenHeader(Qt::Vertical, model_, rowHeight_, this));
    setModel(&model_);
    setItemDelegate(new LineDelegate(this));
    corner_ = new FrozenLabels(model_, rowHeight_, this);
    setCornerButtonEnabled(false);

    // Read-only: nothing to select, edit or focus.
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    QHeaderView* rows = verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setFixedWidth(LabelWidth);
    QHeaderView* columns = horizontalHeader();
    columns->setStretchLastSection(false);
    columns->setMinimumSectionSize(8);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->resizeSection(0, TimeWidth);
    for (int c = 1; c < LogTableModel::Columns; ++c) columns->resizeSection(c, ValueWidth);
    applyRowHeight();

    connect(&model_, &LogTableModel::frozenRowsChanged, this, &LogGrid::updateFrozenRows);
}

void LogGrid::updateFrozenRows(int first, int last) {
    // Only the cells whose text changed are drawn again ("Last" changes with
    // every line, but its time only once a second).
    QHeaderView* band = horizontalHeader();
    for (int r = first; r <= last; ++r) {
        for (int c = 0; c <= LogTableModel::Columns; ++c) {
            QString text = model_.frozenText(r, c);
            QString& shown = frozenShown_[size_t(r)][size_t(c)];
            if (text == shown) continue;
            shown = std::move(text);
            if (c == 0) corner_->update(0, r * rowHeight_, corner_->width(), rowHeight_);
            else band->viewport()->update(band->sectionViewportPosition(c - 1), r * rowHeight_, band->sectionSize(c - 1), rowHeight_);
        }
    }
}

void LogGrid::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) {
    if (topLeft.row() != bottomRight.row() || QAccessible::isActive()) {
        QTableView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    const QRect line = visualRect(topLeft).united(visualRect(bottomRight)) & viewport()->rect();
    if (line.isEmpty()) return;
    viewport()->update(line);
    // The row's label: its cycle number.
    QHeaderView* labels = verticalHeader();
    labels->viewport()->update(0, labels->sectionViewportPosition(topLeft.row()), labels->width(), rowHeight_);
}

QString LogGrid::shownText(int row, int column) const {
    if (row < 0 || column < 0 || column > LogTableModel::Columns) return {};
    if (row < LogTableModel::FrozenRows) return model_.frozenText(row, column);
    const int line = row - LogTableModel::FrozenRows;
    if (line >= model_.rowCount()) return {};
    if (column == 0) return model_.headerData(line, Qt::Vertical).toString();
    return model_.data(model_.index(line, column - 1)).toString();
}

int LogGrid::widthForAllColumns() const {
    int columns = verticalHeader()->width();
    for (int c = 0; c < LogTableModel::Columns; ++c) columns += horizontalHeader()->sectionSize(c);
    return columns + verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
}

void LogGrid::updateGeometries() {
    QTableView::updateGeometries();
    if (!corner_) return;  // while the grid is being made
    const QRect labels = verticalHeader()->geometry();
    const QRect band = horizontalHeader()->geometry();
    corner_->setGeometry(labels.left(), band.top(), labels.width(), band.height());
    corner_->raise();
}

void LogGrid::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) applyRowHeight();
}

void LogGrid::applyRowHeight() {
    rowHeight_ = std::max(16, QFontMetrics(font()).height() + 3);
    QHeaderView* rows = verticalHeader();
    rows->setMinimumSectionSize(rowHeight_);
    rows->setDefaultSectionSize(rowHeight_);
    horizontalHeader()->setFixedHeight(LogTableModel::FrozenRows * rowHeight_);
    updateGeometries();
}

}  // namespace qm
