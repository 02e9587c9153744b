// Quillmeter: logs an oscilloscope's automatic measurements over many
// repetitions.
#include "app/AppOptions.h"
#include "app/Console.h"
#include "app/Headless.h"
#include "app/Outputs.h"
#include "app/Signals.h"
#include "engine/output/FileSinks.h"
#include "engine/run/Session.h"
#include "engine/stats/StatsCsv.h"
#include "engine/stats/TrendLimits.h"
#include "sim/SimInstrument.h"
#include "sim/SimTcpServer.h"
#include "view/JapaneseFont.h"
#include "view/MainForm.h"
#include "view/QtTranslations.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

int RunWindow(int argc, char** argv, const AppOptions& options) {
    if (!options.echoStatus && !options.assumeYes) ReleaseOwnConsole();
    QApplication app(argc, argv);
    UseJapaneseUiFont(app);
    if (const QString error = InstallQtTranslations(app, QStringLiteral("ja")); !error.isEmpty())
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
    QApplication::setApplicationName(QStringLiteral("Quillmeter"));
    QApplication::setQuitOnLastWindowClosed(false);
    // The program's icon in every size the build made from packaging/quillmeter.svg;
    // the menu entry of that name gives it on Wayland.
    QIcon icon;
    for (const QFileInfo& file : QDir(QStringLiteral(":/quillmeter/icon")).entryInfoList(QDir::Files))
        icon.addFile(file.filePath());
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quillmeter.Quillmeter"));

    Outputs outputs;
    Session session;
    outputs.attach(session, options, options.dataDir.isEmpty() ? DefaultDataDir() : options.dataDir, false);

    auto form = std::make_unique<MainForm>(session, options);
    std::unique_ptr<qmsim::SimInstrument> sim;
    std::unique_ptr<qmsim::SimTcpServer> server;
    if (options.demo) {
        sim = std::make_unique<qmsim::SimInstrument>();
        server = std::make_unique<qmsim::SimTcpServer>(sim.get());
        if (server->listen(QHostAddress::LocalHost, 0)) form->UseDemoInstrument(server->port());
        else form->ShowStatusText(QStringLiteral("模擬装置を開始できません: %1").arg(server->errorString()));
    }
    if (outputs.web.running()) form->ShowStatusText(QStringLiteral("ウェブ表示: %1").arg(outputs.web.url()));
    outputs.showStatus = [f = form.get()](const QString& text) { f->ShowStatusText(text); };
    form->show();
    MainForm* f = form.get();

    // SIGINT/SIGTERM: the first presses the stop button during a run (or
    // closes the window when idle), the second closes the window.
    int presses = 0;
    WatchStopSignals([f, &presses] {
        if (++presses == 1 && f->RunActive()) f->StopRun();
        else f->close();
    });
    if (options.exitAfterRun)
        QObject::connect(f, &MainForm::RunFinished, f, [f](RunOutcome) { QTimer::singleShot(0, f, [f] { f->close(); }); });
    if (options.autostart)
        QTimer::singleShot(0, f, [f, transferOnly = options.transferOnly] {
            if (transferOnly) f->StartTransferOnly();
            else f->StartRun();
        });

    const int code = app.exec();
    outputs.showStatus = nullptr;
    form.reset();
    session.shutdown();
    outputs.finish();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    UseUtf8Console();
    const QStringList args = ProgramArguments(argc, argv);
    QString error;
    ParseEnd end = ParseEnd::Run;
    const auto options = ParseAppOptions(args, &error, &end);
    if (!options) {
        if (end == ParseEnd::Help || end == ParseEnd::Version) {
            std::fprintf(stdout, "%s", (end == ParseEnd::Help ? AppUsage() : AppVersionText()).toUtf8().constData());
            return 0;
        }
        return UsageError(error);
    }
    if (!options->statsFile.isEmpty()) {
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        const QString dir = options->dataDir.isEmpty() ? DefaultDataDir() : options->dataDir;
        return PrintLogStatistics(options->statsFile, out, err, LoadTrendLimits(dir));
    }
    if (options->headless) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Quillmeter"));
        return RunHeadless(*options);
    }
    return RunWindow(argc, argv, *options);
}
