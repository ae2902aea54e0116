#include "driver/signals.hpp"

#include <sys/time.h>
#include <unistd.h>

#include "driver/devout.hpp"

namespace qx5 {

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

volatile sig_atomic_t waitingForRequest = 0;

void OnStopSignal(int sig) {
  NoteStopSignal(sig);
  // The wait may not have begun yet (the signal came between the last look and msgrcv): the
  // alarm then interrupts it. alarm() is safe in a handler.
  if (waitingForRequest != 0) alarm(1);
}

}  // namespace

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kStopSignals) sigaddset(&set, sig);
  return set;
}

const char* StopSignalName(int sig) {
  switch (sig) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case SIGHUP:
      return "SIGHUP";
  }
  return "?";
}

void SetSignalAction(int sig, void (*action)(int), bool restart) {
  struct sigaction sa {};
  sa.sa_handler = action;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = restart ? SA_RESTART : 0;
  sigaction(sig, &sa, nullptr);
}

void InstallSignals() {
  SetSignalAction(SIGPIPE, SIG_IGN);
  // msgrcv is never restarted, whatever SA_RESTART says: the wait for a request still ends.
  for (int sig : kStopSignals) SetSignalAction(sig, OnStopSignal, true);
  const sigset_t set = StopSignals();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void WaitingForRequest(bool waiting) {
  if (waiting) {
    // The handler's alarm must only interrupt, never end the process.
    SetSignalAction(SIGALRM, sigalrm);
    waitingForRequest = 1;
    return;
  }
  // From here on the handler starts no alarm; one it started before is cancelled.
  waitingForRequest = 0;
  struct itimerval off {};
  setitimer(ITIMER_REAL, &off, nullptr);
  SetSignalAction(SIGALRM, SIG_DFL);
}

}  // namespace qx5
