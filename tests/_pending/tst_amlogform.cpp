// The measurement log window: load, labels, the update after a cycle, reset,
// and the window's own repaint and close box.
#include "engine/text/DateTimeText.h"
#include "logview/AMLogForm.h"
#include "logview/FlexGrid.h"
#include "logview/GridOps.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QPointer>
#include <QTest>
#include <memory>

namespace {
// The run's state, on the heap so that a read past AMLog's end is caught.
struct RunState {
    std::unique_ptr<AMLogArray> AMLog = std::make_unique<AMLogArray>();
    int32_t CycleNo = 1;
    int32_t LogGridRow = 5;
    MeasItemArray MeasItem;
    InstrumentConfig DsoConfig;
    LogViewRefs Refs() { return LogViewRefs{*AMLog, CycleNo, LogGridRow, MeasItem, DsoConfig}; }
};

QStringList RowTexts(FlexGrid& g, int r) {
    QStringList out;
    for (int c = 0; c < 6; ++c) out << g.TextMatrix(r, c);
    return out;
}

QList<QStringList> Snapshot(FlexGrid& g, int rows) {
    QList<QStringList> out;
    for (int r = 0; r < rows; ++r) out << RowTexts(g, r);
    return out;
}

void CheckLabelsOnly(FlexGrid& g) {
    QCOMPARE(RowTexts(g, 0), (QStringList{"", "Time", "A", "B", "C", "D"}));
    QCOMPARE(RowTexts(g, 1), (QStringList{"Ch", "", "", "", "", ""}));
    QCOMPARE(RowTexts(g, 2), (QStringList{"Type", "", "", "", "", ""}));
    QCOMPARE(RowTexts(g, 3), (QStringList{"Unit", "", "", "", "", ""}));
    for (int r = 4; r < g.Rows(); ++r)
        for (int c = 0; c < 6; ++c) QVERIFY2(g.TextMatrix(r, c).isEmpty(), qPrintable(QString::number(r)));
}

void FillItems(RunState& s) {
    s.MeasItem[0] = {"C1", "MAX", "V"};
    s.MeasItem[1] = {"C2", "DUTY", "%"};
    s.MeasItem[2] = {"M1", "P-P", "s"};
    s.MeasItem[3] = {"C3", "INTEGRAL", "As"};
}
}  // namespace

class TestAMLogForm : public QObject {
    Q_OBJECT
private slots:
    void windowAndGridLayout();
    void loadSetsRowsAndWidths();
    void labelsTouchNothingElse();
    void updateWritesDataAndLastRows();
    void updateAtFirstAndLastLogRow();
    void cycleOutsideLogChangesNothing();
    void gridRowOutsideLogWritesOnlyLast();
    void resetLeavesOnlyLabels();
    void repaintDoesNotUpdate();
    void closeBoxHidesAndKeepsRows();
};

void TestAMLogForm::windowAndGridLayout() {
    RunState s;
    AMLogForm f(s.Refs());
    QCOMPARE(f.windowTitle(), QStringLiteral("自動測定のログ"));
    QVERIFY(f.isWindow());
    QCOMPARE(f.parentWidget(), nullptr);
    QVERIFY(!f.isVisible());  // the caller shows it
    QCOMPARE(f.size(), QSize(517, 357));
    QVERIFY(f.AMLogGrid);
    QCOMPARE(f.AMLogGrid->parentWidget(), &f);
    QCOMPARE(f.AMLogGrid->geometry(), QRect(16, 8, 497, 345));
    QCOMPARE(f.AMLogGrid->Cols(), 6);
    QCOMPARE(f.AMLogGrid->FixedRows(), AMLogForm::LogHeaderRows);
    QCOMPARE(f.AMLogGrid->FixedCols(), 1);
    QCOMPARE(f.AMLogGrid->font().pointSize(), 9);
    const QStringList families = QFontDatabase::families();
    if (families.contains(QStringLiteral("ＭＳ Ｐゴシック")))
        QCOMPARE(f.AMLogGrid->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    else if (families.contains(QStringLiteral("Noto Sans CJK JP")))
        QCOMPARE(f.AMLogGrid->font().family(), QStringLiteral("Noto Sans CJK JP"));
}

void TestAMLogForm::loadSetsRowsAndWidths() {
    RunState s;
    AMLogForm f(s.Refs());
    FlexGrid& g = *f.AMLogGrid;
    QCOMPARE(g.Rows(), 10005);
    // From the grid's default width.
    const int w = FlexGrid::DefaultColWidth;
    QCOMPARE(g.ColWidth(0), qRound(0.7 * w));
    QCOMPARE(g.ColWidth(1), qRound(1.9 * w));
    for (int c = 2; c <= 5; ++c) QCOMPARE(g.ColWidth(c), qRound(1.3 * w));

    // With a known default of 1000 twips.
    g.SetColWidth(0, 1000);
    f.Form_Load();
    const int want[] = {700, 1900, 1300, 1300, 1300, 1300};
    for (int c = 0; c < 6; ++c) QCOMPARE(g.ColWidth(c), want[c]);
    // Halves go to the even neighbour: 703.5, 1909.5, 1306.5.
    g.SetColWidth(0, 1005);
    f.Form_Load();
    const int even[] = {704, 1910, 1306, 1306, 1306, 1306};
    for (int c = 0; c < 6; ++c) QCOMPARE(g.ColWidth(c), even[c]);
    QCOMPARE(g.Rows(), 10005);
    CheckLabelsOnly(g);
}

void TestAMLogForm::labelsTouchNothingElse() {
    RunState s;
    AMLogForm f(s.Refs());
    FlexGrid& g = *f.AMLogGrid;
    SetGridCell(g, 1, 2, QStringLiteral("C1"));
    SetGridRow(g, 7, 5, {"3", "t", "1", "2", "3", "4"});
    SetGridCell(g, 0, 2, QStringLiteral("changed"));
    f.Init_Log_Grid();
    QCOMPARE(g.TextMatrix(0, 2), QStringLiteral("A"));
    QCOMPARE(g.TextMatrix(1, 2), QStringLiteral("C1"));
    QCOMPARE(RowTexts(g, 7), (QStringList{"3", "t", "1", "2", "3", "4"}));
    QCOMPARE(g.Row(), 3);  // the last label written: "Unit"
    QCOMPARE(g.Col(), 0);
}

void TestAMLogForm::updateWritesDataAndLastRows() {
    RunState s;
    FillItems(s);
    AMLogForm f(s.Refs());
    FlexGrid& g = *f.AMLogGrid;
    s.CycleNo = 3;
    s.LogGridRow = 7;
    (*s.AMLog)[3] = AMLogRecord{3, {1500, -0.5, 9.9e37, 0.000123}};
    const QString before = qm::NowDateTimeText();
    f.Form_Paint();
    const QString after = qm::NowDateTimeText();

    QCOMPARE(RowTexts(g, 1), (QStringList{"Ch", "", "C1", "C2", "M1", "C3"}));
    QCOMPARE(RowTexts(g, 2), (QStringList{"Type", "", "MAX", "DUTY", "P-P", "INTEGRAL"}));
    QCOMPARE(RowTexts(g, 3), (QStringList{"Unit", "", "V", "%", "s", "As"}));
    QCOMPARE(RowTexts(g, 0), (QStringList{"", "Time", "A", "B", "C", "D"}));

    const QStringList row = RowTexts(g, 7);
    QVERIFY(row[1] == before || row[1] == after);
    QCOMPARE(s.DsoConfig.AcqTime, row[1]);
    QCOMPARE(row, (QStringList{"3", row[1], "1.5e3", "-500e-3", "", "123e-6"}));
    QStringList last = row;
    last[0] = QStringLiteral("Last");
    QCOMPARE(RowTexts(g, 4), last);
    QCOMPARE(g.Row(), 4);  // "Last" row written after the data row
    QCOMPARE(g.Col(), 5);
    QCOMPARE(RowTexts(g, 6), QStringList(6, QString()));
    QCOMPARE(RowTexts(g, 8), QStringList(6, QString()));

    // The next cycle: new data row, "Last" follows it, the older row stays.
    s.CycleNo = 4;
    s.LogGridRow = 8;
    (*s.AMLog)[4] = AMLogRecord{4, {0, 2.5, 0.001, 999.9999999}};
    f.Form_Paint();
    QCOMPARE(RowTexts(g, 7), row);
    const QStringList row8 = RowTexts(g, 8);
    QCOMPARE(row8, (QStringList{"4", s.DsoConfig.AcqTime, "0e-9", "2.5", "1e-3", "1000"}));
    last = row8;
    last[0] = QStringLiteral("Last");
    QCOMPARE(RowTexts(g, 4), last);

    // The cycle number shown is the record's, not CycleNo.
    s.CycleNo = 0;
    s.LogGridRow = 9;
    f.Form_Paint();
    QCOMPARE(g.TextMatrix(9, 0), QStringLiteral("0"));
    QCOMPARE(g.TextMatrix(9, 2), QStringLiteral("0e-9"));
}

void TestAMLogForm::updateAtFirstAndLastLogRow() {
    RunState s;
    AMLogForm f(s.Refs());
    FlexGrid& g = *f.AMLogGrid;
    (*s.AMLog)[10000] = AMLogRecord{10000, {1, 2, 3, 4}};
    s.CycleNo = 10000;
    s.LogGridRow = 10004;
    f.Form_Paint();
    QCOMPARE(g.TextMatrix(10004, 0), QStringLiteral("10000"));
    QCOMPARE(g.TextMatrix(10004, 5), QStringLiteral("4"));
    (*s.AMLog)[1] = AMLogRecord{1, {5, 6, 7, 8}};
    s.CycleNo = 1;
    s.LogGridRow = 5;
    f.Form_Paint();
    QCOMPARE(g.TextMatrix(5, 0), QStringLiteral("1"));
    QCOMPARE(g.TextMatrix(5, 5), QStringLiteral("8"));
    QCOMPARE(g.TextMatrix(4, 5), QStringLiteral("8"));
    QCOMPARE(g.TextMatrix(10004, 0), QStringLiteral("10000"));
}

void TestAMLogForm::cycleOutsideLogChangesNothing() {
    RunState s;
    FillItems(s);
    AMLogForm f(s.Refs());
    FlexGrid& g = *f.AMLogGrid;
    s.CycleNo = 2;
    s.LogGridRow = 5;
    (*s.AMLog)[2] = AMLogRecord{2, {1, 2, 3, 4}};
    f.Form_Paint();
    const auto snap = Snapshot(g, 12);
    const QString stamp = s.DsoConfig.AcqTime;
    s.MeasItem[0].Source = QStringLiteral("changed");
    for (int32_t cycle : {10001, 10002, -1, INT32_MAX, INT32_MIN}) {
        s.CycleNo = cycle;
        s.LogGridRow = 6;
        g.hide();
        f.Form_Paint();
        QCOMPARE(Snapshot(g, 12), snap);
        QCOMPARE(s.DsoConfig.AcqTime, stamp);
        QVERIFY(g.isVisibleTo(&f));  // still made visible
    }
}

void TestAMLogForm::gridRowOutsideLogWritesOnlyLast() {
    RunState s;
    AMLogForm f(s.Refs());
    FlexGrid& g = *f.AMLogGrid;
    s.CycleNo = 5;
    (*s.AMLog)[5] = AMLogRecord{5, {1, 2, 3, 4}};
    for (int32_t row : {4, 3, 0, -1, 10005, INT32_MAX}) {
        g.Clear();
        f.Init_Log_Grid();
        s.LogGridRow = row;
        f.Form_Paint();
        QCOMPARE(RowTexts(g, 0), (QStringList{"", "Time", "A", "B", "C", "D"}));
        QCOMPARE(RowTexts(g, 4), (QStringList{"Last", s.DsoConfig.AcqTime, "1", "2", "3", "4"}));
        QCOMPARE(g.TextMatrix(3, 0), QStringLiteral("Unit"));
        for (int r = 5; r < g.Rows(); ++r) QVERIFY(g.TextMatrix(r, 0).isEmpty());
    }
}

void TestAMLogForm::resetLeavesOnlyLabels() {
    RunState s;
    FillItems(s);
    AMLogForm f(s.Refs());
    FlexGrid& g = *f.AMLogGrid;
    for (int32_t c = 1; c <= 10000; ++c) (*s.AMLog)[size_t(c)] = AMLogRecord{c, {c * 1.0, 2, 3, 4}};
    for (s.CycleNo = 1, s.LogGridRow = 5; s.LogGridRow < g.Rows(); ++s.CycleNo, ++s.LogGridRow) f.Form_Paint();
    QCOMPARE(g.TextMatrix(10004, 0), QStringLiteral("10000"));
    QCOMPARE(g.TextMatrix(10004, 2), QStringLiteral("10e3"));
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));

    f.ResetGrid();
    CheckLabelsOnly(g);
    QVERIFY(g.isVisible());
    QCOMPARE(g.Rows(), 10005);
    // After the reset the caller starts again at cycle 1, row 5.
    s.CycleNo = 1;
    s.LogGridRow = 5;
    f.Form_Paint();
    QCOMPARE(g.TextMatrix(5, 0), QStringLiteral("1"));
    QCOMPARE(g.TextMatrix(6, 0), QString());
}

void TestAMLogForm::repaintDoesNotUpdate() {
    RunState s;
    FillItems(s);
    AMLogForm f(s.Refs());
    FlexGrid& g = *f.AMLogGrid;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    s.CycleNo = 1;
    s.LogGridRow = 5;
    (*s.AMLog)[1] = AMLogRecord{1, {1, 2, 3, 4}};
    f.Form_Paint();
    const auto snap = Snapshot(g, 8);
    s.DsoConfig.AcqTime = QStringLiteral("kept");
    // The run has advanced, the next record is not measured yet.
    s.CycleNo = 2;
    s.LogGridRow = 6;
    f.repaint();
    g.viewport()->repaint();
    f.hide();
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QCoreApplication::processEvents();
    QCOMPARE(Snapshot(g, 8), snap);
    QCOMPARE(s.DsoConfig.AcqTime, QStringLiteral("kept"));
}

void TestAMLogForm::closeBoxHidesAndKeepsRows() {
    RunState s;
    auto* f = new AMLogForm(s.Refs());
    QPointer<AMLogForm> alive(f);
    QPointer<FlexGrid> grid(f->AMLogGrid);
    f->show();
    QVERIFY(QTest::qWaitForWindowExposed(f));
    s.CycleNo = 1;
    (*s.AMLog)[1] = AMLogRecord{1, {1, 2, 3, 4}};
    f->Form_Paint();
    QVERIFY(f->close());  // accepted: closing all windows at exit is not held up
    QVERIFY(!f->isVisible());
    QCoreApplication::processEvents();
    QVERIFY(alive);
    QVERIFY(grid);
    QCOMPARE(grid->TextMatrix(5, 0), QStringLiteral("1"));
    QCOMPARE(grid->TextMatrix(4, 0), QStringLiteral("Last"));
    // Shown again, it still holds the rows, and the run keeps filling it.
    f->show();
    s.CycleNo = 2;
    s.LogGridRow = 6;
    (*s.AMLog)[2] = AMLogRecord{2, {1, 2, 3, 4}};
    f->Form_Paint();
    QCOMPARE(grid->TextMatrix(6, 0), QStringLiteral("2"));
    QCOMPARE(grid->TextMatrix(5, 0), QStringLiteral("1"));
    delete f;
}

QTEST_MAIN(TestAMLogForm)
#include "tst_amlogform.moc"
