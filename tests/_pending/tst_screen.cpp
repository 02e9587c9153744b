// The screen image: transfer over TCP and the serial line, the stored file,
// and the screen window.
#include <QtTest>

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include "link/BlockRead.h"
#include "link/CommPort.h"
#include "link/CommandLink.h"
#include "link/SockControl.h"
#include "link/TcpTransport.h"
#include "screen/ScreenTransfer.h"
#include "screen/WaveForm.h"
#include "sim/SimInstrument.h"
#include "sim/SimPty.h"
#include "sim/SimTcpServer.h"

namespace {

QByteArray Block(const QByteArray& data) {
    return "#8" + QByteArray::number(data.size()).rightJustified(8, '0') + data + '\n';
}

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

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// An instrument stand-in that answers the screen request with prepared
// pieces: each piece leaves after its delay; a piece may end the connection.
class FakeScope : public QObject {
    Q_OBJECT
public:
    struct Piece {
        int delayMs;
        QByteArray bytes;
        bool drop = false;
    };

    FakeScope() {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            peer_ = server_.nextPendingConnection();
            connect(peer_, &QTcpSocket::readyRead, this, &FakeScope::onRead);
        });
        server_.listen(QHostAddress::LocalHost);
    }
    quint16 port() const { return server_.serverPort(); }
    // The pieces of the next answers, one list per screen request.
    void answer(QList<Piece> pieces) { plans_.append(pieces); }
    QList<QByteArray> lines;

private:
    void onRead() {
        inbuf_ += peer_->readAll();
        qsizetype lf;
        while ((lf = inbuf_.indexOf('\n')) >= 0) {
            const QByteArray line = inbuf_.left(lf);
            inbuf_.remove(0, lf + 1);
            lines.append(line);
            if (line.startsWith("TSCRN?") && !plans_.isEmpty()) play(plans_.takeFirst());
            else if (line == "*IDN?") play({{0, "FAKE,SCOPE\n"}});
        }
    }
    void play(const QList<Piece>& pieces) {
        int t = 0;
        for (const Piece& p : pieces) {
            t += p.delayMs;
            QPointer<QTcpSocket> s = peer_;
            QTimer::singleShot(t, this, [s, p] {
                if (!s) return;
                s->write(p.bytes);
                s->flush();
                if (p.drop) s->abort();
            });
        }
    }

    QTcpServer server_;
    QPointer<QTcpSocket> peer_;
    QByteArray inbuf_;
    QList<QList<Piece>> plans_;
};

// The files in a folder, to see that a failed transfer left nothing behind.
QStringList Entries(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System); }

}  // namespace

class TstScreen : public QObject {
    Q_OBJECT

    // One TCP link per case.
    struct TcpLink {
        int16_t mode = 1;
        CommPort MSComm1;
        SockControl dso;
        Link link{mode, MSComm1, dso};
        bool open(quint16 port) {
            return LinkToSLA(dso, QStringLiteral("127.0.0.1"), QString::number(port)) == SockControl::sckConnected;
        }
    };

private slots:
    // ---- over TCP, against the simulated instrument ----

    void simPngIsStoredByteForByte() {
        qmsim::SimInstrument sim;
        qmsim::SimTcpServer server(&sim);
        QVERIFY(server.listen());
        TcpLink t;
        QVERIFY(t.open(server.port()));
        QTemporaryDir dir;
        const QString file = dir.filePath("run_00007.png");
        const QByteArray expected = qmsim::screenFile(sim.config(), "png");
        QVERIFY(expected.size() > 100);

        QString error;
        bool lost = true;
        const int32_t n = TransferScreen(t.link, file, kScreenFormatPng, &error, &lost);
        QCOMPARE(n, int32_t(expected.size()));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(!lost);
        QCOMPARE(sim.received(), QStringList{"TSCRN? png"});
        const QByteArray stored = ReadAll(file);
        QCOMPARE(stored.size(), expected.size());
        QVERIFY(stored == expected);
        QCOMPARE(Entries(dir.path()), QStringList{"run_00007.png"});
    }

    void simBmpGoesToTheBufferFileInTheWorkingFolder() {
        qmsim::SimInstrument sim;
        qmsim::SimTcpServer server(&sim);
        QVERIFY(server.listen());
        TcpLink t;
        QVERIFY(t.open(server.port()));
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const int32_t n = TransferScreen(t.link, kScreenBufferName, kScreenFormatBmp);
        QDir::setCurrent(before);
        const QByteArray expected = qmsim::screenFile(sim.config(), "bmp");
        QCOMPARE(sim.received(), QStringList{"TSCRN? bmp"});
        QCOMPARE(n, int32_t(expected.size()));
        QVERIFY(ReadAll(dir.filePath("BufferFile.bmp")) == expected);

        WaveForm w;
        QVERIFY(w.LoadPicture(dir.filePath("BufferFile.bmp")));
        QCOMPARE(w.DsScreen()->pixmap().size(), QSize(640, 480));
    }

    void simChunkedBlockWithLateTerminator() {
        qmsim::SimInstrument sim;
        sim.config().faults.blockFault = qmsim::BlockFault::Chunked;
        sim.config().faults.chunkBytes = 1500;
        sim.config().faults.terminatorDelayMs = 200;
        qmsim::SimTcpServer server(&sim);
        QVERIFY(server.listen());
        TcpLink t;
        QVERIFY(t.open(server.port()));
        QTemporaryDir dir;
        const QString file = dir.filePath("c.png");
        const QByteArray expected = qmsim::screenFile(sim.config(), "png");
        QVERIFY(expected.size() > 3 * 1500);
        QString error;
        QCOMPARE(TransferScreen(t.link, file, "png", &error), int32_t(expected.size()));
        QVERIFY(ReadAll(file) == expected);
        // The terminator was taken: the next answer starts clean.
        QCOMPARE(SendGetResp(t.link, "TRMD?", 2.0f, 1000), QStringLiteral("AUTO"));
    }

    void simBadLengthFailsAndKeepsTheOldFile() {
        qmsim::SimInstrument sim;
        sim.config().faults.blockFault = qmsim::BlockFault::BadLength;
        qmsim::SimTcpServer server(&sim);
        QVERIFY(server.listen());
        TcpLink t;
        QVERIFY(t.open(server.port()));
        QTemporaryDir dir;
        const QString file = dir.filePath("BufferFile.bmp");
        WriteAll(file, "previous picture");
        QString error;
        bool lost = true;
        QCOMPARE(TransferScreen(t.link, file, "bmp", &error, &lost), 0);
        QVERIFY(!error.isEmpty());
        QVERIFY(!lost);
        QCOMPARE(ReadAll(file), QByteArray("previous picture"));
        QCOMPARE(Entries(dir.path()), QStringList{"BufferFile.bmp"});
        // The rest of the spoiled block was dropped, so the link goes on.
        sim.config().faults.blockFault = qmsim::BlockFault::None;
        QCOMPARE(SendGetResp(t.link, "TRMD?", 2.0f, 1000), QStringLiteral("AUTO"));
        QCOMPARE(TransferScreen(t.link, file, "bmp"), int32_t(qmsim::screenFile(sim.config(), "bmp").size()));
    }

    void simTruncatedBlockFailsAfterTheSilenceBound() {
        qmsim::SimInstrument sim;
        sim.config().faults.blockFault = qmsim::BlockFault::Truncated;
        qmsim::SimTcpServer server(&sim);
        QVERIFY(server.listen());
        TcpLink t;
        QVERIFY(t.open(server.port()));
        QTemporaryDir dir;
        const QString file = dir.filePath("x.png");
        QElapsedTimer clock;
        clock.start();
        QString error;
        bool lost = true;
        QCOMPARE(TransferScreen(t.link, file, "png", &error, &lost), 0);
        const qint64 took = clock.elapsed();
        QVERIFY2(took >= kBlockSilenceMs - 100 && took < kBlockSilenceMs + 3000, qPrintable(QString::number(took)));
        QVERIFY(!lost);
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(file));
        QVERIFY(Entries(dir.path()).isEmpty());
    }

    void simConnectionDroppedMidBlock() {
        qmsim::SimInstrument sim;
        sim.config().faults.blockFault = qmsim::BlockFault::Truncated;
        qmsim::SimTcpServer server(&sim);
        QVERIFY(server.listen());
        TcpLink t;
        QVERIFY(t.open(server.port()));
        QTemporaryDir dir;
        const QString file = dir.filePath("x.png");
        WriteAll(file, "older");
        QTimer::singleShot(300, &server, [&] { server.dropConnections(); });
        QElapsedTimer clock;
        clock.start();
        QString error;
        bool lost = false;
        QCOMPARE(TransferScreen(t.link, file, "png", &error, &lost), 0);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(lost);
        QVERIFY(!error.isEmpty());
        QCOMPARE(ReadAll(file), QByteArray("older"));
        QCOMPARE(Entries(dir.path()), QStringList{"x.png"});
    }

    // ---- over TCP, prepared blocks ----

    void shorterImageLeavesNoTail() {
        FakeScope scope;
        const QByteArray big = ImageFile(Pattern({640, 480}), "BMP");
        const QByteArray small = ImageFile(Pattern({64, 48}), "PNG");
        scope.answer({{0, Block(big)}});
        scope.answer({{0, Block(small)}});
        TcpLink t;
        QVERIFY(t.open(scope.port()));
        QTemporaryDir dir;
        const QString file = dir.filePath("BufferFile.bmp");
        QCOMPARE(TransferScreen(t.link, file, "bmp"), int32_t(big.size()));
        QVERIFY(ReadAll(file) == big);
        QCOMPARE(TransferScreen(t.link, file, "bmp"), int32_t(small.size()));
        QVERIFY(ReadAll(file) == small);
        QCOMPARE(scope.lines, (QList<QByteArray>{"TSCRN? bmp", "TSCRN? bmp"}));
    }

    void blockLengths_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("expected");  // -1: the transfer fails
        QByteArray atLimit(kScreenBlockLimit, '\0');
        for (int i = 0; i < atLimit.size(); ++i) atLimit[i] = char((i * 131) >> 3);
        QTest::newRow("length 0") << QByteArray("#800000000\n") << -1;
        QTest::newRow("at the limit") << Block(atLimit) << int(kScreenBlockLimit);
        QTest::newRow("one above the limit") << Block(atLimit + 'x') << -1;
        QTest::newRow("not a number") << QByteArray("#8abcdefgh0123456789\n") << -1;
        QTest::newRow("length with a sign") << QByteArray("#8-0000010xxxxxxxxxx\n") << -1;
        QTest::newRow("one byte") << Block("Z") << 1;
        QTest::newRow("data holds LF and NUL") << Block(QByteArray("\n\0\r#8", 5)) << 5;
    }
    void blockLengths() {
        QFETCH(QByteArray, answer);
        QFETCH(int, expected);
        FakeScope scope;
        scope.answer({{0, answer}});
        scope.answer({{0, Block("NEXT")}});
        TcpLink t;
        QVERIFY(t.open(scope.port()));
        QTemporaryDir dir;
        const QString file = dir.filePath("s.png");
        WriteAll(file, "kept");
        QString error;
        bool lost = true;
        const int32_t n = TransferScreen(t.link, file, "png", &error, &lost);
        QVERIFY(!lost);
        if (expected < 0) {
            QCOMPARE(n, 0);
            QVERIFY(!error.isEmpty());
            QCOMPARE(ReadAll(file), QByteArray("kept"));
        } else {
            QCOMPARE(n, expected);
            QVERIFY(error.isEmpty());
            const qsizetype start = answer.indexOf('#') + 10;
            QVERIFY(ReadAll(file) == answer.mid(start, expected));
        }
        QCOMPARE(Entries(dir.path()), QStringList{"s.png"});
        // Whatever was left of the answer does not spoil the next one.
        QCOMPARE(TransferScreen(t.link, file, "png", &error), 4);
        QCOMPARE(ReadAll(file), QByteArray("NEXT"));
    }

    void manySmallChunksTerminatorApart() {
        FakeScope scope;
        const QByteArray png = ImageFile(Pattern({320, 240}), "PNG");
        const QByteArray block = Block(png);
        QList<FakeScope::Piece> pieces;
        pieces.append({0, block.left(3)});  // the header itself split
        pieces.append({5, block.mid(3, 7)});
        for (qsizetype pos = 10; pos < block.size() - 1; pos += 97) pieces.append({1, block.mid(pos, std::min<qsizetype>(97, block.size() - 1 - pos))});
        pieces.append({300, "\n"});
        scope.answer(pieces);
        TcpLink t;
        QVERIFY(t.open(scope.port()));
        QTemporaryDir dir;
        const QString file = dir.filePath("m.png");
        QCOMPARE(TransferScreen(t.link, file, "png"), int32_t(png.size()));
        QVERIFY(ReadAll(file) == png);
        QCOMPARE(SendGetResp(t.link, "*IDN?", 2.0f, 100), QStringLiteral("FAKE,SCOPE"));
    }

    void dropRightAfterTheHeader() {
        FakeScope scope;
        scope.answer({{0, "#800001000"}, {50, QByteArray(10, 'a'), true}});
        TcpLink t;
        QVERIFY(t.open(scope.port()));
        QTemporaryDir dir;
        QString error;
        bool lost = false;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(TransferScreen(t.link, dir.filePath("d.png"), "png", &error, &lost), 0);
        QVERIFY(clock.elapsed() < 3000);
        QVERIFY(lost);
        QVERIFY(Entries(dir.path()).isEmpty());
    }

    void requestOnADeadLink() {
        // Never connected: the request cannot go out.
        TcpLink t;
        QTemporaryDir dir;
        QString error;
        bool lost = false;
        QCOMPARE(TransferScreen(t.link, dir.filePath("d.png"), "png", &error, &lost), 0);
        QVERIFY(lost);
        QVERIFY(!error.isEmpty());
        QVERIFY(Entries(dir.path()).isEmpty());
    }

    void fileThatCannotBeWritten() {
        FakeScope scope;
        scope.answer({{0, Block("PICTURE")}});
        scope.answer({{0, Block("AGAIN")}});
        TcpLink t;
        QVERIFY(t.open(scope.port()));
        QTemporaryDir dir;
        const QString file = dir.filePath("no such folder/p.png");
        QString error;
        bool lost = true;
        QCOMPARE(TransferScreen(t.link, file, "png", &error, &lost), 0);
        QVERIFY(!lost);
        QVERIFY2(error.contains(file), qPrintable(error));
        QVERIFY(Entries(dir.path()).isEmpty());
        // The block was read in full: the link is in step for the next one.
        QCOMPARE(TransferScreen(t.link, dir.filePath("p.png"), "png", &error), 5);
        QCOMPARE(ReadAll(dir.filePath("p.png")), QByteArray("AGAIN"));
    }

    // ---- over the serial line (a pseudo terminal) ----

    void simSerialPngOverPty() {
        qmsim::SimInstrument sim;
        qmsim::SimPty pty(&sim);
        QVERIFY2(pty.open(), qPrintable(pty.errorString()));
        qputenv("QUILLMETER_COM5", pty.slavePath().toLocal8Bit());
        int16_t mode = 0;
        CommPort MSComm1;
        SockControl dso;
        Link link{mode, MSComm1, dso};
        QCOMPARE(InitCommPort(MSComm1, 5, "38400,n,8,1"), int16_t(0));
        QTemporaryDir dir;
        const QString file = dir.filePath("run_00001.png");
        WriteAll(file, QByteArray(1000001, 'o'));  // an older, longer file
        const QByteArray png = qmsim::screenFile(sim.config(), "png");
        QString error;
        bool lost = true;
        QCOMPARE(TransferScreen(link, file, "png", &error, &lost), int32_t(png.size()));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(!lost);
        QVERIFY(ReadAll(file) == png);  // no padding, no terminator, no old tail
        // The serial reader took the terminator: the next answer is clean.
        QCOMPARE(SendGetResp(link, "TRMD?", 2.0f, 1000), QStringLiteral("AUTO"));
        const QByteArray bmp = qmsim::screenFile(sim.config(), "bmp");
        QCOMPARE(TransferScreen(link, dir.filePath("BufferFile.bmp"), "bmp"), int32_t(bmp.size()));
        QVERIFY(ReadAll(dir.filePath("BufferFile.bmp")) == bmp);
        QCOMPARE(sim.received(), (QStringList{"TSCRN? png", "TRMD?", "TSCRN? bmp"}));
        MSComm1.SetPortOpen(false);
    }

    void simSerialCablePulledMidBlock() {
        qmsim::SimInstrument sim;
        sim.config().faults.blockFault = qmsim::BlockFault::Truncated;
        qmsim::SimPty pty(&sim);
        QVERIFY2(pty.open(), qPrintable(pty.errorString()));
        qputenv("QUILLMETER_COM5", pty.slavePath().toLocal8Bit());
        int16_t mode = 0;
        CommPort MSComm1;
        SockControl dso;
        Link link{mode, MSComm1, dso};
        QCOMPARE(InitCommPort(MSComm1, 5, "38400,n,8,1"), int16_t(0));
        QTemporaryDir dir;
        const QString file = dir.filePath("BufferFile.bmp");
        WriteAll(file, "last picture");
        QTimer::singleShot(300, &pty, [&] { pty.close(); });
        QElapsedTimer clock;
        clock.start();
        QString error;
        bool lost = false;
        QCOMPARE(TransferScreen(link, file, "bmp", &error, &lost), 0);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(lost);
        QVERIFY(!error.isEmpty());
        QCOMPARE(ReadAll(file), QByteArray("last picture"));
        QCOMPARE(Entries(dir.path()), QStringList{"BufferFile.bmp"});
        MSComm1.SetPortOpen(false);
    }

    void serialDeviceMissing() {
        qputenv("QUILLMETER_COM9", "/nonexistent/tty-for-screen-test");
        int16_t mode = 0;
        CommPort MSComm1;
        MSComm1.SetCommPort(9);
        MSComm1.SetSettings("38400,n,8,1");
        SockControl dso;
        Link link{mode, MSComm1, dso};
        QTemporaryDir dir;
        QString error;
        bool lost = false;
        QCOMPARE(TransferScreen(link, dir.filePath("p.png"), "png", &error, &lost), 0);
        QVERIFY(lost);
        QVERIFY(!error.isEmpty());
        QVERIFY(Entries(dir.path()).isEmpty());
    }

    // ---- the screen window ----

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
