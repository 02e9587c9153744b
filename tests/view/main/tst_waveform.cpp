// The screen window "DSO 画面": layout, the picture shown unscaled from the
// corner of its box, pictures that cannot be read, the close box. (The main
// window's DS画面表示 box that shows it: tst_mainform.)
#include "view/WaveForm.h"

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

using namespace qm;

using qm::WaveForm;

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

bool Shown(const WaveForm& w) { return !w.picture().pixmap().isNull(); }

}  // namespace

class TstWaveForm : public QObject {
    Q_OBJECT
private slots:
    void windowLayout() {
        WaveForm w;
        QVERIFY(w.isWindow());
        QCOMPARE(w.parentWidget(), nullptr);
        QCOMPARE(w.windowTitle(), QStringLiteral("DSO 画面"));
        QCOMPARE(w.size(), QSize(668, 506));
        QCOMPARE(w.minimumSize(), w.maximumSize());  // fixed size
        QVERIFY(!w.testAttribute(Qt::WA_QuitOnClose));
        QCOMPARE(w.picture().objectName(), QStringLiteral("DsScreen"));
        QCOMPARE(w.picture().geometry(), QRect(8, 8, 649, 481));
        QVERIFY(!Shown(w));
    }

    void pictureShownUnscaledFromTheCorner_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("640x480 BMP") << QSize(640, 480) << QByteArray("BMP");
        QTest::newRow("larger than the box, clipped") << QSize(800, 600) << QByteArray("BMP");
        QTest::newRow("small PNG") << QSize(50, 30) << QByteArray("PNG");
        QTest::newRow("640x480 PNG (display as PNG)") << QSize(640, 480) << QByteArray("PNG");
    }
    void pictureShownUnscaledFromTheCorner() {
        QFETCH(QSize, size);
        QFETCH(QByteArray, format);
        const QImage img = Pattern(size);
        WaveForm w;
        QVERIFY(w.showImage(ImageFile(img, format.constData())));
        QCOMPARE(w.picture().pixmap().size(), size);
        QCOMPARE(w.picture().size(), QSize(649, 481));
        const QImage shot = w.grab().toImage();
        const QPoint box = WaveForm::ScreenBox.topLeft();
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
        const QByteArray good = ImageFile(Pattern({64, 48}), "BMP");
        QByteArray junk(5000, '\0');
        for (int i = 0; i < junk.size(); ++i) junk[i] = char(i * 7919 >> 2);
        WaveForm w;
        for (const QByteArray& bad : {junk, ImageFile(Pattern({640, 480}), "BMP").left(40), QByteArray()}) {
            QVERIFY(w.showImage(good));
            QVERIFY(!w.showImage(bad));
            QVERIFY(!Shown(w));
        }
    }

    void closeBoxHidesDropsThePictureAndTells() {
        WaveForm w;
        QSignalSpy unloaded(&w, &WaveForm::closedByUser);
        w.show();
        QVERIFY(w.showImage(ImageFile(Pattern({64, 48}), "PNG")));
        QVERIFY(w.close());
        QCOMPARE(unloaded.count(), 1);
        QVERIFY(!w.isVisible());
        QVERIFY(!Shown(w));
        w.hide();  // hiding is not closing
        QCOMPARE(unloaded.count(), 1);
    }
};

QTEST_MAIN(TstWaveForm)
#include "tst_waveform.moc"
