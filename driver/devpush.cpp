#include "driver/devpush.hpp"

#include <fcntl.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "driver/devout.hpp"
#include "lib/stop.hpp"

namespace qx5 {

namespace {

// A device that says it has room and then takes nothing (a parallel port has no poll of its
// own and always says so) is asked again after this pause, not in a busy loop.
constexpr int kRecheckMs = 10;
// How often a write to a socket that has no room looks whether the printer took bytes.
constexpr int kAckLookMs = 100;

void Nap(int ms) {
  const struct timespec t = {ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  nanosleep(&t, nullptr);
}

void MakeNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0 && (flags & O_NONBLOCK) == 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

ssize_t WriteSome(int fd, const char* p, size_t n, bool socket) {
  return socket ? ::send(fd, p, n, MSG_NOSIGNAL) : ::write(fd, p, n);
}

}  // namespace

long long MonotonicMs() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

void ReadBack(int fd, BackChannel& back) {
  static char sink[65536];
  const ssize_t n = ::recv(fd, sink, sizeof sink, MSG_DONTWAIT);
  if (n > 0) back.received += n;
  // End of file, or a connection that failed: nothing more to read (a write reports the failure).
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
    back.closed = true;
}

int Unacknowledged(int fd) {
  int n = 0;
  return ioctl(fd, SIOCOUTQ, &n) == 0 ? n : 0;
}

PushResult PushBytes(int fd, const void* data, size_t len, BackChannel* back) {
  PushResult r;
  if (fd < 0) {
    r.end = PushEnd::kFailed;
    r.err = EBADF;
    return r;
  }
  MakeNonBlocking(fd);
  const bool socket = back != nullptr;
  // A device has taken what a write accepted; a socket only what the printer acknowledged, as
  // its own buffer takes bytes long after the printer has stopped reading (a trickle, as the
  // kernel compacts it).
  auto acknowledged = [&] { return static_cast<long long>(r.sent) - Unacknowledged(fd); };
  const char* p = static_cast<const char*>(data);
  const long long patience = static_cast<long long>(std::max(ALARM_SEC, 1)) * 1000;
  long long last = MonotonicMs();
  long long mark = socket ? acknowledged() : 0;
  bool said_ready = false;
  while (r.sent < len) {
    const ssize_t n = WriteSome(fd, p + r.sent, len - r.sent, socket);
    if (n > 0) {
      r.sent += static_cast<size_t>(n);
      if (!socket) last = MonotonicMs();
      said_ready = false;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      r.end = PushEnd::kFailed;
      r.err = errno;
      return r;
    }
    if (socket) {
      const long long now_acknowledged = acknowledged();
      if (now_acknowledged > mark) {
        mark = now_acknowledged;
        last = MonotonicMs();
      }
    }
    const long long left = patience - (MonotonicMs() - last);
    int wait = StopGraceLeftMs(static_cast<int>(std::max(left, 0LL)), ALARM_SEC);
    if (wait <= 0) {
      r.end = PushEnd::kTimedOut;
      return r;
    }
    if (said_ready) {
      Nap(std::min(wait, kRecheckMs));
      said_ready = false;
      continue;
    }
    // A socket says nothing when the printer acknowledges a little: look again now and then.
    if (socket) wait = std::min(wait, kAckLookMs);
    struct pollfd pfd = {fd, POLLOUT, 0};
    if (socket && !back->closed) pfd.events |= POLLIN;
    if (poll(&pfd, 1, wait) <= 0) continue;
    if ((pfd.revents & POLLIN) != 0) ReadBack(fd, *back);
    said_ready = (pfd.revents & (POLLOUT | POLLERR | POLLHUP)) != 0;
  }
  return r;
}

}  // namespace qx5
