#pragma once
// Waiting without spinning: every wait of the program blocks in the Qt event
// loop (so windows, buttons and sockets stay live) and wakes on events or on a
// short timer, never busy-polling.
#include <QDeadlineTimer>
#include <functional>

namespace qm {

// Longest sleep between two looks at a wait's condition. A stop press is an
// event of its own and ends the sleep at once; this only bounds how late a
// condition that changes without an event (the clock) is seen.
inline constexpr int WaitSliceMs = 20;

// Lets pending events run once without blocking ("process pending window
// events"). Raises AppClosing when the main window is being closed.
void YieldEvents();

// Blocks in the event loop until done() is true or the deadline passes.
// Returns done()'s last value. Raises AppClosing when the main window is being
// closed. done() is checked first, so a condition already true returns at
// once without processing events.
bool WaitUntil(const std::function<bool()>& done, QDeadlineTimer deadline);

// Sleeps in the event loop for at most `ms` milliseconds (less when an event
// arrives). Raises AppClosing when the main window is being closed.
void SleepEvents(int ms);

// Set once by the main window's unload: all waits raise AppClosing from then on.
void SetAppClosing(bool closing);
bool IsAppClosing();

}  // namespace qm
