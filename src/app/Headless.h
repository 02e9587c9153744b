#pragma once
// quillmeter --headless: the engine under QCoreApplication, no window and no
// platform plugin. Settings come from the resume file as the window would
// take them; status texts go to stdout; the resume file is saved at the end.
#include "app/AppOptions.h"

namespace qm {

// Runs one measurement run and returns the exit code (0 normal end, 1
// connection failed, 2 ended on an error, 3 a file not written, 64 a usage
// error). Needs a QCoreApplication.
int RunHeadless(const AppOptions& options);

}  // namespace qm
