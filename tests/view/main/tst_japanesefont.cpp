// Choosing the font family for Japanese captions from what the system has.
#include "view/JapaneseFont.h"

#include <QApplication>
#include <QFontDatabase>
#include <QtTest>

using namespace qm;

class TstJapaneseFont : public QObject {
    Q_OBJECT
private slots:
    void pick_data() {
        QTest::addColumn<QStringList>("preferred");
        QTest::addColumn<QStringList>("available");
        QTest::addColumn<QString>("family");
        const QStringList windows{"Yu Gothic UI", "Meiryo UI", "MS UI Gothic", "Meiryo", "ＭＳ Ｐゴシック", "MS PGothic"};
        QTest::newRow("first preferred present") << windows << QStringList{"Arial", "Meiryo", "Yu Gothic UI"} << "Yu Gothic UI";
        QTest::newRow("a later one") << windows << QStringList{"Arial", "MS PGothic", "Meiryo"} << "Meiryo";
        QTest::newRow("localized name") << windows << QStringList{"Arial", "ＭＳ Ｐゴシック", "MS PGothic"} << "ＭＳ Ｐゴシック";
        QTest::newRow("case differs") << windows << QStringList{"meiryo ui", "MS PGOTHIC"} << "meiryo ui";
        QTest::newRow("with foundry") << QStringList{"Noto Sans CJK JP"} << QStringList{"Noto Sans CJK JP [GOOG]"}
                                      << "Noto Sans CJK JP [GOOG]";
        QTest::newRow("longer name is another family") << QStringList{"Meiryo"} << QStringList{"Meiryo UI"} << "";
        QTest::newRow("shorter name is another family") << QStringList{"Noto Sans CJK JP"} << QStringList{"Noto Sans"} << "";
        QTest::newRow("none present") << windows << QStringList{"Arial", "DejaVu Sans"} << "";
        QTest::newRow("no families") << windows << QStringList{} << "";
        QTest::newRow("no preferences") << QStringList{} << QStringList{"Meiryo"} << "";
        QTest::newRow("empty preference") << QStringList{""} << QStringList{""} << "";
    }
    void pick() {
        QFETCH(QStringList, preferred);
        QFETCH(QStringList, available);
        QFETCH(QString, family);
        QCOMPARE(PickFamily(preferred, available), family);
    }

    // The application font: the family picked from the system's fonts when
    // there is one, the size as it was.
    void applicationFont() {
        auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
        QVERIFY(app);
        const QFont before = QApplication::font();
        const QString family = PickFamily(JapaneseUiFamilies(), QFontDatabase::families());
        UseJapaneseUiFont(*app);
        const QFont after = QApplication::font();
        QCOMPARE(after.family(), family.isEmpty() ? before.family() : family);
        QCOMPARE(after.pointSizeF(), before.pointSizeF());
        QCOMPARE(after.pixelSize(), before.pixelSize());
    }
};

QTEST_MAIN(TstJapaneseFont)
#include "tst_japanesefont.moc"
