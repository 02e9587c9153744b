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

    void outputs_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("screen image") << "png";
        QTest::newRow("waveform file") << "csv";
        QTest::newRow("resume file") << "resume";
    }

    void outputs() {
        QFETCH(QString, kind);
        const QString name = disk(QStringLiteral("out.") + kind);
        QVERIFY(Write(name, "older bytes"));
        fill(0);
        QString error;
        if (kind == QLatin1String("png")) {
            ScreenFileSink sink;
            error = sink.screenImage(ScreenImage{1, QStringLiteral("png"), QByteArray(100000, 'p'), name, false}).error;
        } else if (kind == QLatin1String("csv")) {
            InstrumentConfig c;
            c.RecordLength = 20000;
            c.ChannelCount = 2;
            WaveArrays w;
            for (auto& v : w) v.assign(20001, 0.5f);
            WriteWaveformCsv(name, c, w, {}, &error);
        } else {
            error = SaveResumeFile(name, ResumeSettings{});
        }
        QVERIFY2(error.contains(QStringLiteral("No space left on device")), qPrintable(error));
        QCOMPARE(ReadAll(name), QByteArray("older bytes"));
        // No temporary file is left beside it.
        QCOMPARE(QDir(mountPoint_.path()).entryList({QStringLiteral("out.") + kind + QLatin1Char('*')}, QDir::Files | QDir::Hidden).size(), 1);
    }
};

QTEST_MAIN(TestFullDisk)
#include "tst_fulldisk.moc"
