// The measurement log window: its layout, the rows a logged cycle writes,
// the wrap after the last row, the reset and the close box.
#include "view/AMLogForm.h"
#include "view/FlexGrid.h"

#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList RowTexts(const FlexGrid& g, int r) {
    QStringList out;
    for (int c = 0; c < 6; ++c) out << g.TextMatrix(r, c);
    return out;
}

const QStringList kEmptyRow(6, QString());

void CheckLabelsOnly(const FlexGrid& g) {
    QCOMPARE(RowTexts(g, 0), (QStringList{"", "Time", "A", "B", "C", "D"}));
    QCOMPARE(RowTexts(g, 1), (QStringList{"Ch", "", "", "", "", ""}));
    QCOMPARE(RowTexts(g, 2), (QStringList{"Type", "", "", "", "", ""}));
    QCOMPARE(RowTexts(g, 3), (QStringList{"Unit", "", "", "", "", ""}));
    for (int r = 4; r < g.Rows(); ++r)
        if (RowTexts(g, r) != kEmptyRow) QFAIL(qPrintable(QStringLiteral("row %1 not empty").arg(r)));
}

MeasItemArray Items() {
    MeasItemArray items;
    items[0] = {"C1", "MAX", "V"};
    items[1] = {"C2", "DUTY", "%"};
    items[2] = {"M1", "P-P", "s"};
    items[3] = {"C3", "INTEGRAL", "As"};
    return items;
}

CycleRecord Record(int32_t cycle, std::array<double, 4> values = {1, 2, 3, 4}) {
    return MakeCycleRecord(cycle, values, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
}

}  // namespace

class TestAMLogForm : public QObject {
    Q_OBJECT
private slots:
    void windowAndGridLayout() {
        AMLogForm f;
        QCOMPARE(f.windowTitle(), QStringLiteral("自動測定のログ"));
        QVERIFY(f.isWindow());
        QCOMPARE(f.parentWidget(), nullptr);
        QVERIFY(!f.isVisible());  // the caller shows it
        QCOMPARE(f.objectName(), QStringLiteral("AMLogForm"));  // its place is kept by this name
        QVERIFY(!f.testAttribute(Qt::WA_QuitOnClose));
        FlexGrid& g = *f.AMLogGrid;
        QCOMPARE(g.objectName(), QStringLiteral("AMLogGrid"));
        QCOMPARE(g.Rows(), 10005);
        QCOMPARE(g.Cols(), 6);
        QCOMPARE(g.FixedRows(), 5);
        QCOMPARE(g.FixedCols(), 1);
        // 0.7, 1.9 and 1.3 times the grid's default width.
        const QList<int> widths{840, 2280, 1560, 1560, 1560, 1560};
        for (int c = 0; c < 6; ++c) QCOMPARE(g.ColWidth(c), widths[c]);
        CheckLabelsOnly(g);
        QCOMPARE(f.NextRow(), 5);
        // At its first size every column shows whole: no horizontal scrolling.
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(g.geometry().topLeft(), QPoint(16, 8));
        QCOMPARE(g.horizontalScrollBar()->maximum(), 0);
        QVERIFY(!g.horizontalScrollBar()->isVisible());
        QVERIFY(g.CellRect(5, 5).right() < g.viewport()->width());
        QCOMPARE(g.CellRect(5, 5).width(), 104);

        QCOMPARE(f.TrendButton->text(), QStringLiteral("トレンド"));
        QVERIFY(!f.TrendButton->geometry().intersects(g.geometry()));
        QSignalSpy trend(&f, &AMLogForm::trendRequested);
        f.TrendButton->click();
        QCOMPARE(trend.count(), 1);
    }

    void recordWritesItsRowAndLast() {
        AMLogForm f;
        const FlexGrid& g = *f.AMLogGrid;
        f.SetItems(Items());
        const CycleRecord first = Record(3, {1500, -0.5, 9.9e37, 0.000123});
        f.AddRecord(first);
        QCOMPARE(RowTexts(g, 1), (QStringList{"Ch", "", "C1", "C2", "M1", "C3"}));
        QCOMPARE(RowTexts(g, 2), (QStringList{"Type", "", "MAX", "DUTY", "P-P", "INTEGRAL"}));
        QCOMPARE(RowTexts(g, 3), (QStringList{"Unit", "", "V", "%", "s", "As"}));
        QCOMPARE(RowTexts(g, 0), (QStringList{"", "Time", "A", "B", "C", "D"}));
        // The record's number (not the row's), its time, the values in the
        // log's notation; no value leaves the cell empty.
        QVERIFY(!first.timeText.isEmpty());
        const QStringList row{"3", first.timeText, "1.5e3", "-500e-3", "", "123e-6"};
        QCOMPARE(RowTexts(g, 5), row);
        QStringList last = row;
        last[0] = QStringLiteral("Last");
        QCOMPARE(RowTexts(g, 4), last);
        QCOMPARE(RowTexts(g, 6), kEmptyRow);
        QCOMPARE(f.NextRow(), 6);

        // The next record: the next row, "Last" follows it, the older row stays.
        f.AddRecord(Record(4, {0, 2.5, 0.001, 999.9999999}));
        QCOMPARE(RowTexts(g, 5), row);
        QCOMPARE(RowTexts(g, 6), (QStringList{"4", first.timeText, "0e-9", "2.5", "1e-3", "1000"}));
        QCOMPARE(RowTexts(g, 4), (QStringList{"Last", first.timeText, "0e-9", "2.5", "1e-3", "1000"}));
        QCOMPARE(f.NextRow(), 7);
    }

    void wrapsAfterTheLastRow() {
        AMLogForm f;
        const FlexGrid& g = *f.AMLogGrid;
        for (int32_t c = 1; c <= 10000; ++c) f.AddRecord(Record(c, {double(c), 2, 3, 4}));
        QCOMPARE(g.TextMatrix(10004, 0), QStringLiteral("10000"));
        QCOMPARE(g.TextMatrix(10004, 2), QStringLiteral("10e3"));
        QCOMPARE(f.NextRow(), 5);
        // Cycle 10001 takes row 5; the grid keeps the latest 10000 lines.
        f.AddRecord(Record(10001));
        QCOMPARE(g.TextMatrix(5, 0), QStringLiteral("10001"));
        QCOMPARE(g.TextMatrix(6, 0), QStringLiteral("2"));
        QCOMPARE(g.TextMatrix(4, 0), QStringLiteral("Last"));
        QCOMPARE(g.TextMatrix(4, 2), QStringLiteral("1"));
        QCOMPARE(g.Rows(), 10005);
        QCOMPARE(f.NextRow(), 6);
    }

    void resetLeavesOnlyLabels() {
        AMLogForm f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.SetItems(Items());
        for (int32_t c = 1; c <= 30; ++c) f.AddRecord(Record(c));
        f.ResetGrid();
        CheckLabelsOnly(*f.AMLogGrid);
        QVERIFY(f.AMLogGrid->isVisible());
        QCOMPARE(f.NextRow(), 5);
        f.AddRecord(Record(1));
        QCOMPARE(f.AMLogGrid->TextMatrix(5, 0), QStringLiteral("1"));
        QCOMPARE(f.AMLogGrid->TextMatrix(6, 0), QString());
        QCOMPARE(f.AMLogGrid->TextMatrix(1, 2), QStringLiteral("C1"));  // the items stay known
    }

    void closeBoxHidesAndKeepsRows() {
        AMLogForm f;  // deleted on close, this would be freed twice
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.AddRecord(Record(1));
        QVERIFY(f.close());  // accepted: closing every window at exit is not held up
        QVERIFY(!f.isVisible());
        QCoreApplication::processEvents();
        // Shown again, it still holds the rows and goes on filling them.
        f.show();
        f.AddRecord(Record(2));
        QCOMPARE(f.AMLogGrid->TextMatrix(5, 0), QStringLiteral("1"));
        QCOMPARE(f.AMLogGrid->TextMatrix(6, 0), QStringLiteral("2"));
    }
};

QTEST_MAIN(TestAMLogForm)
#include "tst_amlogform.moc"
