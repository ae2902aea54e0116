#include "lib/shellrun.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

extern char** environ;

namespace qx5 {

namespace {

// Signals the child gets back at their default action (the driver ignores or handles them).
constexpr int kDefaulted[] = {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGALRM, SIGCHLD};

int Spawn(const char* command, pid_t* child) {
  posix_spawn_file_actions_t fa;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&fa);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
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

}  // namespace

int RunShell(const char* command, int timeout_sec) {
  pid_t child = -1;
  if (command == nullptr || Spawn(command, &child) != 0) return kShellNotRun;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(std::max(timeout_sec, 1));
  long pause_us = 500;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(child, &status, WNOHANG);
    if (r == child || (r < 0 && errno != EINTR)) return kShellRan;
    if (Clock::now() >= deadline) break;
    const struct timespec nap = {0, pause_us * 1000L};
    nanosleep(&nap, nullptr);
    pause_us = std::min(pause_us * 2, 20000L);
  }
  kill(-child, SIGKILL);
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  return kShellTimedOut;
}

}  // namespace qx5
