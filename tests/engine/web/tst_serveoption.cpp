// --serve on the command line: the program (headless, with its simulated
// instrument) says the page's address once and serves the run there, and an
// event stream open at the end of the run gets all of it before the program
// ends; a wrong address is a usage error. Needs the built program
// (QUILLMETER_APP).
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {

QString App() { return qEnvironmentVariable("QUILLMETER_APP"); }

// One GET with Connection: close; the body, or empty.
QByteArray Get(const QUrl& url, int* status) {
    QTcpSocket s;
    s.connectToHost(url.host(), quint16(url.port()));
    if (!s.waitForConnected(5000)) return {};
    const QByteArray target = url.path(QUrl::FullyEncoded).toUtf8() + (url.hasQuery() ? "?" + url.query(QUrl::FullyEncoded).toUtf8() : QByteArray());
    s.write("GET " + target + " HTTP/1.1\r\nHost: " + url.host().toUtf8() + "\r\nConnection: close\r\n\r\n");
    QByteArray all;
    while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(5000)) all += s.readAll();
    all += s.readAll();
    *status = all.mid(9, 3).toInt();
    return all.mid(all.indexOf("\r\n\r\n") + 4);
}

// Starts the program headless with its simulated instrument and `extra`
// arguments; the page's address it says, or empty.
QString StartServing(QProcess& p, const QString& dataDir, const QStringList& extra, QByteArray* out) {
    p.start(App(), QStringList{QStringLiteral("--headless"), QStringLiteral("--demo"), QStringLiteral("--data-dir"), dataDir} + extra);
    if (!p.waitForStarted(10000)) return {};
    while (p.waitForReadyRead(10000)) {
        *out += p.readAllStandardOutput();
        const qsizetype at = out->indexOf("ウェブ表示: ");
        if (at >= 0 && out->indexOf('\n', at) > 0)
            return QString::fromUtf8(out->mid(at, out->indexOf('\n', at) - at)).section(QStringLiteral(": "), 1);
    }
    return {};
}

}  // namespace

class TestServeOption : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void headlessRunServed();
    void eventStreamGetsTheEndOfTheRun();
    void badAddressIsAUsageError();
};

void TestServeOption::initTestCase() {
    if (App().isEmpty() || !QFile::exists(App())) QSKIP("QUILLMETER_APP (the built program) is not there");
}

void TestServeOption::headlessRunServed() {
    QTemporaryDir data;
    QProcess p;
    QByteArray out;
    const QString url = StartServing(p, data.path(),
                                     {QStringLiteral("--repeat"), QStringLiteral("10000"), QStringLiteral("--log"), QStringLiteral("--serve"),
                                      QStringLiteral("0"), QStringLiteral("--serve-token"), QStringLiteral("abc")},
                                     &out);
    QVERIFY2(url.startsWith(QStringLiteral("http://127.0.0.1:")), out.constData());
    QVERIFY(url.endsWith(QStringLiteral("/?token=abc")));
    int status = 0;
    QUrl api(url);
    api.setPath(QStringLiteral("/api/status"));
    QJsonObject s;
    // The run goes on; its state is served while it does.
    QTRY_VERIFY_WITH_TIMEOUT((s = QJsonDocument::fromJson(Get(api, &status)).object()).value(QStringLiteral("count")).toInt() > 0, 10000);
    QCOMPARE(status, 200);
    QVERIFY(s.value(QStringLiteral("state")).toString() != QLatin1String("idle"));
    api.setQuery(QString());
    Get(api, &status);
    QCOMPARE(status, 401);
    // The address is said once.
#ifdef Q_OS_UNIX
    ::kill(pid_t(p.processId()), SIGTERM);
#else
    p.kill();  // a console program without a window has no gentler stop from outside
#endif
    QVERIFY(p.waitForFinished(20000));
    out += p.readAllStandardOutput();
    QCOMPARE(out.count("ウェブ表示: "), 1);
}

void TestServeOption::eventStreamGetsTheEndOfTheRun() {
    constexpr int cycles = 20;
    QTemporaryDir data;
    QProcess p;
    QByteArray out;
    const QUrl url(StartServing(p, data.path(),
                                {QStringLiteral("--repeat"), QString::number(cycles), QStringLiteral("--interval"), QStringLiteral("0"),
                                 QStringLiteral("--log"), QStringLiteral("--serve"), QStringLiteral("0")},
                                &out));
    QVERIFY2(url.isValid() && url.port() > 0, out.constData());
    QTcpSocket s;
    s.connectToHost(url.host(), quint16(url.port()));
    QVERIFY(s.waitForConnected(5000));
    s.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    s.write("GET /api/events HTTP/1.1\r\nHost: " + url.host().toUtf8() + "\r\n\r\n");
    QVERIFY(s.waitForBytesWritten(5000));
    // A reader that falls behind: it takes nothing until the run is over
    // (its statistics are printed), so the end of the run is still in the
    // program when it ends. Then it reads until the program closes the stream.
    QElapsedTimer t;
    t.start();
    while (!out.contains("Slot,Source,Type") && p.state() == QProcess::Running && t.elapsed() < 60000)
        if (p.waitForReadyRead(100)) out += p.readAllStandardOutput();
    QByteArray stream;
    while (s.state() == QAbstractSocket::ConnectedState && t.elapsed() < 60000)
        if (s.waitForReadyRead(200)) stream += s.readAll();
    stream += s.readAll();
    QVERIFY2(s.state() != QAbstractSocket::ConnectedState, "the stream was not closed");
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 0);

    // From the status it started with: every later cycle, in order, then the end.
    const QList<QByteArray> events = stream.mid(stream.indexOf("\r\n\r\n") + 4).split('\n');
    int startCycle = -1;
    QList<int> got;
    QString lastState;
    int cycleOfEnd = -1;
    QByteArray name;
    for (const QByteArray& line : events) {
        if (line.startsWith("event: ")) name = line.mid(7);
        if (!line.startsWith("data: ")) continue;
        const QJsonObject d = QJsonDocument::fromJson(line.mid(6)).object();
        if (name == "status") {
            if (startCycle < 0) startCycle = d.value(QStringLiteral("cycle")).toInt();
            lastState = d.value(QStringLiteral("state")).toString();
            if (lastState == QLatin1String("ended")) cycleOfEnd = got.isEmpty() ? startCycle : got.last();
        } else if (name == "cycle") {
            got << d.value(QStringLiteral("record")).toObject().value(QStringLiteral("cycle")).toInt();
        }
    }
    QVERIFY2(startCycle >= 0 && startCycle < cycles, stream.left(2000).constData());
    QList<int> expected;
    for (int c = startCycle + 1; c <= cycles; ++c) expected << c;
    QCOMPARE(got, expected);
    QCOMPARE(lastState, QStringLiteral("ended"));
    QCOMPARE(cycleOfEnd, cycles);
}

void TestServeOption::badAddressIsAUsageError() {
    QProcess p;
    p.start(App(), {QStringLiteral("--headless"), QStringLiteral("--serve"), QStringLiteral("nohost:80")});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 64);
    QVERIFY(p.readAllStandardError().contains("--serve"));
}

QTEST_GUILESS_MAIN(TestServeOption)
#include "tst_serveoption.moc"
