// Waveform and screen transfers against the simulated instrument: the exact
// commands, the block sizes per format, the points count carried from source
// to source, undisplayed sources, samples that do not fit, the screen block.
#include "Outcome.h"

#include "engine/waveform/SampleConvert.h"

#include <QtTest>
#include <algorithm>
#include <cmath>
#include <memory>

using namespace qm;

namespace {

const float kUntouched = 123.0f;

QStringList Sequence(bool word, const QString& source, int points) {
    QStringList l;
    if (word) l << "DTBORD H/L" << "DTFORM WORD";
    else l << "DTFORM BYTE";
    return l << "WAVESRC " + source << QStringLiteral("DTPOINTS %1").arg(points) << "DTSTART 0" << "DTWAVE?";
}

}  // namespace

class TstTransfer : public QObject {
    Q_OBJECT
    std::unique_ptr<SimInstrumentLink> dev;
    qmsim::SimConfig& sim() { return dev->sim.config(); }

    void transfer(int16_t source, std::vector<float>& samples, const InstrumentConfig& cfg, int32_t& points,
                  QString* warning = nullptr) {
        QCOMPARE(Outcome(*dev, [&](Instrument& i) { i.transferTrace(source, samples, cfg, points, warning); }), QString());
    }

private slots:
    void init() { dev = std::make_unique<SimInstrumentLink>(); }
    void cleanup() { dev.reset(); }

    void traces_data() {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("source");  // 0..3 = CH1..CH4, 4 = MATH
        QTest::addColumn<QString>("mathType");
        QTest::addColumn<bool>("word");
        QTest::addColumn<int>("bytes");  // of 10000 samples
        QTest::newRow("SAMPLE CH1") << false << "SAMPLE" << 0 << "" << false << 10000;
        QTest::newRow("PEAK CH4") << false << "PEAK" << 3 << "" << false << 10000;
        QTest::newRow("average in lower case") << false << "average" << 1 << "" << false << 10000;
        QTest::newRow("AVERAGE CH1") << false << "AVERAGE" << 0 << "" << true << 20000;
        QTest::newRow("HIGH_RES CH3") << false << "HIGH_RES" << 2 << "" << true << 20000;
        QTest::newRow("HIGH_RES CH3 over the serial line") << true << "HIGH_RES" << 2 << "" << true << 20000;
        // The math trace comes as 16-bit codes (32-bit for MULT) in either format.
        QTest::newRow("MULT SAMPLE") << false << "SAMPLE" << 4 << "MULT" << false << 40000;
        QTest::newRow("MULT AVERAGE") << false << "AVERAGE" << 4 << "MULT" << true << 40000;
        QTest::newRow("SUB SAMPLE") << false << "SAMPLE" << 4 << "SUB" << false << 20000;
        QTest::newRow("FFT AVERAGE") << false << "AVERAGE" << 4 << "FFT" << true << 20000;
    }
    void traces() {
        QFETCH(bool, serial);
        QFETCH(QString, mode);
        QFETCH(int, source);
        QFETCH(QString, mathType);
        QFETCH(bool, word);
        QFETCH(int, bytes);
        QM_NEEDS_PTY(serial);
        QVERIFY(serial ? dev->startSerial() : dev->startTcp());
        sim().acqMode = mode;
        for (auto& ch : sim().channels) ch = {0.2, 0.05, "ON"};
        sim().math = {"ON", mathType};
        const InstrumentConfig cfg = Snapshot(*dev);
        std::vector<float> samples(10001, kUntouched);
        int32_t points = 10000;
        QString warning = "old";
        transfer(int16_t(source), samples, cfg, points, &warning);
        const QString name = source < 4 ? QStringLiteral("CH%1").arg(source + 1) : QStringLiteral("MATH");
        QCOMPARE(dev->sim.received(), Sequence(word, name, 10000));
        QCOMPARE(points, 10000);
        QCOMPARE(warning, QString());
        QCOMPARE(samples[10000], kUntouched);
        // The block's codes through the converter of its kind ...
        const QByteArray block = qmsim::waveData(sim(), name, word, true, 0, 10000);
        QCOMPARE(block.size(), bytes);
        std::vector<float> expected(10000);
        if (source == 4) ConvertMathSamples(cfg, 10000, block, expected);
        else if (word) ConvertWordSamples(int16_t(source), cfg, 10000, block, expected);
        else ConvertByteSamples(int16_t(source), cfg, 10000, block, expected);
        QCOMPARE(std::vector<float>(samples.begin(), samples.begin() + 10000), expected);
        // ... and the simulated signal.
        const double want = source == 4 ? qmsim::mathValue(sim(), 0.13) : qmsim::channelPosition(source, 0.13) * 0.2 - 0.05;
        QVERIFY2(std::fabs(samples[1300] - want) <= 0.01 + std::fabs(want) * 1e-3, qPrintable(QString::number(samples[1300])));
    }

    // CH1 delivers 5000 samples where 10000 were asked for: CH2 is asked for 5000.
    void shortSourceSetsNextPoints() {
        QVERIFY(dev->startTcp());
        sim().recordLength = 5000;
        const InstrumentConfig cfg = Snapshot(*dev);
        std::vector<float> ch1(10001, kUntouched), ch2(10001, kUntouched);
        int32_t points = 10000;
        transfer(0, ch1, cfg, points);
        QCOMPARE(points, 5000);
        QVERIFY(ch1[4999] != kUntouched);
        // The rest of what was asked for holds no sample (an empty field in
        // the waveform file), not what an earlier cycle left; beyond it is untouched.
        QVERIFY(std::isnan(ch1[5000]) && std::isnan(ch1[9999]));
        QCOMPARE(ch1[10000], kUntouched);
        transfer(1, ch2, cfg, points);
        QCOMPARE(points, 5000);
        QCOMPARE(dev->sim.received(), Sequence(false, "CH1", 10000) + Sequence(false, "CH2", 5000));
    }

    void undisplayed_data() {
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("display");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("zeroed");
        QTest::newRow("CH3 off") << 2 << "OFF" << 10 << 12 << 10;
        QTest::newRow("'on' is not ON") << 3 << "on" << 10 << 12 << 10;
        QTest::newRow("MATH off") << 4 << "OFF" << 10 << 12 << 10;
        QTest::newRow("beyond MATH is MATH") << 7 << "OFF" << 10 << 12 << 10;
        QTest::newRow("array shorter than points") << 2 << "OFF" << 2999999 << 3 << 3;
        QTest::newRow("empty array") << 2 << "OFF" << 5 << 0 << 0;
        QTest::newRow("from 3000000 points left alone") << 2 << "OFF" << 3000000 << 3 << 0;
        QTest::newRow("no points") << 2 << "OFF" << 0 << 3 << 0;
        QTest::newRow("negative index") << -1 << "OFF" << 10 << 12 << 0;
    }
    void undisplayed() {
        QFETCH(int, source);
        QFETCH(QString, display);
        QFETCH(int, points);
        QFETCH(int, size);
        QFETCH(int, zeroed);
        QVERIFY(dev->startTcp());
        InstrumentConfig cfg = Snapshot(*dev);
        cfg.display[std::clamp(source, 0, 4)] = display;
        std::vector<float> samples(size, kUntouched);
        int32_t n = points;
        QString warning = "old";
        transfer(int16_t(source), samples, cfg, n, &warning);
        QCOMPARE(n, points);
        QCOMPARE(warning, QString());
        std::vector<float> expected(size, kUntouched);
        std::fill(expected.begin(), expected.begin() + zeroed, 0.0f);
        QCOMPARE(samples, expected);
        // Nothing went to the instrument: the next source's commands are the first it sees.
        cfg.display[0] = "ON";
        n = 100;
        transfer(0, samples, cfg, n);
        QCOMPARE(dev->sim.received(), Sequence(false, "CH1", 100));
    }

    void warnings_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("mathType");
        QTest::addColumn<QString>("block");  // the answer to "DTWAVE?"; empty: the instrument's own
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("warning");
        QTest::newRow("CH1 beyond the array") << "CH1" << "SAMPLE" << "ADD" << "" << 10000 << 100 << 10000
                                              << "CH1: 9900 サンプルを格納できませんでした";
        QTest::newRow("MATH beyond the array") << "MATH" << "SAMPLE" << "SUB" << "" << 10000 << 2 << 10000
                                               << "MATH: 9998 サンプルを格納できませんでした";
        QTest::newRow("odd WORD block") << "CH2" << "AVERAGE" << "ADD" << "#800000003abc" << 10 << 10 << 2
                                        << "CH2: 1 サンプルを変換できませんでした";
        QTest::newRow("odd MULT block") << "MATH" << "SAMPLE" << "MULT" << "#800000006abcdef" << 10 << 10 << 2
                                        << "MATH: 1 サンプルを変換できませんでした";
        QTest::newRow("no channel") << "CH0" << "SAMPLE" << "ADD" << "" << 10 << 10 << 10
                                    << "CH0: 10 サンプルを変換できませんでした";
    }
    void warnings() {
        QFETCH(QString, source);
        QFETCH(QString, mode);
        QFETCH(QString, mathType);
        QFETCH(QString, block);
        QFETCH(int, points);
        QFETCH(int, size);
        QFETCH(int, count);
        QFETCH(QString, warning);
        QVERIFY(dev->startTcp());
        sim().acqMode = mode;
        sim().math = {"ON", mathType};
        if (!block.isEmpty()) sim().replies["DTWAVE?"] = block;
        const InstrumentConfig cfg = Snapshot(*dev);
        std::vector<float> samples(size, kUntouched);
        QString got;
        int32_t n = 0;
        QCOMPARE(Outcome(*dev, [&](Instrument& i) { n = i.readWaveform(source, points, samples, cfg, &got); }),
                 QString());
        QCOMPARE(n, count);
        QCOMPARE(got, warning);
        // What the block did not fill keeps nothing of before.
        QVERIFY(std::find(samples.begin(), samples.end(), kUntouched) == samples.end());
    }

    // ---- the screen ----

    void screen_data() {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("answer");  // empty: the instrument's own picture
        QTest::addColumn<bool>("refused");        // the link stays up
        QByteArray atLimit(qm::kScreenBlockLimit, 'p');
        const auto block = [](const QByteArray& d) { return "#8" + QByteArray::number(d.size()).rightJustified(8, '0') + d; };
        QTest::newRow("png") << false << "png" << QByteArray() << false;
        QTest::newRow("bmp") << false << "bmp" << QByteArray() << false;
        QTest::newRow("png over the serial line") << true << "png" << QByteArray() << false;
        QTest::newRow("empty") << false << "png" << QByteArray("#800000000") << false;
        QTest::newRow("at the limit") << false << "png" << block(atLimit) << false;
        QTest::newRow("one above the limit") << false << "png" << block(atLimit + 'x') << true;
    }
    void screen() {
        QFETCH(bool, serial);
        QFETCH(QString, format);
        QFETCH(QByteArray, answer);
        QFETCH(bool, refused);
        QM_NEEDS_PTY(serial);
        QVERIFY(serial ? dev->startSerial() : dev->startTcp());
        if (!answer.isEmpty()) sim().replies["TSCRN? " + format] = QString::fromLatin1(answer);
        const QByteArray data = answer.isEmpty() ? qmsim::screenFile(sim(), format) : answer.mid(10);
        qm::BlockResult b;
        QString next;
        QCOMPARE(Outcome(*dev, [&](Instrument& i) {
                     b = i.fetchScreen(format);
                     next = i.query("TRMD?", 5, 80).text;
                 }),
                 QString());
        QCOMPARE(dev->sim.received(), (QStringList{"TSCRN? " + format, "TRMD?"}));
        QCOMPARE(b.status, refused ? qm::IoStatus::Failed : qm::IoStatus::Ok);
        QCOMPARE(b.error.isEmpty(), !refused);
        if (!refused) QVERIFY(b.data == data);
        // Nothing of the block is taken for the next answer.
        QCOMPARE(next, QString("AUTO"));
    }
};

QTEST_MAIN(TstTransfer)
#include "tst_transfer.moc"
