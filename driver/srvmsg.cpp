#include "driver/srvmsg.hpp"

#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/devout.hpp"
#include "driver/loop.hpp"
#include "driver/netprinter.hpp"
#include "driver/signals.hpp"
#include "lib/message.hpp"
#include "lib/paths.hpp"

namespace qx5 {
int SrvKey = 0;
int SrvId = -1;
int pid = 0;
SrvMsg rmsgp;
SrvMsg smsgp;

namespace {

constexpr const char* kServerPath = "/usr/bin/XSRVR";
constexpr int kServerProj = 113;  // 'q'

// Message kinds of the driver's own records, by printer number 0, 1, 2.
constexpr int kAttachKinds[3] = {11, 7, 76};
constexpr int kAnswerKinds[3] = {12, 6, 6};
constexpr int kExitKinds[3] = {13, 8, 77};

int KindOf(const int (&kinds)[3], int printer) {
  return kinds[printer >= 0 && printer < 3 ? printer : 0];
}

}  // namespace

int AttachKind(int printer) {
  return KindOf(kAttachKinds, printer);
}
int AnswerKind(int printer) {
  return KindOf(kAnswerKinds, printer);
}
int ExitKind(int printer) {
  return KindOf(kExitKinds, printer);
}
bool IsPlotCmd(int cmd) {
  return cmd == 5 || cmd == 26 || cmd == 56 || cmd == 58;
}
bool IsPrintCmd(int cmd) {
  return cmd == 9 || cmd == 10 || cmd == 57 || cmd == 59;
}

char* Body(SrvMsg& m) {
  return reinterpret_cast<char*>(&m) + offsetof(SrvMsg, head);
}
const char* Body(const SrvMsg& m) {
  return reinterpret_cast<const char*>(&m) + offsetof(SrvMsg, head);
}

// Offsets outside the body are refused rather than read or written.
int32_t BodyInt(const SrvMsg& m, int off) {
  int32_t v = 0;
  if (off >= 0 && off <= kBodySize - 4) std::memcpy(&v, Body(m) + off, sizeof v);
  return v;
}
void SetBodyInt(SrvMsg& m, int off, int32_t v) {
  if (off >= 0 && off <= kBodySize - 4) std::memcpy(Body(m) + off, &v, sizeof v);
}
std::string_view FieldText(const char* field, size_t width) {
  return std::string_view(field, strnlen(field, width));
}
std::string_view LineText(const SrvMsg& m) {
  return FieldText(Body(m) + kNameOff, kLineTextMax);
}
char* LineTextPtr(SrvMsg& m) {
  return Body(m) + kNameOff;
}

int GetAttachedServer() {
  const std::string path = RootPath(kServerPath);
  const key_t key = ftok(path.c_str(), kServerProj);
  if (key == static_cast<key_t>(-1)) {
    Say("%s: Unable to create XSERVER message key from %s\n", XEQNAME, path.c_str());
    return 0;
  }
  SrvKey = static_cast<int>(key);
  SrvId = msgget(key, 0);
  if (SrvId < 0) return 0;
  pid = static_cast<int>(getpid());
  std::memset(&smsgp, 0, sizeof smsgp);
  smsgp.srcpid = pid;
  smsgp.cmd = AttachKind(PrinterNumber);
  return SendServerMessage() == 0 ? 1 : 0;
}

// A full queue (the server is slow to read) is waited out with short pauses for up to
// ALARM_SEC seconds (no longer than the stop grace) before the record is given up, so that an
// answer is not lost to a burst.
int SendServerMessage() {
  using Clock = std::chrono::steady_clock;
  const int wait_ms = StopGraceLeftMs(std::clamp(ALARM_SEC, 1, INT_MAX / 1000) * 1000, ALARM_SEC);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  long pause_ms = 1;
  smsgp.mtype = SrvKey;
  for (;;) {
    errno = 0;
    if (msgsnd(SrvId, &smsgp, kBodySize, IPC_NOWAIT) == 0) return 0;
    const int err = errno;
    if (err == EINTR) continue;
    if (err != EAGAIN || Clock::now() >= deadline) {
      Say("%s: msgsnd error to XSERVER - errno = %d\n", XEQNAME, err);
      return -1;
    }
    const struct timespec nap = {0, pause_ms * 1000000L};
    nanosleep(&nap, nullptr);
    pause_ms = std::min(pause_ms * 2, 50L);
  }
}

// The record is cleared first, so that a short record leaves nothing of the one before; a
// longer one is cut to the 224 body bytes (MSG_NOERROR) and handled like any other. A stop
// signal, during the wait or during the request before, ends it at once (-1, nothing printed,
// StopSignal set). Any other interruption (a stop and continue of the process) waits on.
// While a network printer is held, an alarm cuts the wait after kIdleReleaseSec to release it;
// the wait then goes on without a limit. One that closed the connection meanwhile is let go.
int GetServerMessage() {
  std::memset(&rmsgp, 0, sizeof rmsgp);
  rmsgp.mtype = pid;
  ssize_t got = -1;
  int err = 0;
  WaitingForRequest(true);
  bool held = DeviceHeld();
  const auto release_at = std::chrono::steady_clock::now() + std::chrono::seconds(kIdleReleaseSec);
  if (held) {
    struct itimerval t {};
    t.it_value.tv_sec = kIdleReleaseSec;
    setitimer(ITIMER_REAL, &t, nullptr);
  }
  while (StopSignal == 0) {
    errno = 0;
    got = msgrcv(SrvId, &rmsgp, kBodySize, pid, MSG_NOERROR);
    err = errno;
    if (got >= 0 || err != EINTR) break;
    if (held && std::chrono::steady_clock::now() >= release_at) {
      held = false;
      ReleaseDevice();
    }
  }
  WaitingForRequest(false);
  if (held) ForgetClosedDevice();
  if (got >= 0) return rmsgp.status;
  if (StopSignal == 0) Say("%s: msgrcv err from XSERVER - errno = %d\n", XEQNAME, err);
  return -1;
}

}  // namespace qx5
