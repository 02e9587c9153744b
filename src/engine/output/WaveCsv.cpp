#include "engine/output/WaveCsv.h"

#include "engine/output/FileWrite.h"
#include "engine/text/AnsiText.h"
#include "engine/text/NumText.h"
#include "engine/output/PictureFormat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDevice>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(WaveCsv)
};
}  // namespace

namespace {

constexpr int32_t kNoMathFrom = 3000000;      // records this long get no math column
constexpr qsizetype kChunkBytes = 1 << 20;    // rows go to the file in chunks of about this size
constexpr qsizetype kRowMax = 512;            // longest row: 6 fields of at most kPictureTextMax bytes

const QByteArray kCrLf("\r\n");

int ChannelsOfModel(const InstrumentConfig& c) { return std::clamp<int>(c.ChannelCount, 0, 4); }

void Line(QByteArray& out, const QString& text) {
    out += qm::ToAnsi(text);
    out += kCrLf;
}

QString FileText(const QString& name) { return QDir::toNativeSeparators(name); }

void Report(const CsvProgress& p, int value) {
    if (p.setProgress) p.setProgress(value);
}

qm::FileResult WriteFailed(const QString& fileName, const QString& reason) {
    return qm::FileResult::failed(
        fileName, reason, Texts::tr("波形ファイル %1 に書き込めませんでした (%2)").arg(FileText(fileName), reason));
}

// Collects rows in a large buffer and hands it to the file in chunks, each
// with the checked write (the first failure's reason is kept).
class ChunkWriter {
public:
    explicit ChunkWriter(QFileDevice& f) : file_(f), buf_(size_t(kChunkBytes + kRowMax)) {}
    // Room for one more row; flushes a full buffer first.
    char* Row() {
        if (used_ > kChunkBytes) Flush();
        return buf_.data() + used_;
    }
    void Commit(char* end) { used_ = end - buf_.data(); }
    bool Flush() {
        if (reason_.isEmpty() && used_ > 0) reason_ = qm::WriteAll(file_, buf_.data(), used_).reason;
        used_ = 0;
        return reason_.isEmpty();
    }
    bool Failed() const { return !reason_.isEmpty(); }
    const QString& Reason() const { return reason_; }

private:
    QFileDevice& file_;
    std::vector<char> buf_;
    qsizetype used_ = 0;
    QString reason_;
};

qm::FileResult WriteRows(QFileDevice& File, const InstrumentConfig& c, const WaveArrays& w,
                         const CsvProgress& progress, bool withMath) {
    const qm::FileResult title = qm::WriteAll(File, WaveCsvTitle(c, withMath));
    if (!title.ok()) return WriteFailed(File.fileName(), title.reason);
    const int32_t rows = c.RecordLength;
    if (rows <= 0) return qm::FileResult::written(File.fileName());

    // Channels to fill: those of the model shown on the instrument.
    const int columns = c.ChannelCount == 2 ? 2 : 4;
    const int model = ChannelsOfModel(c);
    const std::vector<float>* chan[4] = {};
    for (int k = 0; k < columns; ++k)
        if (k < model && c.Display[size_t(k)] == QLatin1String("ON")) chan[k] = &w[size_t(k)];
    const int chanDecimals =
        (c.AcqMode == QLatin1String("AVERAGE") || c.AcqMode == QLatin1String("HIGH_RES")) ? 4 : 2;
    const bool fft = c.MathType == QLatin1String("FFT");
    const int64_t half = int64_t(qm::RoundHalfEven(double(rows) / 2));
    const std::vector<float>& math = w[4];
    const double dt = c.SampleInterval;
    const int64_t trig = c.TriggerAddress;

    // A sample that exists and is a number, written under its picture;
    // anything else leaves the field empty.
    auto value = [](char* o, const std::vector<float>* a, int64_t i, int decimals) {
        if (!a || i >= int64_t(a->size())) return o;
        const float x = (*a)[size_t(i)];
        if (!std::isfinite(x)) return o;
        return o + qm::FastPictureChars(o, double(x), decimals);
    };

    ChunkWriter out(File);
    const int32_t block = WaveCsvBlockSize(rows);
    int64_t i = 0;
    for (int g = 0; i < rows; ++g) {
        const int64_t end = std::min<int64_t>(rows, i + block);
        for (; i < end; ++i) {
            char* o = out.Row();
            o += qm::FastPictureChars(o, double(i - trig) * dt, 6);
            *o++ = ',';
            o = value(o, chan[0], i, chanDecimals);
            *o++ = ',';
            o = value(o, chan[1], i, chanDecimals);
            if (columns == 4) {
                *o++ = ',';
                o = value(o, chan[2], i, chanDecimals);
                *o++ = ',';
                o = value(o, chan[3], i, chanDecimals);
            }
            if (withMath && !(fft && i >= half)) {
                *o++ = ',';
                o = value(o, &math, i, 4);
            }
            *o++ = '\r';
            *o++ = '\n';
            out.Commit(o);
        }
        if (!out.Flush()) break;
        Report(progress, std::min(10 * (g + 1), 100));
    }
    if (out.Failed()) return WriteFailed(File.fileName(), out.Reason());
    return qm::FileResult::written(File.fileName());
}

}  // namespace

bool WaveCsvHasMathColumn(const InstrumentConfig& c) {
    if (c.RecordLength >= kNoMathFrom) return false;
    return c.Display[4] != QLatin1String("OFF");
}

int32_t WaveCsvBlockSize(int32_t RecordLength) {
    if (RecordLength <= 0) return 0;
    const int32_t tenth = int32_t(qm::RoundHalfEven(double(RecordLength) / 10));
    const int32_t eleventh = int32_t((int64_t(RecordLength) + 10) / 11);
    return std::max(tenth, eleventh);
}

QByteArray WaveCsvHeader(const InstrumentConfig& c) {
    using qm::PrintNumber;
    QByteArray h;
    Line(h, QStringLiteral("ModelName,") + c.ModelName);
    Line(h, QStringLiteral("FileVersion,") + c.FileVersion);
    Line(h, QStringLiteral("Acquisition Time, ") + c.AcqTime);
    Line(h, QStringLiteral("Time/div(second),") + PrintNumber(c.TimeDiv));
    Line(h, QStringLiteral("Delay (second),") + PrintNumber(c.TriggerDelay));
    Line(h, QStringLiteral("Delta (second),") + PrintNumber(c.SampleInterval));
    Line(h, QStringLiteral("Acquisition Mode,") + c.AcqMode);
    Line(h, QStringLiteral("Trigger Address,") + PrintNumber(c.TriggerAddress));
    Line(h, QStringLiteral("Math,") + c.Display[4]);
    if (c.Display[4] == QLatin1String("ON")) {
        Line(h, QStringLiteral("Math Type,") + c.MathType);
        if (c.MathType != QLatin1String("FFT")) {
            Line(h, QStringLiteral("Math Source1,") + c.MathSource[0]);
            Line(h, QStringLiteral("Math Source2,") + c.MathSource[1]);
            Line(h, QStringLiteral("Math ") + c.VUnit[4] + QStringLiteral("/div,") + PrintNumber(c.VDiv[4]));
            Line(h, QStringLiteral("Math Offset,") + PrintNumber(c.Offset[4]));
        } else {
            Line(h, QStringLiteral("FFT Source,") + c.MathSource[0]);
            Line(h, QStringLiteral("FFT Window,") + c.FftWindow);
            Line(h, QStringLiteral("FFT ") + c.VUnit[4] + QStringLiteral("/div,") + PrintNumber(c.VDiv[4]));
            Line(h, QStringLiteral("FFT Offset,") + PrintNumber(c.Offset[4]));
            Line(h, QStringLiteral("FFT Delta(Hz),") + PrintNumber(c.FftDelta));
        }
    }
    const int n = ChannelsOfModel(c);
    auto ch = [](int k) { return QStringLiteral("CH") + QString::number(k + 1); };
    for (int k = 0; k < n; ++k) Line(h, ch(k) + QStringLiteral(" Display,") + c.Display[size_t(k)]);
    for (int k = 0; k < n; ++k)
        Line(h, ch(k) + QLatin1Char(' ') + c.VUnit[size_t(k)] + QStringLiteral("/div,") + PrintNumber(c.VDiv[size_t(k)]));
    for (int k = 0; k < n; ++k) Line(h, ch(k) + QStringLiteral(" Offset,") + PrintNumber(c.Offset[size_t(k)]));
    for (int k = 0; k < n; ++k) Line(h, ch(k) + QStringLiteral(" Coupling,") + c.Coupling[size_t(k)]);
    for (int k = 0; k < n; ++k) Line(h, ch(k) + QStringLiteral(" Bandwidth,") + c.Bandwidth[size_t(k)]);
    Line(h, QStringLiteral("Points ,") + PrintNumber(c.RecordLength));
    return h;
}

QByteArray WaveCsvTitle(const InstrumentConfig& c, bool withMath) {
    QString t = QStringLiteral("Time(s),Ch1 ") + c.VUnit[0] + QStringLiteral(",Ch2 ") + c.VUnit[1];
    if (c.ChannelCount != 2) t += QStringLiteral(",Ch3 ") + c.VUnit[2] + QStringLiteral(",Ch4 ") + c.VUnit[3];
    if (withMath) t += QStringLiteral(",Math ") + c.VUnit[4];
    QByteArray out;
    Line(out, t);
    return out;
}

qm::FileResult WriteWaveRows(QFileDevice& File, const InstrumentConfig& DsoConfig, const WaveArrays& WaveData,
                             const CsvProgress& progress) {
    return WriteRows(File, DsoConfig, WaveData, progress, false);
}

qm::FileResult WriteWaveRowsWithMath(QFileDevice& File, const InstrumentConfig& DsoConfig, const WaveArrays& WaveData,
                                     const CsvProgress& progress) {
    return WriteRows(File, DsoConfig, WaveData, progress, true);
}

qm::FileResult WriteWaveformCsv(const QString& FileName, const InstrumentConfig& DsoConfig, const WaveArrays& WaveData,
                                const CsvProgress& progress) {
    // Written beside its final name and put in place only once every byte is
    // out, so a failure never leaves a cut file under the final name (an
    // older file of that name keeps its bytes, the temporary file goes with
    // `file`). Unbuffered: the rows go out in large chunks anyway, and a
    // failed write then carries the system's reason.
    QSaveFile file(FileName);
    if (FileName.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        Report(progress, 100);
        return qm::FileResult::failed(FileName, file.errorString(),
                                      Texts::tr("波形ファイル %1 を作成できませんでした (%2)")
                                          .arg(FileText(FileName), file.errorString()));
    }
    qm::FileResult r = qm::WriteAll(file, WaveCsvHeader(DsoConfig));
    if (!r.ok()) r = WriteFailed(FileName, r.reason);
    if (r.ok()) {
        r = WaveCsvHasMathColumn(DsoConfig) ? WriteWaveRowsWithMath(file, DsoConfig, WaveData, progress)
                                            : WriteWaveRows(file, DsoConfig, WaveData, progress);
    }
    if (r.ok() && (!file.flush() || file.error() != QFileDevice::NoError)) r = WriteFailed(FileName, file.errorString());
    if (r.ok() && !file.commit()) {
        r = qm::FileResult::failed(FileName, file.errorString(),
                                   Texts::tr("波形ファイル %1 を保存できませんでした (%2)")
                                       .arg(FileText(FileName), file.errorString()));
    }
    if (!r.ok()) file.cancelWriting();
    Report(progress, 100);
    r.file = FileName;
    return r;
}
