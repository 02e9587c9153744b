// The simulated signals and the codes of the "DTWAVE?" answer.
#include "sim/SimInstrument.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qmsim {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double PeriodsPerRecord = 5.0;
// A block's length field has eight digits.
constexpr qint64 MaxBlockBytes = 99999999;

qint64 clampRound(double v, qint64 lo, qint64 hi)
{
    if (!(v == v))
        return 0;
    return static_cast<qint64>(std::llround(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi))));
}

// A channel's voltage at x: its screen position scaled by V/div, less the offset.
double channelVolts(const SimConfig& cfg, int ch, double x)
{
    const SimChannel& c = cfg.channels[ch];
    return channelPosition(ch, x) * c.vdiv - c.offset;
}

// A spectrum with two lines over a noise floor, in dBm.
double spectrumDbm(double x)
{
    const auto line = [x](double at, double height) {
        const double d = (x - at) / 0.01;
        return height * std::exp(-d * d);
    };
    return -90.0 + line(0.1, 70.0) + line(0.3, 40.0);
}

void putCode(QByteArray& out, qsizetype at, qint64 code, int bytes, bool highFirst)
{
    for (int k = 0; k < bytes; ++k) {
        const int shift = 8 * (highFirst ? bytes - 1 - k : k);
        out[at + k] = static_cast<char>((static_cast<quint64>(code) >> shift) & 0xFF);
    }
}

}  // namespace

double channelPosition(int ch, double x)
{
    const double p = x * PeriodsPerRecord;
    const double f = p - std::floor(p);
    switch (ch) {
    case 0:
        return 3.0 * std::sin(2.0 * Pi * p);            // sine, +-3 div
    case 1:
        return f < 0.5 ? 2.0 : -2.0;                     // square, +-2 div
    case 2:
        return f < 0.5 ? -3.0 + 12.0 * f : 9.0 - 12.0 * f;  // triangle, +-3 div
    default:
        return -3.5 + 7.0 * f;                           // sawtooth, -3.5..3.5 div
    }
}

int mathSourceIndex(const QString& source)
{
    if (source.isEmpty())
        return 0;
    const QChar d = source.back();
    return d >= QLatin1Char('1') && d <= QLatin1Char('4') ? d.unicode() - '1' : 0;
}

double mathValue(const SimConfig& cfg, double x)
{
    const SimMath& m = cfg.math;
    const double v1 = channelVolts(cfg, mathSourceIndex(m.source1), x);
    const double v2 = channelVolts(cfg, mathSourceIndex(m.source2), x);
    if (m.type == QLatin1String("ADD"))
        return v1 + v2;
    if (m.type == QLatin1String("SUB"))
        return v1 - v2;
    if (m.type == QLatin1String("MULT"))
        return v1 * v2;
    return spectrumDbm(x);
}

QByteArray waveData(const SimConfig& cfg, const QString& source, bool word, bool highFirst, qint64 start,
                    qint64 points)
{
    const qint64 rl = std::max(0, cfg.recordLength);
    const bool isMath = source == QLatin1String("MATH");
    const SimMath& m = cfg.math;
    const bool mult = m.type == QLatin1String("MULT");
    const bool addSub = m.type == QLatin1String("ADD") || m.type == QLatin1String("SUB");
    const int width = isMath ? (mult ? 4 : 2) : (word ? 2 : 1);
    const qint64 count =
        std::clamp<qint64>(std::min(points, rl - start), 0, MaxBlockBytes / width);

    const int ch = isMath ? 0 : mathSourceIndex(source);
    const SimChannel& c = cfg.channels[ch];
    const double sign = c.invert == QLatin1String("OFF") ? 1.0 : -1.0;
    const SimChannel& c1 = cfg.channels[mathSourceIndex(m.source1)];
    const SimChannel& c2 = cfg.channels[mathSourceIndex(m.source2)];
    const double larger = std::max(c1.vdiv, c2.vdiv);

    QByteArray out(count * width, '\0');
    for (qint64 i = 0; i < count; ++i) {
        const double x = static_cast<double>(start + i) / static_cast<double>(rl);
        qint64 code;
        if (!isMath) {
            // 32 codes per division for bytes, 8192 for words.
            const double pos = sign * channelPosition(ch, x);
            code = word ? clampRound(pos * 8192.0, -32768, 32767) : clampRound(pos * 32.0, -128, 127);
        } else if (addSub) {
            // 4096 codes per division of the larger operand scale; the reader
            // subtracts both operand offsets.
            const double v = mathValue(cfg, x) + c1.offset + c2.offset;
            code = larger > 0 ? clampRound(v / larger * 4096.0, -32768, 32767) : 0;
        } else if (mult) {
            // 1024 codes per product of the operand scales.
            const double scale = c1.vdiv * c2.vdiv;
            code = scale != 0 ? clampRound(mathValue(cfg, x) * 1024.0 / scale, std::numeric_limits<qint32>::min(),
                                           std::numeric_limits<qint32>::max())
                              : 0;
        } else {
            code = clampRound(mathValue(cfg, x) * 100.0, -32768, 32767);  // hundredths
        }
        putCode(out, i * width, code, width, highFirst);
    }
    return out;
}

}  // namespace qmsim
