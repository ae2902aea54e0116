#include "driver/devout.hpp"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>

#include "driver/devpush.hpp"
#include "driver/netprinter.hpp"
#include "lib/message.hpp"
#include "lib/paths.hpp"
#include "lib/stop.hpp"

namespace qx5 {
int ALARM_SEC = 60;
volatile sig_atomic_t SigAlarm = 0;
FILE* lp = nullptr;
int WRITEsent = 0;
char device[kDeviceMax] = "/dev/lp";

namespace {

enum class Kind { kPath, kNetwork, kUnusable };

constexpr const char* kDefaultDevice = "/dev/lp";
// How often the open of a FIFO without a reader is tried again.
constexpr int kOpenRetryMs = 20;

Kind kind = Kind::kPath;
std::string given;    // the argument, for the message when it names no usable device
std::string problem;  // what is wrong with it
int path_fd = -1;     // the descriptor of the open path device

// The stream of a path device: its own descriptor, closed with the stream.
struct PathStream {
  int fd;
};

ssize_t PathWrite(void* cookie, const char* buf, size_t n) {
  const PushResult r = PushBytes(static_cast<PathStream*>(cookie)->fd, buf, n, nullptr);
  if (r.end == PushEnd::kTimedOut) SigAlarm = 1;
  if (r.end == PushEnd::kFailed) errno = r.err;
  return static_cast<ssize_t>(r.sent);
}

int PathClose(void* cookie) {
  PathStream* s = static_cast<PathStream*>(cookie);
  const int fd = s->fd;
  if (fd == path_fd) path_fd = -1;
  delete s;
  return ::close(fd);
}

ssize_t NetWrite(void*, const char* buf, size_t n) {
  return static_cast<ssize_t>(NetPrinterWrite(buf, n));
}

// The stream ends with the process: the printer is released.
int NetClose(void*) {
  NetPrinterRelease();
  return 0;
}

FILE* Stream(void* cookie, cookie_write_function_t* write, cookie_close_function_t* close) {
  cookie_io_functions_t io{};
  io.write = write;
  io.close = close;
  FILE* f = fopencookie(cookie, "w", io);
  if (f != nullptr) setvbuf(f, nullptr, _IONBF, 0);
  return f;
}

bool IsFifo(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// Never created (a vanished device must not leave a regular file that swallows every later
// job), never truncated. Without O_NONBLOCK a FIFO without a reader, or a serial line waiting
// for its carrier, would hold the open for good; a FIFO is tried again until ALARM_SEC.
int OpenPath(const std::string& path) {
  const long long deadline = MonotonicMs() + static_cast<long long>(std::max(ALARM_SEC, 1)) * 1000;
  for (;;) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
      struct stat st;
      if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) fcntl(fd, F_SETFL, O_NONBLOCK | O_APPEND);
      return fd;
    }
    if (errno != EINTR && !(errno == ENXIO && IsFifo(path))) return -1;
    const long long left = deadline - MonotonicMs();
    const int ms = StopGraceLeftMs(static_cast<int>(std::max(left, 0LL)), ALARM_SEC);
    if (ms <= 0) return -1;
    const int nap = std::min(ms, kOpenRetryMs);
    const struct timespec t = {0, static_cast<long>(nap) * 1000000L};
    nanosleep(&t, nullptr);
  }
}

void CopyDevice(std::string_view text) {
  const size_t n = std::min(text.size(), sizeof device - 1);
  text.copy(device, n);
  device[n] = '\0';
}

// Past a stop signal's grace nothing more is written: the write counts as timed out.
bool GraceOver() {
  if (!StopGraceOver(ALARM_SEC)) return false;
  SigAlarm = 1;
  return true;
}

}  // namespace

void sigalrm(int) {
  SigAlarm = 1;
}

int WRITE(FILE* stream, const void* data, int len) {
  WRITEsent = 0;
  SigAlarm = 0;
  if (stream == nullptr || len < 0 || (data == nullptr && len > 0) || GraceOver()) return 1;
  clearerr(stream);
  if (len > 0) WRITEsent = static_cast<int>(std::fwrite(data, 1, static_cast<size_t>(len), stream));
  // The stream's error flag catches what the time-out does not: a reader that went away
  // (EPIPE), a device that vanished or failed, a broken connection.
  return SigAlarm != 0 || std::ferror(stream) != 0 ? 1 : 0;
}

int FPUTS(const char* str, FILE* stream) {
  int ret = EOF;
  SigAlarm = 0;
  if (stream != nullptr && !GraceOver()) {
    clearerr(stream);
    ret = std::fputs(str != nullptr ? str : "", stream);
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

void SetDevice(const char* arg) {
  const std::string_view a = arg != nullptr ? arg : "";
  kind = Kind::kPath;
  given = std::string(a);
  problem.clear();
  NetAddress address;
  switch (ParseNetAddress(a, address)) {
    case NetParse::kValid:
      kind = Kind::kNetwork;
      SetNetPrinter(address);
      CopyDevice(address.name);
      return;
    case NetParse::kBad:
      kind = Kind::kUnusable;
      problem = "not a network printer address (socket://HOST[:PORT], PORT 1 to 65535)";
      CopyDevice(a);
      return;
    case NetParse::kNotNetwork:
      break;
  }
  if (a.empty() || a[0] != '/') {
    CopyDevice(kDefaultDevice);
  } else if (a.size() >= sizeof device) {
    kind = Kind::kUnusable;
    problem = "device name longer than " + std::to_string(sizeof device - 1) + " bytes";
    CopyDevice(a);
  } else {
    CopyDevice(a);
  }
}

std::string DeviceName() {
  switch (kind) {
    case Kind::kNetwork:
      return device;
    case Kind::kUnusable:
      return given;
    case Kind::kPath:
      break;
  }
  return RootPath(device);
}

std::string DeviceProblem() {
  return kind == Kind::kUnusable ? problem : std::string();
}

int DeviceExists() {
  if (kind == Kind::kUnusable) {
    Say("ERROR: %s: %s: %s\n", XEQNAME, given.c_str(), problem.c_str());
    return 0;
  }
  return kind == Kind::kNetwork ? 1 : CheckFile(DeviceName().c_str());
}

int DeviceDescriptor() {
  return kind == Kind::kPath ? path_fd : -1;
}

int OpenDevice() {
  if (kind == Kind::kNetwork) {
    lp = Stream(nullptr, NetWrite, NetClose);
    return lp != nullptr ? 0 : 1;
  }
  if (kind == Kind::kUnusable) return 1;
  const int fd = OpenPath(DeviceName());
  if (fd < 0) return 1;
  PathStream* s = new PathStream{fd};
  lp = Stream(s, PathWrite, PathClose);
  if (lp == nullptr) {
    delete s;
    ::close(fd);
    return 1;
  }
  path_fd = fd;
  return 0;
}

int ReopenDevice(bool flush_first) {
  if (lp != nullptr && kind == Kind::kNetwork) {
    __fpurge(lp);
    clearerr(lp);
    return 0;
  }
  if (lp != nullptr) {
    if (flush_first) std::fflush(lp);
    __fpurge(lp);
    std::fclose(lp);
    lp = nullptr;
  }
  if (OpenDevice() == 0) return 0;
  // Past a stop signal's grace the device is not opened again: the driver is on its way out.
  if (!StopGraceOver(ALARM_SEC))
    Say("ERROR: %s: unable to open %s\n", XEQNAME, DeviceName().c_str());
  return 1;
}

void ReleaseDevice() {
  if (kind == Kind::kNetwork) NetPrinterRelease();
}

bool DeviceHeld() {
  return kind == Kind::kNetwork && NetPrinterConnected();
}

void ForgetClosedDevice() {
  if (kind == Kind::kNetwork) NetPrinterForgetClosed();
}

bool DeviceIsFresh() {
  return kind == Kind::kNetwork && !NetPrinterConnected();
}

}  // namespace qx5
