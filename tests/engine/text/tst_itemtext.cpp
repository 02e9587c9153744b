// Splitting a line at commas: items, the count, slots left alone, overflow.
#include "engine/text/ItemText.h"

#include <QtTest>
#include <vector>

using namespace qm;

class TstItemText : public QObject {
    Q_OBJECT
private slots:
    void items_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("after");  // every slot; slot i held "o<i>" before
        QTest::newRow("two items") << "C1,MAX" << 4 << 2 << QStringList{"C1", "MAX", "o2", "o3"};
        QTest::newRow("blanks kept, CR LF dropped") << " a , b\r\n" << 3 << 2 << QStringList{" a ", " b", "o2"};
        QTest::newRow("CR and LF inside dropped") << "a\rb,c\nd" << 2 << 2 << QStringList{"ab", "cd"};
        QTest::newRow("empty line") << "" << 2 << 1 << QStringList{"", "o1"};
        QTest::newRow("empty items") << ",x," << 3 << 3 << QStringList{"", "x", ""};
        QTest::newRow("every slot") << "a,b,c,d" << 4 << 4 << QStringList{"a", "b", "c", "d"};
        QTest::newRow("one item too many") << "1,2,3,4,5" << 4 << 2 << QStringList{"", "", "o2", "o3"};
        QTest::newRow("one slot, two items") << "a,b" << 1 << 2 << QStringList{""};
        QTest::newRow("no slots") << "a" << 0 << 2 << QStringList{};
        QTest::newRow("longest line") << QString(32767, 'a') << 1 << 1 << QStringList{QString(32767, 'a')};
        QTest::newRow("line too long") << QString(32768, 'a') << 3 << 2 << QStringList{"", "", "o2"};
    }
    void items() {
        QFETCH(QString, line);
        QFETCH(int, size);
        QFETCH(int, count);
        QFETCH(QStringList, after);
        std::vector<QString> item;
        for (int i = 0; i < size; ++i) item.push_back(QStringLiteral("o%1").arg(i));
        QCOMPARE(splitItems(line, item), int16_t(count));
        QCOMPARE(QStringList(item.begin(), item.end()), after);
    }
};

QTEST_GUILESS_MAIN(TstItemText)
#include "tst_itemtext.moc"
