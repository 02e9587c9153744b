// --serve on the command line: the program (headless, with its simulated
// instrument) says the page's address once and serves the run there; a
// wrong address is a usage error. Needs the built program (QUILLMETER_APP).
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

}  // namespace

class TestServeOption : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void headlessRunServed();
    void badAddressIsAUsageError();
};

void TestServeOption::initTestCase() {
    if (App().isEmpty() || !QFile::exists(App())) QSKIP("QUILLMETER_APP (the built program) is not there");
}

void TestServeOption::headlessRunServed() {
    QTemporaryDir data;
    QProcess p;
    p.start(App(), {QStringLiteral("--headless"), QStringLiteral("--demo"), QStringLiteral("--data-dir"), data.path(),
                    QStringLiteral("--repeat"), QStringLiteral("10000"), QStringLiteral("--log"), QStringLiteral("--serve"),
                    QStringLiteral("0"), QStringLiteral("--serve-token"), QStringLiteral("abc")});
    QVERIFY(p.waitForStarted(10000));
    QString url;
    QByteArray out;
    while (url.isEmpty() && p.waitForReadyRead(10000)) {
        out += p.readAllStandardOutput();
        const qsizetype at = out.indexOf("ウェブ表示: ");
        if (at >= 0 && out.indexOf('\n', at) > 0)
            url = QString::fromUtf8(out.mid(at, out.indexOf('\n', at) - at)).section(QStringLiteral(": "), 1);
    }
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

void TestServeOption::badAddressIsAUsageError() {
    QProcess p;
    p.start(App(), {QStringLiteral("--headless"), QStringLiteral("--serve"), QStringLiteral("nohost:80")});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 64);
    QVERIFY(p.readAllStandardError().contains("--serve"));
}

QTEST_GUILESS_MAIN(TestServeOption)
#include "tst_serveoption.moc"
