// A stop asked for by a signal (SIGTERM, SIGINT, SIGHUP), and the grace that a request in
// progress still has to finish: every bounded wait of the driver (the device, the X server,
// an outside command, a file) takes no longer than what is left of that grace.
#pragma once
#include <csignal>

namespace qx5 {

// The stop signal received; 0 while none came.
extern volatile sig_atomic_t StopSignal;

// Records sig as the stop signal and when it came (safe in a signal handler).
void NoteStopSignal(int sig);
// Forgets a stop signal (for the tests).
void ClearStopSignal();
// The milliseconds a wait of wait_ms may still take: wait_ms itself while no stop signal came;
// after one, no more than what is left of its grace of grace_sec seconds (0 once it is over).
int StopGraceLeftMs(int wait_ms, int grace_sec);
// True once a stop signal came more than grace_sec seconds ago.
bool StopGraceOver(int grace_sec);

}  // namespace qx5
