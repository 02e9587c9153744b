#pragma once
// SIGINT and SIGTERM (Windows: Ctrl+C, Ctrl+Break, closing the console)
// delivered into the Qt event loop of the main thread.
#include <functional>

// Calls `onSignal` on the main thread for every SIGINT or SIGTERM (Unix) or
// console stop event (Windows). Needs a Q(Core)Application.
void WatchStopSignals(std::function<void()> onSignal);
