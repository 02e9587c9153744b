// Waveform file and conversion speed: CSV rows per second for a 4-channel +
// math record, against writing the same bytes already formatted; the picture
// formatter alone; converting a 10,000,000-sample BYTE block.
#include "engine/text/NumText.h"
#include "engine/output/PictureFormat.h"
#include "engine/output/WaveCsv.h"
#include "engine/waveform/SampleConvert.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <random>

using namespace qm;

namespace {

constexpr int32_t kPoints = 1000000;

InstrumentConfig FourChannelMath() {
    InstrumentConfig c;
    c.modelName = QStringLiteral("DS-5554");
    c.channelCount = 4;
    c.acqMode = QStringLiteral("SAMPLE");
    c.timeDiv = 1e-3;
    c.recordLength = kPoints;
    c.sampleInterval = c.timeDiv * 10 / kPoints;
    c.triggerAddress = kPoints / 2;
    for (int k = 0; k < 5; ++k) {
        c.display[k] = QStringLiteral("ON");
        c.vUnit[k] = QStringLiteral("V");
        c.vDiv[k] = 0.5f;
    }
    c.mathType = QStringLiteral("ADD");
    c.mathSource = {QStringLiteral("CH1"), QStringLiteral("CH2")};
    return c;
}

// Samples as a BYTE record gives them: codes times VDiv / 32.
const WaveArrays& Samples() {
    static WaveArrays w = [] {
        WaveArrays a;
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> code(-128, 127);
        for (auto& v : a) {
            v.resize(kPoints + 1);
            for (float& x : v) x = float(code(rng) / 32.0 * 0.5);
        }
        return a;
    }();
    return w;
}

QTemporaryDir& Dir() {
    static QTemporaryDir d;
    return d;
}

void BM_WaveCsv4ChMath(benchmark::State& state) {
    const InstrumentConfig c = FourChannelMath();
    const QString path = Dir().filePath(QStringLiteral("bench.csv"));
    qint64 bytes = 0;
    for (auto _ : state) {
        if (!WriteWaveformCsv(path, c, Samples(), CsvProgress{}).ok()) state.SkipWithError("write failed");
        bytes = QFileInfo(path).size();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["rows/s"] = benchmark::Counter(double(state.iterations()) * kPoints, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WaveCsv4ChMath)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: the same file's bytes written in 1 MB chunks.
void BM_WriteSameBytes(benchmark::State& state) {
    const QString src = Dir().filePath(QStringLiteral("bench.csv"));
    if (!QFile::exists(src)) WriteWaveformCsv(src, FourChannelMath(), Samples(), CsvProgress{});
    QFile in(src);
    in.open(QIODevice::ReadOnly);
    const QByteArray all = in.readAll();
    const QString path = Dir().filePath(QStringLiteral("copy.csv"));
    for (auto _ : state) {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
        for (qsizetype at = 0; at < all.size(); at += 1 << 20)
            f.write(all.constData() + at, std::min<qsizetype>(1 << 20, all.size() - at));
        f.close();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
    state.SetBytesProcessed(state.iterations() * all.size());
}
BENCHMARK(BM_WriteSameBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

template <bool Fast>
void BM_Picture(benchmark::State& state) {
    const std::vector<float>& v = Samples()[0];
    char buf[qm::kPictureTextMax];
    size_t i = 0;
    for (auto _ : state) {
        const double x = v[i];
        i = i + 1 == v.size() ? 0 : i + 1;
        benchmark::DoNotOptimize(Fast ? qm::FastPictureChars(buf, x, 2) : qm::FormatPictureChars(buf, x, 2));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Picture<true>)->Name("BM_PictureFast");
BENCHMARK(BM_Picture<false>)->Name("BM_PictureExact");

void BM_ConvertByte10M(benchmark::State& state) {
    constexpr int32_t n = 10000000;
    QByteArray block(n, '\0');
    for (int32_t i = 0; i < n; ++i) block[i] = char(i * 37);
    InstrumentConfig c;
    c.vDiv[0] = 0.5f;
    c.offset[0] = 0.1f;
    c.invert[0] = QStringLiteral("OFF");
    std::vector<float> target(size_t(n) + 1);
    for (auto _ : state) benchmark::DoNotOptimize(ConvertByteSamples(0, c, n, block, target));
    state.SetItemsProcessed(state.iterations() * n);
    state.SetBytesProcessed(state.iterations() * n);
}
BENCHMARK(BM_ConvertByte10M)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
