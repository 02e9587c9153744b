// The screen picture of "TSCRN?": graticule and traces, lines only (no text),
// so that it can be drawn without a windowing system.
#include "sim/SimInstrument.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <functional>

namespace qmsim {

namespace {

constexpr int Width = 640;
constexpr int Height = 480;
constexpr int Left = 20;         // graticule: 10 x 8 divisions of 60 pixels
constexpr int Top = 0;
constexpr int Div = 60;
constexpr int GridW = 10 * Div;
constexpr int GridH = 8 * Div;
constexpr double MidY = Top + GridH / 2.0;

const QColor TraceColors[5] = {QColor(255, 230, 0), QColor(0, 220, 255), QColor(255, 60, 200),
                               QColor(60, 140, 255), QColor(255, 80, 60)};

double toY(double divisions)
{
    return std::clamp(MidY - divisions * Div, double(Top), double(Top + GridH - 1));
}

void drawTrace(QPainter& p, const QColor& color, const std::function<double(double)>& divisionsAt)
{
    QPolygonF line;
    for (int i = 0; i < GridW; ++i)
        line << QPointF(Left + i, toY(divisionsAt(static_cast<double>(i) / GridW)));
    p.setPen(QPen(color, 1.5));
    p.drawPolyline(line);
}

}  // namespace

QImage screenImage(const SimConfig& cfg)
{
    QImage img(Width, Height, QImage::Format_RGB32);
    img.fill(QColor(0, 0, 0));
    QPainter p(&img);

    p.setPen(QPen(QColor(70, 70, 70), 1, Qt::DotLine));
    for (int i = 1; i < 10; ++i)
        p.drawLine(Left + i * Div, Top, Left + i * Div, Top + GridH - 1);
    for (int j = 1; j < 8; ++j)
        p.drawLine(Left, Top + j * Div, Left + GridW - 1, Top + j * Div);
    p.setPen(QPen(QColor(150, 150, 150), 1));
    p.drawRect(Left, Top, GridW - 1, GridH - 1);
    for (int i = 0; i <= 50; ++i)
        p.drawLine(Left + i * Div / 5, int(MidY) - 3, Left + i * Div / 5, int(MidY) + 3);
    for (int j = 0; j <= 40; ++j)
        p.drawLine(Left + GridW / 2 - 3, Top + j * Div / 5, Left + GridW / 2 + 3, Top + j * Div / 5);

    p.setRenderHint(QPainter::Antialiasing);
    for (int ch = 0; ch < cfg.channelCount(); ++ch) {
        const SimChannel& c = cfg.channels[ch];
        if (c.display != QLatin1String("ON"))
            continue;
        const double sign = c.invert == QLatin1String("OFF") ? 1.0 : -1.0;
        drawTrace(p, TraceColors[ch], [ch, sign](double x) { return sign * channelPosition(ch, x); });
        // Ground marker at the channel's offset on the left edge.
        const double y = toY(c.vdiv > 0 ? c.offset / c.vdiv : 0.0);
        p.setPen(QPen(TraceColors[ch], 2));
        p.drawLine(QPointF(2, y - 5), QPointF(12, y));
        p.drawLine(QPointF(12, y), QPointF(2, y + 5));
    }
    const SimMath& m = cfg.math;
    if (m.display == QLatin1String("ON")) {
        const bool fft = !(m.type == QLatin1String("ADD") || m.type == QLatin1String("SUB")
                           || m.type == QLatin1String("MULT"));
        drawTrace(p, TraceColors[4], [&cfg, &m, fft](double x) {
            const double v = mathValue(cfg, x);
            if (fft)
                return (v + 50.0) / 10.0;  // 10 dB per division, -50 dBm at the centre
            return m.vdiv > 0 ? (v + m.offset) / m.vdiv : 0.0;
        });
    }
    // Trigger level marker on the right edge.
    const int trigCh = mathSourceIndex(cfg.triggerSource);
    const SimChannel& tc = cfg.channels[trigCh];
    const double ty = toY(tc.vdiv > 0 ? (cfg.triggerLevel + tc.offset) / tc.vdiv : 0.0);
    p.setPen(QPen(TraceColors[trigCh], 2));
    p.drawLine(QPointF(Width - 2, ty - 5), QPointF(Width - 12, ty));
    p.drawLine(QPointF(Width - 12, ty), QPointF(Width - 2, ty + 5));
    p.end();
    return img;
}

QByteArray screenFile(const SimConfig& cfg, const QString& format)
{
    const char* kind = format == QLatin1String("bmp") ? "BMP" : format == QLatin1String("png") ? "PNG" : nullptr;
    if (!kind)
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!screenImage(cfg).save(&buffer, kind))
        return {};
    return bytes;
}

}  // namespace qmsim
