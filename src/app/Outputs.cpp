#include "app/Outputs.h"

#include "engine/run/Session.h"

#include <cstdio>

void Outputs::attach(Session& session, const AppOptions& options, const QString& dataFolder, bool sayAddress) {
    session.addSink(&screenFiles);
    session.addSink(&waveFiles);
    session.addSink(&logFile);
    session.addSink(&events);
    if (!options.serve) return;
    const QString error = web.start(options.web);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "--serve: %s\n", error.toUtf8().constData());
        return;
    }
    web.setDataFolder(dataFolder);
    web.watch(&session.live());
    session.addSink(&web);
    if (!sayAddress) return;
    std::fprintf(stdout, "%s\n", QStringLiteral("ウェブ表示: %1").arg(web.url()).toUtf8().constData());
    std::fflush(stdout);
}

void Outputs::finish() {
    if (!web.running()) return;
    web.finishStreams(FinishMs);
    web.stop();
}
