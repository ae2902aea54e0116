#include "lib/stop.hpp"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace qx5 {
volatile sig_atomic_t StopSignal = 0;

namespace {

// When the stop signal came, in monotonic milliseconds.
std::atomic<int64_t> stopAtMs{0};
static_assert(std::atomic<int64_t>::is_always_lock_free, "written from a signal handler");

int64_t NowMs() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

}  // namespace

void NoteStopSignal(int sig) {
  if (StopSignal == 0) stopAtMs = NowMs();
  StopSignal = sig;
}

void ClearStopSignal() {
  StopSignal = 0;
  stopAtMs = 0;
}

int StopGraceLeftMs(int wait_ms, int grace_sec) {
  if (StopSignal == 0) return wait_ms;
  const int64_t left = stopAtMs + static_cast<int64_t>(grace_sec) * 1000 - NowMs();
  return static_cast<int>(std::clamp<int64_t>(left, 0, std::max(wait_ms, 0)));
}

bool StopGraceOver(int grace_sec) {
  return StopSignal != 0 && StopGraceLeftMs(1, grace_sec) == 0;
}

}  // namespace qx5
