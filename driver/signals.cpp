#include "driver/signals.hpp"

#include <sys/time.h>
#include <unistd.h>

#include "driver/devout.hpp"

namespace qx5 {

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

void OnStopSignal(int sig) {
  NoteStopSignal(sig);
  // The wait may not have begun yet (the signal came between the last look and msgrcv): the
  // alarm then interrupts it. alarm() is safe in a handler.
  alarm(1);
}

}  // namespace

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kStopSignals) sigaddset(&set, sig);
  return set;
}

void SetSignalAction(int sig, void (*action)(int)) {
  struct sigaction sa {};
  sa.sa_handler = action;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;
  sigaction(sig, &sa, nullptr);
}

void InstallSignals() {
  const sigset_t set = StopSignals();
  sigprocmask(SIG_BLOCK, &set, nullptr);
  SetSignalAction(SIGPIPE, SIG_IGN);
  for (int sig : kStopSignals) SetSignalAction(sig, OnStopSignal);
}

void LetStopSignalsIn(bool in) {
  const sigset_t set = StopSignals();
  if (in) {
    // The handler's alarm must only interrupt, never end the process.
    SetSignalAction(SIGALRM, sigalrm);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    return;
  }
  sigprocmask(SIG_BLOCK, &set, nullptr);
  struct itimerval off {};
  setitimer(ITIMER_REAL, &off, nullptr);
  SetSignalAction(SIGALRM, SIG_DFL);
}

}  // namespace qx5
