#pragma once
// SIGINT and SIGTERM delivered into the Qt event loop of the main thread.
#include <functional>

// Calls `onSignal` on the main thread for every SIGINT or SIGTERM (Unix; a
// no-op elsewhere). Needs a Q(Core)Application.
void WatchStopSignals(std::function<void()> onSignal);
