#pragma once
// quillmeter --headless: the engine under QCoreApplication, no window and no
// platform plugin. Settings come from the resume file as the window would
// take them; status texts go to stdout; the resume file is saved at the end.
#include "app/AppOptions.h"

// Runs one measurement run and returns the exit code (0 normal end, 1
// connection failed, 2 ended on an error). Needs a QCoreApplication.
int RunHeadless(const AppOptions& options);
