#include "engine/instrument/Instrument.h"
#include "engine/text/ItemText.h"

#include "engine/text/Errors.h"
#include "engine/text/FileNames.h"
#include "engine/text/NumText.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <limits>

namespace qm {

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

// The answer as it is shown in a message: in double quotes, control
// characters escaped, cut short (with an ellipsis) when it is too long for a
// message box.
QString Quoted(const QString& reply) { return QLatin1Char('"') + ShownText(reply, kQuoteMax) + QLatin1Char('"'); }

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
    return cfg.vUnit[d - u'1'];
}

QString Channel(int n) { return QLatin1Char('C') + QString::number(n); }

}  // namespace

void Instrument::readConfig(InstrumentConfig& dsoConfig, bool invCheckOn) {
    Instrument& link = *this;
    // 1. Not inverted unless the instrument says so below.
    for (int k = 0; k < 4; ++k) dsoConfig.invert[k] = QStringLiteral("OFF");

    // 2. Data information: model, file version, acquisition time.
    const QString infoCmd = QStringLiteral("DTINF?");
    const QString info = Ask(link, infoCmd, kInfoMaxLen);
    Items item;
    splitItems(info, item);
    const qsizetype ds = item[0].indexOf(QStringLiteral("DS"));
    if (ds < 0) Fail(Texts::tr("装置の応答を理解できません"), infoCmd, info);
    const QString model = item[0].mid(ds, 10);
    const double chValue = Num(model.mid(6, 1));
    if (chValue < 2 || chValue > 4) Fail(Texts::tr("この装置のチャンネル数には対応していません"), infoCmd, model);
    dsoConfig.modelName = model;
    dsoConfig.channelCount = qm::ToInt16(chValue);
    dsoConfig.fileVersion = item[1].right(1);
    dsoConfig.acqTime = item[2].right(19);
    const int32_t modelNumber = ModelNumber(dsoConfig.modelName);

    // 3. Time base.
    const QString tdivCmd = QStringLiteral("TDIV?");
    const QString tdiv = Ask(link, tdivCmd);
    const double timeDiv = Double(Num(tdiv), tdivCmd, tdiv);
    if (timeDiv == 0) Fail(Texts::tr("装置の時間軸の設定を読めません"), tdivCmd, tdiv);
    dsoConfig.timeDiv = timeDiv;

    // 4. Acquisition mode.
    dsoConfig.acqMode = Ask(link, QStringLiteral("ACQ?"));

    // 5. Record length: characters 17 to 26 of item 23 (four channels) or 15.
    const QString& lenItem = item[dsoConfig.channelCount == 4 ? 23 : 15];
    const int32_t recordLength = Long(Num(lenItem.mid(16, 10)), infoCmd, lenItem);
    // No block carries more samples than kWaveBlockLimit: a longer record is
    // not a length this program can transfer (nor write as rows).
    if (recordLength <= 0 || recordLength > kWaveBlockLimit) Fail(Texts::tr("装置のレコード長を読めません"), infoCmd, lenItem);
    dsoConfig.recordLength = recordLength;

    // 6. Ten divisions across the record.
    dsoConfig.sampleInterval = dsoConfig.timeDiv * 10.0 / dsoConfig.recordLength;

    // 7.-9. Trigger source, level and delay.
    dsoConfig.triggerSource = Ask(link, QStringLiteral("TSRC?"));
    const QString tlvlCmd = QStringLiteral("TLVL?");
    const QString tlvl = Ask(link, tlvlCmd);
    dsoConfig.triggerLevel = Single(Num(tlvl), tlvlCmd, tlvl);
    const QString trdlCmd = QStringLiteral("TRDL?");
    const QString trdl = Ask(link, trdlCmd);
    dsoConfig.triggerDelay = Double(Num(trdl), trdlCmd, trdl);

    // 10. Time 0 sits at the middle of the record, moved by the delay in samples.
    const int32_t delaySamples = Long(dsoConfig.triggerDelay / dsoConfig.sampleInterval, trdlCmd, trdl);
    dsoConfig.triggerAddress = Long(dsoConfig.recordLength / 2.0 + delaySamples, trdlCmd, trdl);

    // 11. Trigger mode (sent back at the end of the run).
    dsoConfig.triggerMode = Ask(link, QStringLiteral("TRMD?"));

    // 12. Channels 3 and 4 count as hidden unless asked below.
    dsoConfig.display[2] = QStringLiteral("OFF");
    dsoConfig.display[3] = QStringLiteral("OFF");

    // 13. Vertical settings of each channel.
    for (int n = 1; n <= dsoConfig.channelCount; ++n) {
        const QString pre = Channel(n);
        const int k = n - 1;
        const QString vdivCmd = pre + QStringLiteral(":VDIV?");
        const QString vdiv = Ask(link, vdivCmd);
        const QString ofstCmd = pre + QStringLiteral(":OFST? ");
        const QString ofst = Ask(link, ofstCmd);
        dsoConfig.vDiv[k] = Single(Num(vdiv), vdivCmd, vdiv);
        dsoConfig.offset[k] = Single(Num(ofst), ofstCmd, ofst);
        dsoConfig.display[k] = Ask(link, pre + QStringLiteral(":TRA? "));
        dsoConfig.coupling[k] = Ask(link, pre + QStringLiteral(":CPL? "));
        dsoConfig.bandwidth[k] = Ask(link, pre + QStringLiteral(":BWL? "));
        if (modelNumber > 400) dsoConfig.vUnit[k] = Ask(link, pre + QStringLiteral(":VUNI? "));
        else dsoConfig.vUnit[k] = QStringLiteral("V");
    }

    // 14.-16. The math trace.
    const QString mvdivCmd = QStringLiteral("M1:VDIV?");
    const QString mvdiv = Ask(link, mvdivCmd);
    const QString mofstCmd = QStringLiteral("M1:OFST?");
    const QString mofst = Ask(link, mofstCmd);
    dsoConfig.vDiv[4] = Single(Num(mvdiv), mvdivCmd, mvdiv);
    dsoConfig.offset[4] = Single(Num(mofst), mofstCmd, mofst);
    dsoConfig.display[4] = Ask(link, QStringLiteral("M1:TRA?"));
    dsoConfig.mathType = Ask(link, QStringLiteral("MATH?"));

    // 17. Sources and unit of a displayed math trace.
    if (dsoConfig.display[4] == QStringLiteral("ON")) {
        const QString& type = dsoConfig.mathType;
        const bool addSub = type == QStringLiteral("ADD") || type == QStringLiteral("SUB");
        if (addSub || type == QStringLiteral("MULT")) {
            Items src;  // fresh: a missing source 2 is empty
            splitItems(Ask(link, QStringLiteral("MATHS?")), src);
            dsoConfig.mathSource[0] = src[0];
            dsoConfig.mathSource[1] = src[1];
            if (addSub) {
                dsoConfig.vUnit[4] = SourceUnit(dsoConfig, src[0]);
            } else {
                dsoConfig.vUnit[4] = SourceUnit(dsoConfig, src[0]) + SourceUnit(dsoConfig, src[1]);
            }
        } else {
            dsoConfig.mathSource[0] = Ask(link, QStringLiteral("FSRC?"));
            dsoConfig.fftWindow = Ask(link, QStringLiteral("FWINDOW?"));
            const QString fdeltaCmd = QStringLiteral("FDELTA?");
            const QString fdelta = Ask(link, fdeltaCmd);
            dsoConfig.fftDelta = Double(Num(fdelta), fdeltaCmd, fdelta);
            dsoConfig.vUnit[4] = QStringLiteral("dBm");
        }
    }

    // 18. Invert states, unless the user turned that query off.
    if (!invCheckOn && modelNumber > 400) {
        for (int n = 1; n <= dsoConfig.channelCount; ++n)
            dsoConfig.invert[n - 1] = Ask(link, Channel(n) + QStringLiteral(":INV?"));
    }
}

namespace {
// The kinds whose unit is the vertical unit of the measured channel.
const std::array<QString, 10> kMeasKindList = {
    QStringLiteral("MAX"),    QStringLiteral("MIN"), QStringLiteral("P-P"),  QStringLiteral("CVRMS"),
    QStringLiteral("CVMEAN"), QStringLiteral("TOP"), QStringLiteral("BASE"), QStringLiteral("T-B"),
    QStringLiteral("+OSHOT"), QStringLiteral("-OSHOT")};
}  // namespace

void Instrument::queryMeasItem(InstrumentConfig& dsoConfig, const QString& slotLetter, MeasItemRecord& slot) {
    send(QStringLiteral("DIRM ") + slotLetter);

    std::array<QString, 4> item;  // room for four items; more empties the first two
    splitItems(Ask(*this, QStringLiteral("MSEL?"), 100), item);
    slot.source = item[0];
    slot.kind = item[1];

    // A channel source begins with an upper-case C and ends in the channel's
    // digit; 5 names the math trace's unit element. A source that begins with
    // "C" without such a digit is no channel: no unit query.
    int n = -1;
    if (slot.source.startsWith(QLatin1Char('C'))) {
        const QChar d = slot.source.back();
        if (d >= QLatin1Char('1') && d <= QLatin1Char('5')) {
            n = d.unicode() - u'1';
            dsoConfig.vUnit[size_t(n)] = Ask(*this, QStringLiteral("C") + d + QStringLiteral(":VUNI?"), 100);
        }
    }

    slot.unit = QStringLiteral("s");
    if (slot.kind == QStringLiteral("DUTY")) {
        slot.unit = QStringLiteral("%");
    } else if (n >= 0) {
        if (slot.kind == QStringLiteral("INTEGRAL")) slot.unit = dsoConfig.vUnit[size_t(n)] + QLatin1Char('s');
        else if (std::find(kMeasKindList.begin(), kMeasKindList.end(), slot.kind) != kMeasKindList.end())
            slot.unit = dsoConfig.vUnit[size_t(n)];
    }
}

}  // namespace qm
