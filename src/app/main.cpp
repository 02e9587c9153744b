// Quillmeter: logs an oscilloscope's automatic measurements over many
// repetitions.
#include "app/AppOptions.h"
#include "app/Console.h"
#include "app/Headless.h"
#include "app/Language.h"
#include "app/Outputs.h"
#include "app/Signals.h"
#include "app/Startup.h"
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
#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <memory>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(main)
};
}  // namespace

namespace {

using namespace qm;

void SayInstallError(const QString& error) {
    if (!error.isEmpty()) std::fprintf(stderr, "%s\n", error.toUtf8().constData());
}

int RunWindow(int argc, char** argv, const AppOptions& options, const QString& language) {
    if (!options.echoStatus && !options.assumeYes) ReleaseOwnConsole();
    QApplication app(argc, argv);
    UseJapaneseUiFont(app);
    SayInstallError(InstallLanguage(app, language, true));
    QApplication::setApplicationName(QStringLiteral("Quillmeter"));
    QApplication::setQuitOnLastWindowClosed(false);
    // The program's icon in every size the build made from packaging/quillmeter.svg;
    // the menu entry of that name gives it on Wayland.
    QIcon icon;
    for (const QFileInfo& file : QDir(QStringLiteral(":/quillmeter/icon")).entryInfoList(QDir::Files))
        icon.addFile(file.filePath());
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quillmeter.Quillmeter"));

    Startup startup(options);
    Outputs outputs;
    Session session;
    outputs.attach(session, options, startup.dataFolder(), false);

    // --demo: the simulated instrument for this start only.
    std::unique_ptr<qmsim::SimInstrument> sim;
    std::unique_ptr<qmsim::SimTcpServer> server;
    QString demoStatus;
    if (options.demo) {
        sim = std::make_unique<qmsim::SimInstrument>();
        server = std::make_unique<qmsim::SimTcpServer>(sim.get());
        if (server->listen(QHostAddress::LocalHost, 0)) {
            startup.useDemoInstrument(server->port());
            demoStatus = Startup::demoStatus(server->port());
        } else {
            demoStatus = Texts::tr("模擬装置を開始できません: %1").arg(server->errorString());
        }
    }

    ViewOptions viewOptions = startup.viewOptions();
    viewOptions.language = language;
    auto form = std::make_unique<MainForm>(session, viewOptions, startup.viewSettings());
    MainForm* f = form.get();
    f->setSettingsSaver([&startup](const ViewSettings& now) { return startup.saveAtClose(now); });
    if (const QString& warning = startup.resumeWarning(); !warning.isEmpty()) {
        f->showStatusText(warning);
        if (options.assumeYes) std::fprintf(stderr, "%s\n", warning.toUtf8().constData());
    }
    if (!demoStatus.isEmpty()) f->showStatusText(demoStatus);
    if (outputs.web.running()) f->showStatusText(Texts::tr("ウェブ表示: %1").arg(outputs.web.url()));
    if (!outputs.webError.isEmpty()) f->showStatusText(outputs.webError);
    outputs.showStatus = [f](const QString& text) { f->showStatusText(text); };
    f->show();

    // Closing the window ends the program with the exit code it had then.
    QObject::connect(f, &MainForm::closed, f, [f] {
        const int code = f->exitCode();
        QTimer::singleShot(0, qApp, [code] { QCoreApplication::exit(code); });
    });
    // SIGINT/SIGTERM: the first presses the stop button during a run (or
    // closes the window when idle), the second closes the window.
    StopSignals stopSignals;
    int presses = 0;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, f, [f, &presses] {
        if (++presses == 1 && f->runActive()) f->stopRun();
        else f->close();
    });
    if (options.exitAfterRun)
        QObject::connect(f, &MainForm::runFinished, f, [f](RunOutcome) { QTimer::singleShot(0, f, [f] { f->close(); }); });
    if (options.autostart)
        QTimer::singleShot(0, f, [f, transferOnly = options.transferOnly] {
            if (transferOnly) f->startTransferOnly();
            else f->startRun();
        });

    const int code = app.exec();
    outputs.showStatus = nullptr;
    form.reset();
    qm::EndSessionOrExit(session, code);
    outputs.finish();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    const qm::Utf8Console console;
    const QStringList args = qm::ProgramArguments(argc, argv);
    // The language (--lang, else the window's choice, else Japanese) speaks
    // from the first text on: --help and usage errors included.
    const QString language = qm::LanguageOfStart(args);
    QString error;
    ParseEnd end = ParseEnd::Run;
    std::optional<AppOptions> options;
    {
        QCoreApplication texts(argc, argv);
        SayInstallError(InstallLanguage(texts, language, false));
        options = ParseAppOptions(args, &error, &end);
        if (!options) {
            if (end == ParseEnd::Help || end == ParseEnd::Version) {
                std::fprintf(stdout, "%s", (end == ParseEnd::Help ? AppUsage() : AppVersionText()).toUtf8().constData());
                return 0;
            }
            return UsageError(error);
        }
    }
    if (!options->statsFile.isEmpty()) {
        QCoreApplication app(argc, argv);
        SayInstallError(InstallLanguage(app, language, false));
        QTextStream out(stdout);
        QTextStream err(stderr);
        const QString dir = options->dataDir.isEmpty() ? qm::DefaultDataDir() : options->dataDir;
        return PrintLogStatistics(options->statsFile, out, err, LoadTrendLimits(dir));
    }
    if (options->headless) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Quillmeter"));
        SayInstallError(InstallLanguage(app, language, false));
        return qm::RunHeadless(*options);
    }
    return RunWindow(argc, argv, *options, language);
}
