#include "app/Startup.h"

#include "app/BuildInfo.h"

#include "engine/run/Session.h"
#include "engine/settings/DataFolder.h"

#include <QCoreApplication>
#include <QDir>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(Startup)
};
}  // namespace

namespace qm {

Startup::Startup(const AppOptions& options) : options_(options) {
    // A relative --data-dir is the one path taken from the current folder.
    const QString dir = options.dataDir.isEmpty() ? DefaultDataDir() : options.dataDir;
    QDir().mkpath(dir);
    dataFolder_ = QDir::toNativeSeparators(QDir(dir).absolutePath());
    QDir(dataFolder_).mkpath(QStringLiteral("Data"));

    // Line by line, as far as the file can be read; the rest keeps its default.
    resumeFile_ = ResumeFileName(dataFolder_);
    const DamagedResume damaged = KeepDamagedResumeFile(resumeFile_, LoadResumeFile(resumeFile_, saved_));
    resumeWarning_ = damaged.warning;
    resumeMayReplace_ = damaged.mayReplace;
    ApplyStartDefaults(saved_, dataFolder_, options_.waveform);
    settings_ = saved_;
    options_.settings.applyTo(settings_);

    program_ = LoadProgramSettings(dataFolder_);
}

void Startup::useDemoInstrument(quint16 port) {
    // As --address 127.0.0.1 with the simulator's port.
    options_.tcpPort = port;
    options_.settings.com.reset();
    options_.settings.address = QStringLiteral("127.0.0.1");
    options_.settings.applyTo(settings_);
}

QString Startup::demoStatus(quint16 port) { return Texts::tr("模擬装置: 127.0.0.1:%1").arg(port); }

RunRequest Startup::headlessRequest() const {
    RunRequest r;
    r.serial = settings_.usb;
    r.address = settings_.ipAddress;
    r.tcpPort = quint16(options_.tcpPort);
    r.comText = settings_.comIndex >= 0 ? QStringLiteral("COM%1").arg(settings_.comIndex + 1) : QString();
    r.transferOnly = options_.transferOnly;
    r.repeatText = settings_.repeat;
    r.invCheckOn = settings_.invCheck;
    r.dataFolder = dataFolder_;
    r.refuseOverwrite = !options_.overwrite;
    r.reconnectMinutes = options_.reconnectMinutes;
    return r;
}

LiveValues Startup::headlessLiveValues() const {
    LiveValues v;
    v.log = settings_.logOn;
    v.waveSave = settings_.waveSave;
    v.screenShow = false;  // no window to show it in
    v.screenSave = settings_.screenSave;
    v.manual = false;      // nobody to answer: the interval applies
    v.intervalText = settings_.interval;
    v.folder = OutputFolderIn(dataFolder_, settings_.folder);
    v.header = settings_.header;
    return v;
}

ViewOptions Startup::viewOptions() const {
    ViewOptions o;
    o.programVersion = QStringLiteral(QM_PROGRAM_VERSION);
    o.dataFolder = dataFolder_;
    o.tcpPort = quint16(options_.tcpPort);
    o.reconnectMinutes = options_.reconnectMinutes;
    o.waveform = options_.waveform;
    o.assumeYes = options_.assumeYes;
    o.echoStatus = options_.echoStatus;
    o.trend = options_.trend;
    return o;
}

ViewSettings Startup::viewSettings() const {
    ViewSettings s;
    s.controls = settings_;
    // --screen-png ticks it for this start only.
    s.screenPngForDisplay = program_.screenPngForDisplay || options_.screenPng;
    s.windowPlaces = program_.windowGeometry;
    return s;
}

QString Startup::saveResume(const ResumeSettings& now) const {
    ResumeSettings toSave = now;
    options_.settings.revert(toSave, saved_);
    const QString error =
        resumeMayReplace_ ? SaveResumeFile(resumeFile_, toSave) : Texts::tr("壊れたファイルの控えがありません");
    if (error.isEmpty()) return {};
    return Texts::tr("設定ファイル %1 を保存できません: %2").arg(QDir::toNativeSeparators(resumeFile_), error);
}

SettingsSaved Startup::saveAtClose(const ViewSettings& now) const {
    SettingsSaved saved;
    saved.resumeError = saveResume(now.controls);
    // Where the windows are, for the next start.
    if (const QString error = SaveWindowGeometry(dataFolder_, now.windowPlaces); !error.isEmpty())
        saved.warnings << error;
    // 表示にも PNG を使う when changed, unless --screen-png set it for this start only.
    if (!options_.screenPng && now.screenPngForDisplay != program_.screenPngForDisplay) {
        if (const QString error = SaveScreenPngForDisplay(dataFolder_, now.screenPngForDisplay); !error.isEmpty())
            saved.warnings << error;
    }
    return saved;
}

}  // namespace qm
