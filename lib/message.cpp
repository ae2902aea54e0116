#include "lib/message.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace qx5 {
char XEQNAME[40];
int QX5LANG = 0;

namespace {

constexpr int kLogFd = 1;
// After the log says it has room, at most this much is written at once: a pipe that reports
// room has a free page (PIPE_BUF bytes), a terminal at least this many.
constexpr size_t kPipeChunk = PIPE_BUF;
constexpr size_t kTermChunk = 256;

using Clock = std::chrono::steady_clock;

bool gaveUp = false;   // the log took no byte for kLogPatienceMs: texts are dropped
bool cutLine = false;  // the last text was cut after some of its bytes got out
long dropped = 0;      // texts dropped since the log last took bytes
long findings = 0;     // findings said
bool findingsOnly = false;

enum class LogKind { kFile, kSocket, kPipe, kStream };

LogKind KindOfLog() {
  struct stat st;
  if (::fstat(kLogFd, &st) != 0) return LogKind::kStream;
  if (S_ISREG(st.st_mode)) return LogKind::kFile;
  if (S_ISSOCK(st.st_mode)) return LogKind::kSocket;
  if (S_ISFIFO(st.st_mode)) return LogKind::kPipe;
  return LogKind::kStream;
}

// One write of at most what the log can take now without blocking: the bytes written, 0 when
// it has no room, -1 when it failed for good (closed, gone).
ssize_t WriteSome(LogKind kind, const char* p, size_t n) {
  ssize_t w;
  if (kind == LogKind::kSocket) {
    w = ::send(kLogFd, p, n, MSG_DONTWAIT | MSG_NOSIGNAL);
  } else {
    const size_t most = kind == LogKind::kFile   ? n
                        : kind == LogKind::kPipe ? std::min(n, kPipeChunk)
                                                 : std::min(n, kTermChunk);
    w = ::write(kLogFd, p, most);
  }
  if (w >= 0) return w;
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

// Waits up to ms for room in the log; true when it has some.
bool Room(int ms) {
  struct pollfd p = {kLogFd, POLLOUT, 0};
  int r = ::poll(&p, 1, ms);
  if (r < 0) return errno == EINTR ? false : true;  // a failing poll: let the write report it
  return r > 0;
}

// Writes all of text, waiting at most patience_ms for each byte; with patience 0 it only
// starts when the log has room now. Returns the bytes that got out.
size_t WriteBounded(const char* text, size_t len, int patience_ms) {
  const LogKind kind = KindOfLog();
  size_t done = 0;
  Clock::time_point last = Clock::now();
  while (done < len) {
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last);
    const int left = patience_ms - static_cast<int>(waited.count());
    if (kind != LogKind::kFile && !Room(left > 0 ? left : 0)) {
      if (left <= 0) break;
      continue;
    }
    const ssize_t w = WriteSome(kind, text + done, len - done);
    if (w < 0) break;
    if (w > 0) {
      done += static_cast<size_t>(w);
      last = Clock::now();
    } else if (left <= 0) {
      break;
    }
  }
  return done;
}

}  // namespace

bool LogWrite(const char* text, size_t len) {
  if (len == 0) return true;
  if (gaveUp) {
    // Given up: try without waiting; the text is dropped unless the log has room now.
    if (!Room(0)) {
      ++dropped;
      return false;
    }
    gaveUp = false;
    if (dropped > 0) {
      char note[128];
      const int n =
          std::snprintf(note, sizeof note, "%s%s: %ld log lines dropped: the log took no bytes\n",
                        cutLine ? "\n" : "", XEQNAME, dropped);
      cutLine = false;
      dropped = 0;
      LogWrite(note, static_cast<size_t>(n));
      if (gaveUp) {
        ++dropped;
        return false;
      }
    }
  }
  const size_t done = WriteBounded(text, len, kLogPatienceMs);
  if (done == len) return true;
  gaveUp = true;
  cutLine = cutLine || done > 0;
  ++dropped;
  return false;
}

long LogDropped() {
  return dropped;
}

// Formats and writes, whatever the findings-only switch says.
static void VWrite(const char* format, va_list ap) __attribute__((format(printf, 1, 0)));
static void VWrite(const char* format, va_list ap) {
  char small[512];
  va_list again;
  va_copy(again, ap);
  const int n = std::vsnprintf(small, sizeof small, format, ap);
  if (n < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    LogWrite(small, static_cast<size_t>(n));
  } else {
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), format, again);
    LogWrite(big.data(), static_cast<size_t>(n));
  }
  va_end(again);
}

void VSay(const char* format, va_list ap) {
  if (!findingsOnly) VWrite(format, ap);
}

void Say(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  VSay(format, ap);
  va_end(ap);
}

void SayFinding(const char* format, ...) {
  ++findings;
  va_list ap;
  va_start(ap, format);
  VWrite(format, ap);
  va_end(ap);
}

long FindingCount() {
  return findings;
}

void SetFindingsOnly(bool on) {
  findingsOnly = on;
}

void SayNote(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  VWrite(format, ap);
  va_end(ap);
}

std::string Where(const char* path, int line) {
  std::string w = path != nullptr ? path : "";
  if (line > 0) w += ":" + std::to_string(line);
  return w;
}

const char* Reason(int err) {
  return std::strerror(err);
}

void OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int got = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    // open takes the lowest free descriptor, which is fd itself.
    if (got >= 0 && got != fd) {
      ::dup2(got, fd);
      ::close(got);
    }
  }
}

}  // namespace qx5
