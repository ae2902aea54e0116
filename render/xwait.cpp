#include "render/xwait.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>

#include "driver/devout.hpp"
#include "lib/message.hpp"
#include "lib/stop.hpp"
// Xlib's hooks for extensions, last: its min and max macros would break the C++ headers.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace qx5 {

namespace {

// While a wait lasts, the watchdog looks at it this often: often enough to honour the stop
// grace and to see a flush move on, rarely enough to cost nothing.
constexpr int kTickMs = 250;

enum WaitKind : int {
  kConnect,  // the socket is being connected: one expiry at the deadline, nothing restarted
  kFlush,    // requests going out: every tick at which the socket takes bytes is progress
  kAnswer,   // an answer awaited: the deadline stands
};

// Shared with the signal handler (lock-free atomics).
std::atomic<int> watchFd{-1};  // the socket watched; -1 while no wait is watched
std::atomic<int> watchKind{kAnswer};
std::atomic<int64_t> watchStartMs{0};
std::atomic<int64_t> watchDeadlineMs{0};
std::atomic<const char*> watchWhat{nullptr};
std::atomic<const char*> expiredWhat{nullptr};
std::atomic<int64_t> expiredMs{0};
static_assert(std::atomic<int64_t>::is_always_lock_free, "read in a signal handler");
static_assert(std::atomic<const char*>::is_always_lock_free, "read in a signal handler");

// Main program only.
timer_t timer;
bool haveTimer = false;
int explicitWaits = 0;      // XWait objects alive
bool flushWatched = false;  // a flush outside an XWait is watched

int WatchSignal() {
  return SIGRTMIN + 3;
}

int64_t NowMs() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

int64_t BoundMs() {
  return static_cast<int64_t>(std::max(ALARM_SEC, 1)) * 1000;
}

int ClampMs(int64_t ms) {
  return static_cast<int>(std::clamp<int64_t>(ms, 0, INT_MAX));
}

bool Writable(int fd) {
  struct pollfd p = {fd, POLLOUT, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLOUT) != 0;
}

// Async-signal-safe: atomics, clock_gettime, poll and shutdown only.
void OnWatchSignal(int) {
  const int saved = errno;
  const int fd = watchFd.load();
  if (fd >= 0) {
    const int64_t now = NowMs();
    const int kind = watchKind.load();
    if (kind == kFlush && Writable(fd)) watchDeadlineMs = now + BoundMs();
    const int left = ClampMs(watchDeadlineMs.load() - now);
    if (kind == kConnect || StopGraceLeftMs(left, ALARM_SEC) == 0) {
      expiredWhat = watchWhat.load();
      expiredMs = now - watchStartMs.load();
      watchFd = -1;
      ::shutdown(fd, SHUT_RDWR);
    }
  }
  errno = saved;
}

// Without SA_RESTART a connect() blocked on a server that accepts nothing ends at the
// deadline. With it, whatever else the signal meets goes on undisturbed; Xlib's own waits
// (poll) are interrupted either way, and poll again.
void SetAction(bool restart) {
  struct sigaction sa {};
  sa.sa_handler = OnWatchSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = restart ? SA_RESTART : 0;
  sigaction(WatchSignal(), &sa, nullptr);
}

bool EnsureTimer() {
  if (haveTimer) return true;
  SetAction(true);
  struct sigevent ev {};
  ev.sigev_notify = SIGEV_SIGNAL;
  ev.sigev_signo = WatchSignal();
  if (timer_create(CLOCK_MONOTONIC, &ev, &timer) != 0) {
    Say("ERROR: %s: no watchdog timer for the X server: %s\n", XEQNAME, Reason(errno));
    return false;
  }
  haveTimer = true;
  return true;
}

void SetTimer(int first_ms, int every_ms) {
  struct itimerspec t {};
  t.it_value.tv_sec = first_ms / 1000;
  t.it_value.tv_nsec = static_cast<long>(first_ms % 1000) * 1000000;
  t.it_interval.tv_sec = every_ms / 1000;
  t.it_interval.tv_nsec = static_cast<long>(every_ms % 1000) * 1000000;
  timer_settime(timer, 0, &t, nullptr);
}

void Arm(int fd, const char* what, WaitKind kind) {
  if (fd < 0 || !EnsureTimer()) return;
  const int64_t now = NowMs();
  const int left = StopGraceLeftMs(ClampMs(BoundMs()), ALARM_SEC);
  watchWhat = what;
  watchKind = kind;
  watchStartMs = now;
  watchDeadlineMs = now + left;
  watchFd = fd;
  if (kind == kConnect)
    SetTimer(std::max(left, 1), 0);
  else
    SetTimer(std::min(std::max(left, 1), kTickMs), kTickMs);
}

void Disarm() {
  flushWatched = false;
  if (!haveTimer) return;
  SetTimer(0, 0);
  watchFd = -1;
}

void BeforeFlush(Display* d, XExtCodes*, const char*, long) {
  if (explicitWaits > 0 || flushWatched) return;
  Arm(ConnectionNumber(d), "sending requests", kFlush);
  flushWatched = true;
}

// Xlib calls this at the end of every request function: the flush it made is over.
int AfterRequest(Display*) {
  EndFlushWatch();
  return 0;
}

// A lost connection must never end the process: Xlib's default here is exit(1). The I/O error
// handler has been told already.
void KeepRunning(Display*, void*) {}

}  // namespace

Display* OpenDisplayBounded() {
  // The socket will take the lowest free descriptor: the one /dev/null takes now.
  const int next = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (next >= 0) ::close(next);
  EnsureTimer();  // before the action is changed: the first call sets it
  SetAction(false);
  Arm(next, "connecting", kConnect);
  Display* d = XOpenDisplay("");
  Disarm();
  SetAction(true);
  if (d != nullptr) XSetIOErrorExitHandler(d, KeepRunning, nullptr);
  if (d != nullptr && ExpiredWait() != nullptr) {
    // The deadline came as the connection was made: it is not to be trusted.
    XCloseDisplay(d);
    return nullptr;
  }
  return d;
}

void WatchFlushes(Display* d) {
  XExtCodes* codes = XAddExtension(d);
  if (codes != nullptr) XESetBeforeFlush(d, codes->extension, BeforeFlush);
  XSetAfterFunction(d, AfterRequest);
}

void EndFlushWatch() {
  if (flushWatched && explicitWaits == 0) Disarm();
}

XWait::XWait(Display* d, const char* what) {
  if (explicitWaits++ == 0 && d != nullptr) Arm(ConnectionNumber(d), what, kAnswer);
}

XWait::~XWait() {
  if (--explicitWaits == 0) Disarm();
}

const char* ExpiredWait() {
  return expiredWhat.load();
}

int ExpiredWaitSeconds() {
  return static_cast<int>((expiredMs.load() + 500) / 1000);
}

void ForgetExpiredWait() {
  expiredWhat = nullptr;
  expiredMs = 0;
}

}  // namespace qx5
