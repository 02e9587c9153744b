// The queue of records on their way to the broker: what an earlier start
// left is found again in order, torn and damaged bytes are skipped (never
// a crash, never a record made of bad bytes), the bound gives up the oldest
// run and keeps the newer ones, and done segments are removed.
#include "engine/mqtt/DiskQueue.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

using namespace qm;

using qm::DiskQueue;
using qm::QueueRecord;

namespace {

QueueRecord Record(const QByteArray& run, int n, int payloadBytes = 200) {
    QueueRecord r;
    r.kind = QueueRecord::Kind::Cycle;
    r.queuedMs = 1000 + n;
    r.runId = run;
    r.topic = "lab/bench07/cycle";
    r.payload = "{\"id\":\"" + run + ':' + QByteArray::number(n) + "\"}";
    r.payload += QByteArray(std::max<qsizetype>(0, payloadBytes - r.payload.size()), ' ');
    return r;
}

// The ids ("run:n") of the records not done, in order.
QList<QByteArray> Pending(DiskQueue& q) {
    QList<QByteArray> ids;
    for (uint64_t seq = q.firstPending(); seq < q.end(); ++seq) {
        QueueRecord r;
        QString error;
        if (!q.read(seq, &r, &error)) {
            ids << "unreadable: " + error.toUtf8();
            continue;
        }
        ids << r.payload.mid(7, r.payload.indexOf('"', 7) - 7);
    }
    return ids;
}

QList<QByteArray> Ids(const QByteArray& run, int from, int to, int skip = -1) {
    QList<QByteArray> ids;
    for (int n = from; n <= to; ++n)
        if (n != skip) ids << run + ':' + QByteArray::number(n);
    return ids;
}

QStringList Segments(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("q-*.dat")}, QDir::Files, QDir::Name);
}

// Changes `count` bytes at `offset` of the file (from its end when negative).
void Damage(const QString& path, qint64 offset, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek(offset < 0 ? f.size() + offset : offset));
    QCOMPARE(f.write(bytes), bytes.size());
}

}  // namespace

class TestDiskQueue : public QObject {
    Q_OBJECT

private slots:
    // Ten records of one run, the first four acknowledged and saved; then
    // the files are changed as a crash or the disk might, and the queue is
    // opened again.
    void reopen_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::addColumn<bool>("damagedBytes");
        QTest::newRow("as left") << "none" << Ids("r1", 5, 10) << false;
        QTest::newRow("torn tail (killed in mid-write)") << "torn" << Ids("r1", 5, 9) << true;
        QTest::newRow("a changed byte in a record") << "body" << Ids("r1", 5, 10, 7) << true;
        QTest::newRow("a huge length in a header") << "length" << Ids("r1", 5, 10, 7) << true;
        QTest::newRow("garbage appended") << "garbage" << Ids("r1", 5, 10) << true;
        QTest::newRow("acked file damaged: all again") << "ack" << Ids("r1", 1, 10) << false;
        QTest::newRow("acked file gone: all again") << "noack" << Ids("r1", 1, 10) << false;
        QTest::newRow("a copy named q-1.dat beside it: not read") << "short name" << Ids("r1", 5, 10) << false;
    }
    void reopen() {
        QFETCH(QString, damage);
        QFETCH(QList<QByteArray>, expected);
        QFETCH(bool, damagedBytes);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("q"));
        qint64 recordSize = 0;
        {
            DiskQueue q(folder);
            QVERIFY(q.open().error.isEmpty());
            for (int n = 1; n <= 10; ++n) QVERIFY(q.append(Record("r1", n)).ok());
            recordSize = q.stats().bytes / 10;
            q.markDone(q.firstPending() + 4);
            QVERIFY(q.saveDone().isEmpty());
            QCOMPARE(q.sync(), QString());
        }
        const QString seg = QDir(folder).filePath(Segments(folder).value(0));
        if (damage == QLatin1String("torn")) QVERIFY(QFile(seg).resize(QFileInfo(seg).size() - 9));
        if (damage == QLatin1String("body")) Damage(seg, recordSize * 6 + 40, "#");
        if (damage == QLatin1String("length")) Damage(seg, recordSize * 6 + 4, "\xff\xff\xff\x7f");
        if (damage == QLatin1String("garbage")) Damage(seg, QFileInfo(seg).size(), QByteArray(100, 'Q') + "QMQ1\x05");
        if (damage == QLatin1String("ack")) Damage(dir.filePath(QStringLiteral("q/acked")), 8, "9");
        if (damage == QLatin1String("noack")) QVERIFY(QFile::remove(dir.filePath(QStringLiteral("q/acked"))));
        if (damage == QLatin1String("short name")) QVERIFY(QFile::copy(seg, dir.filePath(QStringLiteral("q/q-1.dat"))));

        {
            DiskQueue q(folder);
            const DiskQueue::OpenResult opened = q.open();
            QVERIFY(opened.error.isEmpty());
            QCOMPARE(Pending(q), expected);
            QCOMPARE(opened.damagedBytes > 0, damagedBytes);
            QCOMPARE(opened.ackUnreadable, damage == QLatin1String("ack"));
            // What is appended now follows in order, also after another start.
            QVERIFY(q.append(Record("r2", 1)).ok());
            expected << "r2:1";
            QCOMPARE(Pending(q), expected);
            // A second program on the same folder is refused.
            DiskQueue other(folder);
            QVERIFY(other.open().error.contains(QStringLiteral("別の Quillmeter")));
        }
        DiskQueue again(folder);
        QVERIFY(again.open().error.isEmpty());
        QCOMPARE(Pending(again), expected);
    }

    // Files that were never a queue: read without a crash, nothing taken.
    // A record changed on disk since it was written is damaged (skipped by
    // the sender); a segment that cannot be opened is not (tried again).
    void readDamagedOrUnreadable() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("q"));
        QueueRecord r;
        QString error;
        bool damaged = false;
        QString seg;
        {
            DiskQueue q(folder);
            QVERIFY(q.open().error.isEmpty());
            for (int n = 1; n <= 2; ++n) QVERIFY(q.append(Record("r1", n)).ok());
            seg = QDir(folder).filePath(Segments(folder).value(0));
            Damage(seg, 40, "#");
            QVERIFY(!q.read(q.firstPending(), &r, &error, &damaged) && damaged);
        }
        // Another start (the damaged record is left out), its segment away
        // when the record is read, then back.
        DiskQueue again(folder);
        QVERIFY(again.open().error.isEmpty());
        QVERIFY(QFile::rename(seg, seg + QStringLiteral(".away")));
        QVERIFY(!again.read(again.firstPending(), &r, &error, &damaged) && !damaged);
        QVERIFY2(error.contains(QStringLiteral("q-00000001.dat")), qPrintable(error));
        QVERIFY(QFile::rename(seg + QStringLiteral(".away"), seg));
        QVERIFY(again.read(again.firstPending(), &r, &error, &damaged));
    }

    void garbageFiles() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("q"));
        QVERIFY(QDir().mkpath(folder));
        auto* rng = QRandomGenerator::global();
        for (int i = 1; i <= 3; ++i) {
            QByteArray bytes(int(rng->bounded(1, 200000)), Qt::Uninitialized);
            for (char& c : bytes) c = char(rng->bounded(256));
            // Magic and plausible lengths here and there, as a damaged queue would have.
            for (int k = 0; k + 12 < bytes.size(); k += int(rng->bounded(50, 5000))) {
                std::memcpy(bytes.data() + k, "QMQ1", 4);
                bytes[k + 4] = char(rng->bounded(256));
                bytes[k + 5] = char(rng->bounded(4));
                bytes[k + 6] = bytes[k + 7] = 0;
            }
            QFile f(QDir(folder).filePath(QStringLiteral("q-%1.dat").arg(i, 8, 10, QLatin1Char('0'))));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        DiskQueue q(folder);
        const DiskQueue::OpenResult opened = q.open();
        QVERIFY(opened.error.isEmpty());
        QCOMPARE(q.end() - q.firstPending(), uint64_t(0));
        QVERIFY(opened.damagedBytes > 0);
        QVERIFY(q.append(Record("r1", 1)).ok());
        QCOMPARE(Pending(q), Ids("r1", 1, 1));
    }

    // Segment numbers have eight digits: past q-99999999.dat the queue
    // refuses to append, with a clear message, and never wraps to an
    // earlier number; what it took is kept.
    void lastSegmentNumber() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("q"));
        QVERIFY(QDir().mkpath(folder));
        const QByteArray core = "QMQACK1 99999998 0";
        QFile ack(QDir(folder).filePath(QStringLiteral("acked")));
        QVERIFY(ack.open(QIODevice::WriteOnly));
        ack.write(core + ' ' + QByteArray::number(qm::Crc32(core.constData(), size_t(core.size()))) + '\n');
        ack.close();
        int taken = 0;
        QString error;
        {
            DiskQueue q(folder, 16 * 1024);  // segments of 4 KB
            QVERIFY(q.open().error.isEmpty());
            for (int n = 1; n <= 100 && error.isEmpty(); ++n) {
                const DiskQueue::AppendResult r = q.append(Record("r1", n));
                if (r.ok()) taken = n;
                else error = r.error;
            }
        }
        QVERIFY2(error.contains(QStringLiteral("q-99999999.dat")), qPrintable(error));
        QVERIFY(taken > 0);
        QCOMPARE(Segments(folder), QStringList{QStringLiteral("q-99999999.dat")});
        DiskQueue again(folder, 16 * 1024);
        QVERIFY(again.open().error.isEmpty());
        QCOMPARE(Pending(again), Ids("r1", 1, taken));
        QVERIFY(again.append(Record("r2", 1)).error.contains(QStringLiteral("q-99999999.dat")));
    }

    // A segment of nothing but headers that each announce a body of 1 MB
    // (with a wrong CRC): opening it checks a bounded number of them and
    // counts the rest as damaged, instead of a megabyte of CRC per header.
    void craftedHeaders() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("q"));
        QVERIFY(QDir().mkpath(folder));
        const QByteArray header("QMQ1\x00\x00\x10\x00\x00\x00\x00\x00", DiskQueue::HeaderBytes);
        const QByteArray bytes = header.repeated(3 * (1 << 20) / DiskQueue::HeaderBytes);
        QFile f(QDir(folder).filePath(QStringLiteral("q-00000001.dat")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
        f.close();
        DiskQueue q(folder);
        const DiskQueue::OpenResult opened = q.open();
        QVERIFY(opened.error.isEmpty());
        QCOMPARE(opened.damagedBytes, int64_t(bytes.size()));
        QCOMPARE(q.end() - q.firstPending(), uint64_t(0));
        QVERIFY(q.append(Record("r1", 1)).ok());
        QCOMPARE(Pending(q), Ids("r1", 1, 1));
    }

    // A full queue gives up its oldest unsent run, whole, and says so; the
    // files never pass the bound; newer runs are kept in order.
    void bound() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("q"));
        const int64_t max = 64 * 1024;
        DiskQueue q(folder, max);
        QVERIFY(q.open().error.isEmpty());
        std::vector<DiskQueue::GivenUp> givenUp;
        const QList<QByteArray> runs = {"r1", "r2", "r3", "r4", "r5", "r6"};
        for (const QByteArray& run : runs) {
            for (int n = 1; n <= 40; ++n) {
                const DiskQueue::AppendResult r = q.append(Record(run, n, 500));
                QVERIFY(r.ok());
                givenUp.insert(givenUp.end(), r.givenUp.begin(), r.givenUp.end());
                QVERIFY(q.stats().bytes <= max);
            }
        }
        QVERIFY(!givenUp.empty());
        QList<QByteArray> expected;
        for (int i = 0; i < runs.size(); ++i) {
            const bool gone = size_t(i) < givenUp.size();
            if (gone) {
                QCOMPARE(givenUp[size_t(i)].runId, runs[i]);
                QCOMPARE(givenUp[size_t(i)].records, int64_t(40));
            } else {
                expected << Ids(runs[i], 1, 40);
            }
        }
        QCOMPARE(Pending(q), expected);
        QVERIFY(!expected.isEmpty());
        // A record larger than the queue can hold is refused, with a reason.
        QVERIFY(!q.append(Record("r7", 1, int(max))).ok());
    }

    // While the broker acknowledges, the queue stays small: done segments
    // are removed, and the `acked` file follows.
    void doneSegmentsRemoved() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("q"));
        std::optional<DiskQueue> q;
        q.emplace(folder, 200 * 1024);
        QVERIFY(q->open().error.isEmpty());
        for (int n = 1; n <= 2000; ++n) {
            QVERIFY(q->append(Record("r1", n)).ok());
            q->markDone(q->end());
            if (n % 100 == 0) {
                QCOMPARE(q->saveDone(), QString());
                QCOMPARE(q->removeDoneSegments(), QString());
            }
        }
        QVERIFY2(Segments(folder).size() <= 2, qPrintable(Segments(folder).join(u' ')));
        QVERIFY(q->stats().bytes < 100 * 1024);
        q.emplace(folder);
        QVERIFY(q->open().error.isEmpty());
        QCOMPARE(Pending(*q), QList<QByteArray>());
    }
};

QTEST_GUILESS_MAIN(TestDiskQueue)
#include "tst_diskqueue.moc"
