// How "COMn" becomes a device on each platform, and how the link names
// itself in messages: the Windows rules are checked on every platform.
#include "engine/link/SerialStream.h"

#include <QTest>

using namespace qm;

class TestSerialName : public QObject {
    Q_OBJECT
private slots:
    void devicePath_data() {
        QTest::addColumn<int>("com");
        QTest::addColumn<bool>("windows");
        QTest::addColumn<QString>("override");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("name");
        QTest::newRow("windows COM1") << 1 << true << "" << "\\\\.\\COM1" << "COM1";
        QTest::newRow("windows COM16") << 16 << true << "" << "\\\\.\\COM16" << "COM16";
        QTest::newRow("windows ignores override") << 3 << true << "/dev/pts/4" << "\\\\.\\COM3" << "COM3";
        QTest::newRow("linux COM1") << 1 << false << "" << "/dev/ttyACM0" << "COM1 (/dev/ttyACM0)";
        QTest::newRow("linux COM12") << 12 << false << "" << "/dev/ttyACM11" << "COM12 (/dev/ttyACM11)";
        QTest::newRow("linux override") << 2 << false << "/dev/pts/7" << "/dev/pts/7" << "COM2 (/dev/pts/7)";
    }
    void devicePath() {
        QFETCH(int, com);
        QFETCH(bool, windows);
        QFETCH(QString, override);
        QFETCH(QString, device);
        QFETCH(QString, name);
        const QString got = SerialDevicePath(com, windows, override);
        QCOMPARE(got, device);
        QCOMPARE(SerialLinkName(com, got), name);
    }

    void refusedBeforeOpening() {
        StopToken stop;
        QVERIFY(SerialOpenRefusal(4, stop).error.isEmpty());
        QCOMPARE(SerialOpenRefusal(0, stop).error, QStringLiteral("COM0 は使えないポート番号です"));
        stop.requestAbort();
        const OpenResult r = SerialOpenRefusal(4, stop);
        QVERIFY(r.stopped);
        QCOMPARE(r.error, QStringLiteral("COM4 を開く前に中断しました"));
    }
};

QTEST_GUILESS_MAIN(TestSerialName)
#include "tst_serialname.moc"
