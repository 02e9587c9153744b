// The cell grid and the cell operations that move its current cell.
#include "view/FlexGrid.h"
#include "view/GridOps.h"

#include <QImage>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTest>

namespace {
// Records the regions painted on a widget.
class PaintSpy : public QObject {
public:
    explicit PaintSpy(QWidget* w) { w->installEventFilter(this); }
    QList<QRegion> regions;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) regions.append(static_cast<QPaintEvent*>(e)->region());
        return false;
    }
};

void Flush() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// A grid shaped like the log: 6 columns, 1 fixed column, 5 fixed rows.
void ShapeLikeLog(FlexGrid& g, int rows) {
    g.SetCols(6);
    g.SetRows(rows);
    g.SetFixedRows(5);
    g.SetFixedCols(1);
}
}  // namespace

class TestFlexGrid : public QObject {
    Q_OBJECT
private slots:
    void defaultsAndSizes();
    void resizeKeepsText();
    void currentCellOutsideGrid();
    void clearKeepsShape();
    void cellOperationsMoveCurrentCell();
    void shortTextListsWriteEmpty();
    void rangesStopAtGridEnd();
    void repaintOnlyChangedCell();
    void fixedCellsDoNotScroll();
    void fixedCellsInButtonFace();
};

void TestFlexGrid::defaultsAndSizes() {
    FlexGrid g;
    QCOMPARE(g.Rows(), 2);
    QCOMPARE(g.Cols(), 2);
    QCOMPARE(g.FixedRows(), 1);
    QCOMPARE(g.FixedCols(), 1);
    QCOMPARE(g.ColWidth(0), FlexGrid::DefaultColWidth);
    QCOMPARE(g.ColWidth(2), 0);   // no such column
    QCOMPARE(g.ColWidth(-1), 0);
    g.SetColWidth(5, 700);        // ignored
    g.SetColWidth(1, -20);
    QCOMPARE(g.ColWidth(1), 0);

    g.SetCols(6);
    QCOMPARE(g.ColWidth(5), FlexGrid::DefaultColWidth);  // new columns get the default
    g.SetRows(10005);
    QCOMPARE(g.Rows(), 10005);
    g.SetFixedRows(5);
    QCOMPARE(g.FixedRows(), 5);
    g.SetFixedRows(20000);  // cut to the row count
    QCOMPARE(g.FixedRows(), 10005);
    g.SetRows(3);           // fixed rows follow a shrinking grid
    QCOMPARE(g.FixedRows(), 3);
    g.SetRows(-4);
    QCOMPARE(g.Rows(), 0);
    QCOMPARE(g.FixedRows(), 0);
    g.SetCols(FlexGrid::MaxCols + 10);
    QCOMPARE(g.Cols(), FlexGrid::MaxCols);
    g.SetFixedCols(-1);
    QCOMPARE(g.FixedCols(), 0);
}

void TestFlexGrid::resizeKeepsText() {
    FlexGrid g;
    g.SetCols(3);
    g.SetRows(3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) SetGridCell(g, r, c, QStringLiteral("%1,%2").arg(r).arg(c));
    g.SetCols(5);  // wider: old cells stay at their row and column
    QCOMPARE(g.TextMatrix(2, 2), QStringLiteral("2,2"));
    QCOMPARE(g.TextMatrix(1, 0), QStringLiteral("1,0"));
    QCOMPARE(g.TextMatrix(1, 3), QString());
    g.SetCols(2);  // narrower: the remaining ones stay
    QCOMPARE(g.TextMatrix(2, 1), QStringLiteral("2,1"));
    QCOMPARE(g.TextMatrix(2, 2), QString());
    g.SetRows(2);
    g.SetRows(3);  // a row that went away comes back empty
    QCOMPARE(g.TextMatrix(1, 1), QStringLiteral("1,1"));
    QCOMPARE(g.TextMatrix(2, 0), QString());
}

void TestFlexGrid::currentCellOutsideGrid() {
    FlexGrid g;
    ShapeLikeLog(g, 10);
    SetGridRow(g, 9, 5, {"a", "b", "c", "d", "e", "f"});
    const struct { int r, c; } outside[] = {{-1, 0}, {10, 0}, {9, 6}, {9, -1}, {INT_MAX, INT_MAX}, {INT_MIN, 2}};
    for (auto o : outside) {
        g.SetRow(o.r);
        g.SetCol(o.c);
        QCOMPARE(g.Row(), o.r);
        QCOMPARE(g.Col(), o.c);
        QCOMPARE(g.Text(), QString());
        g.SetText(QStringLiteral("X"));  // ignored
        QCOMPARE(g.TextMatrix(o.r, o.c), QString());
        QCOMPARE(g.CellRect(o.r, o.c), QRect());
    }
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 6; ++c) QVERIFY(g.TextMatrix(r, c) != QStringLiteral("X"));
    QCOMPARE(GetGridCell(g, 9, 5), QStringLiteral("f"));
}

void TestFlexGrid::clearKeepsShape() {
    FlexGrid g;
    ShapeLikeLog(g, 10005);
    g.SetColWidth(1, 2280);
    for (int r = 0; r < 10005; r += 1000) SetGridRow(g, r, 5, {"1", "2", "3", "4", "5", "6"});
    SetGridCell(g, 10004, 5, QStringLiteral("last"));
    g.SetRow(7);
    g.SetCol(3);
    g.Clear();
    for (int r = 0; r < 10005; ++r)
        for (int c = 0; c < 6; ++c) QVERIFY2(g.TextMatrix(r, c).isEmpty(), qPrintable(QString::number(r)));
    QCOMPARE(g.Rows(), 10005);
    QCOMPARE(g.Cols(), 6);
    QCOMPARE(g.FixedRows(), 5);
    QCOMPARE(g.FixedCols(), 1);
    QCOMPARE(g.ColWidth(1), 2280);
    QCOMPARE(g.Row(), 7);
    QCOMPARE(g.Col(), 3);
}

void TestFlexGrid::cellOperationsMoveCurrentCell() {
    FlexGrid g;
    ShapeLikeLog(g, 20);

    SetGridCell(g, 7, 3, QStringLiteral("x"));
    QCOMPARE(g.TextMatrix(7, 3), QStringLiteral("x"));
    QCOMPARE(g.Row(), 7);
    QCOMPARE(g.Col(), 3);

    SetGridRow(g, 0, 5, {"", "Time", "A", "B", "C", "D"});
    const QStringList row0{"", "Time", "A", "B", "C", "D"};
    for (int c = 0; c < 6; ++c) QCOMPARE(g.TextMatrix(0, c), row0[c]);
    QCOMPARE(g.Row(), 0);
    QCOMPARE(g.Col(), 5);

    SetGridRow(g, 2, 2, 4, {"p", "q", "r"});  // texts(c - firstCol)
    QCOMPARE(g.TextMatrix(2, 1), QString());
    QCOMPARE(g.TextMatrix(2, 2), QStringLiteral("p"));
    QCOMPARE(g.TextMatrix(2, 4), QStringLiteral("r"));
    QCOMPARE(g.TextMatrix(2, 5), QString());
    QCOMPARE(g.Row(), 2);
    QCOMPARE(g.Col(), 4);

    SetGridColumn(g, 0, 1, 3, {"Ch", "Type", "Unit"});
    QCOMPARE(g.TextMatrix(1, 0), QStringLiteral("Ch"));
    QCOMPARE(g.TextMatrix(2, 0), QStringLiteral("Type"));
    QCOMPARE(g.TextMatrix(3, 0), QStringLiteral("Unit"));
    QCOMPARE(g.TextMatrix(4, 0), QString());
    QCOMPARE(g.Row(), 3);
    QCOMPARE(g.Col(), 0);

    QCOMPARE(GetGridCell(g, 2, 3), QStringLiteral("q"));
    QCOMPARE(g.Row(), 2);
    QCOMPARE(g.Col(), 3);
    QCOMPARE(g.Text(), QStringLiteral("q"));

    // An empty range touches nothing and leaves the current cell alone.
    SetGridRow(g, 9, 4, 3, {"z"});
    SetGridColumn(g, 1, 9, 8, {"z"});
    QCOMPARE(g.Row(), 2);
    QCOMPARE(g.Col(), 3);
    QCOMPARE(g.TextMatrix(9, 4), QString());
}

void TestFlexGrid::shortTextListsWriteEmpty() {
    FlexGrid g;
    ShapeLikeLog(g, 10);
    for (int r = 0; r < 10; ++r) SetGridRow(g, r, 5, {"x", "x", "x", "x", "x", "x"});
    SetGridRow(g, 6, 5, {"1", "2"});
    const QStringList want6{"1", "2", "", "", "", ""};
    for (int c = 0; c < 6; ++c) QCOMPARE(g.TextMatrix(6, c), want6[c]);
    SetGridRow(g, 7, 1, 5, {});
    QCOMPARE(g.TextMatrix(7, 0), QStringLiteral("x"));
    for (int c = 1; c < 6; ++c) QCOMPARE(g.TextMatrix(7, c), QString());
    SetGridColumn(g, 2, 0, 9, {"a"});
    QCOMPARE(g.TextMatrix(0, 2), QStringLiteral("a"));
    for (int r = 1; r < 10; ++r) QCOMPARE(g.TextMatrix(r, 2), QString());
    QCOMPARE(g.Row(), 9);
    QCOMPARE(g.Col(), 2);
}

void TestFlexGrid::rangesStopAtGridEnd() {
    FlexGrid g;
    ShapeLikeLog(g, 8);
    SetGridRow(g, 5, 2, INT_MAX, {"a", "b", "c", "d", "e"});  // would run forever unbounded
    QCOMPARE(g.TextMatrix(5, 5), QStringLiteral("d"));
    QCOMPARE(g.Row(), 5);
    QCOMPARE(g.Col(), 5);
    SetGridColumn(g, 1, 6, INT_MAX, {"p", "q", "r"});
    QCOMPARE(g.TextMatrix(7, 1), QStringLiteral("q"));
    QCOMPARE(g.Row(), 7);
    QCOMPARE(g.Col(), 1);
}

void TestFlexGrid::repaintOnlyChangedCell() {
    FlexGrid g;
    ShapeLikeLog(g, 10005);
    g.resize(497, 345);
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
    Flush();
    PaintSpy spy(g.viewport());

    SetGridCell(g, 6, 2, QStringLiteral("1.5e3"));
    Flush();
    QCOMPARE(spy.regions.size(), 1);
    QCOMPARE(spy.regions[0], QRegion(g.CellRect(6, 2)));
    QVERIFY(!g.CellRect(6, 2).isEmpty());

    spy.regions.clear();
    SetGridCell(g, 6, 2, QStringLiteral("1.5e3"));  // same text: no repaint
    g.SetRow(6);
    g.SetCol(3);  // moving the current cell paints nothing either
    Flush();
    QCOMPARE(spy.regions.size(), 0);

    SetGridCell(g, 9000, 2, QStringLiteral("far"));  // not in view: no repaint
    Flush();
    QCOMPARE(spy.regions.size(), 0);
    QCOMPARE(g.TextMatrix(9000, 2), QStringLiteral("far"));

    // A whole log line repaints just that line's cells.
    SetGridRow(g, 7, 5, {"2", "2024/01/02 03:04:05", "1", "2", "3", "4"});
    Flush();
    QRegion line;
    for (int c = 0; c < 6; ++c) line += g.CellRect(7, c);
    QRegion painted;
    for (const QRegion& r : spy.regions) painted += r;
    QCOMPARE(painted, line);
}

void TestFlexGrid::fixedCellsDoNotScroll() {
    FlexGrid g;
    ShapeLikeLog(g, 10005);
    g.resize(497, 345);
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
    const int h = g.RowHeight();
    QVERIFY(h >= 16);
    const QRect corner = g.CellRect(0, 0);
    const QRect last = g.CellRect(4, 3);
    QCOMPARE(corner, QRect(0, 0, 80, h));
    QCOMPARE(g.CellRect(5, 1).topLeft(), QPoint(80, 5 * h));

    QScrollBar* v = g.verticalScrollBar();
    const int inView = (g.viewport()->height() - 5 * h) / h;
    QCOMPARE(v->maximum(), 10000 - inView);
    v->setValue(v->maximum());
    Flush();
    QCOMPARE(g.CellRect(0, 0), corner);
    QCOMPARE(g.CellRect(4, 3), last);
    QCOMPARE(g.CellRect(5, 1), QRect());           // scrolled out above
    QCOMPARE(g.CellRect(10004, 0).top(), 5 * h + (inView - 1) * h);
    QCOMPARE(g.CellRect(5 + v->maximum(), 2).top(), 5 * h);

    // Horizontally the fixed column stays put, the others move under it.
    g.SetColWidth(2, 3000);  // 200 px: now wider than the view
    Flush();
    QScrollBar* hb = g.horizontalScrollBar();
    const int scrollWidth = 4 * 80 + 200;
    QCOMPARE(hb->maximum(), scrollWidth - (g.viewport()->width() - 80));
    hb->setValue(30);
    Flush();
    QCOMPARE(g.CellRect(10004, 0).left(), 0);
    QCOMPARE(g.CellRect(0, 0), corner);
    QCOMPARE(g.CellRect(0, 2).left(), 80 + 80 - 30);
    // Column 1 is partly under the fixed column: only its visible part counts.
    QCOMPARE(g.CellRect(0, 1), QRect(80, 0, 50, h));

    // The grid paints quickly even when scrolled to the end of 10005 rows.
    for (int r = 5; r < 10005; ++r) SetGridRow(g, r, 5, {QString::number(r), "t", "1", "2", "3", "4"});
    const QImage img = g.viewport()->grab().toImage();
    QVERIFY(!img.isNull());
}

void TestFlexGrid::fixedCellsInButtonFace() {
    FlexGrid g;
    ShapeLikeLog(g, 100);
    QPalette pal = g.palette();
    pal.setColor(QPalette::Button, QColor(200, 100, 50));
    pal.setColor(QPalette::Base, QColor(10, 250, 10));
    g.setPalette(pal);
    g.resize(497, 345);
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
    const QImage img = g.viewport()->grab().toImage();
    auto inside = [&](int r, int c) { return img.pixelColor(g.CellRect(r, c).topLeft() + QPoint(1, 1)); };
    QCOMPARE(inside(0, 0), QColor(200, 100, 50));
    QCOMPARE(inside(4, 3), QColor(200, 100, 50));   // the "Last" row is fixed
    QCOMPARE(inside(20, 0), QColor(200, 100, 50));  // the cycle-number column is fixed
    QCOMPARE(inside(5, 1), QColor(10, 250, 10));
    QCOMPARE(inside(12, 4), QColor(10, 250, 10));
}

QTEST_MAIN(TestFlexGrid)
#include "tst_flexgrid.moc"
