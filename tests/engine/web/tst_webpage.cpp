// The page of the web view in headless Chromium beside runs against the
// simulated instrument: what it shows while a run waits between cycles and
// after it has ended, with a token carried into its own requests. Skipped
// when /usr/bin/chromium is not installed.
#include "../run/RunRig.h"
#include "engine/stats/TrendLimits.h"
#include "engine/web/WebServer.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

using namespace qm;

namespace {

const QString kChromium = QStringLiteral("/usr/bin/chromium");

// Starts Chromium dumping the page's DOM after `ms` (the page's own
// requests and events run meanwhile).
void StartDump(QProcess& p, const QTemporaryDir& profile, const QString& url, int ms) {
    p.start(kChromium, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                        QStringLiteral("--disable-background-networking"), QStringLiteral("--no-first-run"),
                        QStringLiteral("--user-data-dir=") + profile.path(), QStringLiteral("--timeout=%1").arg(ms),
                        QStringLiteral("--dump-dom"), url});
}

QString Text(const QString& dom, const QString& id) {
    const QRegularExpression re(QStringLiteral("id=\"%1\"[^>]*>([^<]*)<").arg(id));
    return re.match(dom).captured(1);
}

QString Attr(const QString& dom, const QString& id, const QString& attr) {
    const QRegularExpression re(QStringLiteral("id=\"%1\"[^>]*%2=\"([^\"]*)\"").arg(id, attr));
    return re.match(dom).captured(1);
}

}  // namespace

class TestWebPage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void duringARun();
    void afterTheRunWithAToken();
    void inEnglish();
};

void TestWebPage::initTestCase() {
    if (!QFile::exists(kChromium))
        QSKIP("headless page tests need /usr/bin/chromium (apt-get install chromium); skipped");
}

void TestWebPage::duringARun() {
    WebServer web;
    QCOMPARE(web.start({}), QString());
    RunRig r;
    // Limits for A around its fixed value, none for B.
    LimitArray limits;
    limits[0] = {1.2e-3, 1.3e-3};
    QCOMPARE(SaveTrendLimits(r.dir.path(), limits), QString());
    web.setDataFolder(r.dir.path());
    r.sim.config().meas[0].fixed = QStringLiteral("1.25E-03");
    r.session.addSink(&web);
    web.watch(&r.session.live());
    r.request.repeatText = QStringLiteral("10000");
    r.live([](LiveValues& v) {
        v.log = true;
        v.intervalText = QStringLiteral("0.05");
    });
    QTemporaryDir profile;
    QProcess chromium;
    QString dom;
    // The page is read while the run goes on; then the run is stopped.
    QObject::connect(&chromium, &QProcess::finished, &r.session, [&] {
        dom = QString::fromUtf8(chromium.readAllStandardOutput());
        r.session.stop();
    });
    // Once a few cycles are logged, the run waits 30 s between cycles and
    // Chromium starts.
    QObject::connect(&r.session, &Session::cycleLogged, &r.session, [&](const CycleRecord& rec) {
        if (rec.cycle != 3) return;
        r.live([](LiveValues& v) { v.intervalText = QStringLiteral("30"); });
        StartDump(chromium, profile, web.url(), 4000);
    });
    // However slow Chromium is (or if it does not start), the run ends.
    QTimer::singleShot(25000, &r.session, [&] { r.session.stop(); });
    QCOMPARE(r.run(), RunOutcome::Normal);
    QVERIFY2(!dom.isEmpty(), qPrintable(QString::fromUtf8(chromium.readAllStandardError()).left(2000)));
    // Between cycles: the time left to the next one.
    QCOMPARE(Attr(dom, QStringLiteral("state"), QStringLiteral("data-state")), QStringLiteral("waiting"));
    QCOMPARE(Attr(dom, QStringLiteral("wait"), QStringLiteral("data-kind")), QStringLiteral("interval"));
    const QRegularExpressionMatch left = QRegularExpression(QStringLiteral("^次の測定まで (\\d+) 秒$")).match(Text(dom, QStringLiteral("wait")));
    QVERIFY2(left.hasMatch() && left.captured(1).toInt() >= 1 && left.captured(1).toInt() <= 30, qPrintable(Text(dom, QStringLiteral("wait"))));
    const QStringList cycles = Text(dom, QStringLiteral("cycles")).split(QStringLiteral(" / "));
    QCOMPARE(cycles.size(), 2);
    QVERIFY2(cycles[0].toInt() >= 3 && cycles[0].toInt() < 10000, qPrintable(cycles[0]));
    QCOMPARE(cycles[1], QStringLiteral("10000"));
    QVERIFY(dom.contains(QStringLiteral("A: C1 MAX [V]")));
    QVERIFY(dom.contains(QStringLiteral("<canvas")));  // the trend is drawn
    QVERIFY(!Text(dom, QStringLiteral("lastTime")).isEmpty());
    // A's limits are drawn across its chart, B has none; the table gives
    // the last value, the statistics and the limits in the log's notation
    // with the unit.
    QCOMPARE(Attr(dom, QStringLiteral("plotA"), QStringLiteral("data-limit-lines")), QStringLiteral("2"));
    QCOMPARE(Attr(dom, QStringLiteral("plotB"), QStringLiteral("data-limit-lines")), QStringLiteral("0"));
    for (const char* cell : {"<td>1.25e-3 V</td><td>", "<td>1.2e-3 V</td><td>1.3e-3 V</td><td>0</td>"})
        QVERIFY2(dom.contains(QString::fromUtf8(cell)), cell);
    QVERIFY(dom.contains(QStringLiteral("下限 1.2e-3 V  上限 1.3e-3 V")));
    // The page held its event stream open until Chromium ended.
    QTRY_COMPARE_WITH_TIMEOUT(web.subscriberCount(), size_t(0), 10000);
}

void TestWebPage::afterTheRunWithAToken() {
    WebServer web;
    WebServerOptions o;
    o.token = QStringLiteral("t0k/en");
    QCOMPARE(web.start(o), QString());
    RunRig r;
    r.session.addSink(&web);
    web.watch(&r.session.live());
    r.request.repeatText = QStringLiteral("5");
    r.live([](LiveValues& v) {
        v.log = true;
        v.screenSave = true;
    });
    QCOMPARE(r.run(), RunOutcome::Normal);
    QTemporaryDir profile;
    QProcess chromium;
    StartDump(chromium, profile, web.url(), 2500);
    QVERIFY(chromium.waitForFinished(60000));
    const QString dom = QString::fromUtf8(chromium.readAllStandardOutput());
    QCOMPARE(Attr(dom, QStringLiteral("state"), QStringLiteral("data-state")), QStringLiteral("ended"));
    QCOMPARE(Text(dom, QStringLiteral("state")), QStringLiteral("完了"));
    QCOMPARE(Text(dom, QStringLiteral("cycles")), QStringLiteral("5 / 5"));
    QCOMPARE(Text(dom, QStringLiteral("status")), QStringLiteral("動作完了しました"));
    QVERIFY(Text(dom, QStringLiteral("lastTime")).endsWith(r.records().last().timeText));
    QVERIFY(dom.contains(QStringLiteral("<td>") + r.records().last().cells[0] + QStringLiteral(" V</td>")));
    QVERIFY(Text(dom, QStringLiteral("wait")).isEmpty());
    // The screen image is asked for with the token, as every request, and
    // captioned with its cycle and the PC time it was saved.
    QVERIFY(Attr(dom, QStringLiteral("screen"), QStringLiteral("src")).startsWith(QStringLiteral("/screen.png?token=t0k%2Fen&amp;c=5")));
    const QString saved = QJsonDocument::fromJson(web.statusJson()).object().value(QStringLiteral("screenTimeText")).toString();
    QVERIFY(!saved.isEmpty());
    QCOMPARE(Text(dom, QStringLiteral("screenCap")), QStringLiteral("DS画面  サイクル 5  PC 時刻 ") + saved);
    // The log file, with the token.
    QCOMPARE(Attr(dom, QStringLiteral("download"), QStringLiteral("href")), QStringLiteral("/api/log.csv?token=t0k%2Fen"));
}

// With the English catalogue the page's own texts are English: its
// language, a label of the static page and the state it fills in.
void TestWebPage::inEnglish() {
    QTranslator english;
    QVERIFY(english.load(QStringLiteral(":/i18n/quillmeter_en.qm")));
    QCoreApplication::installTranslator(&english);
    WebServer web;
    QCOMPARE(web.start({}), QString());
    RunRig r;
    r.session.addSink(&web);
    web.watch(&r.session.live());
    r.request.repeatText = QStringLiteral("2");
    r.live([](LiveValues& v) { v.log = true; });
    QCOMPARE(r.run(), RunOutcome::Normal);
    QTemporaryDir profile;
    QProcess chromium;
    StartDump(chromium, profile, web.url(), 2500);
    QVERIFY(chromium.waitForFinished(60000));
    QCoreApplication::removeTranslator(&english);
    const QString dom = QString::fromUtf8(chromium.readAllStandardOutput());
    QVERIFY2(dom.contains(QStringLiteral("<html lang=\"en\">")), qPrintable(dom.left(200)));
    QCOMPARE(Text(dom, QStringLiteral("state")), QStringLiteral("Finished"));
    QCOMPARE(Text(dom, QStringLiteral("download")), QStringLiteral("Log file (CSV)"));
    QCOMPARE(Text(dom, QStringLiteral("status")), QStringLiteral("Finished"));
    QVERIFY2(dom.contains(QStringLiteral("<th data-t=\"sd\">Std dev</th>")), qPrintable(dom));
}

QTEST_GUILESS_MAIN(TestWebPage)
#include "tst_webpage.moc"
