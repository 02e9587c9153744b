#pragma once
// What the main window is given at start and hands back at close. The app
// fills these from the data folder, the resume file, the program's own
// settings and the command line; the window knows nothing of where they came
// from or where they go.
#include "engine/settings/ResumeSettings.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>

namespace qm {

// How the window behaves for this start.
struct ViewOptions {
    QString programVersion;       // shown in the title bar ("3.02")
    QString dataFolder;           // made, absolute, native separators
    quint16 tcpPort = 5198;       // the instrument's TCP port
    double reconnectMinutes = 0;  // > 0: a lost instrument is connected again
    bool waveform = false;        // the waveform export's controls are shown
    bool assumeYes = false;       // questions answered OK; failures on stderr
    bool echoStatus = false;      // every status text on stdout too
    bool trend = false;           // the trend window opens at start
    QString language = QStringLiteral("ja");  // the language of this start ("ja", "en")
};

// The settings the window shows: at start what it is to show, at close what
// it shows then.
struct ViewSettings {
    ResumeSettings controls;           // the controls the resume file keeps, and 自動測定ログ
    bool screenPngForDisplay = false;  // 設定 > 表示にも PNG を使う
    // Where each window was, by its object name (QWidget::saveGeometry()).
    QMap<QString, QByteArray> windowPlaces;
};

// What became of saving the settings at close.
struct SettingsSaved {
    QString resumeError;   // the resume file could not be written: the message naming it
    QStringList warnings;  // other settings that could not be written, each a message naming its file
};

// Saves the settings at close; the window shows what failed.
using SaveSettings = std::function<SettingsSaved(const ViewSettings&)>;

}  // namespace qm
