// Exchanges with the simulated instrument on loopback TCP: the trigger poll,
// and how a lost link, a stop, an abort and a spoiled block end a call.
#include "Outcome.h"

#include <QElapsedTimer>
#include <QtTest>
#include <memory>

class TstExchanges : public QObject {
    Q_OBJECT
    std::unique_ptr<SimInstrumentLink> dev;

private slots:
    void init() {
        dev = std::make_unique<SimInstrumentLink>();
        QVERIFY(dev->startTcp());
    }
    void cleanup() { dev.reset(); }

    void pollTrigger_data() {
        QTest::addColumn<QString>("answer");  // empty: silence
        QTest::addColumn<bool>("triggered");
        QTest::newRow("bit 0") << "1" << true;
        QTest::newRow("bit 0 and others") << "67" << true;
        QTest::newRow("negative") << "-3" << true;
        QTest::newRow("0.5 rounds to 0") << "0.5" << false;
        QTest::newRow("1.5 rounds to 2") << "1.5" << false;
        QTest::newRow("beyond range") << "1E999" << false;
        QTest::newRow("no number") << "ERR" << false;
        QTest::newRow("silence") << "" << false;
    }
    void pollTrigger() {
        QFETCH(QString, answer);
        QFETCH(bool, triggered);
        if (answer.isEmpty()) dev->sim.config().faults.silent << "TESR?";
        else dev->sim.config().replies["TESR?"] = answer;
        Instrument::TriggerPoll p;
        QCOMPARE(Outcome(*dev, [&](Instrument& i) { p = i.pollTrigger(0.2); }), QString());
        QCOMPARE(p.triggered, triggered);
        QCOMPARE(p.timedOut, answer.isEmpty());
        QCOMPARE(dev->sim.received(), QStringList{"TESR?"});
    }

    void failures_data() {
        QTest::addColumn<QString>("call");   // query, wave, screen
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("outcome");  // the start of the failure; empty: none
        const QString lost = "LinkError: ";      // naming the link once
        for (const char* call : {"query", "wave", "screen"}) {
            QTest::addRow("%s: dropped on the request", call) << call << "drop" << lost;
            QTest::addRow("%s: stop", call) << call << "stop" << "RunInterrupted: stop";
            QTest::addRow("%s: abort", call) << call << "abort" << "RunInterrupted: abort";
        }
        QTest::newRow("query: lost before the request") << "query" << "gone" << lost;
        QTest::newRow("wave: dropped in the block") << "wave" << "late drop" << lost;
        QTest::newRow("screen: dropped in the block") << "screen" << "late drop" << lost;
        QTest::newRow("wave: bad block") << "wave" << "bad block" << "LinkError: 装置からのデータのヘッダが不正です";
        QTest::newRow("screen: bad block") << "screen" << "bad block" << "";  // told by the result
    }
    void failures() {
        QFETCH(QString, call);
        QFETCH(QString, fault);
        QFETCH(QString, outcome);
        qmsim::SimConfig& s = dev->sim.config();
        const QString request = call == "query" ? "TDIV?" : call == "wave" ? "DTWAVE?" : "TSCRN? png";
        if (fault == "drop") s.faults.dropOn << request;
        if (fault == "stop" || fault == "abort") s.faults.silent << "*";
        if (fault == "gone") {
            QTRY_COMPARE(dev->server.connectionCount(), 1);
            dev->server.dropConnections();
        }
        if (fault == "late drop") s.faults.blockFault = qmsim::BlockFault::Truncated;
        if (fault == "bad block") s.faults.blockFault = qmsim::BlockFault::BadLength;
        SimInstrumentLink* d = dev.get();
        if (fault == "late drop") QTimer::singleShot(200, &d->server, [d] { d->server.dropConnections(); });
        if (fault == "stop") QTimer::singleShot(200, &d->server, [d] { d->stop.requestStop(); });
        if (fault == "abort") QTimer::singleShot(200, &d->server, [d] { d->stop.requestAbort(); });
        InstrumentConfig cfg;
        cfg.Display[0] = "ON";
        std::vector<float> samples(10, 123.0f);
        int32_t points = 10;
        qm::BlockResult screen;
        QElapsedTimer clock;
        clock.start();
        const QString got = Outcome(*dev, [&](Instrument& i) {
            if (fault == "gone") i.link().drain(dev->stop);  // sees the connection go
            if (call == "query") i.query(request, 30, 80);
            else if (call == "wave") i.transferTrace(0, samples, cfg, points, nullptr);
            else screen = i.fetchScreen("png");
        });
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(outcome.isEmpty() ? got.isEmpty() : got.startsWith(outcome), qPrintable(got));
        if (outcome == "LinkError: ") QVERIFY2(got.count("(127.0.0.1:") == 1, qPrintable(got));
        QCOMPARE(points, 10);
        QCOMPARE(samples, std::vector<float>(10, 123.0f));
        if (call == "screen" && got.isEmpty()) {
            QCOMPARE(screen.status, qm::IoStatus::Failed);
            QVERIFY2(screen.error.startsWith("装置からのデータのヘッダが不正です"), qPrintable(screen.error));
        }
    }
};

QTEST_MAIN(TstExchanges)
#include "tst_exchanges.moc"
