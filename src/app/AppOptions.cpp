#include "app/AppOptions.h"

#include "app/BuildInfo.h"
#include "engine/text/FileNames.h"
#include "engine/text/NumText.h"

#include <QCoreApplication>
#include <QDir>
#include <QtGlobal>
#include <cstdio>
#include <QFileInfo>
#if defined(QM_MQTT)
#include "engine/mqtt/MqttAddress.h"
#endif

namespace qm {

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(AppOptions)
};
}  // namespace

QString AppUsage() {
    QString text = QCoreApplication::translate("AppOptions",
        "Usage: quillmeter [options]\n"
        "  --data-dir DIR       data folder (resume file, BufferFile.bmp, default output folder)\n"
        "  --port N             TCP port of the instrument instead of 5198\n"
        "  --address HOST       TCP to HOST (clears USB) for this start\n"
        "  --com N              the serial port COMn, 1 to 16 (ticks USB) for this start\n"
        "  --log, --no-log      tick or clear 自動測定ログ for this start\n"
        "  --screen-save, --no-screen-save  tick or clear DS画面格納 for this start\n"
        "  --screen-show, --no-screen-show  tick or clear DS画面表示 for this start (not with --headless)\n"
        "  --manual, --no-manual            tick or clear マニュアル継続 for this start (not with --headless)\n"
        "  --screen-png         tick 表示にも PNG を使う for this start: the display takes the\n"
        "                       screen as PNG, one transfer a cycle when saving too\n"
        "  --interval SECONDS   繰返間隔(s) for this start\n"
        "  --repeat N           繰返回数 (0 to 10000) for this start\n"
        "  --folder DIR         フォルダ (output folder) for this start\n"
        "  --name HEADER        名称ヘッダ (file-name header) for this start\n"
        "  --demo               start a simulated instrument on 127.0.0.1 and use it for this start\n"
        "  --waveform           show the waveform export controls and tick CSV波形格納\n"
        "  --autostart          press 測定開始 once the window is up\n"
        "  --transfer-only      with --autostart: press 波形転送 instead (one cycle)\n"
        "  --assume-yes         answer every OK/Cancel question with OK; failures go to stderr\n"
        "  --exit-after-run     close the window when the started run ends\n"
        "                       (exit code 0 normal, 1 connection failed, 2 error, 3 a file not written)\n"
        "  --echo-status        print every status text on stdout\n"
        "  --headless           no window (no display needed): one run with the saved settings;\n"
        "                       implies --autostart --assume-yes --exit-after-run --echo-status;\n"
        "                       never asks to continue; must record something (--log, --screen-save\n"
        "                       or --waveform, or saved settings that do)\n"
        "  --overwrite          with --headless: replace per-cycle files of earlier runs\n"
        "  --progress           with --headless: a line per cycle on stderr also when it is no terminal\n"
        "                       (on a terminal one line shows the progress all the time)\n"
        "  --reconnect MINUTES  an instrument lost, or not there at the start, is connected again\n"
        "                       for up to MINUTES minutes\n"
        "  --trend              open the trend window at start\n"
        "  --stats FILE         print the statistics of a log CSV file and exit (with --data-dir only)\n"
        "  --serve [ADDRESS:]PORT  a read-only web page of the run on PORT (0: any free port), on\n"
        "                       127.0.0.1 unless ADDRESS; the page's address is printed once\n"
        "  --serve-token TEXT   the token every web request must give (?token= or Authorization:\n"
        "                       Bearer); on an address that is not loopback one is made if not given\n"
        "  --mqtt URL           publish every logged cycle, the state and the statistics to an MQTT\n"
        "                       broker: mqtt://HOST[:PORT]/PREFIX or mqtts://HOST[:PORT]/PREFIX (TLS);\n"
        "                       records wait on disk in the data folder while the broker is away\n");
#if !defined(QM_MQTT)
    text += QCoreApplication::translate("AppOptions",
        "                       (not in this build: it has no MQTT library, so --mqtt is refused)\n");
#elif defined(_WIN32)
    text += Texts::tr("                       (this Windows build has no TLS: mqtt:// only)\n");
#endif
    text += QCoreApplication::translate("AppOptions",
        "  --mqtt-user NAME     the user name for the broker; the password comes from the environment\n"
        "                       variable QUILLMETER_MQTT_PASSWORD or --mqtt-password-file FILE\n"
        "  --mqtt-ca FILE       mqtts: trust these CA certificates instead of the system's\n"
        "  --station NAME       the bench's name in the topics PREFIX/NAME/... (default: host-header)\n"
        "  --lang ja|en         the language of the texts for this start (without it: the one\n"
        "                       chosen in the window's 設定 menu, else ja); --echo-status follows it\n"
        "  --version            the program's version, its Qt and its commit\n"
        "  --help, -h           this text\n"
        "Qt's own options (-platform NAME, -style NAME ...) are passed to Qt.\n");
    return text;
}

QString AppVersionText() {
    QString qt = QStringLiteral("Qt %1").arg(QLatin1String(qVersion()));
    if (QLatin1String(qVersion()) != QLatin1String(QT_VERSION_STR))
        qt += QStringLiteral(" (built with %1)").arg(QLatin1String(QT_VERSION_STR));
    QString text = QStringLiteral("Quillmeter %1\n%2\n").arg(QLatin1String(QM_PROGRAM_VERSION), qt);
    if (const QLatin1String commit(QM_GIT_COMMIT); !commit.isEmpty()) text += QStringLiteral("commit %1\n").arg(commit);
    return text;
}

int UsageError(const QString& error) {
    const QString hint = Texts::tr("(quillmeter --help lists every option)");
    std::fprintf(stderr, "%s\n%s\n", error.toUtf8().constData(), hint.toUtf8().constData());
    return 64;
}

bool HeadlessRecordsSomething(bool log, bool screenSave, bool waveSave, QString* error) {
    if (log || screenSave || waveSave) return true;
    if (error)
        *error = Texts::tr("--headless: nothing to record (no log, no screen saving, no waveform files): "
                                "give --log, --screen-save or --waveform");
    return false;
}

std::optional<AppOptions> ParseAppOptions(const QStringList& args, QString* error, ParseEnd* end) {
    AppOptions o;
    qm::SettingOverrides& s = o.settings;
    if (end) *end = ParseEnd::Usage;
    const auto fail = [&](const QString& text) {
        if (error) *error = text;
        return std::nullopt;
    };
    const auto finish = [&](ParseEnd how) {
        if (end) *end = how;
        return fail(QString());
    };
    QString runFlag;  // the first option that belongs to a run (not to --stats)
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a.startsWith(QLatin1String("--")) && runFlag.isEmpty() && a != QLatin1String("--stats") &&
            a != QLatin1String("--data-dir") && a != QLatin1String("--lang"))
            runFlag = a;
        QString v;
        const auto value = [&] {
            if (i + 1 >= args.size()) return false;
            v = args[++i];
            return true;
        };
        const auto integer = [&](int lo, int hi, int* out) {
            bool ok = false;
            const int n = v.toInt(&ok);
            if (!ok || n < lo || n > hi) return false;
            *out = n;
            return true;
        };
        const auto needs = [&](const char* what) {
            return fail(Texts::tr("%1: needs %2").arg(a, Texts::tr(what)));
        };
        const auto bad = [&](const char* what) {
            return fail(Texts::tr("%1: \"%2\" is not %3").arg(a, v, Texts::tr(what)));
        };
        // Qt's own options (-platform offscreen, -style fusion ...) are
        // Qt's: QApplication takes them from the command line.
        if (a.startsWith(u'-') && !a.startsWith(QLatin1String("--"))) {
            static const QStringList withValue = {"-platform", "-style", "-stylesheet", "-platformtheme",
                                                  "-platformpluginpath", "-plugin", "-qwindowgeometry",
                                                  "-qwindowtitle", "-qwindowicon", "-display", "-geometry"};
            static const QStringList alone = {"-reverse", "-nograb", "-dograb", "-sync"};
            if (withValue.contains(a)) {
                if (!value()) return needs(QT_TRANSLATE_NOOP("AppOptions", "a value"));
                continue;
            }
            if (alone.contains(a)) continue;
        }
        if (a == QLatin1String("--data-dir")) {
            if (!value() || v.isEmpty()) return needs(QT_TRANSLATE_NOOP("AppOptions", "a folder"));
            o.dataDir = v;
        } else if (a == QLatin1String("--port")) {
            if (!value()) return needs(QT_TRANSLATE_NOOP("AppOptions", "a number"));
            if (!integer(1, 65535, &o.tcpPort)) return bad(QT_TRANSLATE_NOOP("AppOptions", "a port number from 1 to 65535"));
        } else if (a == QLatin1String("--repeat")) {
            int n = 0;
            if (!value()) return needs(QT_TRANSLATE_NOOP("AppOptions", "a number"));
            if (!integer(0, 10000, &n)) return bad(QT_TRANSLATE_NOOP("AppOptions", "a number from 0 to 10000"));
            s.repeat = QString::number(n);
        } else if (a == QLatin1String("--interval")) {
            if (!value()) return needs(QT_TRANSLATE_NOOP("AppOptions", "seconds"));
            const auto secs = qm::StrictNumber(v);
            if (!secs || *secs < 0 || *secs > 1e7) return bad(QT_TRANSLATE_NOOP("AppOptions", "a number of seconds"));
            s.interval = v.trimmed();
        } else if (a == QLatin1String("--com")) {
            int n = 0;
            if (!value()) return needs(QT_TRANSLATE_NOOP("AppOptions", "a port number"));
            if (!integer(1, 16, &n)) return bad(QT_TRANSLATE_NOOP("AppOptions", "a COM port number from 1 to 16"));
            s.com = n;
        } else if (a == QLatin1String("--address")) {
            if (!value() || v.trimmed().isEmpty()) return needs(QT_TRANSLATE_NOOP("AppOptions", "a host"));
            s.address = v.trimmed();
        } else if (a == QLatin1String("--folder")) {
            if (!value() || v.isEmpty()) return needs(QT_TRANSLATE_NOOP("AppOptions", "a folder"));
            if (const QString why = qm::FolderProblem(QDir::toNativeSeparators(v)); !why.isEmpty())
                return fail(Texts::tr("%1: \"%2\" is not a usable folder (%3)").arg(a, qm::ShownText(v), why));
            s.folder = QDir::toNativeSeparators(v);
        } else if (a == QLatin1String("--name")) {
            if (!value() || v.isEmpty()) return needs(QT_TRANSLATE_NOOP("AppOptions", "a file-name header"));
            if (const QString why = qm::HeaderProblem(v); !why.isEmpty())
                return fail(Texts::tr("%1: \"%2\" is not a file-name header (%3)").arg(a, qm::ShownText(v), why));
            s.header = v;
        } else if (a == QLatin1String("--reconnect")) {
            if (!value()) return needs(QT_TRANSLATE_NOOP("AppOptions", "minutes"));
            const auto m = qm::StrictNumber(v);
            if (!m || !(*m > 0) || *m > 1e6) return bad(QT_TRANSLATE_NOOP("AppOptions", "a number of minutes above 0"));
            o.reconnectMinutes = *m;
        } else if (a == QLatin1String("--serve")) {
            if (!value()) return needs(QT_TRANSLATE_NOOP("AppOptions", "[ADDRESS:]PORT"));
            if (!ParseServeAddress(v, &o.web, nullptr)) return bad(QT_TRANSLATE_NOOP("AppOptions", "[ADDRESS:]PORT (an IP address and a port from 0 to 65535)"));
            o.serve = true;
        } else if (a == QLatin1String("--serve-token")) {
            if (!value() || v.isEmpty()) return needs(QT_TRANSLATE_NOOP("AppOptions", "a text"));
            o.web.token = v;
        } else if (a == QLatin1String("--mqtt") || a == QLatin1String("--mqtt-user") || a == QLatin1String("--mqtt-ca") ||
                   a == QLatin1String("--mqtt-password-file") || a == QLatin1String("--station")) {
#if !defined(QM_MQTT)
            return fail(Texts::tr("%1: this build of Quillmeter has no MQTT (it was built without libmosquitto)").arg(a));
#else
            if (!value() || v.isEmpty()) return needs(a == QLatin1String("--mqtt") ? "mqtt://HOST[:PORT]/PREFIX"
                                                  : a.endsWith(QLatin1String("user")) || a == QLatin1String("--station")
                                                      ? QT_TRANSLATE_NOOP("AppOptions", "a name")
                                                      : QT_TRANSLATE_NOOP("AppOptions", "a file"));
            if (a == QLatin1String("--mqtt")) {
                QString why;
                if (!qm::ParseMqttAddress(v, &why)) return fail(QStringLiteral("%1: %2").arg(a, why));
                o.mqtt = v;
            } else if (a == QLatin1String("--mqtt-user")) {
                o.mqttUser = v;
            } else if (a == QLatin1String("--station")) {
                o.station = v;
            } else {
                const QFileInfo f(v);
                if (!f.isFile() || !f.isReadable()) return fail(Texts::tr("%1: \"%2\" is not a readable file").arg(a, qm::ShownText(v)));
                (a == QLatin1String("--mqtt-ca") ? o.mqttCaFile : o.mqttPasswordFile) = v;
            }
#endif
        } else if (a == QLatin1String("--stats")) {
            if (!value()) return needs(QT_TRANSLATE_NOOP("AppOptions", "a log file"));
            o.statsFile = v;
        } else if (a == QLatin1String("--log")) s.log = true;
        else if (a == QLatin1String("--no-log")) s.log = false;
        else if (a == QLatin1String("--screen-save")) s.screenSave = true;
        else if (a == QLatin1String("--no-screen-save")) s.screenSave = false;
        else if (a == QLatin1String("--screen-show")) s.screenShow = true;
        else if (a == QLatin1String("--no-screen-show")) s.screenShow = false;
        else if (a == QLatin1String("--screen-png")) o.screenPng = true;
        else if (a == QLatin1String("--manual")) s.manual = true;
        else if (a == QLatin1String("--no-manual")) s.manual = false;
        else if (a == QLatin1String("--demo")) o.demo = true;
        else if (a == QLatin1String("--waveform")) o.waveform = true;
        else if (a == QLatin1String("--autostart")) o.autostart = true;
        else if (a == QLatin1String("--transfer-only")) o.transferOnly = true;
        else if (a == QLatin1String("--assume-yes")) o.assumeYes = true;
        else if (a == QLatin1String("--exit-after-run")) o.exitAfterRun = true;
        else if (a == QLatin1String("--echo-status")) o.echoStatus = true;
        else if (a == QLatin1String("--headless")) o.headless = o.autostart = o.assumeYes = o.exitAfterRun = o.echoStatus = true;
        else if (a == QLatin1String("--overwrite")) o.overwrite = true;
        else if (a == QLatin1String("--trend")) o.trend = true;
        else if (a == QLatin1String("--progress")) o.progress = true;
        else if (a == QLatin1String("--help") || a == QLatin1String("-h")) return finish(ParseEnd::Help);
        else if (a == QLatin1String("--version")) return finish(ParseEnd::Version);
        else if (a == QLatin1String("--lang")) {
            if (!value()) return needs("ja|en");
            if (v != QLatin1String("ja") && v != QLatin1String("en")) return bad(QT_TRANSLATE_NOOP("AppOptions", "ja or en"));
            o.language = v;
        }
        else return fail(Texts::tr("%1: unknown option").arg(a));
    }
    // --stats reads a log file and starts nothing: a flag of a run with it
    // would be ignored silently.
    if (!o.statsFile.isEmpty() && !runFlag.isEmpty())
        return fail(Texts::tr("--stats: cannot be combined with %1 (--stats only reads a log file)").arg(runFlag));
    // A flag that only means something with another is never ignored silently.
    if (o.progress && !o.headless) return fail(Texts::tr("--progress: only with --headless"));
    if (o.overwrite && !o.headless) return fail(Texts::tr("--overwrite: only with --headless (the window asks)"));
    if (o.transferOnly && !o.autostart) return fail(Texts::tr("--transfer-only: only with --autostart"));
    if (!o.web.token.isEmpty() && !o.serve) return fail(Texts::tr("--serve-token: only with --serve"));
    // A headless run has no window and nobody to answer.
    if (o.headless && s.manual.value_or(false))
        return fail(Texts::tr("--manual: a --headless run never asks to continue (it waits for the interval)"));
    if (o.headless && s.screenShow.value_or(false))
        return fail(Texts::tr("--screen-show: a --headless run shows no screen (--screen-save saves it)"));
    if (o.headless && o.screenPng)
        return fail(Texts::tr("--screen-png: a --headless run shows no screen (the images it saves are PNG)"));
#if defined(QM_MQTT)
    if (!o.mqttCaFile.isEmpty() && !o.mqtt.isEmpty() && !o.mqtt.startsWith(QLatin1String("mqtts://"), Qt::CaseInsensitive))
        return fail(Texts::tr("--mqtt-ca: the broker's address is not mqtts://"));
#endif
    if (end) *end = ParseEnd::Run;
    return o;
}

}  // namespace qm
