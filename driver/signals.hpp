// The driver's signals: SIGPIPE is ignored (a device whose reader went away fails the write
// instead of ending the process), and SIGTERM, SIGINT and SIGHUP stop the driver between
// requests, never in the middle of one.
#pragma once
#include <csignal>

#include "lib/stop.hpp"

namespace qx5 {

// Ignores SIGPIPE, installs the stop handlers and holds the stop signals back; they are let in
// only while the driver waits for the next request.
void InstallSignals();
// The action of sig, without SA_RESTART: a blocked call is interrupted when it comes.
void SetSignalAction(int sig, void (*action)(int));
// Lets the stop signals in (true) for the wait for a request, or holds them back again (false).
// While they are in, a stop signal also starts a one-second alarm, so that a signal that came
// just before the wait began still ends it; holding them back cancels that alarm.
void LetStopSignalsIn(bool in);
// The set of stop signals.
sigset_t StopSignals();

}  // namespace qx5
