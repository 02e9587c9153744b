#include "engine/instrument/Instrument.h"
#include "engine/text/ItemText.h"

#include "engine/text/Errors.h"
#include "engine/text/NumText.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <limits>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(ConfigQueries)
};
}  // namespace

namespace {

constexpr int32_t kInfoMaxLen = 1000;  // "DTINF?" is a long line
constexpr int32_t kQueryMaxLen = 80;
constexpr int kItemSlots = 31;          // items 0 to 30 of "DTINF?"
constexpr qsizetype kQuoteMax = 120;    // longest answer text put into a message

using Items = std::array<QString, kItemSlots>;

// The answer as it is shown in a message: in double quotes, cut short (with
// an ellipsis) when it is too long for a message box.
QString Quoted(const QString& reply) {
    if (reply.size() <= kQuoteMax) return QLatin1Char('"') + reply + QLatin1Char('"');
    return QLatin1Char('"') + reply.left(kQuoteMax) + QStringLiteral("…\"");
}

[[noreturn]] void Fail(const QString& what, const QString& command, const QString& reply) {
    throw QuillError(what + QStringLiteral(" (") + command + QStringLiteral("): ") + Quoted(reply));
}

[[noreturn]] void FailNumber(const QString& command, const QString& reply) {
    Fail(Texts::tr("装置の応答の数値が範囲を超えています"), command, reply);
}

QString Ask(Instrument& link, const QString& command, int32_t maxdl = kQueryMaxLen) {
    return link.ask(command, maxdl);
}

// Numeric value of an answer by the leading-number rule.
double Num(const QString& reply) { return qm::LeadingNumber(reply); }

// A number as single precision; an answer beyond its range is rejected.
float Single(double v, const QString& command, const QString& reply) {
    if (!std::isfinite(v) || std::fabs(v) > static_cast<double>(std::numeric_limits<float>::max()))
        FailNumber(command, reply);
    return static_cast<float>(v);
}

// A number as double precision; an answer beyond its range is rejected.
double Double(double v, const QString& command, const QString& reply) {
    if (!std::isfinite(v)) FailNumber(command, reply);
    return v;
}

int32_t Long(double v, const QString& command, const QString& reply) {
    try {
        return qm::ToInt32(v);
    } catch (const qm::NumberOverflow&) {
        FailNumber(command, reply);
    }
}

// The unit of the channel that a math source names by its last character
// ("CH1", "C2" ...); empty for a source that names no channel 1 to 4.
QString SourceUnit(const InstrumentConfig& cfg, const QString& source) {
    if (source.isEmpty()) return {};
    const char16_t d = source.back().unicode();
    if (d < u'1' || d > u'4') return {};
    return cfg.VUnit[d - u'1'];
}

QString Channel(int n) { return QLatin1Char('C') + QString::number(n); }

}  // namespace

void Instrument::readConfig(InstrumentConfig& DsoConfig, bool invCheckOn) {
    Instrument& link = *this;
    // 1. Not inverted unless the instrument says so below.
    for (int k = 0; k < 4; ++k) DsoConfig.Invert[k] = QStringLiteral("OFF");

    // 2. Data information: model, file version, acquisition time.
    const QString infoCmd = QStringLiteral("DTINF?");
    const QString info = Ask(link, infoCmd, kInfoMaxLen);
    Items item;
    Get_Items(info, item);
    const qsizetype ds = item[0].indexOf(QStringLiteral("DS"));
    if (ds < 0) Fail(Texts::tr("装置の応答を理解できません"), infoCmd, info);
    const QString model = item[0].mid(ds, 10);
    const double chValue = Num(model.mid(6, 1));
    if (chValue < 2 || chValue > 4) Fail(Texts::tr("この装置のチャンネル数には対応していません"), infoCmd, model);
    DsoConfig.ModelName = model;
    DsoConfig.ChannelCount = qm::ToInt16(chValue);
    DsoConfig.FileVersion = item[1].right(1);
    DsoConfig.AcqTime = item[2].right(19);
    const int32_t modelNumber = ModelNumber(DsoConfig.ModelName);

    // 3. Time base.
    const QString tdivCmd = QStringLiteral("TDIV?");
    const QString tdiv = Ask(link, tdivCmd);
    const double timeDiv = Double(Num(tdiv), tdivCmd, tdiv);
    if (timeDiv == 0) Fail(Texts::tr("装置の時間軸の設定を読めません"), tdivCmd, tdiv);
    DsoConfig.TimeDiv = timeDiv;

    // 4. Acquisition mode.
    DsoConfig.AcqMode = Ask(link, QStringLiteral("ACQ?"));

    // 5. Record length: characters 17 to 26 of item 23 (four channels) or 15.
    const QString& lenItem = item[DsoConfig.ChannelCount == 4 ? 23 : 15];
    const int32_t recordLength = Long(Num(lenItem.mid(16, 10)), infoCmd, lenItem);
    if (recordLength <= 0) Fail(Texts::tr("装置のレコード長を読めません"), infoCmd, lenItem);
    DsoConfig.RecordLength = recordLength;

    // 6. Ten divisions across the record.
    DsoConfig.SampleInterval = DsoConfig.TimeDiv * 10.0 / DsoConfig.RecordLength;

    // 7.-9. Trigger source, level and delay.
    DsoConfig.TriggerSource = Ask(link, QStringLiteral("TSRC?"));
    const QString tlvlCmd = QStringLiteral("TLVL?");
    const QString tlvl = Ask(link, tlvlCmd);
    DsoConfig.TriggerLevel = Single(Num(tlvl), tlvlCmd, tlvl);
    const QString trdlCmd = QStringLiteral("TRDL?");
    const QString trdl = Ask(link, trdlCmd);
    DsoConfig.TriggerDelay = Double(Num(trdl), trdlCmd, trdl);

    // 10. Time 0 sits at the middle of the record, moved by the delay in samples.
    const int32_t delaySamples = Long(DsoConfig.TriggerDelay / DsoConfig.SampleInterval, trdlCmd, trdl);
    DsoConfig.TriggerAddress = Long(DsoConfig.RecordLength / 2.0 + delaySamples, trdlCmd, trdl);

    // 11. Trigger mode (sent back at the end of the run).
    DsoConfig.TriggerMode = Ask(link, QStringLiteral("TRMD?"));

    // 12. Channels 3 and 4 count as hidden unless asked below.
    DsoConfig.Display[2] = QStringLiteral("OFF");
    DsoConfig.Display[3] = QStringLiteral("OFF");

    // 13. Vertical settings of each channel.
    for (int n = 1; n <= DsoConfig.ChannelCount; ++n) {
        const QString pre = Channel(n);
        const int k = n - 1;
        const QString vdivCmd = pre + QStringLiteral(":VDIV?");
        const QString vdiv = Ask(link, vdivCmd);
        const QString ofstCmd = pre + QStringLiteral(":OFST? ");
        const QString ofst = Ask(link, ofstCmd);
        DsoConfig.VDiv[k] = Single(Num(vdiv), vdivCmd, vdiv);
        DsoConfig.Offset[k] = Single(Num(ofst), ofstCmd, ofst);
        DsoConfig.Display[k] = Ask(link, pre + QStringLiteral(":TRA? "));
        DsoConfig.Coupling[k] = Ask(link, pre + QStringLiteral(":CPL? "));
        DsoConfig.Bandwidth[k] = Ask(link, pre + QStringLiteral(":BWL? "));
        if (modelNumber > 400) DsoConfig.VUnit[k] = Ask(link, pre + QStringLiteral(":VUNI? "));
        else DsoConfig.VUnit[k] = QStringLiteral("V");
    }

    // 14.-16. The math trace.
    const QString mvdivCmd = QStringLiteral("M1:VDIV?");
    const QString mvdiv = Ask(link, mvdivCmd);
    const QString mofstCmd = QStringLiteral("M1:OFST?");
    const QString mofst = Ask(link, mofstCmd);
    DsoConfig.VDiv[4] = Single(Num(mvdiv), mvdivCmd, mvdiv);
    DsoConfig.Offset[4] = Single(Num(mofst), mofstCmd, mofst);
    DsoConfig.Display[4] = Ask(link, QStringLiteral("M1:TRA?"));
    DsoConfig.MathType = Ask(link, QStringLiteral("MATH?"));

    // 17. Sources and unit of a displayed math trace.
    if (DsoConfig.Display[4] == QStringLiteral("ON")) {
        const QString& type = DsoConfig.MathType;
        const bool addSub = type == QStringLiteral("ADD") || type == QStringLiteral("SUB");
        if (addSub || type == QStringLiteral("MULT")) {
            Items src;  // fresh: a missing source 2 is empty
            Get_Items(Ask(link, QStringLiteral("MATHS?")), src);
            DsoConfig.MathSource[0] = src[0];
            DsoConfig.MathSource[1] = src[1];
            if (addSub) {
                DsoConfig.VUnit[4] = SourceUnit(DsoConfig, src[0]);
            } else {
                DsoConfig.VUnit[4] = SourceUnit(DsoConfig, src[0]) + SourceUnit(DsoConfig, src[1]);
            }
        } else {
            DsoConfig.MathSource[0] = Ask(link, QStringLiteral("FSRC?"));
            DsoConfig.FftWindow = Ask(link, QStringLiteral("FWINDOW?"));
            const QString fdeltaCmd = QStringLiteral("FDELTA?");
            const QString fdelta = Ask(link, fdeltaCmd);
            DsoConfig.FftDelta = Double(Num(fdelta), fdeltaCmd, fdelta);
            DsoConfig.VUnit[4] = QStringLiteral("dBm");
        }
    }

    // 18. Invert states, unless the user turned that query off.
    if (!invCheckOn && modelNumber > 400) {
        for (int n = 1; n <= DsoConfig.ChannelCount; ++n)
            DsoConfig.Invert[n - 1] = Ask(link, Channel(n) + QStringLiteral(":INV?"));
    }
}

namespace {
// The kinds whose unit is the vertical unit of the measured channel.
const std::array<QString, 10> kMeasKindList = {
    QStringLiteral("MAX"),    QStringLiteral("MIN"), QStringLiteral("P-P"),  QStringLiteral("CVRMS"),
    QStringLiteral("CVMEAN"), QStringLiteral("TOP"), QStringLiteral("BASE"), QStringLiteral("T-B"),
    QStringLiteral("+OSHOT"), QStringLiteral("-OSHOT")};
}  // namespace

void Instrument::queryMeasItem(InstrumentConfig& DsoConfig, const QString& slotLetter, MeasItemRecord& slot) {
    send(QStringLiteral("DIRM ") + slotLetter);

    std::array<QString, 4> item;  // room for four items; more empties the first two
    Get_Items(Ask(*this, QStringLiteral("MSEL?"), 100), item);
    slot.Source = item[0];
    slot.Kind = item[1];

    // A channel source begins with an upper-case C and ends in the channel's
    // digit; 5 names the math trace's unit element. A source that begins with
    // "C" without such a digit is no channel: no unit query.
    int n = -1;
    if (slot.Source.startsWith(QLatin1Char('C'))) {
        const QChar d = slot.Source.back();
        if (d >= QLatin1Char('1') && d <= QLatin1Char('5')) {
            n = d.unicode() - u'1';
            DsoConfig.VUnit[size_t(n)] = Ask(*this, QStringLiteral("C") + d + QStringLiteral(":VUNI?"), 100);
        }
    }

    slot.Unit = QStringLiteral("s");
    if (slot.Kind == QStringLiteral("DUTY")) {
        slot.Unit = QStringLiteral("%");
    } else if (n >= 0) {
        if (slot.Kind == QStringLiteral("INTEGRAL")) slot.Unit = DsoConfig.VUnit[size_t(n)] + QLatin1Char('s');
        else if (std::find(kMeasKindList.begin(), kMeasKindList.end(), slot.Kind) != kMeasKindList.end())
            slot.Unit = DsoConfig.VUnit[size_t(n)];
    }
}
