// The configuration snapshot against the simulated instrument on loopback TCP,
// which records every command exactly as it arrives.
#include <QHash>
#include <QStringList>
#include <QtTest>

#include "engine/text/Errors.h"
#include "config/ReadConfig.h"
#include "support/SimLink.h"

#include <memory>

namespace {

// The "DTINF?" line: 31 items, model in item 0, file version at the end of
// item 1, date and time at the end of item 2, record length in characters
// 17..26 of item 15 (two channels) or 23 (four channels).
QString InfoLine(const QString& item0, const QString& len15, const QString& len23 = QStringLiteral("0000000000")) {
    QStringList items;
    for (int i = 0; i < 31; ++i) items << QStringLiteral("I%1").arg(i);
    items[0] = item0;
    items[1] = QStringLiteral("File Version 3");
    items[2] = QStringLiteral("Acquired 2024/05/06 12:34:56");
    items[15] = QStringLiteral("Memory Length = ") + len15 + QStringLiteral("pts");
    items[23] = QStringLiteral("Memory Length = ") + len23 + QStringLiteral("pts");
    return items.join(QLatin1Char(','));
}

const QStringList kFixed = {"DTINF?", "TDIV?", "ACQ?", "TSRC?", "TLVL?", "TRDL?", "TRMD?"};
const QStringList kMath = {"M1:VDIV?", "M1:OFST?", "M1:TRA?", "MATH?"};

QStringList ChannelQueries(int n, bool units) {
    const QString c = QStringLiteral("C%1").arg(n);
    QStringList q = {c + ":VDIV?", c + ":OFST? ", c + ":TRA? ", c + ":CPL? ", c + ":BWL? "};
    if (units) q << c + ":VUNI? ";
    return q;
}

}  // namespace

class TstConfig : public QObject {
    Q_OBJECT

    // The simulated instrument on a loopback port. Its answers are set
    // through its reply table, so that every answer of a case is in the case.
    std::unique_ptr<SimTcpLink> dev;

    Link& link() { return dev->link; }

    // A two-channel model above 400 with every answer set.
    void answer552() {
        auto& r = dev->sim.config().replies;
        r["DTINF?"] = InfoLine("DS-5552", "0000001000");
        r["TDIV?"] = "1.00E-03";
        r["ACQ?"] = "AVERAGE";
        r["TSRC?"] = "C2";
        r["TLVL?"] = "-1.25E-01";
        r["TRDL?"] = "1.00E-04";
        r["TRMD?"] = "NORMAL";
        r["C1:VDIV?"] = "5.00E-01";
        r["C1:OFST? "] = "-2.5E-01";
        r["C1:TRA? "] = "ON";
        r["C1:CPL? "] = "DC1M";
        r["C1:BWL? "] = "OFF";
        r["C1:VUNI? "] = "A";
        r["C1:INV?"] = "ON";
        r["C2:VDIV?"] = "2.00E+00";
        r["C2:OFST? "] = "1.0";
        r["C2:TRA? "] = "OFF";
        r["C2:CPL? "] = "AC1M";
        r["C2:BWL? "] = "20MHZ";
        r["C2:VUNI? "] = "V";
        r["C2:INV?"] = "OFF";
        r["M1:VDIV?"] = "1.00E+01";
        r["M1:OFST? "] = "wrong: blank";
        r["M1:OFST?"] = "3.0E+00";
        r["M1:TRA?"] = "OFF";
        r["MATH?"] = "ADD";
    }

    QString failMessage(InstrumentConfig& cfg) {
        Link l = link();
        try {
            ReadInstrumentConfig(l, cfg, false);
        } catch (const QuillError& e) {
            return e.text;
        }
        return {};
    }

private slots:
    void init() {
        dev = std::make_unique<SimTcpLink>();
        QVERIFY(dev->start());
    }
    void cleanup() { dev.reset(); }

    void twoChannelAboveFourHundred() {
        answer552();
        InstrumentConfig cfg;
        Link l = link();
        ReadInstrumentConfig(l, cfg, false);

        QStringList want = kFixed + ChannelQueries(1, true) + ChannelQueries(2, true) + kMath;
        want << "C1:INV?" << "C2:INV?";
        QCOMPARE(dev->sim.received(), want);

        QCOMPARE(cfg.ModelName, QString("DS-5552"));
        QCOMPARE(cfg.ChannelCount, int16_t(2));
        QCOMPARE(cfg.FileVersion, QString("3"));
        QCOMPARE(cfg.AcqTime, QString("2024/05/06 12:34:56"));
        QCOMPARE(cfg.AcqMode, QString("AVERAGE"));
        QCOMPARE(cfg.TimeDiv, 1e-3);
        QCOMPARE(cfg.RecordLength, 1000);
        QCOMPARE(cfg.SampleInterval, 1e-3 * 10 / 1000);
        QCOMPARE(cfg.TriggerSource, QString("C2"));
        QCOMPARE(cfg.TriggerLevel, -0.125f);
        QCOMPARE(cfg.TriggerDelay, 1e-4);
        QCOMPARE(cfg.TriggerAddress, 510);
        QCOMPARE(cfg.TriggerMode, QString("NORMAL"));
        QCOMPARE(cfg.VDiv[0], 0.5f);
        QCOMPARE(cfg.Offset[0], -0.25f);
        QCOMPARE(cfg.VDiv[1], 2.0f);
        QCOMPARE(cfg.Offset[1], 1.0f);
        QCOMPARE(cfg.VDiv[4], 10.0f);
        QCOMPARE(cfg.Offset[4], 3.0f);
        QCOMPARE(cfg.VUnit[0], QString("A"));
        QCOMPARE(cfg.VUnit[1], QString("V"));
        QCOMPARE(cfg.Invert[0], QString("ON"));
        QCOMPARE(cfg.Invert[1], QString("OFF"));
        QCOMPARE(cfg.Invert[2], QString("OFF"));
        QCOMPARE(cfg.Invert[3], QString("OFF"));
        QCOMPARE(cfg.Coupling[0], QString("DC1M"));
        QCOMPARE(cfg.Coupling[1], QString("AC1M"));
        QCOMPARE(cfg.Bandwidth[0], QString("OFF"));
        QCOMPARE(cfg.Bandwidth[1], QString("20MHZ"));
        QCOMPARE(cfg.Display[0], QString("ON"));
        QCOMPARE(cfg.Display[1], QString("OFF"));
        QCOMPARE(cfg.Display[2], QString("OFF"));
        QCOMPARE(cfg.Display[3], QString("OFF"));
        QCOMPARE(cfg.Display[4], QString("OFF"));
        QCOMPARE(cfg.MathType, QString("ADD"));
    }

    void invertBoxTickedAsksNoInvert() {
        answer552();
        InstrumentConfig cfg;
        cfg.Invert = {"ON", "ON", "ON", "ON", "keep"};
        Link l = link();
        ReadInstrumentConfig(l, cfg, true);
        QCOMPARE(dev->sim.received(), kFixed + ChannelQueries(1, true) + ChannelQueries(2, true) + kMath);
        QCOMPARE(cfg.Invert, (std::array<QString, 5>{"OFF", "OFF", "OFF", "OFF", "keep"}));
        QCOMPARE(cfg.VUnit[0], QString("A"));
    }

    void modelAtOrBelowFourHundred() {
        answer552();
        dev->sim.config().replies["DTINF?"] = InfoLine("DS-5302", "0000001000");
        InstrumentConfig cfg;
        cfg.Invert[1] = "ON";
        Link l = link();
        ReadInstrumentConfig(l, cfg, false);
        QCOMPARE(dev->sim.received(), kFixed + ChannelQueries(1, false) + ChannelQueries(2, false) + kMath);
        QCOMPARE(cfg.VUnit[0], QString("V"));
        QCOMPARE(cfg.VUnit[1], QString("V"));
        QCOMPARE(cfg.Invert[1], QString("OFF"));
    }

    void fourChannelModel() {
        answer552();
        auto& r = dev->sim.config().replies;
        // Item 15 holds another number: the four-channel length is in item 23.
        r["DTINF?"] = InfoLine("DS-5554", "0000000500", "0000002000");
        r["C3:VDIV?"] = "1.0E-01";
        r["C3:TRA? "] = "ON";
        r["C3:VUNI? "] = "W";
        r["C4:VDIV?"] = "1.0E+01";
        r["C4:TRA? "] = "ON";
        r["C4:INV?"] = "ON";
        InstrumentConfig cfg;
        Link l = link();
        ReadInstrumentConfig(l, cfg, false);
        QStringList want = kFixed;
        for (int n = 1; n <= 4; ++n) want += ChannelQueries(n, true);
        want += kMath;
        want << "C1:INV?" << "C2:INV?" << "C3:INV?" << "C4:INV?";
        QCOMPARE(dev->sim.received(), want);
        QCOMPARE(cfg.ChannelCount, int16_t(4));
        QCOMPARE(cfg.RecordLength, 2000);
        QCOMPARE(cfg.SampleInterval, 1e-3 * 10 / 2000);
        QCOMPARE(cfg.TriggerAddress, 1000 + 20);
        QCOMPARE(cfg.VDiv[2], 0.1f);
        QCOMPARE(cfg.VDiv[3], 10.0f);
        QCOMPARE(cfg.Display[2], QString("ON"));
        QCOMPARE(cfg.Display[3], QString("ON"));
        QCOMPARE(cfg.VUnit[2], QString("W"));
        QCOMPARE(cfg.VUnit[3], QString("V"));  // the instrument's own answer
        QCOMPARE(cfg.Invert[3], QString("ON"));
    }

    void modelNameAfterMakerPrefix() {
        answer552();
        dev->sim.config().replies["DTINF?"] = InfoLine("MAKER DS-5552-SERIES", "0000001000");
        InstrumentConfig cfg;
        Link l = link();
        ReadInstrumentConfig(l, cfg, false);
        QCOMPARE(cfg.ModelName, QString("DS-5552-SE"));  // ten characters from "DS"
        QCOMPARE(cfg.ChannelCount, int16_t(2));
        QVERIFY(dev->sim.received().contains("C1:INV?"));  // still model 552

        // "ds" in lower case is not the model; the first upper-case "DS" is.
        dev->sim.clearReceived();
        dev->sim.config().replies["DTINF?"] = InfoLine("ds-9994 DS-5302", "0000001000");
        ReadInstrumentConfig(l, cfg, false);
        QCOMPARE(cfg.ModelName, QString("DS-5302"));
        QVERIFY(!dev->sim.received().contains("C1:VUNI? "));
    }

    void shortItemsAndThreeChannels() {
        answer552();
        QString line = InfoLine("DS-5553", "0000000800");
        QStringList items = line.split(',');
        items[1] = "";
        items[2] = "12:00";
        dev->sim.config().replies["DTINF?"] = items.join(',');
        InstrumentConfig cfg;
        cfg.FileVersion = "old";
        Link l = link();
        ReadInstrumentConfig(l, cfg, true);
        QCOMPARE(cfg.FileVersion, QString(""));
        QCOMPARE(cfg.AcqTime, QString("12:00"));
        QCOMPARE(cfg.ChannelCount, int16_t(3));
        QCOMPARE(cfg.RecordLength, 800);  // item 15 for anything but four channels
        QCOMPARE(dev->sim.received(), kFixed + ChannelQueries(1, true) + ChannelQueries(2, true) + ChannelQueries(3, true) + kMath);
    }

    void triggerAddress_data() {
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("delay");
        QTest::addColumn<int>("address");
        QTest::newRow("delay 10 samples") << "0000001000" << "1.00E-04" << 510;
        QTest::newRow("no delay") << "0000001000" << "0" << 500;
        QTest::newRow("negative delay") << "0000001000" << "-1.00E-04" << 490;
        QTest::newRow("odd length, tie down") << "0000001001" << "0" << 500;
        QTest::newRow("odd length, tie up") << "0000001003" << "0" << 502;
        QTest::newRow("no delay answer") << "0000001000" << "" << 500;
    }
    void triggerAddress() {
        QFETCH(QString, length);
        QFETCH(QString, delay);
        QFETCH(int, address);
        answer552();
        dev->sim.config().replies["DTINF?"] = InfoLine("DS-5552", length);
        dev->sim.config().replies["TRDL?"] = delay;
        InstrumentConfig cfg;
        Link l = link();
        ReadInstrumentConfig(l, cfg, false);
        QCOMPARE(cfg.TriggerAddress, address);
    }

    void mathOffKeepsEarlierMathFields() {
        answer552();
        InstrumentConfig cfg;
        cfg.MathSource = {"CH3", "CH4"};
        cfg.FftWindow = "FLATTOP";
        cfg.FftDelta = 5.0;
        cfg.VUnit[4] = "dBm";
        Link l = link();
        ReadInstrumentConfig(l, cfg, true);
        QCOMPARE(dev->sim.received().mid(dev->sim.received().indexOf("M1:VDIV?")), kMath);
        QCOMPARE(cfg.MathSource, (std::array<QString, 2>{"CH3", "CH4"}));
        QCOMPARE(cfg.FftWindow, QString("FLATTOP"));
        QCOMPARE(cfg.FftDelta, 5.0);
        QCOMPARE(cfg.VUnit[4], QString("dBm"));

        // "on" is not "ON".
        dev->sim.clearReceived();
        dev->sim.config().replies["M1:TRA?"] = "on";
        ReadInstrumentConfig(l, cfg, true);
        QVERIFY(!dev->sim.received().contains("MATHS?"));
        QVERIFY(!dev->sim.received().contains("FSRC?"));
    }

    void mathSources_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("sources");
        QTest::addColumn<QString>("source1");
        QTest::addColumn<QString>("source2");
        QTest::addColumn<QString>("unit");
        // Channel 1 is in "A", channel 2 in "V".
        QTest::newRow("ADD") << "ADD" << "CH1,CH2" << "CH1" << "CH2" << "A";
        QTest::newRow("SUB") << "SUB" << "CH2,CH1" << "CH2" << "CH1" << "V";
        QTest::newRow("SUB short names") << "SUB" << "C1,C2" << "C1" << "C2" << "A";
        QTest::newRow("ADD no channel") << "ADD" << "MEM,CH2" << "MEM" << "CH2" << "";
        QTest::newRow("ADD channel 5") << "ADD" << "CH5,CH2" << "CH5" << "CH2" << "";
        QTest::newRow("ADD channel 0") << "ADD" << "CH0,CH2" << "CH0" << "CH2" << "";
        QTest::newRow("MULT") << "MULT" << "CH1,CH2" << "CH1" << "CH2" << "AV";
        QTest::newRow("MULT same") << "MULT" << "CH2,CH2" << "CH2" << "CH2" << "VV";
        QTest::newRow("MULT one channel") << "MULT" << "CH1,REF" << "CH1" << "REF" << "A";
        QTest::newRow("one source only") << "ADD" << "CH2" << "CH2" << "" << "V";
    }
    void mathSources() {
        QFETCH(QString, type);
        QFETCH(QString, sources);
        QFETCH(QString, source1);
        QFETCH(QString, source2);
        QFETCH(QString, unit);
        answer552();
        dev->sim.config().replies["M1:TRA?"] = "ON";
        dev->sim.config().replies["MATH?"] = type;
        dev->sim.config().replies["MATHS?"] = sources;
        InstrumentConfig cfg;
        cfg.FftWindow = "keep";
        cfg.FftDelta = 7;
        Link l = link();
        ReadInstrumentConfig(l, cfg, true);
        QCOMPARE(dev->sim.received().mid(dev->sim.received().indexOf("M1:VDIV?")), kMath + QStringList{"MATHS?"});
        QCOMPARE(cfg.MathType, type);
        QCOMPARE(cfg.MathSource[0], source1);
        QCOMPARE(cfg.MathSource[1], source2);
        QCOMPARE(cfg.VUnit[4], unit);
        QCOMPARE(cfg.FftWindow, QString("keep"));
        QCOMPARE(cfg.FftDelta, 7.0);
    }

    void fft() {
        answer552();
        auto& r = dev->sim.config().replies;
        r["M1:TRA?"] = "ON";
        r["MATH?"] = "FFT";
        r["FSRC?"] = "CH2";
        r["FWINDOW?"] = "HANNING";
        r["FDELTA?"] = "2.5E+03Hz";
        InstrumentConfig cfg;
        cfg.MathSource[1] = "keep";
        Link l = link();
        ReadInstrumentConfig(l, cfg, false);
        QStringList want = kMath;
        want << "FSRC?" << "FWINDOW?" << "FDELTA?" << "C1:INV?" << "C2:INV?";
        QCOMPARE(dev->sim.received().mid(dev->sim.received().indexOf("M1:VDIV?")), want);
        QCOMPARE(cfg.MathSource[0], QString("CH2"));
        QCOMPARE(cfg.MathSource[1], QString("keep"));
        QCOMPARE(cfg.FftWindow, QString("HANNING"));
        QCOMPARE(cfg.FftDelta, 2500.0);
        QCOMPARE(cfg.VUnit[4], QString("dBm"));

        // Any other operation name takes the same road.
        dev->sim.clearReceived();
        r["MATH?"] = "DIFF";
        ReadInstrumentConfig(l, cfg, true);
        QVERIFY(dev->sim.received().contains("FSRC?"));
        QVERIFY(!dev->sim.received().contains("MATHS?"));
    }

    void unsetFieldsKeepEarlierValues() {
        answer552();
        InstrumentConfig cfg;
        cfg.VDiv[2] = 7;
        cfg.Offset[3] = 8;
        cfg.VUnit[2] = "W";
        cfg.Coupling[3] = "GND";
        cfg.Bandwidth[2] = "ON";
        cfg.Display = {"x", "x", "ON", "ON", "x"};
        cfg.VDiv[5] = 9;
        Link l = link();
        ReadInstrumentConfig(l, cfg, false);
        QCOMPARE(cfg.VDiv[2], 7.0f);
        QCOMPARE(cfg.Offset[3], 8.0f);
        QCOMPARE(cfg.VUnit[2], QString("W"));
        QCOMPARE(cfg.Coupling[3], QString("GND"));
        QCOMPARE(cfg.Bandwidth[2], QString("ON"));
        QCOMPARE(cfg.VDiv[5], 9.0f);
        QCOMPARE(cfg.Display[2], QString("OFF"));
        QCOMPARE(cfg.Display[3], QString("OFF"));
    }

    void answerLengths() {
        // "DTINF?" may be up to 1000 characters; every other answer is cut at 80.
        answer552();
        QStringList items = InfoLine("DS-5552", "0000001000").split(',');
        items[30].clear();
        items[30] = QString(995 - items.join(',').size(), QLatin1Char('z'));
        dev->sim.config().replies["DTINF?"] = items.join(',');
        QCOMPARE(dev->sim.config().replies["DTINF?"].size(), 995);
        dev->sim.config().replies["C2:INV?"] = QString(90, QLatin1Char('k'));  // the last query
        InstrumentConfig cfg;
        Link l = link();
        ReadInstrumentConfig(l, cfg, false);
        QCOMPARE(cfg.RecordLength, 1000);
        QCOMPARE(cfg.Invert[1], QString(80, QLatin1Char('k')));
    }

    void unusableAnswers_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("lastSent");
        const QString bad = QStringLiteral("装置の応答を理解できません (DTINF?): \"");
        const QString noDs = InfoLine("MODEL 5552", "0000001000");
        // Long answers are quoted with their first 120 characters.
        QTest::newRow("no DS") << "DTINF?" << noDs << bad + noDs.left(120) + "…\"" << "DTINF?";
        QTest::newRow("lower-case ds") << "DTINF?" << InfoLine("ds-5552", "1") << "" << "DTINF?";
        QString many = InfoLine("DS-5552", "0000001000") + ",31,32";
        QTest::newRow("too many items") << "DTINF?" << many << bad + many.left(120) + "…\"" << "DTINF?";
        QTest::newRow("silence") << "DTINF?" << "" << bad + "\"" << "DTINF?";
        QTest::newRow("eight channels") << "DTINF?" << InfoLine("DS-5558", "0000001000")
                                        << "この装置のチャンネル数には対応していません (DTINF?): \"DS-5558\"" << "DTINF?";
        QTest::newRow("one channel") << "DTINF?" << InfoLine("DS-5551", "0000001000") << "" << "DTINF?";
        QTest::newRow("no channel digit") << "DTINF?" << InfoLine("DS-555", "0000001000") << "" << "DTINF?";
        QTest::newRow("time base 0") << "TDIV?" << "0.00E+00"
                                     << "装置の時間軸の設定を読めません (TDIV?): \"0.00E+00\"" << "TDIV?";
        QTest::newRow("time base unreadable") << "TDIV?" << "ERR" << "" << "TDIV?";
        QTest::newRow("time base infinite") << "TDIV?" << "1E999"
                                            << "装置の応答の数値が範囲を超えています (TDIV?): \"1E999\"" << "TDIV?";
        QTest::newRow("record length 0") << "DTINF?" << InfoLine("DS-5552", "0000000000")
                                         << "装置のレコード長を読めません (DTINF?): \"Memory Length = 0000000000pts\""
                                         << "ACQ?";
        QTest::newRow("record length negative") << "DTINF?" << InfoLine("DS-5552", "-000001000") << "" << "ACQ?";
        QTest::newRow("record length missing") << "DTINF?" << "DS-5552,a,b" << "" << "ACQ?";
        QTest::newRow("record length too large") << "DTINF?" << InfoLine("DS-5552", "9999999999")
                                                 << "装置の応答の数値が範囲を超えています (DTINF?): \"Memory Length = 9999999999pts\""
                                                 << "ACQ?";
        QTest::newRow("level beyond single") << "TLVL?" << "1E39" << "装置の応答の数値が範囲を超えています (TLVL?): \"1E39\""
                                             << "TLVL?";
        QTest::newRow("delay beyond samples") << "TRDL?" << "1E30"
                                              << "装置の応答の数値が範囲を超えています (TRDL?): \"1E30\"" << "TRDL?";
        QTest::newRow("scale beyond single") << "C2:VDIV?" << "-4E38" << "" << "C2:OFST? ";
        QTest::newRow("math offset") << "M1:OFST?" << "5e40V" << "" << "M1:OFST?";
    }
    void unusableAnswers() {
        QFETCH(QString, command);
        QFETCH(QString, answer);
        QFETCH(QString, message);
        QFETCH(QString, lastSent);
        answer552();
        dev->sim.config().replies[command] = answer;
        InstrumentConfig cfg;
        cfg.ModelName = "before";
        cfg.ChannelCount = 4;
        cfg.RecordLength = 77;
        cfg.TimeDiv = 2.0;
        const QString got = failMessage(cfg);
        QVERIFY2(!got.isEmpty(), "no QuillError");
        if (!message.isEmpty()) QCOMPARE(got, message);
        // Nothing is asked after the failure.
        QCOMPARE(dev->sim.received().last(), lastSent);
        // A rejected value is not stored.
        QVERIFY(cfg.ChannelCount >= 2 && cfg.ChannelCount <= 4);
        QVERIFY(cfg.RecordLength > 0);
        QVERIFY(cfg.TimeDiv != 0);
        if (lastSent == "DTINF?") {
            QCOMPARE(cfg.ChannelCount, int16_t(4));
            QCOMPARE(cfg.RecordLength, 77);
        }
    }

    void longAnswerShortenedInMessage() {
        answer552();
        const QString info = QString(200, QLatin1Char('x'));
        dev->sim.config().replies["DTINF?"] = info;
        InstrumentConfig cfg;
        const QString got = failMessage(cfg);
        QCOMPARE(got, QStringLiteral("装置の応答を理解できません (DTINF?): \"") + QString(120, QLatin1Char('x')) +
                          QStringLiteral("…\""));
    }

    void lostLinkPassesThrough() {
        // The instrument drops the connection at "TRMD?": the link's own error
        // reaches the caller, and the fields asked before it are filled.
        answer552();
        dev->sim.config().faults.dropOn << "TRMD?";
        InstrumentConfig cfg;
        Link l = link();
        QVERIFY_THROWS_EXCEPTION(LinkError, ReadInstrumentConfig(l, cfg, false));
        QCOMPARE(dev->sim.received().last(), QString("TRMD?"));
        QCOMPARE(cfg.TriggerAddress, 510);
    }

    void simulatorsOwnAnswers() {
        // The instrument's own "DTINF?" layout and number texts, no table.
        dev->sim.config().triggerDelay = -2e-4;
        dev->sim.config().channels[2].unit = "A";
        dev->sim.config().channels[3].invert = "ON";
        dev->sim.config().math.display = "ON";
        dev->sim.config().math.type = "MULT";
        dev->sim.config().math.source1 = "CH3";
        dev->sim.config().math.source2 = "CH1";
        InstrumentConfig cfg;
        Link l = link();
        ReadInstrumentConfig(l, cfg, false);
        QCOMPARE(cfg.ModelName, QString("DS-5554"));
        QCOMPARE(cfg.ChannelCount, int16_t(4));
        QCOMPARE(cfg.RecordLength, 10000);
        QCOMPARE(cfg.TimeDiv, 1e-3);
        QCOMPARE(cfg.SampleInterval, 1e-6);
        QCOMPARE(cfg.TriggerAddress, 5000 - 200);
        QCOMPARE(cfg.TriggerLevel, 0.5f);
        QCOMPARE(cfg.TriggerMode, QString("AUTO"));
        QCOMPARE(cfg.VDiv[0], 0.5f);
        QCOMPARE(cfg.VDiv[3], 5.0f);
        QCOMPARE(cfg.Display, (std::array<QString, 5>{"ON", "ON", "OFF", "OFF", "ON"}));
        QCOMPARE(cfg.VUnit[4], QString("AV"));
        QCOMPARE(cfg.Invert, (std::array<QString, 5>{"OFF", "OFF", "OFF", "ON", ""}));
        QCOMPARE(cfg.MathSource, (std::array<QString, 2>{"CH3", "CH1"}));
        QCOMPARE(cfg.FileVersion, QString("1"));
        QCOMPARE(cfg.AcqTime.size(), 19);
        QCOMPARE(dev->sim.received().size(), 7 + 4 * 6 + 4 + 1 + 4);
    }
};

QTEST_MAIN(TstConfig)
#include "tst_config.moc"
