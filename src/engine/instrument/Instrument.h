#pragma once
// The instrument's command vocabulary in one place: every command text the
// program sends, and how its answer is read, lives in this class. It talks
// through one Transport and sees the run's stop token in every wait.
//
// Failures: a lost link raises LinkError (the message names the link and the
// system's reason), and so does an answer too long to find its end
// ("装置の応答が長すぎます: <command>": the link is out of step); a stop or
// abort that gives up a wait raises RunInterrupted, except in the trigger
// poll (query(), armTrigger(), pollTrigger()), which tells a stop by its
// result; an answer that cannot make a usable configuration raises
// QuillError.
#include "engine/model/InstrumentConfig.h"
#include "engine/link/Transport.h"
#include "engine/model/MeasRecords.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace qm {

// The model number: the numeric value of ModelName from its fifth character
// on, at most seven characters, 0 when there is no number ("DS-5552" -> 552).
int32_t ModelNumber(const QString& modelName);

// One answer as the instrument gave it.
struct Reply {
    QString text;          // the answer line (empty when timed out or stopped)
    bool timedOut = false;
    bool stopped = false;  // a stop gave the wait up (an abort raises RunInterrupted)
};

// How long the instrument is given to answer a query of the run (the trigger
// poll has a bound of its own, RunLimits::triggerTimeout).
inline constexpr std::chrono::milliseconds kQueryTimeout{60000};

class Instrument {
public:
    Instrument(qm::Transport& link, const qm::StopToken& stop, std::chrono::milliseconds queryTimeout = kQueryTimeout);

    qm::Transport& link() { return link_; }

    // Plain exchanges: a command (LF appended) and a query with its answer.
    void send(const QString& command);
    Reply query(const QString& command, double timeoutSeconds, int32_t maxdl);
    // A query whose silence means the instrument is gone: a time-out raises
    // LinkError "装置から応答がありません: <command>", a stop RunInterrupted.
    QString ask(const QString& command, double timeoutSeconds, int32_t maxdl);
    // ask() with the query time-out the instrument was made with.
    QString ask(const QString& command, int32_t maxdl);

    // Called with the command whose answer was longer than its read's limit
    // (the rest of that line was dropped).
    std::function<void(const QString& command)> onOverlong;
    // Called with the command whose answer has been awaited longer than the
    // link's LinkLimits::slowNoticeMs (2 s).
    std::function<void(const QString& command)> onWaiting;

    // --- the run ---
    void enableStatusEvents();          // "*ESE 255"
    QString date();                     // "DATE?"
    void displayOff();                  // "DISP OFF"
    void goLocal();                     // "GTL"
    void restoreTriggerMode(const QString& mode);  // "TRMD " + mode

    // Arms a single trigger: "TESR?" (clears the status; answer unused), "WSGL".
    // False when a stop gave up the "TESR?" (no "WSGL" is sent then) or the "WSGL".
    bool armTrigger(double timeoutSeconds);
    // One "TESR?" poll: triggered when bit 0 of the answer's leading number is set.
    struct TriggerPoll {
        bool triggered = false;
        bool timedOut = false;
        bool stopped = false;  // a stop gave the wait up
    };
    TriggerPoll pollTrigger(double timeoutSeconds);
    // A "TESR?" answer that came after its time-out is read by the next
    // "TESR?", and so on: one answer stays in the link. Reads and drops what
    // is still owed so that the next query reads its own answer (each within
    // the time-out; one that does not come is given up with those after it).
    // False when a stop gave the wait up.
    bool readLateTriggerAnswers(double timeoutSeconds);

    // "MSRA?" .. "MSRD?", one after the other.
    std::array<QString, 4> measurementValues();

    // What slot A..D measures: "DIRM x", "MSEL?", and "Cd:VUNI?" for a channel
    // source (stored in config.vUnit).
    void queryMeasItem(InstrumentConfig& config, const QString& slotLetter, MeasItemRecord& slot);

    // The configuration snapshot ("DTINF?", "TDIV?", ... "Cn:INV?"). Raises
    // QuillError when the answers make no usable configuration.
    void readConfig(InstrumentConfig& config, bool invCheckOn);

    // Transfers source `sourceIndex` (0..3 = CH1..CH4, 4 = MATH) into
    // `samples`. A source whose Display entry is exactly "ON" is requested
    // ("DTFORM ...", "WAVESRC", "DTPOINTS", "DTSTART 0", "DTWAVE?") and
    // `points` becomes the number of samples delivered. Any other source is
    // not asked for: below 3,000,000 points its samples[0 .. points-1] become
    // 0. *warning names samples that could not be converted or stored.
    void transferTrace(int16_t sourceIndex, std::vector<float>& samples, const InstrumentConfig& config,
                       int32_t& points, QString* warning);
    // Requests sourceName ("CH1".."CH4", "MATH") with `points` points and
    // converts the block; returns its sample count.
    int32_t readWaveform(const QString& sourceName, int32_t points, std::vector<float>& samples,
                         const InstrumentConfig& config, QString* warning);

    // "TSCRN? " + format and the image block. A block that fails (bad,
    // stalled, too long) gives ok=false with the reason; a lost link raises.
    qm::BlockResult fetchScreen(const QString& format);

private:
    // Sends the command; false when a stop gave the write up (an abort
    // raises RunInterrupted, a lost link LinkError).
    bool sendLine(const QString& command);
    QByteArray readBlockOrThrow(int32_t limit);
    void noticeFor(const QString& command);
    [[noreturn]] void raise(const qm::IoStatus status, const QString& error);

    qm::Transport& link_;
    const qm::StopToken& stop_;
    double queryTimeoutSeconds_;
    int lateTriggerAnswers_ = 0;  // "TESR?" answers that did not come in time
};

}  // namespace qm
