#pragma once
#include "engine/text/HostSystem.h"

#include <QString>

namespace qm {

// The data folder (resume file, display image, default output folder).

// What the environment says about where the folder goes; each may be empty.
struct HostFolders {
    QString programData;  // %ProgramData% (Windows)
    QString xdgDataHome;  // $XDG_DATA_HOME (elsewhere)
    QString home;         // the home folder (elsewhere)
};

// The data folder on a system: on Windows %ProgramData%\Quillmeter, with
// C:\ProgramData when the variable is empty or not an absolute path, and with
// "\" separators; elsewhere $XDG_DATA_HOME/Quillmeter when that is an absolute
// path, else <home>/.local/share/Quillmeter.
QString DataDirFor(HostSystem system, const HostFolders& folders);

// The data folder of this build's system and this process's environment.
QString DefaultDataDir();

// The output folder a run writes to: a relative folder lies in the data
// folder (whatever the process's current folder), in native form; an
// absolute or empty one is taken as it is.
QString OutputFolderIn(const QString& dataFolder, const QString& folder);

}  // namespace qm
