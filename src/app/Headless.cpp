#include "app/Headless.h"
#include "app/Outputs.h"

#include "app/Signals.h"
#include "engine/output/FileSinks.h"
#include "engine/run/Questions.h"
#include "engine/run/Session.h"
#include "engine/settings/ProgramSettings.h"
#include "engine/settings/ResumeSettings.h"
#include "engine/stats/StatsCsv.h"
#include "engine/stats/TrendLimits.h"
#include "engine/stats/TrendLog.h"
#include "sim/SimInstrument.h"
#include "sim/SimTcpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <memory>

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
    options.settings.applyTo(s);

    const auto print = [](const QString& text) {
        std::fprintf(stdout, "%s\n", text.toUtf8().constData());
        std::fflush(stdout);
    };

    quint16 port = quint16(options.tcpPort);
    std::unique_ptr<qmsim::SimInstrument> sim;
    std::unique_ptr<qmsim::SimTcpServer> server;
    if (options.demo) {
        sim = std::make_unique<qmsim::SimInstrument>();
        server = std::make_unique<qmsim::SimTcpServer>(sim.get());
        if (server->listen(QHostAddress::LocalHost, 0)) {
            port = server->port();
            s.usbCheck = 0;
            s.ipAddress = QStringLiteral("127.0.0.1");
            print(QStringLiteral("模擬装置: 127.0.0.1:%1").arg(port));
        } else {
            print(QStringLiteral("模擬装置を開始できません"));
        }
    }

    Outputs outputs;
    Session session;
    outputs.attach(session, options, appFolder, true);
    AutoQuestions questions;

    LiveValues live;
    live.log = s.logOn == 1;
    live.waveSave = s.waveSave == 1;
    live.screenShow = s.screenShow == 1;
    live.screenSave = s.screenSave == 1;
    live.manual = s.manual == 1;
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
    request.screenPngForDisplay = options.screenPng || qm::LoadProgramSettings(appFolder).screenPngForDisplay;

    // The run's statistics, printed at its end as --stats prints a log's.
    TrendLog stats;
    stats.setAllLimits(LoadTrendLimits(appFolder));
    QObject::connect(&session, &Session::measItemsRead, &session, [&](const MeasItemArray& items) { stats.setItems(items); });
    QObject::connect(&session, &Session::cycleLogged, &session, [&](const CycleRecord& r) { stats.add(r); });

    int code = 0;
    QObject::connect(&session, &Session::statusChanged, &session, print);
    QObject::connect(&session, &Session::repeatCountLimited, &session, [&](const QString& t) { s.repeat = t; });
    QObject::connect(&session, &Session::runFinished, &session, [&](const RunEndInfo& end) {
        if (!end.message.isEmpty()) std::fprintf(stderr, "%s\n", end.message.toUtf8().constData());
        code = ExitCodeFor(end.outcome, end.writeFailures > 0);
        std::fprintf(stdout, "%s", StatsCsvText(stats, QStringLiteral("\n")).toUtf8().constData());
        std::fflush(stdout);
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
    session.shutdown();
    outputs.finish();
    ResumeSettings toSave = s;
    options.settings.revert(toSave, saved);
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
