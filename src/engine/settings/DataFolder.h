#pragma once
#include <QString>

// The data folder (resume file, display image, default output folder):
// C:\ProgramData\Quillmeter on Windows; elsewhere $XDG_DATA_HOME/Quillmeter,
// else ~/.local/share/Quillmeter.
QString DefaultDataDir();
