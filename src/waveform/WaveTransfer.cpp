#include "waveform/WaveTransfer.h"

#include "engine/text/NumText.h"
#include "link/BlockRead.h"
#include "engine/waveform/SampleConvert.h"

#include <algorithm>

bool UsesWordFormat(const InstrumentConfig& config) {
    return config.AcqMode == QLatin1String("AVERAGE") || config.AcqMode == QLatin1String("HIGH_RES");
}

int32_t ReadWaveBlockTcp(SockControl& dso, QByteArray& RawBlock) { return ReadBlockTcp(dso, RawBlock, kWaveBlockLimit); }

int32_t ReadWaveform(Link& link, const QString& sourceName, int32_t points, std::vector<float>& samples,
                     const InstrumentConfig& config, QString* warning) {
    if (warning) warning->clear();
    const bool math = sourceName == QLatin1String("MATH");
    const int16_t index = math ? int16_t(4) : int16_t(qm::LeadingNumber(sourceName.right(1)) - 1);
    const bool word = UsesWordFormat(config);

    if (word) {
        SendToDSO(link, QStringLiteral("DTBORD H/L"));
        SendToDSO(link, QStringLiteral("DTFORM WORD"));
    } else {
        SendToDSO(link, QStringLiteral("DTFORM BYTE"));
    }
    SendToDSO(link, QStringLiteral("WAVESRC ") + sourceName);
    SendToDSO(link, QStringLiteral("DTPOINTS ") + QString::number(points));
    SendToDSO(link, QStringLiteral("DTSTART 0"));
    SendToDSO(link, QStringLiteral("DTWAVE?"));

    QByteArray RawBlock;
    const int32_t n = link.CommMode != 0 ? ReadWaveBlockTcp(link.dso, RawBlock) : GetVBinWaveRS(link.MSComm1, RawBlock);

    int32_t count;
    int32_t written;
    if (math) {
        const double per = config.MathType == QLatin1String("MULT") ? 4 : 2;
        count = int32_t(qm::RoundHalfEven(double(n) / per));
        written = ConvertMathSamples(config, count, RawBlock, samples);
    } else if (word) {
        count = int32_t(qm::RoundHalfEven(double(n) / 2));
        written = ConvertWordSamples(index, config, count, RawBlock, samples);
    } else {
        count = n;
        written = ConvertByteSamples(index, config, count, RawBlock, samples);
    }
    const qsizetype fits = std::min<qsizetype>(count, qsizetype(samples.size()));
    if (warning && written < fits) {
        // The block held fewer whole samples than its length promised
        // (an odd byte count), or the source names no channel.
        *warning = QStringLiteral("%1: %2 サンプルを変換できませんでした").arg(sourceName).arg(fits - written);
    }
    if (warning && count > qsizetype(samples.size())) {
        *warning = QStringLiteral("%1: %2 サンプルを格納できませんでした")
                       .arg(sourceName)
                       .arg(qsizetype(count) - qsizetype(samples.size()));
    }
    return count;
}

void TransferSource(Link& link, int16_t SourceIndex, std::vector<float>& samples, const InstrumentConfig& config,
                    int32_t& points, QString* warning) {
    if (warning) warning->clear();
    if (SourceIndex < 0) return;
    const size_t slot = size_t(std::min<int16_t>(SourceIndex, 4));
    const QString name =
        SourceIndex >= 4 ? QStringLiteral("MATH") : QStringLiteral("CH") + QString::number(SourceIndex + 1);
    if (config.Display[slot] == QLatin1String("ON")) {
        points = ReadWaveform(link, name, points, samples, config, warning);
        return;
    }
    if (points < kZeroFillLimit && points > 0) {
        const size_t n = std::min(size_t(points), samples.size());
        std::fill(samples.begin(), samples.begin() + std::ptrdiff_t(n), 0.0f);
    }
}
