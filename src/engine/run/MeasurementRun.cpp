#include "engine/run/MeasurementRun.h"

#include "engine/instrument/Instrument.h"
#include "engine/link/Transport.h"
#include "engine/run/LiveSettings.h"
#include "engine/run/Questions.h"
#include "engine/run/Session.h"
#include "engine/text/AnsiText.h"
#include "engine/text/Errors.h"
#include "engine/text/FileNames.h"
#include "engine/text/ItemText.h"
#include "engine/text/NumText.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <filesystem>
#include <functional>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <optional>

namespace {

using namespace std::chrono;

const QString kDone = QStringLiteral("動作完了しました");
const QString kNotConnected = QStringLiteral("装置が正しく接続されていません！");
constexpr double kTriggerTimeout = 10.0;
// Consecutive silent trigger polls after which the instrument counts as gone.
constexpr int kSilentPolls = 3;
// The trigger poll: back to back for the first 100 ms after arming, then a
// pause that grows to at most 10 ms, so a long wait costs next to nothing.
constexpr auto kBackToBack = milliseconds(100);
constexpr auto kLongestPause = milliseconds(10);
// The display image's file in the data folder, named after its format.
QString ScreenBufferName(const QString& format) { return QStringLiteral("BufferFile.") + format; }

struct RunEnd {};       // the cycle loop ends: "動作完了しました", then closing
struct TriggerStop {};  // a stop seen in the trigger wait: closing only
// --reconnect: the link could not be opened at the start within the time given.
struct NeverConnected {};

QString FiveDigits(int32_t n) { return (QStringLiteral("0000") + QString::number(n)).right(5); }

class Run {
public:
    Run(SessionState& state, const RunRequest& request, LiveSettings& live, Questions& questions, SinkList& sinks,
        const qm::StopToken& stop)
        : state_(state), request_(request), live_(live), questions_(questions), sinks_(sinks), stop_(stop) {}

    RunEndInfo run();

private:
    // Where the link is connected again: before it ever opened, during the
    // queries before the first cycle, or in a cycle.
    enum class Phase { Start, StartUp, Cycle };
    enum class Connection { Open, Declined, NotThere };
    Connection connect();
    bool openLink();
    QString notConnectedText() const { return kNotConnected + QLatin1Char('\n') + openError_ + QLatin1Char('\n') + openHint_; }
    bool prepareOutput(RunEndInfo& end);
    void startUp();
    bool reconnect(const QString& why, Phase phase);
    void linkEvent(const QString& text) {
        const LiveValues live = live_.get();
        sinks_.each([&](RunSink& s) { s.linkEvent(text, cycleNo(), live.folder, live.header); });
    }
    OutputResult writeOnce(const QString& fileName, const std::function<OutputResult()>& write);
    void oneCycle(Instrument& inst);
    void waitForTrigger(Instrument& inst);
    void transferTraces(Instrument& inst);
    void allocateBuffers();
    void refuseCycleBeyondLog(const LiveValues& live);
    void logCycle(Instrument& inst, const LiveValues& live);
    void status(const QString& text) {
        sinks_.each([&](RunSink& s) { s.statusChanged(text); });
    }
    void announceWait(const RunWait& wait) {
        sinks_.each([&](RunSink& s) { s.waitChanged(wait); });
    }
    void progress(int v) {
        sinks_.each([&](RunSink& s) { s.progressChanged(v); });
    }
    // A file the run was to write is not on disk: counted for the end, said
    // in the status and, for --assume-yes and headless, on stderr.
    void fileFailed(const QString& fileName, const QString& error) {
        ++writeFailures_;
        noteFailedFile(fileName);
        status(error);
        questions_.fileNotWritten(error);
    }
    void noteFailedFile(const QString& fileName) {
        if (!failedFiles_.contains(fileName)) failedFiles_ << fileName;
    }
    int32_t cycleNo() const { return state_.cycleNo->load(); }

    SessionState& state_;
    const RunRequest& request_;
    LiveSettings& live_;
    Questions& questions_;
    SinkList& sinks_;
    const qm::StopToken& stop_;
    int32_t repeatCount_ = 0;
    int writeFailures_ = 0;
    QStringList failedFiles_;
    std::unique_ptr<Instrument> inst_;
    bool snapshotDone_ = false;  // the trigger mode to restore is known
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
    qm::OpenResult opened;
    int port = 0;
    if (request_.serial) {
        try {
            port = qm::ToInt16(qm::LeadingNumber(QStringView(request_.comText).mid(3, 10)));
        } catch (const qm::NumberOverflow&) {
            port = 0;
        }
        opened = qm::OpenSerial(port, stop_);
    } else {
        opened = qm::OpenTcp(request_.address, request_.tcpPort, stop_);
    }
    if (opened.transport) {
        state_.link = std::move(opened.transport);
        inst_ = std::make_unique<Instrument>(*state_.link, stop_);
        inst_->onWaiting = [this](const QString& command) {
            status(QStringLiteral("%1 の応答を待っています").arg(command));
        };
        inst_->onOverlong = [this](const QString& command) {
            if (std::exchange(overlongWarned_, true)) return;
            status(QStringLiteral("応答が長すぎます: %1").arg(command));
        };
        return true;
    }
    // A port text that names no port number ("USB") is named as typed.
    openError_ = request_.serial && port < 1 ? QStringLiteral("%1 は使えないポート番号です").arg(request_.comText)
                                             : opened.error;
    openHint_ = qm::OpenFailureHint(opened.failure, request_.serial);
    return false;
}

Run::Connection Run::connect() {
    const QString question = request_.serial
                                 ? QStringLiteral("インタフェースはUSB(") + request_.comText + QStringLiteral(")です｡接続OK?")
                                 : QStringLiteral("インタフェースはTCP：") + TcpInterfaceName(request_.address, request_.tcpPort) +
                                       QStringLiteral("です｡接続OK?");
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
    if (const QString problem = qm::OutputNameProblem(live.folder, live.header); !problem.isEmpty()) {
        end.outcome = RunOutcome::Error;
        end.message = problem;
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(live.folder.toStdU16String()), ec);
    if (ec || !QFileInfo(live.folder).isDir()) {
        end.outcome = RunOutcome::Error;
        end.message = QStringLiteral("出力フォルダ %1 を作成できません: %2")
                          .arg(QDir::toNativeSeparators(live.folder),
                               ec ? QString::fromLocal8Bit(ec.message()) : QStringLiteral("フォルダではありません"));
        return false;
    }
    if (!live.screenSave && !live.waveSave) return true;
    const int32_t first = cycleNo();
    const int32_t last = request_.transferOnly ? first : std::max(first, RepeatCountFrom(request_.repeatText, nullptr));
    for (int32_t c = first; c <= last; ++c) {
        const QString base = live.folder + qm::PathSep() + live.header + QStringLiteral("_") + FiveDigits(c);
        for (const auto& [on, ext] : {std::pair{live.screenSave, QStringLiteral(".png")}, {live.waveSave, QStringLiteral(".csv")}}) {
            const QString name = base + ext;
            if (!on || !QFileInfo::exists(name)) continue;
            const QString shown = QDir::toNativeSeparators(name);
            if (request_.refuseOverwrite) {
                end.outcome = RunOutcome::Error;
                end.message = QStringLiteral("ファイル %1 は既にあります。上書きしません (--overwrite で上書きします)").arg(shown);
                return false;
            }
            if (questions_.askOkCancel(QStringLiteral("ファイル %1 は既にあります。上書きしますか?").arg(shown), stop_))
                return true;
            end.outcome = RunOutcome::ConnectFailed;  // the run did not start
            return false;
        }
    }
    return true;
}

// The link is gone (or never came): close it, say so, and connect again
// after the first pause (1 s), doubled after each failed try up to the
// longest (30 s), for at most the given minutes; the last try comes when the
// time is up. Every loss, try and the end go to the events log. True when
// the link is back.
bool Run::reconnect(const QString& why, Phase phase) {
    if (!(request_.reconnectMinutes > 0)) return false;
    const auto giveUp = steady_clock::now() + duration_cast<steady_clock::duration>(duration<double>(request_.reconnectMinutes * 60.0));
    if (state_.link) state_.link->close(0);
    state_.link.reset();
    inst_.reset();
    const bool start = phase == Phase::Start;
    linkEvent((start ? QStringLiteral("装置に接続できません: %1") : QStringLiteral("接続が切れました: %1")).arg(why));
    const QString trying = start ? QStringLiteral("装置に接続できません。再接続しています (%1 回目)")
                                 : QStringLiteral("接続が切れました。再接続しています (%1 回目)");
    auto pause = duration_cast<steady_clock::duration>(request_.limits.reconnectFirstPause);
    const auto longest = duration_cast<steady_clock::duration>(request_.limits.reconnectLongestPause);
    QString last = why;
    for (int attempt = 1;; ++attempt) {
        const auto left = giveUp - steady_clock::now();
        if (left <= steady_clock::duration::zero()) {
            linkEvent(QStringLiteral("再接続をあきらめました (%1 回試みました): %2").arg(attempt - 1).arg(last));
            return false;
        }
        status(trying.arg(attempt));
        if (stop_.sleepFor(duration_cast<milliseconds>(std::min(pause, left)))) throw RunInterrupted(stop_.aborted());
        if (openLink()) {
            if (phase == Phase::Cycle) inst_->enableStatusEvents();
            linkEvent(QStringLiteral("再接続しました (%1 回目)").arg(attempt));
            return true;
        }
        if (stop_.stopRequested()) throw RunInterrupted(stop_.aborted());
        last = openError_;
        linkEvent(QStringLiteral("再接続できません (%1 回目): %2").arg(attempt).arg(last));
        pause = std::min(pause * 2, longest);
    }
}

OutputResult Run::writeOnce(const QString& fileName, const std::function<OutputResult()>& write) {
    if (writtenCycle_ != cycleNo()) {
        writtenCycle_ = cycleNo();
        written_.clear();
    }
    if (written_.contains(fileName)) return {};
    const OutputResult r = write();
    if (r.ok()) written_ << fileName;
    return r;
}

void Run::allocateBuffers() {
    // No block carries more than kWaveBlockLimit samples, so no buffer is
    // made longer: an absurd record length must not allocate gigabytes.
    const int32_t P = state_.config.RecordLength;
    const size_t n = static_cast<size_t>(std::clamp<int32_t>(P, 0, qm::kWaveBlockLimit)) + 1;
    try {
        if (P < 2600000) {
            for (auto& w : state_.waveData) w.assign(n, 0.0f);
        } else {
            for (size_t k = 0; k < 4; ++k)
                if (state_.config.Display[k] == QLatin1String("ON")) state_.waveData[k].assign(n, 0.0f);
            state_.waveData[4].assign(2, 0.0f);
        }
    } catch (const std::bad_alloc&) {
        throw QuillError(QStringLiteral("波形バッファを確保できません (レコード長 %1)").arg(P));
    }
    state_.wavePoints = P;
}

void Run::waitForTrigger(Instrument& inst) {
    inst.armTrigger(kTriggerTimeout);
    const auto armed = steady_clock::now();
    auto pause = milliseconds(1);
    int silent = 0;
    for (;;) {
        if (stop_.stopRequested()) return;
        const Instrument::TriggerPoll poll = inst.pollTrigger(kTriggerTimeout);
        if (poll.timedOut) {
            if (++silent >= kSilentPolls)
                throw LinkError(QStringLiteral("装置から応答がありません (TESR? に %1 回続けて応答なし)").arg(kSilentPolls));
        } else {
            silent = 0;
        }
        if (poll.triggered) return;
        if (steady_clock::now() - armed < kBackToBack) continue;
        if (stop_.sleepFor(pause)) return;
        pause = std::min(pause * 2, kLongestPause);
    }
}

void Run::transferTraces(Instrument& inst) {
    status(QStringLiteral("波形を転送中です"));
    QString warnings;
    const auto one = [&](int16_t src) {
        QString warning;
        inst.transferTrace(src, state_.waveData[size_t(src)], state_.config, state_.wavePoints, &warning);
        if (!warning.isEmpty()) warnings += (warnings.isEmpty() ? QString() : QStringLiteral(" / ")) + warning;
    };
    one(0);
    progress(25);
    one(1);
    progress(50);
    if (state_.config.ChannelCount == 4) {
        one(2);
        progress(75);
        one(3);
    }
    one(4);
    progress(100);
    if (!warnings.isEmpty()) status(warnings);
}

void Run::refuseCycleBeyondLog(const LiveValues& live) {
    if (!live.log || cycleNo() <= LogMaxCycle) return;
    const QString msg =
        QStringLiteral("測定ログは %1 サイクルまでです。「クリア」を押してから測定を開始して下さい。").arg(LogMaxCycle);
    status(msg);
    questions_.notify(msg);
    throw RunEnd{};
}

void Run::logCycle(Instrument& inst, const LiveValues& live) {
    const std::array<QString, 4> replies = inst.measurementValues();
    std::array<double, 4> values;
    QString missing;
    for (size_t k = 0; k < 4; ++k) {
        values[k] = MeasValue(replies[k]);
        if (values[k] >= NoValue) missing += QChar(u'A' + int(k));
    }
    const CycleRecord record = MakeCycleRecord(cycleNo(), values, QDateTime::currentDateTime());
    // The log window's stamp is the last date the snapshot holds.
    state_.config.AcqTime = record.timeText;
    const QString logFile = live.folder + qm::PathSep() + live.header + QStringLiteral("_AM_LOG.csv");
    const OutputResult written = sinks_.output([&](RunSink& s) { return s.cycleLogged(record, logFile); });
    if (written.endsRun) {
        noteFailedFile(logFile);
        throw QuillError(written.error);
    }
    if (!written.ok()) {
        // Said in a message of its own (the log file matters most).
        ++writeFailures_;
        noteFailedFile(logFile);
        status(written.error);
        questions_.notify(written.error);
    }
    if (!missing.isEmpty())
        status(QStringLiteral("測定値がありません: %1 (サイクル %2)").arg(missing).arg(record.cycle));
}

void Run::oneCycle(Instrument& inst) {
    // A cycle whose number has no place in the log is refused before it starts.
    refuseCycleBeyondLog(live_.get());
    overlongWarned_ = false;
    const auto cycleStart = steady_clock::now();
    state_.config.AcqTime = inst.date();
    if (ModelNumber(state_.config.ModelName) > 400) inst.displayOff();

    if (!request_.transferOnly) {
        status(QStringLiteral("トリガ待ちです"));
        progress(0);
        try {
            waitForTrigger(inst);
        } catch (const RunInterrupted& e) {
            if (e.aborted) throw;
        }
        if (stop_.stopRequested()) {
            status(QStringLiteral("トリガ中断です"));
            throw TriggerStop{};
        }
    }

    LiveValues live = live_.get();
    if (live.waveSave) transferTraces(inst);

    live = live_.get();
    if (live.screenShow || live.screenSave) inst.goLocal();

    // The display's PNG of this cycle, when the display takes PNG: the save
    // step below uses it instead of asking the instrument a second time.
    std::optional<qm::BlockResult> shownPng;
    if (live_.get().screenShow) {
        status(QStringLiteral("DS画面を転送中です"));
        progress(0);
        const QString format = request_.screenPngForDisplay ? QStringLiteral("png") : QStringLiteral("bmp");
        const qm::BlockResult image = inst.fetchScreen(format);
        ScreenImage shown{cycleNo(), format, {}, QDir(request_.dataFolder).filePath(ScreenBufferName(format)), true};
        if (image.ok() && !image.data.isEmpty()) shown.bytes = image.data;
        else status(QStringLiteral("DS画面を受信できません: %1").arg(image.ok() ? QStringLiteral("空の画像") : image.error));
        const OutputResult r = sinks_.output([&](RunSink& s) { return s.screenImage(shown); });
        if (!r.ok()) fileFailed(shown.fileName, r.error);
        if (request_.screenPngForDisplay) shownPng = image;
        progress(100);
    }

    if (stop_.stopRequested()) throw RunEnd{};

    live = live_.get();
    const QString baseName = live.folder + qm::PathSep() + live.header + QStringLiteral("_") + FiveDigits(cycleNo());

    if (live.waveSave) {
        status(QStringLiteral("波形をcsvファイルに格納しています"));
        const TraceSet traces{cycleNo(), state_.config, state_.waveData, baseName + QStringLiteral(".csv")};
        const auto setProgress = [this](int v) { progress(v); };
        const OutputResult r = writeOnce(traces.fileName, [&] {
            return sinks_.output([&](RunSink& s) { return s.traces(traces, setProgress); });
        });
        if (r.ok()) status(QStringLiteral("csv波形の格納完了"));
        else fileFailed(traces.fileName, r.error);
    }

    if (live_.get().screenSave) {
        progress(0);
        status(QStringLiteral("DS画面を格納しています"));
        const qm::BlockResult image = shownPng ? *shownPng : inst.fetchScreen(QStringLiteral("png"));
        const QString pngName = baseName + QStringLiteral(".png");
        // An image that did not arrive is a file not written, named as such.
        const auto notReceived = [&](const QString& said, const QString& reason) {
            status(said);
            fileFailed(pngName, QStringLiteral("DS画面のファイル \"%1\" を保存できません: %2")
                                    .arg(QDir::toNativeSeparators(pngName), reason));
        };
        if (!image.ok()) {
            notReceived(QStringLiteral("DS画面を受信できません: %1").arg(image.error), image.error);
        } else if (image.data.isEmpty()) {
            const QString empty = QStringLiteral("装置から画面データが届きませんでした (0 バイト)");
            notReceived(empty, empty);
        } else {
            const ScreenImage saved{cycleNo(), QStringLiteral("png"), image.data, pngName, false};
            const OutputResult r = writeOnce(saved.fileName, [&] {
                return sinks_.output([&](RunSink& s) { return s.screenImage(saved); });
            });
            if (r.ok()) status(QStringLiteral("DS画面の格納完了"));
            else fileFailed(saved.fileName, r.error);
        }
        progress(100);
    }

    live = live_.get();
    if (live.log) {
        refuseCycleBeyondLog(live);  // logging may have been ticked during the cycle
        logCycle(inst, live);
    }

    state_.cycleNo->fetch_add(1);
    if (stop_.stopRequested()) throw RunEnd{};
    sinks_.each([&](RunSink& s) { s.cycleNumberChanged(cycleNo()); });

    if (request_.transferOnly) throw RunEnd{};
    if (cycleNo() > repeatCount_) throw RunEnd{};

    live = live_.get();
    if (live.manual) {
        inst.goLocal();
        announceWait({RunWait::Kind::Question, cycleNo(), {}});
        const bool next = questions_.askOkCancel(QStringLiteral("次の測定の準備をして下さい!"), stop_);
        announceWait({});
        if (!next) throw RunEnd{};
        return;
    }
    // The interval runs from the start of one cycle to the start of the next.
    const double seconds = qm::LeadingNumber(live.intervalText);
    if (!(seconds > 0) || !std::isfinite(seconds)) return;
    const auto deadline = cycleStart + duration_cast<steady_clock::duration>(duration<double>(std::min(seconds, 1e9)));
    const auto left = deadline - steady_clock::now();
    if (left <= steady_clock::duration::zero()) return;
    announceWait({RunWait::Kind::Interval, cycleNo(),
                  QDateTime::currentDateTime().addMSecs(duration_cast<milliseconds>(left).count())});
    stop_.sleepUntil(deadline);
    announceWait({});
}

// Before the first cycle: the configuration snapshot, the buffers, "*ESE 255"
// and, when logging, the measurement items.
void Run::startUp() {
    inst_->readConfig(state_.config, request_.invCheckOn);
    snapshotDone_ = true;
    allocateBuffers();
    inst_->enableStatusEvents();
    if (live_.get().log) {
        static const char* const letters[] = {"A", "B", "C", "D"};
        for (size_t k = 0; k < 4; ++k)
            inst_->queryMeasItem(state_.config, QLatin1String(letters[k]), state_.measItems[k]);
        sinks_.each([&](RunSink& s) { s.measItemsRead(state_.measItems); });
    }
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

    bool closing = true;
    QString endStatus;  // the status at the end when it is not the end message
    try {
        try {
            if (connection == Connection::NotThere && !reconnect(openError_, Phase::Start)) throw NeverConnected{};
            // A link lost before the first cycle is connected again (with
            // --reconnect) and the start-up done anew.
            for (;;) {
                try {
                    startUp();
                    break;
                } catch (const LinkError& e) {
                    if (!reconnect(e.text, Phase::StartUp)) throw;
                }
            }
            for (;;) {
                try {
                    oneCycle(*inst_);
                } catch (const LinkError& e) {
                    // With --reconnect the cycle starts again, same number,
                    // once the link is back; otherwise the run ends here.
                    if (!reconnect(e.text, Phase::Cycle)) throw;
                }
            }
        } catch (const RunEnd&) {
            status(kDone);
        } catch (const TriggerStop&) {
        } catch (const RunInterrupted& e) {
            if (e.aborted) throw;
            status(kDone);
        }
    } catch (const RunInterrupted&) {
        // The program is closing: nothing more is sent or written.
        closing = false;
        end.outcome = RunOutcome::Aborted;
    } catch (const NeverConnected&) {
        end.outcome = RunOutcome::ConnectFailed;
        end.message = notConnectedText() + QLatin1Char('\n') +
                      QStringLiteral("(%1 分間接続を試みました)").arg(request_.reconnectMinutes);
        endStatus = openError_;
    } catch (const QuillError& e) {
        end.outcome = RunOutcome::Error;
        end.message = e.text;
    } catch (const qm::NumberOverflow& e) {
        end.outcome = RunOutcome::Error;
        end.message = QStringLiteral("装置の応答を数値に変換できません: %1").arg(QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
        end.outcome = RunOutcome::Error;
        end.message = QStringLiteral("測定中にエラーが発生しました: %1").arg(QString::fromUtf8(e.what()));
    }

    if (closing) {
        if (!end.message.isEmpty()) status(endStatus.isEmpty() ? end.message : endStatus);
        // The closing commands, where they can still be sent. A run whose
        // snapshot failed does not know the trigger mode to restore.
        try {
            if (inst_ && state_.link && !state_.link->lost()) {
                if (!request_.transferOnly && snapshotDone_) inst_->restoreTriggerMode(state_.config.TriggerMode);
                inst_->goLocal();
            }
        } catch (const std::exception&) {
        }
        // Output still unwritten at the end is said in the end message.
        QStringList unwritten;
        sinks_.each([&](RunSink& s) {
            const QString u = s.unwrittenOutput();
            if (!u.isEmpty()) unwritten << u;
        });
        if (!unwritten.isEmpty()) {
            ++writeFailures_;
            end.message = (end.message.isEmpty() ? QString() : end.message + QLatin1Char('\n')) + unwritten.join(QLatin1Char('\n'));
            status(unwritten.join(QLatin1Char('\n')));
        }
    }
    end.writeFailures = writeFailures_;
    end.failedFiles = failedFiles_;
    return end;
}

}  // namespace

QString TcpInterfaceName(const QString& address, quint16 port) {
    if (port == kInstrumentTcpPort) return address;
    const QString a = address.trimmed();
    const bool ipv6 = a.contains(QLatin1Char(':')) && !a.startsWith(QLatin1Char('['));
    return (ipv6 ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2")).arg(a).arg(port);
}

int32_t RepeatCountFrom(const QString& text, bool* limited) {
    double v = qm::LeadingNumber(text);
    if (limited) *limited = false;
    if (v > 10000) {
        v = 10000;
        if (limited) *limited = true;
    }
    if (!(v >= std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return qm::ToInt32(v);
}

double MeasValue(const QString& reply) {
    std::array<QString, 3> item;
    Get_Items(reply, item);
    const auto v = qm::StrictNumber(item[0]);
    if (!v || !std::isfinite(*v)) return NoValue;
    return *v;
}

RunEndInfo RunMeasurement(SessionState& state, const RunRequest& request, LiveSettings& live, Questions& questions,
                          SinkList& sinks, const qm::StopToken& stop) {
    try {
        return Run(state, request, live, questions, sinks, stop).run();
    } catch (const std::exception& e) {
        RunEndInfo end;
        end.outcome = RunOutcome::Error;
        end.message = QStringLiteral("測定中にエラーが発生しました: %1").arg(QString::fromUtf8(e.what()));
        return end;
    } catch (...) {
        RunEndInfo end;
        end.outcome = RunOutcome::Error;
        end.message = QStringLiteral("測定中にエラーが発生しました");
        return end;
    }
}
