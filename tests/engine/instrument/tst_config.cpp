// The configuration snapshot and the measurement slots against the simulated
// instrument on loopback TCP: the queries exactly as it receives them, the
// values made of the answers, and answers that make no usable configuration.
#include "Outcome.h"

#include <QtTest>
#include <memory>

using namespace qm;

namespace {

// The "DTINF?" line: 31 items, the model in item 0, the file version at the
// end of item 1, date and time at the end of item 2, the record length in
// characters 17..26 of item 15 (two or three channels) or 23 (four).
QString InfoLine(const QString& item0, const QString& len15, const QString& len23 = "0000000000") {
    QStringList items;
    for (int i = 0; i < 31; ++i) items << QStringLiteral("I%1").arg(i);
    items[0] = item0;
    items[1] = "File Version 3";
    items[2] = "Acquired 2024/05/06 12:34:56";
    items[15] = "Memory Length = " + len15 + "pts";
    items[23] = "Memory Length = " + len23 + "pts";
    return items.join(',');
}

const QStringList kMath = {"M1:VDIV?", "M1:OFST?", "M1:TRA?", "MATH?"};

// The queries of a snapshot whose math trace is off.
QStringList Queries(int channels, bool units, bool invert) {
    QStringList q = {"DTINF?", "TDIV?", "ACQ?", "TSRC?", "TLVL?", "TRDL?", "TRMD?"};
    for (int n = 1; n <= channels; ++n) {
        const QString c = QStringLiteral("C%1").arg(n);
        q << c + ":VDIV?" << c + ":OFST? " << c + ":TRA? " << c + ":CPL? " << c + ":BWL? ";
        if (units) q << c + ":VUNI? ";
    }
    q += kMath;
    for (int n = 1; invert && n <= channels; ++n) q << QStringLiteral("C%1:INV?").arg(n);
    return q;
}

using Texts = std::array<QString, 5>;

}  // namespace

class TstConfig : public QObject {
    Q_OBJECT
    std::unique_ptr<SimInstrumentLink> dev;

    QString read(InstrumentConfig& cfg, bool invCheckOn = false) {
        return Outcome(*dev, [&](Instrument& i) { i.readConfig(cfg, invCheckOn); });
    }
    QStringList received() const { return dev->sim.received(); }
    QHash<QString, QString>& replies() { return dev->sim.config().replies; }

private slots:
    void init() {
        dev = std::make_unique<SimInstrumentLink>();
        QVERIFY(dev->startTcp());
    }
    void cleanup() { dev.reset(); }

    void values() {
        // The instrument's own answers: its "DTINF?" layout and number texts.
        auto& s = dev->sim.config();
        s.modelName = "DS-5552";
        s.modelPrefix = QString(398, 'z') + ' ';  // "DTINF?" is read up to 1000 characters
        s.dateText = "2024/05/06 12:34:56";
        s.recordLength = 1000;
        s.acqMode = "AVERAGE";
        s.triggerSource = "C2";
        s.triggerLevel = -0.125;
        s.triggerDelay = 1e-4;
        s.triggerMode = "NORMAL";
        s.channels[0] = {0.5, -0.25, "ON", "DC1M", "OFF", "A", "ON"};
        s.channels[1] = {2.0, 1.0, "OFF", "AC1M", "20MHZ", "V", QString(90, 'k')};  // other answers: up to 80
        s.math = {"OFF", "ADD", "CH1", "CH2", 10.0, 3.0};
        QString info;
        dev->with([&](Instrument& i) { info = i.query("DTINF?", 5, 5000).text; });
        QVERIFY2(info.size() > 990 && info.size() <= 1000, qPrintable(QString::number(info.size())));
        dev->sim.clearReceived();

        InstrumentConfig cfg;
        // Channels 3 and 4 of a two-channel model keep what they held, but count as hidden.
        cfg.vDiv = {0, 0, 7, 0, 0, 9};
        cfg.coupling[3] = "GND";
        cfg.vUnit[2] = "W";
        cfg.display = {"x", "x", "ON", "ON", "x"};
        QCOMPARE(read(cfg), QString());
        QCOMPARE(received(), Queries(2, true, true));
        QCOMPARE(cfg.modelName, QString("DS-5552"));
        QCOMPARE(cfg.channelCount, int16_t(2));
        QCOMPARE(cfg.fileVersion, QString("1"));
        QCOMPARE(cfg.acqTime, QString("2024/05/06 12:34:56"));
        QCOMPARE(cfg.acqMode, QString("AVERAGE"));
        QCOMPARE(cfg.timeDiv, 1e-3);
        QCOMPARE(cfg.recordLength, 1000);
        QCOMPARE(cfg.sampleInterval, 1e-3 * 10 / 1000);
        QCOMPARE(cfg.triggerSource, QString("C2"));
        QCOMPARE(cfg.triggerLevel, -0.125f);
        QCOMPARE(cfg.triggerDelay, 1e-4);
        QCOMPARE(cfg.triggerAddress, 510);
        QCOMPARE(cfg.triggerMode, QString("NORMAL"));
        QCOMPARE(cfg.vDiv, (std::array<float, 6>{0.5f, 2.0f, 7.0f, 0.0f, 10.0f, 9.0f}));
        QCOMPARE(cfg.offset, (std::array<float, 5>{-0.25f, 1.0f, 0.0f, 0.0f, 3.0f}));
        QCOMPARE(cfg.vUnit, (Texts{"A", "V", "W", "", ""}));
        QCOMPARE(cfg.invert, (Texts{"ON", QString(80, 'k'), "OFF", "OFF", ""}));
        QCOMPARE(cfg.coupling, (Texts{"DC1M", "AC1M", "", "GND", ""}));
        QCOMPARE(cfg.bandwidth, (Texts{"OFF", "20MHZ", "", "", ""}));
        QCOMPARE(cfg.display, (Texts{"ON", "OFF", "OFF", "OFF", "OFF"}));
        QCOMPARE(cfg.mathType, QString("ADD"));
    }

    void models_data() {
        QTest::addColumn<QString>("item0");
        QTest::addColumn<QString>("len15");
        QTest::addColumn<QString>("len23");
        QTest::addColumn<bool>("invCheckOn");
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("above400");  // unit queries, and invert queries unless ticked off
        QTest::addColumn<int>("length");
        const QString n = "0000000000";
        QTest::newRow("above 400") << "DS-5552" << "0000001000" << n << false << "DS-5552" << 2 << true << 1000;
        QTest::newRow("invert check ticked") << "DS-5552" << "0000001000" << n << true << "DS-5552" << 2 << true << 1000;
        QTest::newRow("model 302") << "DS-5302" << "0000001000" << n << false << "DS-5302" << 2 << false << 1000;
        QTest::newRow("four channels: item 23") << "DS-5554" << "0000000500" << "0000002000" << false << "DS-5554" << 4
                                                << true << 2000;
        QTest::newRow("three channels: item 15") << "DS-5553" << "0000000800" << "0000002000" << false << "DS-5553" << 3
                                                 << true << 800;
        QTest::newRow("ten characters from DS") << "MAKER DS-5552-SERIES" << "0000001000" << n << false << "DS-5552-SE"
                                                << 2 << true << 1000;
        QTest::newRow("first upper-case DS") << "ds-9994 DS-5302" << "0000001000" << n << false << "DS-5302" << 2
                                             << false << 1000;
    }
    void models() {
        QFETCH(QString, item0);
        QFETCH(QString, len15);
        QFETCH(QString, len23);
        QFETCH(bool, invCheckOn);
        QFETCH(QString, model);
        QFETCH(int, channels);
        QFETCH(bool, above400);
        QFETCH(int, length);
        replies()["DTINF?"] = InfoLine(item0, len15, len23);
        dev->sim.config().channels[0].unit = "A";
        dev->sim.config().channels[1].invert = "ON";
        InstrumentConfig cfg;
        cfg.invert[1] = "was";
        QCOMPARE(read(cfg, invCheckOn), QString());
        QCOMPARE(received(), Queries(channels, above400, above400 && !invCheckOn));
        QCOMPARE(cfg.modelName, model);
        QCOMPARE(cfg.channelCount, int16_t(channels));
        QCOMPARE(cfg.recordLength, length);
        QCOMPARE(cfg.vUnit[0], QString(above400 ? "A" : "V"));
        QCOMPARE(cfg.invert[1], QString(above400 && !invCheckOn ? "ON" : "OFF"));
    }

    void triggerAddress_data() {
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("delay");
        QTest::addColumn<int>("address");
        QTest::newRow("negative delay") << "0000001000" << "-1.00E-04" << 490;
        QTest::newRow("no delay answer") << "0000001000" << "" << 500;
        QTest::newRow("odd length, tie to even below") << "0000001001" << "0" << 500;
        QTest::newRow("odd length, tie to even above") << "0000001003" << "0" << 502;
    }
    void triggerAddress() {
        QFETCH(QString, length);
        QFETCH(QString, delay);
        QFETCH(int, address);
        replies()["DTINF?"] = InfoLine("DS-5552", length);
        replies()["TRDL?"] = delay;
        InstrumentConfig cfg;
        QCOMPARE(read(cfg), QString());
        QCOMPARE(cfg.triggerAddress, address);
    }

    void mathTrace_data() {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("sources");    // the answer to "MATHS?"
        QTest::addColumn<QStringList>("asked");  // after the math queries
        QTest::addColumn<QStringList>("after");  // MathSource[0..1], FftWindow, FftDelta, VUnit[4]
        const QStringList kept = {"k1", "k2", "kw", "7", "ku"};
        const QStringList maths = {"MATHS?"};
        const QStringList fft = {"FSRC?", "FWINDOW?", "FDELTA?"};
        const QStringList fftAfter = {"CH2", "k2", "HANNING", "2500", "dBm"};
        // Channel 1 is in "A", channel 2 in "V".
        QTest::newRow("off") << "OFF" << "ADD" << "" << QStringList() << kept;
        QTest::newRow("'on' is not ON") << "on" << "FFT" << "" << QStringList() << kept;
        QTest::newRow("ADD") << "ON" << "ADD" << "CH1,CH2" << maths << QStringList{"CH1", "CH2", "kw", "7", "A"};
        QTest::newRow("SUB") << "ON" << "SUB" << "CH2,CH1" << maths << QStringList{"CH2", "CH1", "kw", "7", "V"};
        QTest::newRow("short names") << "ON" << "SUB" << "C1,C2" << maths << QStringList{"C1", "C2", "kw", "7", "A"};
        QTest::newRow("no channel") << "ON" << "ADD" << "MEM,CH2" << maths << QStringList{"MEM", "CH2", "kw", "7", ""};
        QTest::newRow("channel 5") << "ON" << "ADD" << "CH5,CH2" << maths << QStringList{"CH5", "CH2", "kw", "7", ""};
        QTest::newRow("channel 0") << "ON" << "ADD" << "CH0,CH2" << maths << QStringList{"CH0", "CH2", "kw", "7", ""};
        QTest::newRow("one source") << "ON" << "ADD" << "CH2" << maths << QStringList{"CH2", "", "kw", "7", "V"};
        QTest::newRow("MULT") << "ON" << "MULT" << "CH1,CH2" << maths << QStringList{"CH1", "CH2", "kw", "7", "AV"};
        QTest::newRow("MULT one channel") << "ON" << "MULT" << "REF,CH1" << maths << QStringList{"REF", "CH1", "kw", "7", "A"};
        QTest::newRow("FFT") << "ON" << "FFT" << "" << fft << fftAfter;
        QTest::newRow("any other operation") << "ON" << "DIFF" << "" << fft << fftAfter;
    }
    void mathTrace() {
        QFETCH(QString, display);
        QFETCH(QString, type);
        QFETCH(QString, sources);
        QFETCH(QStringList, asked);
        QFETCH(QStringList, after);
        dev->sim.config().channels[0].unit = "A";
        dev->sim.config().math.display = display;
        dev->sim.config().math.type = type;
        replies()["MATHS?"] = sources;
        replies()["FSRC?"] = "CH2";
        replies()["FDELTA?"] = "2.5E+03Hz";
        InstrumentConfig cfg;
        cfg.mathSource = {"k1", "k2"};
        cfg.fftWindow = "kw";
        cfg.fftDelta = 7;
        cfg.vUnit[4] = "ku";
        QCOMPARE(read(cfg, true), QString());
        QCOMPARE(received().mid(received().indexOf("M1:VDIV?")), kMath + asked);
        QCOMPARE(cfg.mathType, type);
        QCOMPARE((QStringList{cfg.mathSource[0], cfg.mathSource[1], cfg.fftWindow, QString::number(cfg.fftDelta), cfg.vUnit[4]}),
                 after);
    }

    void unusableAnswers_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("lastAsked");
        const QString bad = "装置の応答を理解できません (DTINF?): \"";
        const QString channels = "この装置のチャンネル数には対応していません (DTINF?): \"";
        const QString range = "装置の応答の数値が範囲を超えています ";
        const QString length = "装置のレコード長を読めません (DTINF?): \"Memory Length = ";
        const QString noDs = InfoLine("MODEL 5552", "0000001000");
        const QString many = InfoLine("DS-5552", "0000001000") + ",31,32";
        // Long answers are quoted with their first 120 characters.
        QTest::newRow("no DS") << "DTINF?" << noDs << bad + noDs.left(120) + "…\"" << "DTINF?";
        QTest::newRow("too many items") << "DTINF?" << many << bad + many.left(120) + "…\"" << "DTINF?";
        QTest::newRow("empty answer") << "DTINF?" << "" << bad + "\"" << "DTINF?";
        QTest::newRow("eight channels") << "DTINF?" << InfoLine("DS-5558", "1") << channels + "DS-5558\"" << "DTINF?";
        QTest::newRow("one channel") << "DTINF?" << InfoLine("DS-5551", "1") << channels + "DS-5551\"" << "DTINF?";
        QTest::newRow("no channel digit") << "DTINF?" << InfoLine("DS-555", "1") << channels + "DS-555\"" << "DTINF?";
        QTest::newRow("time base 0") << "TDIV?" << "0.00E+00"
                                     << "装置の時間軸の設定を読めません (TDIV?): \"0.00E+00\"" << "TDIV?";
        QTest::newRow("time base infinite") << "TDIV?" << "1E999" << range + "(TDIV?): \"1E999\"" << "TDIV?";
        QTest::newRow("record length 0") << "DTINF?" << InfoLine("DS-5552", "0000000000")
                                         << length + "0000000000pts\"" << "ACQ?";
        QTest::newRow("record length negative") << "DTINF?" << InfoLine("DS-5552", "-000001000")
                                                << length + "-000001000pts\"" << "ACQ?";
        QTest::newRow("record length missing") << "DTINF?" << "DS-5552,a,b" << "装置のレコード長を読めません (DTINF?): \"\""
                                               << "ACQ?";
        QTest::newRow("record length beyond any block") << "DTINF?" << InfoLine("DS-5552", "2147483647")
                                                        << length + "2147483647pts\"" << "ACQ?";
        QTest::newRow("record length too large") << "DTINF?" << InfoLine("DS-5552", "9999999999")
                                                 << range + "(DTINF?): \"Memory Length = 9999999999pts\"" << "ACQ?";
        QTest::newRow("level beyond single") << "TLVL?" << "1E39" << range + "(TLVL?): \"1E39\"" << "TLVL?";
        QTest::newRow("delay beyond samples") << "TRDL?" << "1E30" << range + "(TRDL?): \"1E30\"" << "TRDL?";
        QTest::newRow("scale beyond single") << "C2:VDIV?" << "-4E38" << range + "(C2:VDIV?): \"-4E38\""
                                             << "C2:OFST? ";
        QTest::newRow("math offset") << "M1:OFST?" << "5e40V" << range + "(M1:OFST?): \"5e40V\"" << "M1:OFST?";
    }
    void unusableAnswers() {
        QFETCH(QString, command);
        QFETCH(QString, answer);
        QFETCH(QString, message);
        QFETCH(QString, lastAsked);
        replies()[command] = answer;
        InstrumentConfig cfg;
        cfg.channelCount = 4;
        cfg.recordLength = 77;
        cfg.timeDiv = 2.0;
        QCOMPARE(read(cfg), "QuillError: " + message);
        // Nothing is asked after the failure, and a rejected value is not stored.
        QCOMPARE(received().last(), lastAsked);
        if (lastAsked == "DTINF?") QCOMPARE(cfg.channelCount, int16_t(4));
        if (lastAsked == "DTINF?" || lastAsked == "ACQ?") QCOMPARE(cfg.recordLength, 77);
        if (lastAsked == "TDIV?") QCOMPARE(cfg.timeDiv, 2.0);
    }

    void lostLink() {
        // The connection drops at "TRMD?": what was asked before it is filled in.
        dev->sim.config().faults.dropOn << "TRMD?";
        InstrumentConfig cfg;
        QVERIFY(read(cfg).startsWith("LinkError: "));
        QCOMPARE(received().last(), QString("TRMD?"));
        QCOMPARE(cfg.triggerAddress, 5000);
    }

    // ---- the measurement slots ----

    void measItem_data() {
        QTest::addColumn<QString>("letter");
        QTest::addColumn<QString>("msel");       // the answer to "MSEL?"
        QTest::addColumn<QString>("unitQuery");  // empty: none
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("unit");
        // "Cn:VUNI?" answers "Un".
        for (const char* k : {"MAX", "MIN", "P-P", "CVRMS", "CVMEAN", "TOP", "BASE", "T-B", "+OSHOT", "-OSHOT"})
            QTest::addRow("C2 %s", k) << "A" << QString("C2,") + k << "C2:VUNI?" << "C2" << k << "U2";
        QTest::newRow("slot D") << "D" << "C4,P-P" << "C4:VUNI?" << "C4" << "P-P" << "U4";
        QTest::newRow("math") << "A" << "M1,MAX" << "" << "M1" << "MAX" << "s";
        QTest::newRow("duty") << "A" << "C2,DUTY" << "C2:VUNI?" << "C2" << "DUTY" << "%";
        QTest::newRow("duty of math") << "A" << "M1,DUTY" << "" << "M1" << "DUTY" << "%";
        QTest::newRow("integral") << "A" << "C3,INTEGRAL" << "C3:VUNI?" << "C3" << "INTEGRAL" << "U3s";
        QTest::newRow("integral of math") << "A" << "M1,INTEGRAL" << "" << "M1" << "INTEGRAL" << "s";
        QTest::newRow("time kind") << "A" << "C1,FREQ" << "C1:VUNI?" << "C1" << "FREQ" << "s";
        QTest::newRow("kind compared exactly") << "A" << "C1,max" << "C1:VUNI?" << "C1" << "max" << "s";
        QTest::newRow("lower-case source") << "A" << "c1,MAX" << "" << "c1" << "MAX" << "s";
        QTest::newRow("long channel name") << "A" << "CH2,MAX" << "C2:VUNI?" << "CH2" << "MAX" << "U2";
        QTest::newRow("C5 is the math element") << "A" << "C5,MAX" << "C5:VUNI?" << "C5" << "MAX" << "U5";
        QTest::newRow("channel 6") << "A" << "C6,MAX" << "" << "C6" << "MAX" << "s";
        QTest::newRow("channel 0") << "A" << "C0,MAX" << "" << "C0" << "MAX" << "s";
        QTest::newRow("no digit, integral") << "A" << "CX,INTEGRAL" << "" << "CX" << "INTEGRAL" << "s";
        QTest::newRow("empty source") << "A" << ",MAX" << "" << "" << "MAX" << "s";
        QTest::newRow("one item") << "A" << "C1" << "C1:VUNI?" << "C1" << "" << "s";
        QTest::newRow("four items") << "A" << "C2,MAX,X,Y" << "C2:VUNI?" << "C2" << "MAX" << "U2";
        QTest::newRow("five items") << "A" << "C1,MAX,X,Y,Z" << "" << "" << "" << "s";
        QTest::newRow("unit read up to 100") << "A" << "C1,MAX" << "C1:VUNI?" << "C1" << "MAX" << QString(100, 'u');
    }
    void measItem() {
        QFETCH(QString, letter);
        QFETCH(QString, msel);
        QFETCH(QString, unitQuery);
        QFETCH(QString, source);
        QFETCH(QString, kind);
        QFETCH(QString, unit);
        auto& r = dev->sim.config().replies;
        r["MSEL?"] = msel;
        for (int n = 1; n <= 5; ++n) r[QStringLiteral("C%1:VUNI?").arg(n)] = QStringLiteral("U%1").arg(n);
        if (unit.size() == 100) r["C1:VUNI?"] = QString(120, 'u');
        InstrumentConfig cfg;
        cfg.vUnit = {"v1", "v2", "v3", "v4", "v5"};
        Texts units = cfg.vUnit;
        if (!unitQuery.isEmpty()) units[unitQuery[1].unicode() - '1'] = r.value(unitQuery).left(100);
        MeasItemRecord slot{"old", "old", "old"};
        QCOMPARE(Outcome(*dev, [&](Instrument& i) { i.queryMeasItem(cfg, letter, slot); }), QString());
        QCOMPARE(received(), QStringList({"DIRM " + letter, "MSEL?"}) + (unitQuery.isEmpty() ? QStringList() : QStringList{unitQuery}));
        QCOMPARE(slot.source, source);
        QCOMPARE(slot.kind, kind);
        QCOMPARE(slot.unit, unit);
        QCOMPARE(cfg.vUnit, units);
    }
};

QTEST_MAIN(TstConfig)
#include "tst_config.moc"
