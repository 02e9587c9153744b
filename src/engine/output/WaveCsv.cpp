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

namespace qm {

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

int ChannelsOfModel(const InstrumentConfig& c) { return std::clamp<int>(c.channelCount, 0, 4); }

void Line(QByteArray& out, const QString& text) {
    out += ToAnsi(text);
    out += kCrLf;
}

QString FileText(const QString& name) { return QDir::toNativeSeparators(name); }

void Report(const CsvProgress& p, int value) {
    if (p.setProgress) p.setProgress(value);
}

FileResult WriteFailed(const QString& fileName, const QString& reason) {
    return FileResult::failed(
        fileName, reason, Texts::tr("波形ファイル %1 に書き込めませんでした (%2)").arg(FileText(fileName), reason));
}

// Collects rows in a large buffer and hands it to the file in chunks, each
// with the checked write (the first failure's reason is kept).
class ChunkWriter {
public:
    explicit ChunkWriter(QFileDevice& f) : file_(f), buf_(size_t(kChunkBytes + kRowMax)) {}
    // Room for one more row; flushes a full buffer first.
    char* row() {
        if (used_ > kChunkBytes) flush();
        return buf_.data() + used_;
    }
    void commit(char* end) { used_ = end - buf_.data(); }
    bool flush() {
        if (reason_.isEmpty() && used_ > 0) reason_ = WriteAll(file_, buf_.data(), used_).reason;
        used_ = 0;
        return reason_.isEmpty();
    }
    bool failed() const { return !reason_.isEmpty(); }
    const QString& reason() const { return reason_; }

private:
    QFileDevice& file_;
    std::vector<char> buf_;
    qsizetype used_ = 0;
    QString reason_;
};

FileResult WriteRows(QFileDevice& File, const InstrumentConfig& c, const WaveArrays& w,
                         const CsvProgress& progress, bool withMath) {
    const FileResult title = WriteAll(File, WaveCsvTitle(c, withMath));
    if (!title.ok()) return WriteFailed(File.fileName(), title.reason);
    const int32_t rows = c.recordLength;
    if (rows <= 0) return FileResult::written(File.fileName());

    // Channels to fill: those of the model shown on the instrument.
    const int columns = c.channelCount == 2 ? 2 : 4;
    const int model = ChannelsOfModel(c);
    const std::vector<float>* chan[4] = {};
    for (int k = 0; k < columns; ++k)
        if (k < model && c.display[size_t(k)] == QLatin1String("ON")) chan[k] = &w[size_t(k)];
    const int chanDecimals =
        (c.acqMode == QLatin1String("AVERAGE") || c.acqMode == QLatin1String("HIGH_RES")) ? 4 : 2;
    const bool fft = c.mathType == QLatin1String("FFT");
    const int64_t half = int64_t(RoundHalfEven(double(rows) / 2));
    const std::vector<float>& math = w[4];
    const double dt = c.sampleInterval;
    const int64_t trig = c.triggerAddress;

    // A sample that exists and is a number, written under its picture;
    // anything else leaves the field empty.
    auto value = [](char* o, const std::vector<float>* a, int64_t i, int decimals) {
        if (!a || i >= int64_t(a->size())) return o;
        const float x = (*a)[size_t(i)];
        if (!std::isfinite(x)) return o;
        return o + FastPictureChars(o, double(x), decimals);
    };

    ChunkWriter out(File);
    const int32_t block = WaveCsvBlockSize(rows);
    int64_t i = 0;
    for (int g = 0; i < rows; ++g) {
        const int64_t end = std::min<int64_t>(rows, i + block);
        for (; i < end; ++i) {
            char* o = out.row();
            o += FastPictureChars(o, double(i - trig) * dt, 6);
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
            out.commit(o);
        }
        if (!out.flush()) break;
        Report(progress, std::min(10 * (g + 1), 100));
    }
    if (out.failed()) return WriteFailed(File.fileName(), out.reason());
    return FileResult::written(File.fileName());
}

}  // namespace

bool WaveCsvHasMathColumn(const InstrumentConfig& c) {
    if (c.recordLength >= kNoMathFrom) return false;
    return c.display[4] != QLatin1String("OFF");
}

int32_t WaveCsvBlockSize(int32_t recordLength) {
    if (recordLength <= 0) return 0;
    const int32_t tenth = int32_t(RoundHalfEven(double(recordLength) / 10));
    const int32_t eleventh = int32_t((int64_t(recordLength) + 10) / 11);
    return std::max(tenth, eleventh);
}

QByteArray WaveCsvHeader(const InstrumentConfig& c) {
    QByteArray h;
    Line(h, QStringLiteral("ModelName,") + c.modelName);
    Line(h, QStringLiteral("FileVersion,") + c.fileVersion);
    Line(h, QStringLiteral("Acquisition Time, ") + c.acqTime);
    Line(h, QStringLiteral("Time/div(second),") + PrintNumber(c.timeDiv));
    Line(h, QStringLiteral("Delay (second),") + PrintNumber(c.triggerDelay));
    Line(h, QStringLiteral("Delta (second),") + PrintNumber(c.sampleInterval));
    Line(h, QStringLiteral("Acquisition Mode,") + c.acqMode);
    Line(h, QStringLiteral("Trigger Address,") + PrintNumber(c.triggerAddress));
    Line(h, QStringLiteral("Math,") + c.display[4]);
    if (c.display[4] == QLatin1String("ON")) {
        Line(h, QStringLiteral("Math Type,") + c.mathType);
        if (c.mathType != QLatin1String("FFT")) {
            Line(h, QStringLiteral("Math Source1,") + c.mathSource[0]);
            Line(h, QStringLiteral("Math Source2,") + c.mathSource[1]);
            Line(h, QStringLiteral("Math ") + c.vUnit[4] + QStringLiteral("/div,") + PrintNumber(c.vDiv[4]));
            Line(h, QStringLiteral("Math Offset,") + PrintNumber(c.offset[4]));
        } else {
            Line(h, QStringLiteral("FFT Source,") + c.mathSource[0]);
            Line(h, QStringLiteral("FFT Window,") + c.fftWindow);
            Line(h, QStringLiteral("FFT ") + c.vUnit[4] + QStringLiteral("/div,") + PrintNumber(c.vDiv[4]));
            Line(h, QStringLiteral("FFT Offset,") + PrintNumber(c.offset[4]));
            Line(h, QStringLiteral("FFT Delta(Hz),") + PrintNumber(c.fftDelta));
        }
    }
    const int n = ChannelsOfModel(c);
    auto ch = [](int k) { return QStringLiteral("CH") + QString::number(k + 1); };
    for (int k = 0; k < n; ++k) Line(h, ch(k) + QStringLiteral(" Display,") + c.display[size_t(k)]);
    for (int k = 0; k < n; ++k)
        Line(h, ch(k) + QLatin1Char(' ') + c.vUnit[size_t(k)] + QStringLiteral("/div,") + PrintNumber(c.vDiv[size_t(k)]));
    for (int k = 0; k < n; ++k) Line(h, ch(k) + QStringLiteral(" Offset,") + PrintNumber(c.offset[size_t(k)]));
    for (int k = 0; k < n; ++k) Line(h, ch(k) + QStringLiteral(" Coupling,") + c.coupling[size_t(k)]);
    for (int k = 0; k < n; ++k) Line(h, ch(k) + QStringLiteral(" Bandwidth,") + c.bandwidth[size_t(k)]);
    Line(h, QStringLiteral("Points ,") + PrintNumber(c.recordLength));
    return h;
}

QByteArray WaveCsvTitle(const InstrumentConfig& c, bool withMath) {
    QString t = QStringLiteral("Time(s),Ch1 ") + c.vUnit[0] + QStringLiteral(",Ch2 ") + c.vUnit[1];
    if (c.channelCount != 2) t += QStringLiteral(",Ch3 ") + c.vUnit[2] + QStringLiteral(",Ch4 ") + c.vUnit[3];
    if (withMath) t += QStringLiteral(",Math ") + c.vUnit[4];
    QByteArray out;
    Line(out, t);
    return out;
}

FileResult WriteWaveRows(QFileDevice& File, const InstrumentConfig& dsoConfig, const WaveArrays& WaveData,
                             const CsvProgress& progress) {
    return WriteRows(File, dsoConfig, WaveData, progress, false);
}

FileResult WriteWaveRowsWithMath(QFileDevice& File, const InstrumentConfig& dsoConfig, const WaveArrays& WaveData,
                                     const CsvProgress& progress) {
    return WriteRows(File, dsoConfig, WaveData, progress, true);
}

FileResult WriteWaveformCsv(const QString& FileName, const InstrumentConfig& dsoConfig, const WaveArrays& WaveData,
                                const CsvProgress& progress) {
    // Written beside its final name and put in place only once every byte is
    // out, so a failure never leaves a cut file under the final name (an
    // older file of that name keeps its bytes, the temporary file goes with
    // `file`). Unbuffered: the rows go out in large chunks anyway, and a
    // failed write then carries the system's reason.
    QSaveFile file(FileName);
    if (FileName.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        Report(progress, 100);
        return FileResult::failed(FileName, file.errorString(),
                                      Texts::tr("波形ファイル %1 を作成できませんでした (%2)")
                                          .arg(FileText(FileName), file.errorString()));
    }
    FileResult r = WriteAll(file, WaveCsvHeader(dsoConfig));
    if (!r.ok()) r = WriteFailed(FileName, r.reason);
    if (r.ok()) {
        r = WaveCsvHasMathColumn(dsoConfig) ? WriteWaveRowsWithMath(file, dsoConfig, WaveData, progress)
                                            : WriteWaveRows(file, dsoConfig, WaveData, progress);
    }
    if (r.ok() && (!file.flush() || file.error() != QFileDevice::NoError)) r = WriteFailed(FileName, file.errorString());
    if (r.ok() && !file.commit()) {
        r = FileResult::failed(FileName, file.errorString(),
                                   Texts::tr("波形ファイル %1 を保存できませんでした (%2)")
                                       .arg(FileText(FileName), file.errorString()));
    }
    if (!r.ok()) file.cancelWriting();
    Report(progress, 100);
    r.file = FileName;
    return r;
}

}  // namespace qm
