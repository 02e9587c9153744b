// The measurement item query against the simulated instrument on loopback
// TCP: the exact commands of one slot and the unit rules.
#include <QtTest>

#include "config/MeasItemQuery.h"
#include "support/SimLink.h"

#include <memory>

class TstMeasItem : public QObject {
    Q_OBJECT

    std::unique_ptr<SimTcpLink> dev;
    InstrumentConfig cfg;

    // Slot A measures `source`,`kind`; channel n answers its unit query with
    // "U<n>" (and channel 3 with "A").
    MeasItemRecord query(const QString& source, const QString& kind, const QString& letter = "A") {
        auto& c = dev->sim.config();
        c.meas[letter.at(0).unicode() - 'A'] = {source, kind, 0.0, {}};
        for (int n = 0; n < 4; ++n) c.channels[n].unit = QStringLiteral("U%1").arg(n + 1);
        c.channels[2].unit = "A";
        MeasItemRecord slot{"old", "old", "old"};
        Link& l = dev->link;
        QueryMeasItem(l, cfg, letter, slot);
        return slot;
    }

private slots:
    void init() {
        dev = std::make_unique<SimTcpLink>();
        cfg = InstrumentConfig{};
        cfg.VUnit = {"v0", "v1", "v2", "v3", "v4"};
        QVERIFY(dev->start());
    }
    void cleanup() { dev.reset(); }

    void channelMaximum() {
        dev->sim.config().channels[0].unit = "V";
        dev->sim.config().meas[0] = {"C1", "MAX", 0.0, {}};
        MeasItemRecord slot;
        Link& l = dev->link;
        QueryMeasItem(l, cfg, "A", slot);
        QCOMPARE(dev->sim.received(), (QStringList{"DIRM A", "MSEL?", "C1:VUNI?"}));
        QCOMPARE(slot.Source, QString("C1"));
        QCOMPARE(slot.Kind, QString("MAX"));
        QCOMPARE(slot.Unit, QString("V"));
        QCOMPARE(cfg.VUnit, (std::array<QString, 5>{"V", "v1", "v2", "v3", "v4"}));
    }

    void slotLetterSelectsSlot() {
        const MeasItemRecord slot = query("C4", "P-P", "D");
        QCOMPARE(dev->sim.received(), (QStringList{"DIRM D", "MSEL?", "C4:VUNI?"}));
        QCOMPARE(dev->sim.measSlot(), QChar('D'));
        QCOMPARE(slot.Source, QString("C4"));
        QCOMPARE(slot.Unit, QString("U4"));
        QCOMPARE(cfg.VUnit[3], QString("U4"));
    }

    void units_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("unitQuery");  // empty: none
        QTest::addColumn<QString>("unit");
        const QStringList channelKinds = {"MAX", "MIN", "P-P", "CVRMS", "CVMEAN", "TOP", "BASE", "T-B", "+OSHOT", "-OSHOT"};
        for (const QString& k : channelKinds) QTest::newRow(qPrintable("C2 " + k)) << "C2" << k << "C2:VUNI?" << "U2";
        for (const QString& k : channelKinds) QTest::newRow(qPrintable("M1 " + k)) << "M1" << k << "" << "s";
        QTest::newRow("duty keeps the unit query") << "C2" << "DUTY" << "C2:VUNI?" << "%";
        QTest::newRow("duty of math") << "M1" << "DUTY" << "" << "%";
        QTest::newRow("integral") << "C3" << "INTEGRAL" << "C3:VUNI?" << "As";
        QTest::newRow("integral of math") << "M1" << "INTEGRAL" << "" << "s";
        QTest::newRow("time kind") << "C1" << "FREQ" << "C1:VUNI?" << "s";
        QTest::newRow("kind compared exactly") << "C1" << "max" << "C1:VUNI?" << "s";
        QTest::newRow("kind with blank") << "C1" << "MAX " << "C1:VUNI?" << "s";
        QTest::newRow("lower-case source") << "c1" << "MAX" << "" << "s";
        QTest::newRow("long channel name") << "CH2" << "MAX" << "C2:VUNI?" << "U2";
        QTest::newRow("channel 9") << "C9" << "MAX" << "" << "s";
        QTest::newRow("channel 0") << "C0" << "MAX" << "" << "s";
        QTest::newRow("no digit") << "C" << "MAX" << "" << "s";
        QTest::newRow("no digit, duty") << "CX" << "DUTY" << "" << "%";
        QTest::newRow("no digit, integral") << "CX" << "INTEGRAL" << "" << "s";
        QTest::newRow("empty source") << "" << "MAX" << "" << "s";
    }
    void units() {
        QFETCH(QString, source);
        QFETCH(QString, kind);
        QFETCH(QString, unitQuery);
        QFETCH(QString, unit);
        const std::array<QString, 5> before = cfg.VUnit;
        const MeasItemRecord slot = query(source, kind);
        QStringList want = {"DIRM A", "MSEL?"};
        if (!unitQuery.isEmpty()) want << unitQuery;
        QCOMPARE(dev->sim.received(), want);
        QCOMPARE(slot.Source, source);
        QCOMPARE(slot.Kind, kind);
        QCOMPARE(slot.Unit, unit);
        std::array<QString, 5> after = before;
        if (!unitQuery.isEmpty()) {
            const int n = unitQuery.at(1).unicode() - '1';
            after[n] = n == 2 ? QString("A") : QStringLiteral("U%1").arg(n + 1);
        }
        QCOMPARE(cfg.VUnit, after);
    }

    void channelFiveIsTheMathElement() {
        dev->sim.config().replies["C5:VUNI?"] = "VV";
        const MeasItemRecord slot = query("C5", "MAX");
        QCOMPARE(dev->sim.received(), (QStringList{"DIRM A", "MSEL?", "C5:VUNI?"}));
        QCOMPARE(slot.Unit, QString("VV"));
        QCOMPARE(cfg.VUnit, (std::array<QString, 5>{"v0", "v1", "v2", "v3", "VV"}));
    }

    void replyItemCounts() {
        auto& r = dev->sim.config().replies;
        // More than four items: source and kind empty, no unit query.
        r["MSEL?"] = "C1,MAX,X,Y,Z";
        MeasItemRecord slot = query("C1", "MAX");
        QCOMPARE(dev->sim.received(), (QStringList{"DIRM A", "MSEL?"}));
        QCOMPARE(slot.Source, QString(""));
        QCOMPARE(slot.Kind, QString(""));
        QCOMPARE(slot.Unit, QString("s"));

        // Four items are still read.
        dev->sim.clearReceived();
        r["MSEL?"] = "C2,MAX,X,Y";
        slot = query("C1", "MAX");
        QCOMPARE(slot.Source, QString("C2"));
        QCOMPARE(slot.Unit, QString("U2"));

        // One item: no kind, not even one left over from an earlier query.
        dev->sim.clearReceived();
        r["MSEL?"] = "C1";
        slot = query("C1", "MAX");
        QCOMPARE(slot.Source, QString("C1"));
        QCOMPARE(slot.Kind, QString(""));
        QCOMPARE(slot.Unit, QString("s"));
        QCOMPARE(dev->sim.received(), (QStringList{"DIRM A", "MSEL?", "C1:VUNI?"}));
    }

    void answerLengths() {
        // Both queries read at most 100 characters of an answer.
        dev->sim.config().replies["C1:VUNI?"] = QString(120, QLatin1Char('u'));
        const MeasItemRecord slot = query("C1", "MAX");
        QCOMPARE(slot.Unit, QString(100, QLatin1Char('u')));
        QCOMPARE(cfg.VUnit[0], slot.Unit);
    }

    void fourSlotsInTurn() {
        auto& c = dev->sim.config();
        c.channels[0].unit = "V";
        c.channels[1].unit = "A";
        // The instrument's own slots: C1 MAX, C1 P-P, C2 DUTY, C1 INTEGRAL.
        std::array<MeasItemRecord, 4> items;
        Link& l = dev->link;
        const QStringList letters = {"A", "B", "C", "D"};
        for (int i = 0; i < 4; ++i) QueryMeasItem(l, cfg, letters[i], items[i]);
        QCOMPARE(dev->sim.received(), (QStringList{"DIRM A", "MSEL?", "C1:VUNI?", "DIRM B", "MSEL?", "C1:VUNI?",
                                                   "DIRM C", "MSEL?", "C2:VUNI?", "DIRM D", "MSEL?", "C1:VUNI?"}));
        QCOMPARE(items[0].Unit, QString("V"));
        QCOMPARE(items[1].Kind, QString("P-P"));
        QCOMPARE(items[1].Unit, QString("V"));
        QCOMPARE(items[2].Unit, QString("%"));
        QCOMPARE(items[3].Unit, QString("Vs"));
        QCOMPARE(cfg.VUnit[1], QString("A"));
    }
};

QTEST_MAIN(TstMeasItem)
#include "tst_measitem.moc"
