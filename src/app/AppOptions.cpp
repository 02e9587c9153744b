#include "app/AppOptions.h"

#include <QDir>
#include <QStandardPaths>

QString AppUsage() {
    return QStringLiteral(
        "Usage: quillmeter [options]\n"
        "  --data-dir DIR     data folder (resume file, BufferFile.bmp, default output folder)\n"
        "  --port N           TCP port of the instrument instead of 5198\n"
        "  --demo             start a simulated instrument on 127.0.0.1 and use it\n"
        "  --waveform         show the waveform export controls and tick CSV波形格納\n"
        "  --autostart        press 測定開始 once the window is up\n"
        "  --transfer-only    with --autostart: press 波形転送 instead (one cycle)\n"
        "  --repeat N         set the repeat count box to N\n"
        "  --assume-yes       answer every OK/Cancel question with OK; failures go to stderr\n"
        "  --exit-after-run   close the window when the started run ends\n"
        "                     (exit code 0 normal, 1 connection failed, 2 error)\n"
        "  --echo-status      print every status text on stdout\n"
        "  --headless         no window (no display needed): run once with the resume file's\n"
        "                     settings; implies --autostart --assume-yes --exit-after-run --echo-status\n"
        "  --help             this text\n");
}

std::optional<AppOptions> ParseAppOptions(const QStringList& args, QString* error) {
    AppOptions o;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const auto value = [&](QString* out) {
            if (i + 1 >= args.size()) {
                if (error) *error = QStringLiteral("%1 needs a value").arg(a);
                return false;
            }
            *out = args[++i];
            return true;
        };
        const auto number = [&](int* out, int lo, int hi) {
            QString v;
            if (!value(&v)) return false;
            bool ok = false;
            const int n = v.toInt(&ok);
            if (!ok || n < lo || n > hi) {
                if (error) *error = QStringLiteral("%1: \"%2\" is not a number from %3 to %4").arg(a, v).arg(lo).arg(hi);
                return false;
            }
            *out = n;
            return true;
        };
        if (a == QLatin1String("--data-dir")) {
            if (!value(&o.dataDir)) return std::nullopt;
        } else if (a == QLatin1String("--port")) {
            if (!number(&o.tcpPort, 1, 65535)) return std::nullopt;
        } else if (a == QLatin1String("--repeat")) {
            if (!number(&o.repeat, 0, 10000)) return std::nullopt;
        } else if (a == QLatin1String("--demo")) o.demo = true;
        else if (a == QLatin1String("--waveform")) o.waveform = true;
        else if (a == QLatin1String("--autostart")) o.autostart = true;
        else if (a == QLatin1String("--transfer-only")) o.transferOnly = true;
        else if (a == QLatin1String("--assume-yes")) o.assumeYes = true;
        else if (a == QLatin1String("--exit-after-run")) o.exitAfterRun = true;
        else if (a == QLatin1String("--echo-status")) o.echoStatus = true;
        else if (a == QLatin1String("--headless")) o.headless = o.autostart = o.assumeYes = o.exitAfterRun = o.echoStatus = true;
        else {
            if (error) *error = a == QLatin1String("--help") ? QString() : QStringLiteral("unknown option %1").arg(a);
            return std::nullopt;
        }
    }
    return o;
}
