#include "app/Headless.h"
#include "app/Console.h"
#include "app/HeadlessConsole.h"
#include "app/Outputs.h"

#include "app/Signals.h"
#include "app/Startup.h"
#include "engine/output/FileSinks.h"
#include "engine/run/Questions.h"
#include "engine/run/Session.h"
#include "engine/stats/StatsCsv.h"
#include "engine/stats/TrendLimits.h"
#include "engine/stats/TrendLog.h"
#include "sim/SimInstrument.h"
#include "sim/SimTcpServer.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <memory>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(Headless)
};
}  // namespace

namespace qm {

namespace {

// The headless run's questions: every question OK, no retry of a failed
// connection, messages through the console (so they do not run into the
// progress line).
class ConsoleQuestions : public AutoQuestions {
public:
    explicit ConsoleQuestions(HeadlessConsole& console) : console_(console) {}
    bool askRetryConnect(const QString& text, const qm::StopToken&) override {
        console_.message(text);
        return false;
    }
    void notify(const QString& text) override { console_.message(text); }

private:
    HeadlessConsole& console_;
};

}  // namespace

int RunHeadless(const AppOptions& options) {
    Startup startup(options);
    // A damaged resume file was copied aside before anything may replace it.
    if (!startup.resumeWarning().isEmpty()) std::fprintf(stderr, "%s\n", startup.resumeWarning().toUtf8().constData());
    ResumeSettings now = startup.settings();

    // A run with nothing to record would only cost time: refused before
    // anything starts.
    if (QString error; !HeadlessRecordsSomething(now.logOn, now.screenSave, now.waveSave, &error))
        return UsageError(error);

    const HeadlessConsole::Progress progress = StderrIsTerminal() ? HeadlessConsole::Progress::Live
                                               : options.progress ? HeadlessConsole::Progress::Lines
                                                                  : HeadlessConsole::Progress::None;
    HeadlessConsole console(progress, stdout, stderr, StderrColumns());
    // Nobody is there to answer "次の測定の準備をして下さい!": the interval applies.
    if (now.manual)
        console.message(Texts::tr("マニュアル継続は --headless では使いません: 繰返間隔 (%1 s) で続けます").arg(now.interval));

    std::unique_ptr<qmsim::SimInstrument> sim;
    std::unique_ptr<qmsim::SimTcpServer> server;
    if (options.demo) {
        sim = std::make_unique<qmsim::SimInstrument>();
        server = std::make_unique<qmsim::SimTcpServer>(sim.get());
        if (!server->listen(QHostAddress::LocalHost, 0)) {
            // Not the saved instrument instead: the run was meant for the simulator.
            console.message(Texts::tr("模擬装置を開始できません: %1").arg(server->errorString()));
            return 1;
        }
        startup.useDemoInstrument(server->port());
        console.status(Startup::demoStatus(server->port()));
    }

    Outputs outputs;
    Session session;
    outputs.attach(session, options, startup.dataFolder(), true);
    ConsoleQuestions questions(console);
    session.live().set(startup.headlessLiveValues());

    // The run's statistics, printed at its end as --stats prints a log's.
    TrendLog stats;
    stats.setAllLimits(LoadTrendLimits(startup.dataFolder()));
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
    if (progress == HeadlessConsole::Progress::Live) {
        QObject::connect(&clock, &QTimer::timeout, &session, [&] { console.tick(); });
        clock.start(1000);
    }

    int code = 0;
    QObject::connect(&session, &Session::statusChanged, &session, [&](const QString& t) { console.status(t); });
    QObject::connect(&session, &Session::repeatCountLimited, &session, [&](const QString& t) { now.repeat = t; });
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
    StopSignals stopSignals;
    int presses = 0;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &session, [&] {
        if (++presses == 1) session.stop();
        else QCoreApplication::exit(code);
    });

    if (!session.start(startup.headlessRequest(), questions)) return 2;
    QCoreApplication::exec();
    console.finish();
    qm::EndSessionOrExit(session, code);
    // After a second press the loop ended before the run's end came: it is
    // taken now, so that the exit code and the statistics say how the run
    // ended (files not written: 3), never a plain 0.
    QCoreApplication::sendPostedEvents(&session, QEvent::MetaCall);
    outputs.finish();
    if (const QString error = startup.saveResume(now); !error.isEmpty()) {
        console.message(error);
        if (code == 0) code = 3;
    }
    return code;
}

}  // namespace qm
