#include "driver/devout.hpp"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <string>

#include "driver/loop.hpp"
#include "driver/signals.hpp"
#include "lib/message.hpp"
#include "lib/paths.hpp"

namespace qx5 {
int ALARM_SEC = 60;
volatile sig_atomic_t SigAlarm = 0;
FILE* lp = nullptr;
int WRITEsent = 0;
char device[40] = "/dev/lp";

namespace {

// After the first expiry the alarm repeats at this interval: a write that had moved some bytes
// when the first alarm came returns that count, and the C library then writes the rest, which
// must be cut off too.
constexpr long kRepeatUsec = 200000;

// Arms the alarm for ALARM_SEC seconds, or for what is left of the stop grace when a stop
// signal came. False, with SigAlarm set, when that grace is over: the write is not tried.
bool ArmAlarm() {
  SigAlarm = 0;
  const int ms = StopGraceLeftMs(std::clamp(ALARM_SEC, 1, INT_MAX / 1000) * 1000, ALARM_SEC);
  if (ms == 0) {
    SigAlarm = 1;
    return false;
  }
  SetSignalAction(SIGALRM, sigalrm);  // no SA_RESTART: a blocked write is interrupted
  struct itimerval t {};
  t.it_value.tv_sec = ms / 1000;
  t.it_value.tv_usec = ms % 1000 * 1000L;
  t.it_interval.tv_usec = kRepeatUsec;
  setitimer(ITIMER_REAL, &t, nullptr);
  return true;
}

void DisarmAlarm() {
  struct itimerval off {};
  setitimer(ITIMER_REAL, &off, nullptr);
  SetSignalAction(SIGALRM, SIG_DFL);
}

}  // namespace

void sigalrm(int) {
  SigAlarm = 1;
}

int WRITE(FILE* stream, const void* data, int len) {
  WRITEsent = 0;
  if (stream == nullptr || len < 0 || (data == nullptr && len > 0)) return 1;
  clearerr(stream);
  if (ArmAlarm() && len > 0)
    WRITEsent = static_cast<int>(std::fwrite(data, 1, static_cast<size_t>(len), stream));
  DisarmAlarm();
  // The stream's error flag catches what the alarm does not: a reader that went away (EPIPE),
  // a device that vanished or failed.
  return SigAlarm != 0 || std::ferror(stream) != 0 ? 1 : 0;
}

int FPUTS(const char* str, FILE* stream) {
  int ret = EOF;
  if (stream != nullptr) {
    clearerr(stream);
    if (ArmAlarm()) ret = std::fputs(str != nullptr ? str : "", stream);
    DisarmAlarm();
  }
  if (ret == EOF || SigAlarm == 1) {
    Say("%s: FPUTS failed - ret = %d  SigAlarm = %d\n", XEQNAME, ret, static_cast<int>(SigAlarm));
    return 1;
  }
  return 0;
}

int CheckFile(const char* path) {
  struct stat st;
  return path != nullptr && ::stat(path, &st) == 0 ? 1 : 0;
}

// The device is only ever opened, never created: when its path is gone, the open fails
// instead of leaving a regular file there that would swallow every later job. The open is
// bounded by the alarm as well: a FIFO without a reader, or a device that does not answer,
// would otherwise hold the driver in open() for good.
int OpenDevice() {
  const std::string path = RootPath(device);
  const int fd = ArmAlarm() ? ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC) : -1;
  DisarmAlarm();
  if (fd < 0) return 1;
  lp = ::fdopen(fd, "w");
  if (lp == nullptr) {
    ::close(fd);
    return 1;
  }
  setvbuf(lp, nullptr, _IONBF, 0);
  return 0;
}

int ReopenDevice(bool flush_first) {
  if (lp != nullptr) {
    if (flush_first) std::fflush(lp);
    __fpurge(lp);
    std::fclose(lp);
    lp = nullptr;
  }
  if (OpenDevice() == 0) return 0;
  // Past a stop signal's grace the device is not opened again: the driver is on its way out.
  if (!StopGraceOver(ALARM_SEC))
    Say("ERROR: %s: unable to open %s\n", XEQNAME, RootPath(device).c_str());
  return 1;
}

}  // namespace qx5
