#pragma once
// One start of the program: the data folder, the resume file (loaded, a
// damaged one copied aside, the start's defaults), the program's own settings
// and the command line's settings for this start, turned into what the window
// shows or what a headless run takes; and, at the end, what is saved. The
// window and the headless run start the same way.
#include "app/AppOptions.h"
#include "engine/model/LiveSettings.h"
#include "engine/settings/ProgramSettings.h"
#include "engine/settings/ResumeSettings.h"
#include "view/ViewOptions.h"

#include <QString>

namespace qm {

struct RunRequest;

class Startup {
public:
    // Makes the data folder (and its Data folder), reads the resume file and
    // the program's own settings. A damaged resume file is copied aside here,
    // before anything may replace it.
    explicit Startup(const AppOptions& options);

    // The data folder: absolute, in native form.
    const QString& dataFolder() const { return dataFolder_; }
    // The warning about a damaged resume file (empty when it was whole or absent).
    const QString& resumeWarning() const { return resumeWarning_; }

    // --demo: the simulated instrument at 127.0.0.1:port, for this start only
    // (the resume file keeps the instrument it names).
    void useDemoInstrument(quint16 port);
    // The text that says so.
    static QString demoStatus(quint16 port);

    // The settings of this start: the resume file's, the start's defaults,
    // then the command line's.
    const ResumeSettings& settings() const { return settings_; }

    // What a headless run takes from them: it shows no screen and never asks
    // to continue, and it refuses to replace files unless --overwrite.
    RunRequest headlessRequest() const;
    LiveValues headlessLiveValues() const;

    // What the window takes.
    ViewOptions viewOptions() const;
    ViewSettings viewSettings() const;

    // Saves the resume file with the settings as they are at the end (the
    // command line's settings go back to what the file held). Empty on
    // success, else the message naming the file.
    QString saveResume(const ResumeSettings& now) const;
    // The window's close: the resume file, the windows' places and
    // 表示にも PNG を使う (unless --screen-png set it for this start).
    SettingsSaved saveAtClose(const ViewSettings& now) const;

private:
    AppOptions options_;
    QString dataFolder_;
    QString resumeFile_;
    QString resumeWarning_;
    bool resumeMayReplace_ = true;  // false: a damaged resume file that could not be copied aside
    ResumeSettings saved_;          // as the file gave them, with the start's defaults
    ResumeSettings settings_;       // with the command line's settings too
    ProgramSettings program_;
};

}  // namespace qm
