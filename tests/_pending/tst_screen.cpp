// The screen window. (The screen fetch over TCP and the serial line moved to
// tests/engine/instrument/tst_transfer.cpp and tst_exchanges.cpp.)
#include <QtTest>

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>

#include "screen/WaveForm.h"

namespace {

// A picture with a pattern that shows where each pixel went.
QImage Pattern(QSize size) {
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) img.setPixel(x, y, qRgb(x & 0xff, y & 0xff, (x / 7 + y / 5) & 0xff));
    img.setPixel(0, 0, qRgb(255, 0, 0));
    img.setPixel(size.width() - 1, size.height() - 1, qRgb(0, 0, 255));
    return img;
}

QByteArray ImageFile(const QImage& img, const char* format) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format);
    return bytes;
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

}  // namespace

class TstScreen : public QObject {
    Q_OBJECT

private slots:
    void windowLayout() {
        WaveForm w;
        QVERIFY(w.isWindow());
        QVERIFY(w.parentWidget() == nullptr);
        QCOMPARE(w.windowTitle(), QStringLiteral("DSO 画面"));
        QCOMPARE(w.size(), QSize(668, 506));
        QCOMPARE(w.DsScreen()->geometry(), QRect(8, 8, 649, 481));
        QCOMPARE(w.DsScreen()->objectName(), QStringLiteral("DsScreen"));
        QVERIFY(w.DsScreen()->pixmap().isNull());
    }

    void pictureShownUnscaledFromTheCorner_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("640x480 BMP") << QSize(640, 480) << QByteArray("BMP");
        QTest::newRow("larger than the box, clipped") << QSize(800, 600) << QByteArray("BMP");
        QTest::newRow("small PNG") << QSize(50, 30) << QByteArray("PNG");
    }
    void pictureShownUnscaledFromTheCorner() {
        QFETCH(QSize, size);
        QFETCH(QByteArray, format);
        QTemporaryDir dir;
        const QString file = dir.filePath("BufferFile.bmp");
        const QImage img = Pattern(size);
        WriteAll(file, ImageFile(img, format.constData()));
        WaveForm w;
        QVERIFY(w.LoadPicture(file));
        QCOMPARE(w.DsScreen()->pixmap().size(), size);
        QCOMPARE(w.DsScreen()->size(), QSize(649, 481));
        const QImage shot = w.grab().toImage();
        const QPoint box = WaveForm::kScreenBox.topLeft();
        const int maxX = std::min(size.width(), 649) - 1, maxY = std::min(size.height(), 481) - 1;
        for (const QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(maxX / 2, maxY / 3), QPoint(maxX, maxY)})
            QCOMPARE(QColor(shot.pixel(box + p)), QColor(img.pixel(p)));
        if (size.width() < 649) {
            // Nothing stretched beyond the picture's own width.
            QVERIFY(QColor(shot.pixel(box + QPoint(size.width() + 2, 0))) != QColor(img.pixel(size.width() - 1, 0)) ||
                    QColor(shot.pixel(box + QPoint(size.width() + 2, 1))) != QColor(img.pixel(size.width() - 1, 1)));
        }
    }

    void unreadablePicturesGiveAnEmptyPicture() {
        QTemporaryDir dir;
        const QString good = dir.filePath("good.bmp");
        WriteAll(good, ImageFile(Pattern({64, 48}), "BMP"));
        const QString garbage = dir.filePath("garbage.bmp");
        QByteArray junk(5000, '\0');
        for (int i = 0; i < junk.size(); ++i) junk[i] = char(i * 7919 >> 2);
        WriteAll(garbage, junk);
        const QString cut = dir.filePath("cut.bmp");
        WriteAll(cut, ImageFile(Pattern({640, 480}), "BMP").left(40));
        const QString empty = dir.filePath("empty.bmp");
        WriteAll(empty, {});

        WaveForm w;
        for (const QString& bad : {dir.filePath("missing.bmp"), garbage, cut, empty, QString()}) {
            QVERIFY(w.LoadPicture(good));
            QVERIFY(!w.DsScreen()->pixmap().isNull());
            QVERIFY2(!w.LoadPicture(bad), qPrintable(bad));
            QVERIFY2(w.DsScreen()->pixmap().isNull(), qPrintable(bad));
        }
    }

    void closeBoxHidesDropsThePictureAndTells() {
        QTemporaryDir dir;
        const QString file = dir.filePath("BufferFile.bmp");
        WriteAll(file, ImageFile(Pattern({64, 48}), "BMP"));
        WaveForm w;
        QSignalSpy unloaded(&w, &WaveForm::Unloaded);
        ShowScreenWindow(w, QRect(0, 0, 400, 300), 100, true, file);
        QVERIFY(w.isVisible());
        QVERIFY(!w.DsScreen()->pixmap().isNull());
        QVERIFY(w.close());
        QCOMPARE(unloaded.count(), 1);
        QVERIFY(!w.isVisible());
        QVERIFY(w.DsScreen()->pixmap().isNull());
        // Showing it again reloads the picture.
        ShowScreenWindow(w, QRect(0, 0, 400, 300), 100, true, file);
        QVERIFY(w.isVisible());
        QCOMPARE(w.DsScreen()->pixmap().size(), QSize(64, 48));
        QCOMPARE(unloaded.count(), 1);
    }

    void displayCheckBoxHandler() {
        QTemporaryDir dir;
        const QString file = dir.filePath("BufferFile.bmp");
        WriteAll(file, ImageFile(Pattern({640, 480}), "BMP"));
        WaveForm w;
        QSignalSpy unloaded(&w, &WaveForm::Unloaded);
        ShowScreenWindow(w, QRect(120, 45, 500, 400), 310, true, QString());
        QVERIFY(w.isVisible());
        QCOMPARE(w.pos(), QPoint(430, 45));
        QVERIFY(w.DsScreen()->pixmap().isNull());  // before any run: empty picture

        DSScreenDispCheck_Apply(w, QRect(120, 45, 500, 400), 310, false, file);
        QVERIFY(!w.isVisible());
        QCOMPARE(unloaded.count(), 0);  // hiding is not closing

        ShowScreenWindow(w, QRect(10, 20, 500, 400), 200, true, file);
        QVERIFY(w.isVisible());
        QCOMPARE(w.pos(), QPoint(210, 20));
        QCOMPARE(w.DsScreen()->pixmap().size(), QSize(640, 480));

        QVERIFY(QFile::remove(file));
        ShowScreenWindow(w, QRect(10, 20, 500, 400), 200, true, file);
        QVERIFY(w.isVisible());
        QVERIFY(w.DsScreen()->pixmap().isNull());
    }
};

QTEST_MAIN(TstScreen)
#include "tst_screen.moc"
