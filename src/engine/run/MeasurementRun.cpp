#include "engine/run/MeasurementRun.h"

#include "engine/instrument/Instrument.h"
#include "engine/link/TcpTransport.h"
#include "engine/link/Transport.h"
#include "engine/link/WaitClock.h"
#include "engine/model/LiveSettings.h"
#include "engine/run/Questions.h"
#include "engine/run/Session.h"
#include "engine/text/AnsiText.h"
#include "engine/text/Errors.h"
#include "engine/text/FileNames.h"
#include "engine/text/ItemText.h"
#include "engine/text/NumText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <new>
#include <optional>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(MeasurementRun)
};
}  // namespace

namespace qm {
namespace {

using namespace std::chrono;
using Duration = SteadyClock::duration;

// Texts said in more than one place; translated where they are said.
const char* const kDone = QT_TRANSLATE_NOOP("MeasurementRun", "動作完了しました");
const char* const kNotConnected = QT_TRANSLATE_NOOP("MeasurementRun", "装置が正しく接続されていません！");

// The display image's file in the data folder, named after its format.
QString ScreenBufferName(const QString& format) { return QStringLiteral("BufferFile.") + format; }

QString FiveDigits(int32_t n) { return (QStringLiteral("0000") + QString::number(n)).right(5); }

// A cycle's image and waveform file without its extension: "<folder>/<header>_00012".
QString CycleBaseName(const LiveValues& live, int32_t cycle) {
    return live.folder + PathSep() + live.header + QStringLiteral("_") + FiveDigits(cycle);
}

double Seconds(milliseconds ms) { return duration<double>(ms).count(); }

// What a step of the run answers: go on, or how the run ends.
enum class Step {
    Continue,        // on to the next step (after a cycle: the next cycle)
    Ended,           // "動作完了しました", then the closing commands
    TriggerStopped,  // a stop ended the trigger wait ("トリガ中断です" said): the closing commands only
    NeverConnected,  // --reconnect: the link did not open at the start within the time given
    Failed,          // ended on an error (failure_ says which); the closing commands where they can go
    Aborted,         // the program is closing: nothing more is sent or written
};

class Run {
public:
    Run(SessionState& state, const RunRequest& request, LiveSettings& live, Questions& questions, SinkList& sinks,
        const StopToken& stop)
        : state_(state),
          request_(request),
          limits_(request.limits),
          clock_(request.clock ? *request.clock : steadyClock_),
          live_(live),
          questions_(questions),
          sinks_(sinks),
          stop_(stop) {}

    RunEndInfo run();

private:
    // Where the link is connected again: before it ever opened, during the
    // queries before the first cycle, or in a cycle.
    enum class Phase { Start, StartUp, Cycle };
    enum class Connection { Open, Declined, NotThere };
    enum class Reconnection { Back, GaveUp, Stopped };

    // Before the steps.
    bool prepareOutput(RunEndInfo& end);
    Connection connect();
    bool openLink();
    QString notConnectedText() const { return Texts::tr(kNotConnected) + QLatin1Char('\n') + openError_ + QLatin1Char('\n') + openHint_; }

    // The steps, in the design's order.
    Step measure(Connection connection);
    Step startUp();
    Step cycle();
    Step triggerWait();
    void waitForTrigger();
    void transferTraces();
    std::optional<BlockResult> showScreen();
    void writeTraces(const QString& baseName);
    void saveScreen(const QString& baseName, const std::optional<BlockResult>& shownPng);
    Step logStep();
    Step count();
    Step nextCycle();
    void closing(RunEndInfo& end);

    // How a step's failures are met.
    template <typename F>
    Step guarded(F&& step);
    template <typename F>
    Step reconnecting(Phase phase, F&& step);
    Reconnection reconnect(const QString& why, Phase phase);
    bool statusEventsEnabled(Phase phase);
    Step failed(const QString& message, StatusKind kind = StatusKind::Plain) {
        failure_ = message;
        failureKind_ = kind;
        return Step::Failed;
    }
    Step stopped() const { return stop_.aborted() ? Step::Aborted : Step::Ended; }

    bool allocateBuffers();
    bool refusedBeyondLog(const LiveValues& live);
    FileResult writeOnce(const QString& fileName, const std::function<FileResult()>& write);

    void linkEvent(const QString& text, bool reconnected = false) {
        const LiveValues live = live_.get();
        sinks_.each([&](RunSink& s) { s.linkEvent(text, reconnected, cycleNo(), live.folder, live.header); });
    }
    void status(const QString& text, StatusKind kind = StatusKind::Plain) {
        sinks_.each([&](RunSink& s) { s.statusChanged(text, kind); });
    }
    void announceWait(const RunWait& wait) {
        sinks_.each([&](RunSink& s) { s.waitChanged(wait); });
    }
    void progress(int v) {
        sinks_.each([&](RunSink& s) { s.progressChanged(v); });
    }
    // A file the run was to write is not on disk: counted for the end, said
    // in the status and, for --assume-yes and headless, on stderr.
    void fileFailed(const FileResult& r) {
        ++writeFailures_;
        sinks_.each([&](RunSink& s) { s.fileFailed(r); });
        noteFailedFile(r.file);
        status(r.message, StatusKind::FileFailure);
        questions_.fileNotWritten(r.message);
    }
    void noteFailedFile(const QString& fileName) {
        if (!failedFiles_.contains(fileName)) failedFiles_ << fileName;
    }
    int32_t cycleNo() const { return state_.cycleNo->load(); }

    SessionState& state_;
    const RunRequest& request_;
    const RunLimits& limits_;
    const SteadyWaitClock steadyClock_;
    const WaitClock& clock_;
    LiveSettings& live_;
    Questions& questions_;
    SinkList& sinks_;
    const StopToken& stop_;
    int32_t repeatCount_ = 0;
    int writeFailures_ = 0;
    QStringList failedFiles_;
    QString failure_;  // why the run ended on an error
    StatusKind failureKind_ = StatusKind::Plain;
    bool failureLinkLost_ = false;  // the error was the loss of the link
    std::unique_ptr<Instrument> inst_;
    bool snapshotDone_ = false;  // the trigger mode to restore is known
    SteadyClock::time_point cycleStart_{};  // the interval runs from here
    // Why the link did not open the last time: "<where>: <reason>", and what
    // the user may check.
    QString openError_;
    QString openHint_;
    bool overlongWarned_ = false;
    // The files of the current cycle already written: a cycle repeated after
    // a reconnection does not write them a second time.
    int32_t writtenCycle_ = 0;
    QStringList written_;
};

bool Run::openLink() {
    if (state_.link) {
        state_.link->close(0);
        state_.link.reset();
    }
    OpenResult opened;
    int port = 0;
    if (request_.serial) {
        try {
            port = ToInt16(LeadingNumber(QStringView(request_.comText).mid(3, 10)));
        } catch (const NumberOverflow&) {
            port = 0;  // named as typed below
        }
        opened = OpenSerial(port, stop_, limits_.link);
    } else {
        opened = OpenTcp(request_.address, request_.tcpPort, stop_, TcpOptions{limits_.link, state_.lookups});
    }
    if (opened.transport) {
        state_.link = std::move(opened.transport);
        inst_ = std::make_unique<Instrument>(*state_.link, stop_, limits_.queryTimeout);
        inst_->onWaiting = [this](const QString& command) {
            status(Texts::tr("%1 の応答を待っています").arg(command));
        };
        inst_->onOverlong = [this](const QString& command) {
            if (std::exchange(overlongWarned_, true)) return;
            status(Texts::tr("応答が長すぎます: %1").arg(command));
        };
        return true;
    }
    // A port text that names no port number ("USB") is named as typed.
    openError_ = request_.serial && port < 1 ? Texts::tr("%1 は使えないポート番号です").arg(request_.comText)
                                             : opened.error;
    openHint_ = OpenFailureHint(opened.failure, request_.serial);
    return false;
}

Run::Connection Run::connect() {
    const QString question =
        request_.serial
            ? Texts::tr("インタフェースはUSB(%1)です｡接続OK?").arg(request_.comText)
            : Texts::tr("インタフェースはTCP：%1です｡接続OK?")
                  .arg(TcpInterfaceName(request_.address, request_.tcpPort));
    if (!questions_.askOkCancel(question, stop_)) return Connection::Declined;
    for (;;) {
        if (openLink()) return Connection::Open;
        if (stop_.stopRequested()) return Connection::Declined;
        // With --reconnect the instrument may not be up yet: the back-off
        // takes it from here, without a question.
        if (request_.reconnectMinutes > 0) return Connection::NotThere;
        if (!questions_.askRetryConnect(notConnectedText(), stop_)) return Connection::Declined;
    }
}

// Before the first cycle: the folder and the header make names inside the
// folder that every system can hold, the output folder exists (made with its
// parents), and no per-cycle file of an earlier run is replaced without a
// question.
bool Run::prepareOutput(RunEndInfo& end) {
    const LiveValues live = live_.get();
    if (const QString problem = OutputNameProblem(live.folder, live.header); !problem.isEmpty()) {
        end.outcome = RunOutcome::Error;
        end.message = problem;
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(live.folder.toStdU16String()), ec);
    if (ec || !QFileInfo(live.folder).isDir()) {
        end.outcome = RunOutcome::Error;
        end.message = Texts::tr("出力フォルダ %1 を作成できません: %2")
                          .arg(QDir::toNativeSeparators(live.folder),
                               ec ? QString::fromLocal8Bit(ec.message()) : Texts::tr("フォルダではありません"));
        return false;
    }
    if (!live.screenSave && !live.waveSave) return true;
    const int32_t first = cycleNo();
    const int32_t last = request_.transferOnly ? first : std::max(first, RepeatCountFrom(request_.repeatText, nullptr));
    for (int32_t c = first; c <= last; ++c) {
        const QString base = CycleBaseName(live, c);
        for (const auto& [on, ext] : {std::pair{live.screenSave, QStringLiteral(".png")}, {live.waveSave, QStringLiteral(".csv")}}) {
            const QString name = base + ext;
            if (!on || !QFileInfo::exists(name)) continue;
            const QString shown = QDir::toNativeSeparators(name);
            if (request_.refuseOverwrite) {
                end.outcome = RunOutcome::Error;
                end.message = Texts::tr("ファイル %1 は既にあります。上書きしません (--overwrite で上書きします)").arg(shown);
                return false;
            }
            if (questions_.askOkCancel(Texts::tr("ファイル %1 は既にあります。上書きしますか?").arg(shown), stop_))
                return true;
            end.outcome = RunOutcome::ConnectFailed;  // the run did not start
            return false;
        }
    }
    return true;
}

// The one place where what a step raised becomes how the run ends: a stop
// that gave up an exchange with the instrument ends the run as a stop seen
// at a test point does, an abort ends it at once, and any other failure
// ends it with its text.
template <typename F>
Step Run::guarded(F&& step) {
    try {
        return step();
    } catch (const RunInterrupted& e) {
        return e.aborted ? Step::Aborted : Step::Ended;
    } catch (const LinkError& e) {
        failureLinkLost_ = true;
        return failed(e.text);
    } catch (const QuillError& e) {
        return failed(e.text);
    } catch (const NumberOverflow& e) {
        return failed(Texts::tr("装置の応答を数値に変換できません: %1").arg(QString::fromUtf8(e.what())));
    } catch (const std::exception& e) {
        return failed(Texts::tr("測定中にエラーが発生しました: %1").arg(QString::fromUtf8(e.what())));
    }
}

// Runs `step`. A link lost in it (LinkError) is connected again with
// --reconnect and the step done anew (a cycle keeps its number); otherwise
// the run ends on the loss.
template <typename F>
Step Run::reconnecting(Phase phase, F&& step) {
    for (;;) {
        QString lost;
        try {
            return step();
        } catch (const LinkError& e) {
            lost = e.text;
        }
        switch (reconnect(lost, phase)) {
            case Reconnection::Back: break;
            case Reconnection::GaveUp: failureLinkLost_ = true; return failed(lost);
            case Reconnection::Stopped: return stopped();
        }
    }
}

// The link is gone (or never came): close it, say so, and connect again
// after the first pause (1 s), doubled after each failed try up to the
// longest (30 s), for at most the given minutes; the last try comes when the
// time is up. Every loss, try and the end go to the events log. Without
// --reconnect the run gives up at once.
Run::Reconnection Run::reconnect(const QString& why, Phase phase) {
    if (!(request_.reconnectMinutes > 0)) return Reconnection::GaveUp;
    const auto giveUp = clock_.now() + duration_cast<Duration>(duration<double>(request_.reconnectMinutes * 60.0));
    if (state_.link) state_.link->close(0);
    state_.link.reset();
    inst_.reset();
    const bool start = phase == Phase::Start;
    linkEvent((start ? Texts::tr("装置に接続できません: %1") : Texts::tr("接続が切れました: %1")).arg(why));
    const QString trying = start ? Texts::tr("装置に接続できません。再接続しています (%1 回目)")
                                 : Texts::tr("接続が切れました。再接続しています (%1 回目)");
    Duration pause = limits_.reconnectFirstPause;
    const Duration longest = limits_.reconnectLongestPause;
    QString last = why;
    for (int attempt = 1;; ++attempt) {
        const Duration left = giveUp - clock_.now();
        if (left <= Duration::zero()) {
            linkEvent(Texts::tr("再接続をあきらめました (%1 回試みました): %2").arg(attempt - 1).arg(last));
            return Reconnection::GaveUp;
        }
        status(trying.arg(attempt), StatusKind::Reconnecting);
        if (clock_.sleepUntil(clock_.now() + std::min(pause, left), stop_)) return Reconnection::Stopped;
        if (openLink() && statusEventsEnabled(phase)) {
            linkEvent(Texts::tr("再接続しました (%1 回目)").arg(attempt), true);
            return Reconnection::Back;
        }
        if (stop_.stopRequested()) return Reconnection::Stopped;
        last = openError_;
        linkEvent(Texts::tr("再接続できません (%1 回目): %2").arg(attempt).arg(last));
        pause = std::min(pause * 2, longest);
    }
}

// Within the cycles a new link gets "*ESE 255" again. False (the link closed,
// openError_ saying why) when the link is lost again at once: one more
// failed try, not the end of the run.
bool Run::statusEventsEnabled(Phase phase) {
    if (phase != Phase::Cycle) return true;
    try {
        inst_->enableStatusEvents();
        return true;
    } catch (const LinkError& e) {
        openError_ = e.text;
        state_.link->close(0);
        state_.link.reset();
        inst_.reset();
        return false;
    }
}

FileResult Run::writeOnce(const QString& fileName, const std::function<FileResult()>& write) {
    if (writtenCycle_ != cycleNo()) {
        writtenCycle_ = cycleNo();
        written_.clear();
    }
    if (written_.contains(fileName)) return FileResult::written(fileName);
    const FileResult r = write();
    if (r.ok()) written_ << fileName;
    return r;
}

// The sample buffers for the record length. No block carries more than
// kWaveBlockLimit samples, so no buffer is made longer: an absurd record
// length must not allocate gigabytes. False when the memory is not there.
bool Run::allocateBuffers() {
    const int32_t P = state_.config.recordLength;
    const size_t n = static_cast<size_t>(std::clamp<int32_t>(P, 0, kWaveBlockLimit)) + 1;
    try {
        if (P < 2600000) {
            for (auto& w : state_.waveData) w.assign(n, 0.0f);
        } else {
            for (size_t k = 0; k < 4; ++k)
                if (state_.config.display[k] == QLatin1String("ON")) state_.waveData[k].assign(n, 0.0f);
            state_.waveData[4].assign(2, 0.0f);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    state_.wavePoints = P;
    return true;
}

// A cycle whose number has no place in the log is not begun (or not
// logged): the status and a message say so. True when refused.
bool Run::refusedBeyondLog(const LiveValues& live) {
    if (!live.log || cycleNo() <= LogMaxCycle) return false;
    const QString msg =
        Texts::tr("測定ログは %1 サイクルまでです。「クリア」を押してから測定を開始して下さい。").arg(LogMaxCycle);
    status(msg);
    questions_.notify(msg);
    return true;
}

// The run from the connection on: the start-up, then one cycle after the
// other until a step ends the run.
Step Run::measure(Connection connection) {
    if (connection == Connection::NotThere) {
        switch (reconnect(openError_, Phase::Start)) {
            case Reconnection::Back: break;
            case Reconnection::GaveUp: return Step::NeverConnected;
            case Reconnection::Stopped: return stopped();
        }
    }
    // A link lost before the first cycle is connected again (with
    // --reconnect) and the start-up done anew.
    Step step = reconnecting(Phase::StartUp, [this] { return startUp(); });
    // The wait after a cycle is a step of its own: a link lost at its "GTL"
    // is connected again and the question asked then, not skipped.
    while (step == Step::Continue) {
        step = reconnecting(Phase::Cycle, [this] { return cycle(); });
        if (step == Step::Continue) step = reconnecting(Phase::Cycle, [this] { return nextCycle(); });
    }
    return step;
}

// Before the first cycle: the configuration snapshot, the buffers, "*ESE 255"
// and, when logging, the measurement items.
Step Run::startUp() {
    inst_->readConfig(state_.config, request_.invCheckOn);
    snapshotDone_ = true;
    if (!allocateBuffers())
        return failed(Texts::tr("波形バッファを確保できません (レコード長 %1)").arg(state_.config.recordLength));
    inst_->enableStatusEvents();
    if (live_.get().log) {
        static const char* const letters[] = {"A", "B", "C", "D"};
        for (size_t k = 0; k < 4; ++k)
            inst_->queryMeasItem(state_.config, QLatin1String(letters[k]), state_.measItems[k]);
        sinks_.each([&](RunSink& s) { s.measItemsRead(state_.measItems); });
    }
    return Step::Continue;
}

// One cycle, in the design's order. Every check box is read afresh where it
// stands, so a change made during the cycle counts from there on.
Step Run::cycle() {
    if (refusedBeyondLog(live_.get())) return Step::Ended;
    overlongWarned_ = false;
    cycleStart_ = clock_.now();
    state_.config.acqTime = inst_->date();                                // "DATE?"
    if (ModelNumber(state_.config.modelName) > 400) inst_->displayOff();  // "DISP OFF"
    if (!request_.transferOnly) {
        if (const Step s = triggerWait(); s != Step::Continue) return s;
    }
    if (live_.get().waveSave) transferTraces();
    const std::optional<BlockResult> shownPng = showScreen();  // "GTL", the display image
    // A stop seen here ends the run: this cycle writes no file, is not
    // logged and is not counted.
    if (stop_.stopRequested()) return Step::Ended;
    const LiveValues live = live_.get();
    const QString baseName = CycleBaseName(live, cycleNo());
    if (live.waveSave) writeTraces(baseName);
    if (live_.get().screenSave) saveScreen(baseName, shownPng);
    if (const Step s = logStep(); s != Step::Continue) return s;
    return count();
}

// "トリガ待ちです", then the wait; a stop seen after it ends the run with
// "トリガ中断です" (and without "動作完了しました").
Step Run::triggerWait() {
    status(Texts::tr("トリガ待ちです"), StatusKind::TriggerWait);
    progress(0);
    waitForTrigger();
    if (!stop_.stopRequested()) return Step::Continue;
    status(Texts::tr("トリガ中断です"));
    return Step::TriggerStopped;
}

// Arms a single trigger and polls "TESR?" until it comes or a stop does.
// Polls go back to back at first, then with a pause that grows to a few
// milliseconds. Silence to silentPolls polls in a row: the instrument is gone.
void Run::waitForTrigger() {
    const double timeout = Seconds(limits_.triggerTimeout);
    if (!inst_->armTrigger(timeout)) return;  // a stop gave the arming up
    const auto armed = clock_.now();
    milliseconds pause(1);
    int silent = 0;
    for (;;) {
        if (stop_.stopRequested()) return;
        const Instrument::TriggerPoll poll = inst_->pollTrigger(timeout);
        if (poll.stopped) return;
        if (!poll.timedOut) {
            silent = 0;
        } else if (++silent >= limits_.silentPolls) {
            throw LinkError(Texts::tr("装置から応答がありません (TESR? に %1 回続けて応答なし)").arg(limits_.silentPolls));
        }
        if (poll.triggered) {
            inst_->readLateTriggerAnswers(timeout);  // false: a stop, seen by the caller
            return;
        }
        if (clock_.now() - armed < limits_.triggerBackToBack) continue;
        if (clock_.sleepFor(pause, stop_)) return;
        pause = std::min(pause * 2, limits_.triggerLongestPause);
    }
}

void Run::transferTraces() {
    status(Texts::tr("波形を転送中です"));
    QString warnings;
    const auto one = [&](int16_t src) {
        QString warning;
        inst_->transferTrace(src, state_.waveData[size_t(src)], state_.config, state_.wavePoints, &warning);
        if (!warning.isEmpty()) warnings += (warnings.isEmpty() ? QString() : QStringLiteral(" / ")) + warning;
    };
    one(0);
    progress(25);
    one(1);
    progress(50);
    if (state_.config.channelCount == 4) {
        one(2);
        progress(75);
        one(3);
    }
    one(4);
    progress(100);
    if (!warnings.isEmpty()) status(warnings);
}

// "GTL" before a screen transfer, then the display image. Returns the
// display's PNG when the display takes PNG: the save step uses it instead of
// asking the instrument a second time.
std::optional<BlockResult> Run::showScreen() {
    const LiveValues live = live_.get();
    if (live.screenShow || live.screenSave) inst_->goLocal();
    if (!live_.get().screenShow) return std::nullopt;
    status(Texts::tr("DS画面を転送中です"));
    progress(0);
    const QString format = request_.screenPngForDisplay ? QStringLiteral("png") : QStringLiteral("bmp");
    const BlockResult image = inst_->fetchScreen(format);
    ScreenImage shown{cycleNo(), format, {}, QDir(request_.dataFolder).filePath(ScreenBufferName(format)), true};
    if (image.ok() && !image.data.isEmpty()) shown.bytes = image.data;
    else status(Texts::tr("DS画面を受信できません: %1").arg(image.ok() ? Texts::tr("空の画像") : image.error));
    const FileResult r = sinks_.output([&](RunSink& s) { return s.screenImage(shown); });
    if (!r.ok()) fileFailed(r);
    progress(100);
    if (request_.screenPngForDisplay) return image;
    return std::nullopt;
}

void Run::writeTraces(const QString& baseName) {
    status(Texts::tr("波形をcsvファイルに格納しています"));
    const TraceSet traces{cycleNo(), state_.config, state_.waveData, baseName + QStringLiteral(".csv")};
    const auto setProgress = [this](int v) { progress(v); };
    const FileResult r = writeOnce(traces.fileName, [&] {
        return sinks_.output([&](RunSink& s) { return s.traces(traces, setProgress); });
    });
    if (r.ok()) status(Texts::tr("csv波形の格納完了"));
    else fileFailed(r);
}

void Run::saveScreen(const QString& baseName, const std::optional<BlockResult>& shownPng) {
    progress(0);
    status(Texts::tr("DS画面を格納しています"));
    const BlockResult image = shownPng ? *shownPng : inst_->fetchScreen(QStringLiteral("png"));
    const QString pngName = baseName + QStringLiteral(".png");
    // An image that did not arrive is a file not written, named as such.
    const auto notReceived = [&](const QString& said, const QString& reason) {
        status(said);
        fileFailed(FileResult::failed(pngName, reason,
                                      Texts::tr("DS画面のファイル \"%1\" を保存できません: %2")
                                          .arg(QDir::toNativeSeparators(pngName), reason)));
    };
    if (!image.ok()) {
        notReceived(Texts::tr("DS画面を受信できません: %1").arg(image.error), image.error);
    } else if (image.data.isEmpty()) {
        const QString empty = Texts::tr("装置から画面データが届きませんでした (0 バイト)");
        notReceived(empty, empty);
    } else {
        const ScreenImage saved{cycleNo(), QStringLiteral("png"), image.data, pngName, false};
        const FileResult r = writeOnce(saved.fileName, [&] {
            return sinks_.output([&](RunSink& s) { return s.screenImage(saved); });
        });
        if (r.ok()) status(Texts::tr("DS画面の格納完了"));
        else fileFailed(r);
    }
    progress(100);
}

// With 自動測定ログ: "MSRA?" to "MSRD?", the record to every output and the
// line to the log file. A log whose waiting lines have reached their bound
// ends the run.
Step Run::logStep() {
    const LiveValues live = live_.get();
    if (!live.log) return Step::Continue;
    if (refusedBeyondLog(live)) return Step::Ended;  // logging may have been ticked during the cycle
    const std::array<QString, 4> replies = inst_->measurementValues();
    std::array<double, 4> values;
    QString missing;
    for (size_t k = 0; k < 4; ++k) {
        values[k] = MeasValue(replies[k]);
        if (values[k] >= NoValue) missing += QChar(u'A' + int(k));
    }
    const CycleRecord record = MakeCycleRecord(cycleNo(), values, QDateTime::currentDateTime());
    // The log window's stamp is the last date the snapshot holds.
    state_.config.acqTime = record.timeText;
    const QString logFile = live.folder + PathSep() + live.header + QStringLiteral("_AM_LOG.csv");
    const FileResult written = sinks_.output([&](RunSink& s) { return s.cycleLogged(record, logFile); });
    if (written.endsRun) {
        sinks_.each([&](RunSink& s) { s.fileFailed(written); });
        noteFailedFile(logFile);
        return failed(written.message, StatusKind::FileFailure);
    }
    if (!written.ok()) {
        // Said in a message of its own (the log file matters most).
        ++writeFailures_;
        sinks_.each([&](RunSink& s) { s.fileFailed(written); });
        noteFailedFile(logFile);
        status(written.message, StatusKind::FileFailure);
        questions_.notify(written.message);
    }
    if (!missing.isEmpty())
        status(Texts::tr("測定値がありません: %1 (サイクル %2)").arg(missing).arg(record.cycle));
    return Step::Continue;
}

// The cycle is counted; a stop seen then ends the run before the label
// shows the new number.
Step Run::count() {
    state_.cycleNo->fetch_add(1);
    if (stop_.stopRequested()) return Step::Ended;
    sinks_.each([&](RunSink& s) { s.cycleNumberChanged(cycleNo()); });
    return Step::Continue;
}

// After the count test: the manual question ("GTL" first), or the interval,
// which runs from the start of one cycle to the start of the next (a cycle
// longer than the interval is followed at once).
Step Run::nextCycle() {
    if (request_.transferOnly || cycleNo() > repeatCount_) return Step::Ended;
    const LiveValues live = live_.get();
    if (live.manual) {
        inst_->goLocal();
        announceWait({RunWait::Kind::Question, cycleNo(), {}});
        const bool next = questions_.askOkCancel(Texts::tr("次の測定の準備をして下さい!"), stop_);
        announceWait({});
        return next ? Step::Continue : Step::Ended;
    }
    const double seconds = LeadingNumber(live.intervalText);
    if (!(seconds > 0) || !std::isfinite(seconds)) return Step::Continue;
    const auto deadline = cycleStart_ + duration_cast<Duration>(duration<double>(std::min(seconds, 1e9)));
    const Duration left = deadline - clock_.now();
    if (left <= Duration::zero()) return Step::Continue;
    announceWait({RunWait::Kind::Interval, cycleNo(),
                  QDateTime::currentDateTime().addMSecs(duration_cast<milliseconds>(left).count())});
    // A stop ends the wait; the next cycle's trigger wait then ends the run.
    clock_.sleepUntil(deadline, stop_);
    announceWait({});
    return Step::Continue;
}

// The closing commands, where they can still be sent: the trigger mode the
// run found (normal mode, once the snapshot has it), then "GTL". A failure
// is said in the status and the end message.
void Run::closing(RunEndInfo& end) {
    if (!inst_ || !state_.link || state_.link->lost()) return;
    const Step sent = guarded([&] {
        if (!request_.transferOnly && snapshotDone_) inst_->restoreTriggerMode(state_.config.triggerMode);
        inst_->goLocal();
        return Step::Continue;
    });
    if (sent != Step::Failed) return;  // sent, or given up by a stop or an abort
    const QString text = Texts::tr("終了のコマンドを送れません: %1").arg(failure_);
    status(text);
    end.message = (end.message.isEmpty() ? QString() : end.message + QLatin1Char('\n')) + text;
}

RunEndInfo Run::run() {
    RunEndInfo end;
    if (!prepareOutput(end)) return end;
    const Connection connection = connect();
    if (connection == Connection::Declined) {
        end.outcome = stop_.aborted() ? RunOutcome::Aborted : RunOutcome::ConnectFailed;
        return end;
    }
    bool limited = false;
    repeatCount_ = RepeatCountFrom(request_.repeatText, &limited);
    const RunStartInfo info{request_.transferOnly, cycleNo(), repeatCount_, QDateTime::currentDateTime()};
    sinks_.each([&](RunSink& s) { s.runStarted(info); });
    if (limited) sinks_.each([&](RunSink& s) { s.repeatCountLimited(QStringLiteral("10000")); });

    const Step last = guarded([&] { return measure(connection); });
    switch (last) {
        case Step::Aborted:
            // The program is closing: nothing more is sent or written.
            end.outcome = RunOutcome::Aborted;
            end.writeFailures = writeFailures_;
            end.failedFiles = failedFiles_;
            return end;
        case Step::Ended:
            status(Texts::tr(kDone));
            break;
        case Step::NeverConnected:
            end.outcome = RunOutcome::ConnectFailed;
            end.message = notConnectedText() + QLatin1Char('\n') +
                          Texts::tr("(%1 分間接続を試みました)").arg(request_.reconnectMinutes);
            status(openError_);
            break;
        case Step::Failed:
            end.outcome = RunOutcome::Error;
            end.message = failure_;
            end.linkLost = failureLinkLost_;
            status(failure_, failureKind_);
            break;
        case Step::TriggerStopped:
        case Step::Continue:
            break;
    }
    closing(end);
    // Output still unwritten at the end is said in the end message.
    QStringList unwritten;
    sinks_.each([&](RunSink& s) {
        const QString u = s.unwrittenOutput();
        if (!u.isEmpty()) unwritten << u;
    });
    if (!unwritten.isEmpty()) {
        ++writeFailures_;
        const FileResult left = FileResult::failed(QString(), QString(), unwritten.join(QLatin1Char('\n')));
        sinks_.each([&](RunSink& s) { s.fileFailed(left); });
        end.message = (end.message.isEmpty() ? QString() : end.message + QLatin1Char('\n')) + unwritten.join(QLatin1Char('\n'));
        status(unwritten.join(QLatin1Char('\n')), StatusKind::FileFailure);
    }
    end.writeFailures = writeFailures_;
    end.failedFiles = failedFiles_;
    return end;
}

}  // namespace

int32_t RepeatCountFrom(const QString& text, bool* limited) {
    double v = LeadingNumber(text);
    if (limited) *limited = false;
    if (v > 10000) {
        v = 10000;
        if (limited) *limited = true;
    }
    if (!(v >= std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return ToInt32(v);
}

double MeasValue(const QString& reply) {
    std::array<QString, 3> item;
    splitItems(reply, item);
    const auto v = StrictNumber(item[0]);
    if (!v || !std::isfinite(*v)) return NoValue;
    return *v;
}

// What the steps raise is turned into the end in Run::guarded; this meets
// only what the preparation before them could raise (memory running out).
RunEndInfo RunMeasurement(SessionState& state, const RunRequest& request, LiveSettings& live, Questions& questions,
                          SinkList& sinks, const StopToken& stop) {
    try {
        return Run(state, request, live, questions, sinks, stop).run();
    } catch (const std::exception& e) {
        RunEndInfo end;
        end.outcome = RunOutcome::Error;
        end.message = Texts::tr("測定中にエラーが発生しました: %1").arg(QString::fromUtf8(e.what()));
        return end;
    }
}

QString TcpInterfaceName(const QString& address, quint16 port) {
    if (port == kInstrumentTcpPort) return address;
    const QString a = address.trimmed();
    const bool ipv6 = a.contains(QLatin1Char(':')) && !a.startsWith(QLatin1Char('['));
    return (ipv6 ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2")).arg(a).arg(port);
}

}  // namespace qm
