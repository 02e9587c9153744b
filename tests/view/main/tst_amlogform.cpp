// The measurement log window as a user reads it: the frozen rows, the line a
// logged cycle adds, the wrap after the 10000th line, the clear and the close
// box.
#include "view/AMLogForm.h"
#include "view/LogGrid.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace qm;

using qm::AMLogForm;

namespace {

// Rows 0..4 are the frozen rows, the lines follow from row 5.
constexpr int kFirstLine = 5;
constexpr int kLastRow = kFirstLine + 10000 - 1;

QStringList Row(const AMLogForm& f, int r) {
    QStringList out;
    for (int c = 0; c < 6; ++c) out << f.grid().shownText(r, c);
    return out;
}

const QStringList kEmptyRow(6, QString());
const QStringList kTitles{"", "Time", "A", "B", "C", "D"};

void CheckLabelsOnly(const AMLogForm& f) {
    QCOMPARE(Row(f, 0), kTitles);
    QCOMPARE(Row(f, 1), (QStringList{"Ch", "", "", "", "", ""}));
    QCOMPARE(Row(f, 2), (QStringList{"Type", "", "", "", "", ""}));
    QCOMPARE(Row(f, 3), (QStringList{"Unit", "", "", "", "", ""}));
    for (int r = 4; r <= kLastRow; ++r)
        if (Row(f, r) != kEmptyRow) QFAIL(qPrintable(QStringLiteral("row %1 not empty").arg(r)));
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

// The region painted on a widget.
class PaintSpy : public QObject {
public:
    explicit PaintSpy(QWidget* w) { w->installEventFilter(this); }
    QRegion painted;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};

void Flush() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
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
        qm::LogGrid& g = f.grid();
        QCOMPARE(g.objectName(), QStringLiteral("AMLogGrid"));
        QCOMPARE(f.findChild<QTableView*>(QStringLiteral("AMLogGrid")), &g);
        CheckLabelsOnly(f);
        QCOMPARE(Row(f, kLastRow + 1), kEmptyRow);  // past the grid's end
        QCOMPARE(g.verticalHeader()->count(), 10000);

        // At its first size every column shows whole: no horizontal scrolling.
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(g.geometry().topLeft(), QPoint(16, 8));
        QCOMPARE(g.horizontalScrollBar()->maximum(), 0);
        QVERIFY(!g.horizontalScrollBar()->isVisible());
        const QList<int> widths{56, 152, 104, 104, 104, 104};
        QList<int> shown{g.verticalHeader()->width()};
        for (int c = 0; c < 5; ++c) shown << g.columnWidth(c);
        QCOMPARE(shown, widths);
        QVERIFY(g.horizontalHeader()->height() == 5 * g.rowHeight() && g.rowHeight() >= 16);

        QCOMPARE(f.trendButton().text(), QStringLiteral("トレンド"));
        QVERIFY(!f.trendButton().geometry().intersects(g.geometry()));
        QSignalSpy trend(&f, &AMLogForm::trendRequested);
        f.trendButton().click();
        QCOMPARE(trend.count(), 1);
    }

    // Each line shows its record's number (not the row's), its time and the
    // values in the log's notation (no value: an empty cell); "Last" repeats
    // the latest; the slots' texts show from the first line on.
    void linesAndLast() {
        AMLogForm f;
        f.setItems(Items());
        QCOMPARE(Row(f, 1), (QStringList{"Ch", "", "", "", "", ""}));  // not before a line
        const CycleRecord first = Record(3, {1500, -0.5, 9.9e37, 0.000123});
        f.addRecord(first);
        QCOMPARE(Row(f, 0), kTitles);
        QCOMPARE(Row(f, 1), (QStringList{"Ch", "", "C1", "C2", "M1", "C3"}));
        QCOMPARE(Row(f, 2), (QStringList{"Type", "", "MAX", "DUTY", "P-P", "INTEGRAL"}));
        QCOMPARE(Row(f, 3), (QStringList{"Unit", "", "V", "%", "s", "As"}));
        QVERIFY(!first.timeText.isEmpty());
        const QStringList line{"3", first.timeText, "1.5e3", "-500e-3", "", "123e-6"};
        QCOMPARE(Row(f, kFirstLine), line);
        QCOMPARE(Row(f, 4), QStringList{"Last"} + line.mid(1));
        QCOMPARE(Row(f, kFirstLine + 1), kEmptyRow);

        f.addRecord(Record(4, {0, 2.5, 0.001, 999.9999999}));
        const QStringList next{"4", first.timeText, "0e-9", "2.5", "1e-3", "1000"};
        QCOMPARE(Row(f, kFirstLine), line);
        QCOMPARE(Row(f, kFirstLine + 1), next);
        QCOMPARE(Row(f, 4), QStringList{"Last"} + next.mid(1));
    }

    // The 10001st line takes the first row again: the latest 10000 stay.
    void wrapsAfterTheLastRow() {
        AMLogForm f;
        for (int32_t c = 1; c <= 10000; ++c) f.addRecord(Record(c, {double(c), 2, 3, 4}));
        QCOMPARE(f.grid().shownText(kLastRow, 0), QStringLiteral("10000"));
        QCOMPARE(f.grid().shownText(kLastRow, 2), QStringLiteral("10e3"));
        f.addRecord(Record(10001));
        QCOMPARE(f.grid().shownText(kFirstLine, 0), QStringLiteral("10001"));
        QCOMPARE(f.grid().shownText(kFirstLine + 1, 0), QStringLiteral("2"));
        QCOMPARE(f.grid().shownText(kLastRow, 0), QStringLiteral("10000"));
        QCOMPARE(Row(f, 4).mid(0, 3), (QStringList{"Last", Record(1).timeText, "1"}));
        f.addRecord(Record(10002));
        QCOMPARE(f.grid().shownText(kFirstLine + 1, 0), QStringLiteral("10002"));
    }

    // クリア: only the labels are left; the next line takes the first row and
    // shows the slots' texts again.
    void clearLeavesOnlyLabels() {
        AMLogForm f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.setItems(Items());
        for (int32_t c = 1; c <= 30; ++c) f.addRecord(Record(c));
        f.clear();
        CheckLabelsOnly(f);
        QVERIFY(f.grid().isVisible());
        f.addRecord(Record(1));
        QCOMPARE(f.grid().shownText(kFirstLine, 0), QStringLiteral("1"));
        QCOMPARE(Row(f, kFirstLine + 1), kEmptyRow);
        QCOMPARE(f.grid().shownText(1, 2), QStringLiteral("C1"));
    }

    // The frozen rows and the cycle numbers stay in view while the lines
    // scroll down and sideways.
    void frozenRowsStayInView() {
        AMLogForm f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        for (int32_t c = 1; c <= 100; ++c) f.addRecord(Record(c));
        qm::LogGrid& g = f.grid();
        const QRect band = g.horizontalHeader()->geometry();
        const QRect numbers = g.verticalHeader()->geometry();
        g.verticalScrollBar()->setValue(50);
        g.resize(300, g.height());  // narrower than the columns
        QVERIFY(g.horizontalScrollBar()->maximum() > 0);
        g.horizontalScrollBar()->setValue(g.horizontalScrollBar()->maximum());
        QCoreApplication::processEvents();
        QCOMPARE(g.horizontalHeader()->geometry().top(), band.top());
        QCOMPARE(g.verticalHeader()->geometry().left(), numbers.left());
        QCOMPARE(g.rowAt(0), 50);  // the top line in view is the 51st
        QCOMPARE(g.verticalHeader()->sectionViewportPosition(50), 0);
    }

    // A logged line repaints only what changed: its row and label when in
    // view, and the cells of "Last" whose text changed.
    void lineRepaintsOnlyWhatChanged() {
        AMLogForm f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        qm::LogGrid& g = f.grid();
        f.setItems(Items());
        for (int32_t c = 1; c <= 60; ++c) f.addRecord(Record(c));
        Flush();
        PaintSpy lines(g.viewport()), labels(g.verticalHeader()->viewport()), band(g.horizontalHeader()->viewport());
        f.addRecord(Record(61, {1, 2, 3, 5}));  // out of view; only D of "Last" changes
        Flush();
        QHeaderView* h = g.horizontalHeader();
        const int rowH = g.rowHeight();
        QCOMPARE(band.painted, QRegion(h->sectionViewportPosition(4), 4 * rowH, h->sectionSize(4), rowH));
        QVERIFY(lines.painted.isEmpty() && labels.painted.isEmpty());

        g.verticalScrollBar()->setValue(55);
        Flush();
        lines.painted = labels.painted = band.painted = QRegion();
        f.addRecord(Record(62, {1, 2, 3, 5}));  // in view; "Last" stays as it was
        Flush();
        QVERIFY(band.painted.isEmpty());
        QCOMPARE(lines.painted, QRegion(g.visualRect(g.model()->index(61, 0)).united(g.visualRect(g.model()->index(61, 4)))));
        QCOMPARE(labels.painted.boundingRect().top(), g.verticalHeader()->sectionViewportPosition(61));
        QCOMPARE(labels.painted.boundingRect().height(), rowH);
    }

    void closeBoxHidesAndKeepsRows() {
        AMLogForm f;  // deleted on close, this would be freed twice
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.addRecord(Record(1));
        QVERIFY(f.close());  // accepted: closing every window at exit is not held up
        QVERIFY(!f.isVisible());
        QCoreApplication::processEvents();
        // Shown again, it still holds the rows and goes on filling them.
        f.show();
        f.addRecord(Record(2));
        QCOMPARE(f.grid().shownText(kFirstLine, 0), QStringLiteral("1"));
        QCOMPARE(f.grid().shownText(kFirstLine + 1, 0), QStringLiteral("2"));
    }
};

QTEST_MAIN(TestAMLogForm)
#include "tst_amlogform.moc"
