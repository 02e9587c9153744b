#include "app/Headless.h"
#include "app/Console.h"
#include "app/HeadlessConsole.h"
#include "app/Outputs.h"

#include "app/Signals.h"
#include "engine/output/FileSinks.h"
#include "engine/run/Questions.h"
#include "engine/run/Session.h"
#include "engine/settings/ResumeSettings.h"
#include "engine/stats/StatsCsv.h"
#include "engine/stats/TrendLimits.h"
#include "engine/stats/TrendLog.h"
#include "sim/SimInstrument.h"
#include "sim/SimTcpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

// The headless run's questions: every question OK, no retry of a failed
// connection, messages through the console (so they do not run into the
// progress line).
class ConsoleQuestions : public AutoQuestions {
public:
    explicit ConsoleQuestions(qm::HeadlessConsole& console) : console_(console) {}
    bool askRetryConnect(const QString& text, const qm::StopToken&) override {
        console_.message(text);
        return false;
    }
    void notify(const QString& text) override { console_.message(text); }

private:
    qm::HeadlessConsole& console_;
};

}  // namespace

int RunHeadless(const AppOptions& options) {
    const QString dir = options.dataDir.isEmpty() ? DefaultDataDir() : options.dataDir;
    QDir().mkpath(dir);
    const QString appFolder = QDir::toNativeSeparators(QDir(dir).absolutePath());
    QDir::setCurrent(appFolder);
    QDir(appFolder).mkpath(QStringLiteral("Data"));

    ResumeSettings s;
    const QString resumeFile = ResumeFileName(appFolder);
    // A damaged resume file is copied aside before anything may replace it.
    const DamagedResume damaged = KeepDamagedResumeFile(resumeFile, LoadResumeFile(resumeFile, s));
    if (!damaged.warning.isEmpty()) std::fprintf(stderr, "%s\n", damaged.warning.toUtf8().constData());
    ApplyStartDefaults(s, appFolder, options.waveform);
    const ResumeSettings saved = s;
    // The settings given for this start; --demo adds the simulator's address.
    SettingOverrides given = options.settings;
    given.applyTo(s);

    // A run with nothing to record would only cost time: refused before
    // anything starts.
    if (QString error; !HeadlessRecordsSomething(s.logOn == 1, s.screenSave == 1, s.waveSave == 1, &error))
        return UsageError(error);

    const qm::HeadlessConsole::Progress progress = StderrIsTerminal() ? qm::HeadlessConsole::Progress::Live
                                                   : options.progress ? qm::HeadlessConsole::Progress::Lines
                                                                      : qm::HeadlessConsole::Progress::None;
    qm::HeadlessConsole console(progress, stdout, stderr, StderrColumns());
    // Nobody is there to answer "次の測定の準備をして下さい!": the interval applies.
    if (s.manual == 1)
        console.message(QStringLiteral("マニュアル継続は --headless では使いません: 繰返間隔 (%1 s) で続けます").arg(s.interval));

    quint16 port = quint16(options.tcpPort);
    std::unique_ptr<qmsim::SimInstrument> sim;
    std::unique_ptr<qmsim::SimTcpServer> server;
    if (options.demo) {
        sim = std::make_unique<qmsim::SimInstrument>();
        server = std::make_unique<qmsim::SimTcpServer>(sim.get());
        if (server->listen(QHostAddress::LocalHost, 0)) {
            // For this start only, as --address: the saved interface stays.
            port = server->port();
            given.com.reset();
            given.address = QStringLiteral("127.0.0.1");
            given.applyTo(s);
            console.status(QStringLiteral("模擬装置: 127.0.0.1:%1").arg(port));
        } else {
            // Not the saved instrument instead: the run was meant for the simulator.
            console.message(QStringLiteral("模擬装置を開始できません: %1").arg(server->errorString()));
            return 1;
        }
    }

    Outputs outputs;
    Session session;
    outputs.attach(session, options, appFolder, true);
    ConsoleQuestions questions(console);

    LiveValues live;
    live.log = s.logOn == 1;
    live.waveSave = s.waveSave == 1;
    live.screenShow = false;  // no window to show it in
    live.screenSave = s.screenSave == 1;
    live.manual = false;
    live.intervalText = s.interval;
    live.folder = s.folder;
    live.header = s.header;
    session.live().set(live);

    RunRequest request;
    request.serial = s.usbCheck == 1;
    request.address = s.ipAddress;
    request.tcpPort = port;
    request.comText = s.comIndex >= 0 ? QStringLiteral("COM%1").arg(s.comIndex + 1) : QString();
    request.transferOnly = options.transferOnly;
    request.repeatText = s.repeat;
    request.invCheckOn = s.invCheck == 1;
    request.dataFolder = appFolder;
    request.refuseOverwrite = !options.overwrite;
    request.reconnectMinutes = options.reconnectMinutes;

    // The run's statistics, printed at its end as --stats prints a log's.
    TrendLog stats;
    stats.setAllLimits(LoadTrendLimits(appFolder));
    bool started = false;
    QObject::connect(&session, &Session::runStarted, &session, [&](const RunStartInfo& info) {
        started = true;
        console.runStarted(info);
    });
    QObject::connect(&session, &Session::measItemsRead, &session, [&](const MeasItemArray& items) {
        stats.setItems(items);
        console.itemsRead(items);
    });
    QObject::connect(&session, &Session::cycleLogged, &session, [&](const CycleRecord& r) {
        stats.add(r);
        console.cycleLogged(r);
    });
    QObject::connect(&session, &Session::cycleNumberChanged, &session, [&](int next) { console.cycleDone(next); });
    QObject::connect(&session, &Session::waitChanged, &session, [&](const RunWait& w) { console.waitChanged(w); });
    QTimer clock;
    if (progress == qm::HeadlessConsole::Progress::Live) {
        QObject::connect(&clock, &QTimer::timeout, &session, [&] { console.tick(); });
        clock.start(1000);
    }

    int code = 0;
    QObject::connect(&session, &Session::statusChanged, &session, [&](const QString& t) { console.status(t); });
    QObject::connect(&session, &Session::repeatCountLimited, &session, [&](const QString& t) { s.repeat = t; });
    QObject::connect(&session, &Session::runFinished, &session, [&](const RunEndInfo& end) {
        clock.stop();
        console.finish();
        if (!end.message.isEmpty()) console.message(end.message);
        code = ExitCodeFor(end.outcome, end.writeFailures > 0);
        // A run that never reached the instrument has no statistics.
        if (started && end.outcome != RunOutcome::ConnectFailed) {
            std::fprintf(stdout, "%s", StatsCsvText(stats, QStringLiteral("\n")).toUtf8().constData());
            std::fflush(stdout);
        }
        QCoreApplication::exit(code);
    });
    // SIGINT/SIGTERM: the first stops the run, the second ends at once.
    int presses = 0;
    WatchStopSignals([&] {
        if (++presses == 1) session.stop();
        else QCoreApplication::exit(code);
    });

    if (!session.start(request, questions)) return 2;
    QCoreApplication::exec();
    console.finish();
    session.shutdown();
    outputs.finish();
    ResumeSettings toSave = s;
    given.revert(toSave, saved);
    const QString error = damaged.mayReplace ? SaveResumeFile(resumeFile, toSave) : QStringLiteral("壊れたファイルの控えがありません");
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n",
                     QStringLiteral("設定ファイル %1 を保存できません: %2")
                         .arg(QDir::toNativeSeparators(resumeFile), error)
                         .toUtf8()
                         .constData());
        if (code == 0) code = 3;
    }
    return code;
}
