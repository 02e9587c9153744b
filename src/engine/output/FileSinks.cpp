#include "engine/output/FileSinks.h"

#include "engine/output/FileWrite.h"
#include "engine/output/WaveCsv.h"
#include "engine/text/AnsiText.h"
#include "engine/text/DateTimeText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace qm {

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(FileSinks)
};
}  // namespace

namespace {
QString Shown(const QString& fileName) { return QDir::toNativeSeparators(fileName); }

QString JoinLine(const QStringList& cells) { return cells.join(QLatin1Char(',')) + QStringLiteral("\r\n"); }
}  // namespace

QByteArray LogCsvSink::HeaderBytes(const MeasItemArray& items) {
    QStringList ch{QStringLiteral("Ch"), QString()}, type{QStringLiteral("Type"), QString()},
        unit{QStringLiteral("Unit"), QString()};
    for (const MeasItemRecord& item : items) {
        ch << item.source;
        type << item.kind;
        unit << item.unit;
    }
    const QString text = JoinLine({QString(), QStringLiteral("Time"), QStringLiteral("A"), QStringLiteral("B"),
                                   QStringLiteral("C"), QStringLiteral("D")}) +
                         JoinLine(ch) + JoinLine(type) + JoinLine(unit);
    return qm::ToAnsi(text);
}

qm::FileResult LogCsvSink::append(const Line& line) {
    QFile file(line.fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return qm::FileResult::failed(line.fileName, file.errorString(),
                                      Texts::tr("ログファイル %1 を開けません: %2").arg(Shown(line.fileName), file.errorString()));
    const qint64 before = file.size();
    // The header lines go before the first line: into a new or empty file,
    // or after the start of them that a first append cut short left behind.
    // A file with anything else in it never gets header lines.
    QByteArray bytes;
    const QByteArray header = HeaderBytes(items_);
    if (before < header.size()) {
        QByteArray start;
        if (before > 0) {
            QFile probe(line.fileName);
            if (probe.open(QIODevice::ReadOnly)) start = probe.read(before);
        }
        if (start.size() == before && header.startsWith(start)) bytes = header.mid(before);
    }
    bytes += qm::ToAnsi(JoinLine(line.cells));

    QString reason = qm::WriteAll(file, bytes).reason;
    if (reason.isEmpty() && file.flush() && file.error() == QFileDevice::NoError)
        return qm::FileResult::written(line.fileName);
    if (reason.isEmpty()) reason = file.errorString();
    // Whatever part of the line got out is taken back.
    file.resize(before);
    return qm::FileResult::failed(line.fileName, reason,
                                  Texts::tr("ログファイル %1 に書けません: %2").arg(Shown(line.fileName), reason));
}

qm::FileResult LogCsvSink::cycleLogged(const CycleRecord& record, const QString& logFileName) {
    waiting_.push_back({logFileName, record.logCells()});
    while (!waiting_.empty()) {
        qm::FileResult r = append(waiting_.front());
        if (!r.ok()) {
            // Every line stays queued; once the queue is full the run ends
            // rather than let it grow without bound.
            if (int(waiting_.size()) >= waitingLinesMax_) {
                r.message += Texts::tr(" (書き込み待ちが %1 行になったので測定を終了します)").arg(waiting_.size());
                r.endsRun = true;
            } else {
                r.message += Texts::tr(" (%1 行が書き込み待ちです)").arg(waiting_.size());
            }
            return r;
        }
        waiting_.pop_front();
    }
    return qm::FileResult::written(logFileName);
}

QString LogCsvSink::unwrittenOutput() const {
    if (waiting_.empty()) return {};
    return Texts::tr("ログファイル %1 に書けなかった %2 行が残っています")
        .arg(Shown(waiting_.back().fileName))
        .arg(waiting_.size());
}

void EventLogSink::linkEvent(const QString& text, bool, int32_t cycle, const QString& folder, const QString& header) {
    QFile f(folder + qm::PathSep() + header + QStringLiteral("_events.log"));
    const QString line = qm::NowDateTimeText() + Texts::tr(" サイクル %1: ").arg(cycle) + text + QLatin1Char('\n');
    QString reason;
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) reason = f.errorString();
    else reason = qm::WriteAll(f, line.toUtf8()).reason;
    if (reason.isEmpty()) return;
    ++unwritten_;
    fileName_ = f.fileName();
    reason_ = reason;
}

QString EventLogSink::unwrittenOutput() const {
    if (unwritten_ == 0) return {};
    return Texts::tr("イベントログ %1 に %2 行を書けませんでした: %3").arg(Shown(fileName_)).arg(unwritten_).arg(reason_);
}

qm::FileResult SaveFileBytes(const QString& fileName, const QByteArray& bytes) {
    // Unbuffered, so that a failed write carries the system's reason; the
    // temporary file of a cancelled write goes with `file`.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return {fileName, file.errorString(), {}, false};
    qm::FileResult r = qm::WriteAll(file, bytes);
    r.file = fileName;
    if (!r.ok()) {
        file.cancelWriting();
        return r;
    }
    if (!file.commit()) return {fileName, file.errorString(), {}, false};
    return r;
}

qm::FileResult ScreenFileSink::screenImage(const ScreenImage& image) {
    if (image.bytes.isEmpty()) return {};
    qm::FileResult r = SaveFileBytes(image.fileName, image.bytes);
    if (!r.ok())
        r.message = Texts::tr("DS画面のファイル \"%1\" を保存できません: %2").arg(Shown(image.fileName), r.reason);
    return r;
}

qm::FileResult WaveCsvSink::traces(const TraceSet& traces, const std::function<void(int)>& progress) {
    return WriteWaveformCsv(traces.fileName, traces.config, traces.data, CsvProgress{progress});
}

}  // namespace qm
