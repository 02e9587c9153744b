#include "engine/output/FileSinks.h"

#include "engine/output/WaveCsv.h"
#include "engine/text/AnsiText.h"
#include "engine/text/DateTimeText.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {
constexpr int kWaitingLinesMax = 10000;

QString Shown(const QString& fileName) { return QDir::toNativeSeparators(fileName); }

QString JoinLine(const QStringList& cells) { return cells.join(QLatin1Char(',')) + QStringLiteral("\r\n"); }
}  // namespace

QByteArray LogCsvSink::HeaderBytes(const MeasItemArray& items) {
    QStringList ch{QStringLiteral("Ch"), QString()}, type{QStringLiteral("Type"), QString()},
        unit{QStringLiteral("Unit"), QString()};
    for (const MeasItemRecord& item : items) {
        ch << item.Source;
        type << item.Kind;
        unit << item.Unit;
    }
    const QString text = JoinLine({QString(), QStringLiteral("Time"), QStringLiteral("A"), QStringLiteral("B"),
                                   QStringLiteral("C"), QStringLiteral("D")}) +
                         JoinLine(ch) + JoinLine(type) + JoinLine(unit);
    return qm::ToAnsi(text);
}

OutputResult LogCsvSink::append(const Line& line) {
    bool isNew = true;
    {
        QFile probe(line.fileName);
        if (probe.open(QIODevice::ReadOnly)) isNew = false;
    }
    QByteArray bytes;
    if (isNew) bytes = HeaderBytes(items_);
    bytes += qm::ToAnsi(JoinLine(line.cells));

    QFile file(line.fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return {QStringLiteral("ログファイル %1 を開けません: %2").arg(Shown(line.fileName), file.errorString())};
    const qint64 before = file.size();
    // A write cut short is tried on for the rest, so that the system's reason
    // for the shortfall (a full disk, a size limit) is what gets reported.
    qint64 written = 0;
    QString reason;
    while (written < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0) {
            reason = file.errorString();
            break;
        }
        written += n;
    }
    if (written == bytes.size() && file.flush() && file.error() == QFileDevice::NoError) return {};
    if (reason.isEmpty()) reason = file.errorString();
    // Whatever part of the line got out is taken back.
    file.resize(before);
    return {QStringLiteral("ログファイル %1 に書けません: %2").arg(Shown(line.fileName), reason)};
}

OutputResult LogCsvSink::cycleLogged(const CycleRecord& record, const QString& logFileName) {
    if (int(waiting_.size()) >= kWaitingLinesMax) waiting_.pop_front();
    waiting_.push_back({logFileName, record.logCells()});
    while (!waiting_.empty()) {
        OutputResult r = append(waiting_.front());
        if (!r.ok()) {
            r.error += QStringLiteral(" (%1 行が書き込み待ちです)").arg(waiting_.size());
            return r;
        }
        waiting_.pop_front();
    }
    return {};
}

QString LogCsvSink::unwrittenOutput() const {
    if (waiting_.empty()) return {};
    return QStringLiteral("ログファイル %1 に書けなかった %2 行が残っています")
        .arg(Shown(waiting_.back().fileName))
        .arg(waiting_.size());
}

void EventLogSink::linkEvent(const QString& text, int32_t cycle, const QString& folder, const QString& header) {
    QFile f(folder + qm::PathSep() + header + QStringLiteral("_events.log"));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    const QString line = qm::NowDateTimeText() + QStringLiteral(" サイクル %1: ").arg(cycle) + text + QLatin1Char('\n');
    f.write(line.toUtf8());
}

QString SaveFileBytes(const QString& fileName, const QByteArray& bytes) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit()) return file.errorString();
    return {};
}

OutputResult ScreenFileSink::screenImage(const ScreenImage& image) {
    if (image.bytes.isEmpty()) return {};
    const QString reason = SaveFileBytes(image.fileName, image.bytes);
    if (reason.isEmpty()) return {};
    return {QStringLiteral("DS画面のファイル \"%1\" を保存できません: %2").arg(Shown(image.fileName), reason)};
}

OutputResult WaveCsvSink::traces(const TraceSet& traces, const std::function<void(int)>& progress) {
    QString error;
    if (WriteWaveformCsv(traces.fileName, traces.config, traces.data, CsvProgress{progress}, &error)) return {};
    return {error};
}
