#pragma once
// A session wired to the simulated instrument on loopback TCP, with the file
// sinks, scripted answers to its questions and a record of its status texts.
#include "engine/output/FileSinks.h"
#include "engine/run/Session.h"
#include "support/SimLink.h"

#include <QDir>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTemporaryDir>

struct RunRig {
    qmsim::SimInstrument sim;
    qmsim::SimTcpServer server{&sim};
    ScriptedQuestions ask;
    QTemporaryDir dir;
    QStringList statuses;
    QList<CycleRecord> records;
    ScreenFileSink screens;
    WaveCsvSink waves;
    LogCsvSink logFile;
    EventLogSink events;
    Session session;
    RunRequest request;
    RunEndInfo end;
    QStringList progress;

    explicit RunRig(bool listen = true) {
        if (listen) server.listen(QHostAddress::LocalHost, 0);
        session.addSink(&screens);
        session.addSink(&waves);
        session.addSink(&logFile);
        session.addSink(&events);
        QObject::connect(&session, &Session::statusChanged, &session, [this](const QString& t) { statuses << t; });
        QObject::connect(&session, &Session::cycleLogged, &session, [this](const CycleRecord& r) { records << r; });
        request.address = QStringLiteral("127.0.0.1");
        request.tcpPort = listen ? server.port() : 1;
        request.repeatText = QStringLiteral("2");
        request.dataFolder = dir.path();
        live([&](LiveValues& v) {
            v.intervalText = QStringLiteral("0");
            v.folder = QDir::toNativeSeparators(dir.path());  // as the window hands it over
            v.header = QStringLiteral("Sample");
        });
        sim.config().triggerPolls = 1;  // the second poll after arming sees the trigger
    }
    template <typename F>
    void live(F&& change) {
        session.live().update(change);
    }
    // Starts a run and waits until it has ended.
    RunOutcome run() {
        QSignalSpy finished(&session, &Session::runFinished);
        if (!session.start(request, ask)) return RunOutcome::Error;
        // A run that ends at once may have finished before the wait begins.
        if (finished.isEmpty() && !finished.wait(30000)) return RunOutcome::Aborted;
        end = finished.first().first().value<RunEndInfo>();
        return end.outcome;
    }
    // The commands of the run after the configuration snapshot.
    QStringList runCommands() const { return From(sim.received(), QStringLiteral("*ESE 255")); }
    // A file of the output folder, named as the run names it (native separators).
    QString file(const QString& name) const { return QDir::toNativeSeparators(dir.filePath(name)); }
};
