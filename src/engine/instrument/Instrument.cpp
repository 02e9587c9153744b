#include "engine/instrument/Instrument.h"

#include "engine/text/Errors.h"
#include "engine/text/NumText.h"
#include "engine/waveform/SampleConvert.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <limits>

namespace qm {

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(Instrument)
};
}  // namespace

namespace {
constexpr int32_t kRunMaxLen = 100;
constexpr int32_t kTriggerMaxLen = 80;
// Points counts from this one up leave an undisplayed trace's array as it is.
constexpr int32_t kZeroFillLimit = 3000000;
}  // namespace

Instrument::Instrument(qm::Transport& link, const qm::StopToken& stop, std::chrono::milliseconds queryTimeout)
    : link_(link), stop_(stop), queryTimeoutSeconds_(std::chrono::duration<double>(queryTimeout).count()) {}

void Instrument::raise(const qm::IoStatus status, const QString& error) {
    if (status == qm::IoStatus::Stopped) throw RunInterrupted(stop_.aborted());
    // The transport's text already names the link and the reason.
    if (!error.isEmpty()) throw LinkError(error);
    throw LinkError(Texts::tr("装置との接続が切れました (%1)").arg(link_.describe()));
}

bool Instrument::sendLine(const QString& command) {
    // Once the program is closing nothing more goes to the instrument.
    if (stop_.aborted()) throw RunInterrupted(true);
    const qm::WriteResult w = link_.write(command.toLatin1() + '\n', stop_);
    if (w.status == qm::IoStatus::Stopped && !stop_.aborted()) return false;
    if (!w.ok()) raise(w.status, w.error);
    return true;
}

void Instrument::send(const QString& command) {
    if (!sendLine(command)) throw RunInterrupted(false);
}

void Instrument::noticeFor(const QString& command) {
    if (onWaiting) link_.setSlowNotice([this, command] { onWaiting(command); });
    else link_.setSlowNotice({});
}

Reply Instrument::query(const QString& command, double timeoutSeconds, int32_t maxdl) {
    Reply reply;
    if (!sendLine(command)) {
        reply.stopped = true;
        return reply;
    }
    noticeFor(command);
    const qm::LineResult r = link_.readLine(maxdl, timeoutSeconds, stop_);
    switch (r.status) {
    case qm::IoStatus::Ok:
        reply.text = QString::fromLatin1(r.line);
        if (r.overlong && onOverlong) onOverlong(command);
        return reply;
    case qm::IoStatus::TimedOut:
        reply.timedOut = true;
        return reply;
    case qm::IoStatus::Stopped:
        if (stop_.aborted()) throw RunInterrupted(true);
        reply.stopped = true;
        return reply;
    case qm::IoStatus::Failed:
        // The answer never ended: what is read next cannot be told apart from
        // it, so the link is as good as lost.
        throw LinkError(Texts::tr("装置の応答が長すぎます: %1").arg(command));
    default:
        raise(r.status, r.error);
    }
}

QString Instrument::ask(const QString& command, double timeoutSeconds, int32_t maxdl) {
    const Reply r = query(command, timeoutSeconds, maxdl);
    if (r.stopped) throw RunInterrupted(false);
    if (r.timedOut) throw LinkError(Texts::tr("装置から応答がありません: %1").arg(command));
    return r.text;
}

QString Instrument::ask(const QString& command, int32_t maxdl) { return ask(command, queryTimeoutSeconds_, maxdl); }

void Instrument::enableStatusEvents() { send(QStringLiteral("*ESE 255")); }

QString Instrument::date() { return ask(QStringLiteral("DATE?"), kRunMaxLen); }

void Instrument::displayOff() { send(QStringLiteral("DISP OFF")); }

void Instrument::goLocal() { send(QStringLiteral("GTL")); }

void Instrument::restoreTriggerMode(const QString& mode) { send(QStringLiteral("TRMD ") + mode); }

bool Instrument::armTrigger(double timeoutSeconds) {
    // Clears the status; the answer is not used.
    const Reply r = query(QStringLiteral("TESR?"), timeoutSeconds, kTriggerMaxLen);
    if (r.timedOut) ++lateTriggerAnswers_;
    if (r.stopped) return false;
    return sendLine(QStringLiteral("WSGL"));
}

bool Instrument::readLateTriggerAnswers(double timeoutSeconds) {
    while (lateTriggerAnswers_ > 0) {
        const qm::LineResult r = link_.readLine(kTriggerMaxLen, timeoutSeconds, stop_);
        switch (r.status) {
        case qm::IoStatus::Ok:
            --lateTriggerAnswers_;
            break;
        case qm::IoStatus::TimedOut:
            lateTriggerAnswers_ = 0;  // the instrument dropped them
            break;
        case qm::IoStatus::Stopped:
            if (stop_.aborted()) throw RunInterrupted(true);
            return false;
        case qm::IoStatus::Failed:
            throw LinkError(Texts::tr("装置の応答が長すぎます: %1").arg(QStringLiteral("TESR?")));
        default:
            raise(r.status, r.error);
        }
    }
    return true;
}

Instrument::TriggerPoll Instrument::pollTrigger(double timeoutSeconds) {
    const Reply r = query(QStringLiteral("TESR?"), timeoutSeconds, kTriggerMaxLen);
    TriggerPoll p;
    p.timedOut = r.timedOut;
    if (r.timedOut) ++lateTriggerAnswers_;
    p.stopped = r.stopped;
    const double v = qm::RoundHalfEven(qm::LeadingNumber(r.text));
    p.triggered = std::isfinite(v) && std::fmod(std::fabs(v), 2.0) == 1.0;
    return p;
}

std::array<QString, 4> Instrument::measurementValues() {
    std::array<QString, 4> out;
    static const char* const letters[] = {"A", "B", "C", "D"};
    for (size_t k = 0; k < 4; ++k)
        out[k] = ask(QStringLiteral("MSR%1?").arg(QLatin1String(letters[k])), kRunMaxLen);
    return out;
}

QByteArray Instrument::readBlockOrThrow(int32_t limit) {
    qm::BlockResult b = link_.readBlock(limit, stop_);
    if (b.status == qm::IoStatus::Failed) throw LinkError(b.error);
    if (!b.ok()) raise(b.status, b.error);
    return std::move(b.data);
}

qm::BlockResult Instrument::fetchScreen(const QString& format) {
    send(QStringLiteral("TSCRN? ") + format);
    noticeFor(QStringLiteral("TSCRN? ") + format);
    qm::BlockResult b = link_.readBlock(qm::kScreenBlockLimit, stop_);
    if (b.status == qm::IoStatus::Failed || b.ok()) return b;
    raise(b.status, b.error);
}

namespace {
bool UsesWordFormat(const InstrumentConfig& config) {
    return config.acqMode == QLatin1String("AVERAGE") || config.acqMode == QLatin1String("HIGH_RES");
}
}  // namespace

int32_t Instrument::readWaveform(const QString& sourceName, int32_t points, std::vector<float>& samples,
                                 const InstrumentConfig& config, QString* warning) {
    if (warning) warning->clear();
    const bool math = sourceName == QLatin1String("MATH");
    const int16_t index = math ? int16_t(4) : int16_t(qm::LeadingNumber(sourceName.right(1)) - 1);
    const bool word = UsesWordFormat(config);

    if (word) {
        send(QStringLiteral("DTBORD H/L"));
        send(QStringLiteral("DTFORM WORD"));
    } else {
        send(QStringLiteral("DTFORM BYTE"));
    }
    send(QStringLiteral("WAVESRC ") + sourceName);
    send(QStringLiteral("DTPOINTS ") + QString::number(points));
    send(QStringLiteral("DTSTART 0"));
    send(QStringLiteral("DTWAVE?"));
    noticeFor(QStringLiteral("DTWAVE?"));

    const QByteArray block = readBlockOrThrow(qm::kWaveBlockLimit);
    const int32_t n = int32_t(block.size());

    int32_t count;
    int32_t written;
    if (math) {
        const double per = config.mathType == QLatin1String("MULT") ? 4 : 2;
        count = int32_t(qm::RoundHalfEven(double(n) / per));
        written = ConvertMathSamples(config, count, block, samples);
    } else if (word) {
        count = int32_t(qm::RoundHalfEven(double(n) / 2));
        written = ConvertWordSamples(index, config, count, block, samples);
    } else {
        count = n;
        written = ConvertByteSamples(index, config, count, block, samples);
    }
    const qsizetype fits = std::min<qsizetype>(count, qsizetype(samples.size()));
    // What the block did not fill of the points asked for holds no sample of
    // this cycle: never an earlier cycle's (its fields are left empty).
    const qsizetype asked = std::clamp<qsizetype>(points, 0, qsizetype(samples.size()));
    std::fill(samples.begin() + std::clamp<qsizetype>(written, 0, asked), samples.begin() + asked,
              std::numeric_limits<float>::quiet_NaN());
    if (warning && written < fits) {
        // The block held fewer whole samples than its length promised (an
        // odd byte count), or the source names no channel.
        *warning = Texts::tr("%1: %2 サンプルを変換できませんでした").arg(sourceName).arg(fits - written);
    }
    if (warning && count > qsizetype(samples.size())) {
        *warning = Texts::tr("%1: %2 サンプルを格納できませんでした")
                       .arg(sourceName)
                       .arg(qsizetype(count) - qsizetype(samples.size()));
    }
    return count;
}

void Instrument::transferTrace(int16_t sourceIndex, std::vector<float>& samples, const InstrumentConfig& config,
                               int32_t& points, QString* warning) {
    if (warning) warning->clear();
    if (sourceIndex < 0) return;
    const size_t slot = size_t(std::min<int16_t>(sourceIndex, 4));
    const QString name =
        sourceIndex >= 4 ? QStringLiteral("MATH") : QStringLiteral("CH") + QString::number(sourceIndex + 1);
    if (config.display[slot] == QLatin1String("ON")) {
        points = readWaveform(name, points, samples, config, warning);
        return;
    }
    if (points < kZeroFillLimit && points > 0) {
        const size_t n = std::min(size_t(points), samples.size());
        std::fill(samples.begin(), samples.begin() + std::ptrdiff_t(n), 0.0f);
    }
}

}  // namespace qm
