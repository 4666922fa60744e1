#pragma once

// SIGINT and SIGTERM as requests to stop. The handlers only note the signal and wake a pipe
// (a self-pipe: nothing else is safe inside a handler); the program acts on it at its own safe
// points. The embedded database engine installs handlers of its own for both signals when it
// starts, so these are installed after the database has been opened, and replace them.

#include <QtGlobal>
#include <functional>

class QObject;

namespace arvex::app {

// Called first in main, before any thread starts: SIGINT and SIGTERM wait blocked, and the
// threads started later (the engine's among them) inherit that, so that the signals reach
// only the thread that installs the handlers. A signal delivered to an engine thread breaks
// the call it interrupts (seen: the detach at the end then never returns).
void blockStopSignals();
// Installs the handlers and unblocks the signals in the calling thread; a signal that came
// meanwhile is delivered now.
void installStopSignals();
// Puts back the handlers that were in force before installStopSignals.
void restoreStopSignals();
// SIGINT or SIGTERM once one came; 0 before.
int stopSignal();
// Whether this module's handler is the one in force for both signals.
bool stopSignalsInForce();
// Calls onSignal(signal) from the event loop of context's thread when a signal comes.
void whenStopSignal(QObject *context, std::function<void(int)> onSignal);
// The exit code of a process stopped by the signal: 128 + its number (130, 143).
int stopExitCode(int signal);
// "SIGINT" or "SIGTERM".
const char *stopSignalName(int signal);

} // namespace arvex::app
