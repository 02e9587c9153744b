// Every file output on a full disk (a small tmpfs, so root only; skipped
// otherwise): nothing is reported as written that was not, no cut file takes
// a final name, an older file keeps its bytes, and the reason is the
// system's. (The log file's short write is in tst_logcsv, for every user.)
#include "engine/output/FileSinks.h"
#include "engine/output/WaveCsv.h"
#include "engine/settings/ResumeSettings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace qm;

namespace {
QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
bool Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
}  // namespace

class TestFullDisk : public QObject {
    Q_OBJECT
    QTemporaryDir mountPoint_;
    bool mounted_ = false;
    QString disk(const QString& name) const { return QDir(mountPoint_.path()).filePath(name); }
    // Fills the disk but for `room` bytes.
    void fill(qint64 room) {
        QFile::remove(disk(QStringLiteral("filler")));
        QFile filler(disk(QStringLiteral("filler")));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        filler.close();
        QVERIFY(filler.resize(std::max<qint64>(0, filler.size() - room)));
    }

private slots:
    void initTestCase() {
        const int rc = QProcess::execute(QStringLiteral("mount"),
                                         {"-t", "tmpfs", "-o", "size=256k", "tmpfs", mountPoint_.path()});
        mounted_ = rc == 0;
        if (!mounted_) QSKIP("a small tmpfs cannot be mounted here (needs root)");
    }
    void init() { QFile::remove(disk(QStringLiteral("filler"))); }
    void cleanupTestCase() {
        if (mounted_) QProcess::execute(QStringLiteral("umount"), {mountPoint_.path()});
    }

    // `room`: the file fills the disk part way (some of its bytes go out
    // before a write fails) or finds no room at all.
    void outputs_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("room");
        QTest::newRow("screen image, no room") << "png" << qint64(0);
        QTest::newRow("screen image, part way") << "png" << qint64(40000);
        QTest::newRow("waveform file, no room") << "csv" << qint64(0);
        QTest::newRow("waveform file, part way") << "csv" << qint64(40000);
        QTest::newRow("resume file") << "resume" << qint64(0);
    }

    void outputs() {
        QFETCH(QString, kind);
        QFETCH(qint64, room);
        const QString name = disk(QStringLiteral("out.") + kind);
        QVERIFY(Write(name, "older bytes"));
        fill(room);
        QString error;
        // The file outputs' result names the file and the system's reason.
        const auto told = [&](const qm::FileResult& r) {
            QCOMPARE(r.file, name);
            QVERIFY2(r.reason.contains(QStringLiteral("No space left on device")), qPrintable(r.reason));
            error = r.message;
        };
        if (kind == QLatin1String("png")) {
            ScreenFileSink sink;
            told(sink.screenImage(ScreenImage{1, QStringLiteral("png"), QByteArray(100000, 'p'), name, false}));
        } else if (kind == QLatin1String("csv")) {
            InstrumentConfig c;
            c.recordLength = 20000;
            c.channelCount = 2;
            WaveArrays w;
            for (auto& v : w) v.assign(20001, 0.5f);
            told(WriteWaveformCsv(name, c, w, {}));
        } else {
            error = qm::SaveResumeFile(name, qm::ResumeSettings{});
        }
        QVERIFY2(error.contains(QStringLiteral("No space left on device")), qPrintable(error));
        QCOMPARE(ReadAll(name), QByteArray("older bytes"));
        // No temporary file is left beside it.
        QCOMPARE(QDir(mountPoint_.path()).entryList({QStringLiteral("out.") + kind + QLatin1Char('*')}, QDir::Files | QDir::Hidden).size(), 1);
    }

    // A log file whose first append found the disk full is left empty; once
    // there is room, its header lines come first, then the waiting lines.
    void logFileGetsItsHeaderAfterAFullDisk() {
        const QString name = disk(QStringLiteral("S_AM_LOG.csv"));
        LogCsvSink sink;
        MeasItemArray items;
        items[0] = {QStringLiteral("C1"), QStringLiteral("MAX"), QStringLiteral("V")};
        sink.measItemsRead(items);
        const auto record = [](int cycle) {
            CycleRecord r = MakeCycleRecord(cycle, {1.0, NoValue, NoValue, NoValue}, QDateTime::currentDateTime());
            r.timeText = QStringLiteral("2026/12/07 10:00:0%1").arg(cycle);
            return r;
        };
        fill(0);
        const qm::FileResult r = sink.cycleLogged(record(1), name);
        QVERIFY2(r.message.contains(QStringLiteral("No space left on device")), qPrintable(r.message));
        QCOMPARE(ReadAll(name), QByteArray());
        QFile::remove(disk(QStringLiteral("filler")));
        QVERIFY(sink.cycleLogged(record(2), name).ok());
        QCOMPARE(ReadAll(name), LogCsvSink::HeaderBytes(items) + "1,2026/12/07 10:00:01,1,,,\r\n"
                                                                 "2,2026/12/07 10:00:02,1,,,\r\n");
    }
};

QTEST_MAIN(TestFullDisk)
#include "tst_fulldisk.moc"
