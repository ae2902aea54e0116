// The driver's signals: SIGPIPE is ignored (a device whose reader went away fails the write
// instead of ending the process), and SIGTERM, SIGINT and SIGHUP ask the driver to stop. A stop
// signal ends the wait for a request at once; a request in progress is given the grace of
// lib/stop.hpp (ALARM_SEC seconds) to finish, and every wait in it is cut to that grace.
#pragma once
#include <csignal>

#include "lib/stop.hpp"

namespace qx5 {

// Ignores SIGPIPE and installs the stop handlers. They restart a device write in progress
// (the write keeps its own bound), so that a request is not cut short by the signal itself.
void InstallSignals();
// The action of sig, without SA_RESTART (a blocked call is interrupted when it comes) unless
// restart is true.
void SetSignalAction(int sig, void (*action)(int), bool restart = false);
// Marks the wait for a request (true) and its end (false). During the wait a stop signal also
// starts a one-second alarm, so that a signal that came just before the wait began still ends
// it; the end of the wait cancels that alarm. Outside the wait a stop signal starts nothing:
// an alarm then would end the process.
void WaitingForRequest(bool waiting);
// The set of stop signals.
sigset_t StopSignals();
// The name of a stop signal ("SIGTERM", ...).
const char* StopSignalName(int sig);

}  // namespace qx5
