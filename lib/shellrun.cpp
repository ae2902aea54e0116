#include "lib/shellrun.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

extern char** environ;

namespace qx5 {

namespace {

using Clock = std::chrono::steady_clock;

// Signals the child gets back at their default action (the driver ignores or handles them).
constexpr int kDefaulted[] = {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGALRM, SIGCHLD};

// Starts the command; its standard output is out (when 0 or more).
int Spawn(const char* command, int out, pid_t* child) {
  posix_spawn_file_actions_t fa;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&fa);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  if (out >= 0) posix_spawn_file_actions_adddup2(&fa, out, 1);
  sigset_t none, defaulted;
  sigemptyset(&none);
  sigemptyset(&defaulted);
  for (int sig : kDefaulted) sigaddset(&defaulted, sig);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaulted);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  char sh[] = "sh", dashc[] = "-c";
  char* argv[] = {sh, dashc, const_cast<char*>(command), nullptr};
  const int r = posix_spawn(child, "/bin/sh", &fa, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&fa);
  return r;
}

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<long long>(left.count(), 0));
}

// Copies the pipe into out until its end or the deadline: 0 at its end, kShellTimedOut, or
// kShellWriteFailed with *err.
int CopyOutput(int pipe_fd, int out, Clock::time_point deadline, int* err) {
  char buf[65536];
  for (;;) {
    const int ms = MsLeft(deadline);
    if (ms == 0) return kShellTimedOut;
    struct pollfd p = {pipe_fd, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) continue;  // interrupted, or the deadline: looked at above
    const ssize_t got = ::read(pipe_fd, buf, sizeof buf);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return 0;
    if (!WriteAll(out, buf, static_cast<size_t>(got))) {
      *err = errno;
      return kShellWriteFailed;
    }
  }
}

// Waits for the child until the deadline: its exit status, or kShellTimedOut.
int Reap(pid_t child, Clock::time_point deadline) {
  long pause_us = 500;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(child, &status, WNOHANG);
    if (r == child) return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    if (r < 0 && errno != EINTR) return 0;  // reaped elsewhere: nothing more to know
    if (Clock::now() >= deadline) return kShellTimedOut;
    const struct timespec nap = {0, pause_us * 1000L};
    nanosleep(&nap, nullptr);
    pause_us = std::min(pause_us * 2, 20000L);
  }
}

}  // namespace

bool WriteAll(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = ENOSPC;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

int RunShell(const char* command, int timeout_ms, int out_fd, int* write_err) {
  if (command == nullptr) return kShellNotRun;
  if (timeout_ms <= 0) return kShellTimedOut;
  int p[2] = {-1, -1};
  if (out_fd >= 0 && ::pipe2(p, O_CLOEXEC) != 0) return kShellNotRun;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  pid_t child = -1;
  const int spawned = Spawn(command, p[1], &child);
  if (p[1] >= 0) ::close(p[1]);
  if (spawned != 0) {
    if (p[0] >= 0) ::close(p[0]);
    return kShellNotRun;
  }
  int err = 0;
  int result = p[0] >= 0 ? CopyOutput(p[0], out_fd, deadline, &err) : 0;
  if (p[0] >= 0) ::close(p[0]);
  if (result == 0) result = Reap(child, deadline);
  if (result == kShellTimedOut || result == kShellWriteFailed) {
    kill(-child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  if (result == kShellWriteFailed && write_err != nullptr) *write_err = err;
  return result;
}

}  // namespace qx5
