#include "engine/waveform/SampleConvert.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qm {

namespace {

// Samples that may be written: the smallest of the requested count, the
// target's size and the whole samples in the block.
int32_t Writable(int32_t count, const QByteArray& block, int bytesPerSample, const std::vector<float>& target) {
    if (count <= 0) return 0;
    const qsizetype inBlock = block.size() / bytesPerSample;
    const qsizetype k = std::min<qsizetype>({qsizetype(count), inBlock, qsizetype(target.size())});
    return int32_t(k);
}

inline int32_t Code8(const unsigned char* p) { return int32_t(int8_t(p[0])); }
inline int32_t Code16(const unsigned char* p) { return int32_t(int16_t(uint16_t(p[0] << 8 | p[1]))); }
inline int32_t Code32(const unsigned char* p) {
    return int32_t(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]));
}

// The channel formula for K codes per division. The code becomes a 32-bit
// float first; the arithmetic is done in double and stored as float.
template <int Bytes, int K>
int32_t ConvertChannel(int16_t sourceIndex, const InstrumentConfig& config, int32_t count, const QByteArray& rawBlock,
                       std::vector<float>& target) {
    if (sourceIndex < 0 || sourceIndex > 3) return 0;
    const int32_t n = Writable(count, rawBlock, Bytes, target);
    const double s = config.vDiv[size_t(sourceIndex)];
    const double o = config.offset[size_t(sourceIndex)];
    const bool inverted = config.invert[size_t(sourceIndex)] != QLatin1String("OFF");
    const auto* p = reinterpret_cast<const unsigned char*>(rawBlock.constData());
    float* out = target.data();
    const double sign = inverted ? -1.0 : 1.0;
    for (int32_t i = 0; i < n; ++i, p += Bytes) {
        const float c = float(Bytes == 1 ? Code8(p) : Code16(p));
        out[i] = float((sign * double(c) / K) * s - o);
    }
    return n;
}

}  // namespace

int MathOperandIndex(const QString& source) {
    if (source.isEmpty()) return -1;
    const char16_t last = source.back().unicode();
    if (last < u'1' || last > u'5') return -1;
    return int(last - u'1');
}

int32_t ConvertByteSamples(int16_t sourceIndex, const InstrumentConfig& config, int32_t count,
                           const QByteArray& rawBlock, std::vector<float>& target) {
    return ConvertChannel<1, 32>(sourceIndex, config, count, rawBlock, target);
}

int32_t ConvertWordSamples(int16_t sourceIndex, const InstrumentConfig& config, int32_t count,
                           const QByteArray& rawBlock, std::vector<float>& target) {
    return ConvertChannel<2, 8192>(sourceIndex, config, count, rawBlock, target);
}

int32_t ConvertMathSamples(const InstrumentConfig& config, int32_t count, const QByteArray& rawBlock,
                           std::vector<float>& target) {
    const QString& op = config.mathType;
    const bool addSub = op == QLatin1String("ADD") || op == QLatin1String("SUB");
    const bool mult = op == QLatin1String("MULT");
    const int bytes = mult ? 4 : 2;
    const int32_t n = Writable(count, rawBlock, bytes, target);
    const auto* p = reinterpret_cast<const unsigned char*>(rawBlock.constData());
    float* out = target.data();

    if (addSub || mult) {
        const int j1 = MathOperandIndex(config.mathSource[0]);
        const int j2 = MathOperandIndex(config.mathSource[1]);
        if (j1 < 0 || j2 < 0) {
            std::fill(out, out + n, std::numeric_limits<float>::quiet_NaN());
            return n;
        }
        const double s1 = config.vDiv[size_t(j1)];
        const double s2 = config.vDiv[size_t(j2)];
        const double o1 = config.offset[size_t(j1)];
        const double o2 = config.offset[size_t(j2)];
        if (mult) {
            for (int32_t i = 0; i < n; ++i, p += 4) {
                const float c = float(Code32(p));
                out[i] = float(double(c) * s1 * s2 / 1024);
            }
        } else {
            const double m = s1 >= s2 ? s1 : s2;
            for (int32_t i = 0; i < n; ++i, p += 2) {
                const float c = float(Code16(p));
                out[i] = float((double(c) / 4096) * m - o1 - o2);
            }
        }
        return n;
    }

    for (int32_t i = 0; i < n; ++i, p += 2) {
        const float c = float(Code16(p));
        out[i] = float(double(c) / 100);
    }
    return n;
}

}  // namespace qm
