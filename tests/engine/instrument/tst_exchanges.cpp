// Exchanges with the simulated instrument on loopback TCP: the trigger poll,
// and how a lost link, a stop, an abort and a spoiled block end a call.
#include "Outcome.h"

#include <QElapsedTimer>
#include <QtTest>
#include <memory>

using namespace qm;

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
        if (fault == "late drop") QTimer::singleShot(50, &d->server, [d] { d->server.dropConnections(); });
        if (fault == "stop") QTimer::singleShot(50, &d->server, [d] { d->stop.requestStop(); });
        if (fault == "abort") QTimer::singleShot(50, &d->server, [d] { d->stop.requestAbort(); });
        InstrumentConfig cfg;
        cfg.display[0] = "ON";
        std::vector<float> samples(10, 123.0f);
        int32_t points = 10;
        qm::BlockResult screen;
        bool stoppedReply = false;
        QElapsedTimer clock;
        clock.start();
        const QString got = Outcome(*dev, [&](Instrument& i) {
            if (fault == "gone") i.link().drain(dev->stop);  // sees the connection go
            if (call == "query" && fault == "stop") {
                // The trigger poll's query tells a stop by its reply; the
                // run's other queries raise it.
                stoppedReply = i.query(request, 30, 80).stopped;
                i.ask(request, 30, 80);
            } else if (call == "query") i.ask(request, 30, 80);
            else if (call == "wave") i.transferTrace(0, samples, cfg, points, nullptr);
            else screen = i.fetchScreen("png");
        });
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(outcome.isEmpty() ? got.isEmpty() : got.startsWith(outcome), qPrintable(got));
        if (outcome == "LinkError: ") QVERIFY2(got.count("(127.0.0.1:") == 1, qPrintable(got));
        QCOMPARE(stoppedReply, call == "query" && fault == "stop");
        QCOMPARE(points, 10);
        QCOMPARE(samples, std::vector<float>(10, 123.0f));
        if (call == "screen" && got.isEmpty()) {
            QCOMPARE(screen.status, qm::IoStatus::Failed);
            QVERIFY2(screen.error.startsWith("装置からのデータのヘッダが不正です"), qPrintable(screen.error));
        }
    }

    // Over-long measurement answers, over both links: below the cap, above
    // it (the link is resynchronised), and never ending (the link is given up
    // as lost). Whatever happens, no slot gets another slot's answer.
    void overlongAnswersKeepTheirSlots_data() {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QString>("query");  // the over-long one
        QTest::addColumn<int>("length");     // padded to this many characters; 0: endless
        QTest::addColumn<int>("rate");       // endless: bytes a second
        for (const bool serial : {false, true}) {
            const char* link = serial ? "serial" : "tcp";
            QTest::addRow("%s: below the cap", link) << serial << "MSRA?" << 3000 << 0;
            QTest::addRow("%s: just above the cap", link) << serial << "MSRB?" << 10000 << 0;
            QTest::addRow("%s: far above the cap", link) << serial << "MSRC?" << 200000 << 0;
            QTest::addRow("%s: endless", link) << serial << "MSRC?" << 0 << 2000000;
            QTest::addRow("%s: never quiet", link) << serial << "MSRD?" << 0 << 20000;
        }
    }
    void overlongAnswersKeepTheirSlots() {
        QFETCH(bool, serial);
        QFETCH(QString, query);
        QFETCH(int, length);
        QFETCH(int, rate);
        QM_NEEDS_PTY(serial);
        qm::LinkLimits limits;
        limits.overlongDropMax = 8192;
        limits.resyncDropMax = 256 * 1024;
        limits.resyncQuietMaxMs = 150;
        dev = std::make_unique<SimInstrumentLink>();
        QVERIFY(serial ? dev->startSerial(7, limits) : dev->startTcp(limits));
        const QStringList values{"1.0E+00", "2.0E+00", "3.0E+00", "4.0E+00"};
        qmsim::SimConfig& s = dev->sim.config();
        for (int k = 0; k < 4; ++k) s.replies[QStringLiteral("MSR%1?").arg(QChar(u'A' + k))] = values[k];
        if (length > 0) {
            s.faults.overlong[query] = length;
        } else {
            s.faults.endless << query;
            s.faults.endlessRate = rate;
        }
        QStringList overlong;
        dev->inst->onOverlong = [&](const QString& c) { overlong << c; };

        for (int cycle = 0; cycle < 2; ++cycle) {
            std::array<QString, 4> got;
            const QString outcome = Outcome(*dev, [&](Instrument& i) { got = i.measurementValues(); });
            if (length == 0) {
                // The rest of the answer cannot be told from the next one.
                QCOMPARE(outcome, "LinkError: 装置の応答が長すぎます: " + query);
                QCOMPARE(overlong, QStringList());
                return;
            }
            QCOMPARE(outcome, QString());
            for (int k = 0; k < 4; ++k) QCOMPARE(got[size_t(k)].section(',', 0, 0), values[k]);
            QCOMPARE(overlong.size(), cycle + 1);
            QCOMPARE(overlong.last(), query);
        }
        QCOMPARE(dev->sim.received().count(), 8);
    }
};

QTEST_MAIN(TstExchanges)
#include "tst_exchanges.moc"
