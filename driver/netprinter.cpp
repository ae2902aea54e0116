#include "driver/netprinter.hpp"

#include <netdb.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>

#include "driver/devout.hpp"
#include "driver/devpush.hpp"
#include "driver/loop.hpp"
#include "lib/message.hpp"
#include "lib/stop.hpp"

namespace qx5 {

namespace {

constexpr std::string_view kScheme = "socket://";
constexpr size_t kHostMax = 255;
// The socket holds about as much as a pipe before the printer must read, so that a request is
// answered once the printer (nearly) has its bytes.
constexpr int kSendBuffer = 65536;
// After the printer has every byte, how long it may take to close its side at the end.
constexpr int kLastWordMs = 1000;
// How often the end of a connection looks whether the printer still takes the last bytes.
constexpr int kProgressLookMs = 50;

NetAddress printer;
int conn = -1;
BackChannel back;
long long sent = 0;

// The name look-up runs in the C library's own thread, so that it can be given up on at the
// time-out; one still running then is waited on again by the next connection.
struct gaicb lookup;
struct addrinfo lookup_hints;
char lookup_host[kHostMax + 1];
char lookup_port[8];
bool lookup_pending = false;

bool IsPort(std::string_view s, int& port) {
  if (s.empty() || s.size() > 5) return false;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  port = v;
  return v >= 1 && v <= 65535;
}

bool IsHost(std::string_view host, bool bracketed) {
  if (host.empty() || host.size() > kHostMax) return false;
  for (char c : host) {
    const bool ok = std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' ||
                    c == '_' || (bracketed && (c == ':' || c == '%'));
    if (!ok) return false;
  }
  return !bracketed || host.find(':') != std::string_view::npos;
}

int MsLeft(long long deadline) {
  return StopGraceLeftMs(static_cast<int>(std::max(deadline - MonotonicMs(), 0LL)), ALARM_SEC);
}

addrinfo Hints(int flags) {
  addrinfo h{};
  h.ai_family = AF_UNSPEC;
  h.ai_socktype = SOCK_STREAM;
  h.ai_flags = flags;
  return h;
}

// The printer's addresses (free them with freeaddrinfo), or null with the reason in why
// (timed_out when the look-up did not finish in time).
addrinfo* Resolve(long long deadline, std::string& why, bool& timed_out) {
  const std::string port = std::to_string(printer.port);
  const addrinfo numeric = Hints(AI_NUMERICHOST | AI_NUMERICSERV);
  addrinfo* list = nullptr;
  const int rc = getaddrinfo(printer.host.c_str(), port.c_str(), &numeric, &list);
  if (rc == 0) return list;
  if (rc != EAI_NONAME) {
    why = gai_strerror(rc);
    return nullptr;
  }
  if (!lookup_pending) {
    std::snprintf(lookup_host, sizeof lookup_host, "%s", printer.host.c_str());
    std::snprintf(lookup_port, sizeof lookup_port, "%s", port.c_str());
    lookup_hints = Hints(AI_NUMERICSERV | AI_ADDRCONFIG);
    lookup = {};
    lookup.ar_name = lookup_host;
    lookup.ar_service = lookup_port;
    lookup.ar_request = &lookup_hints;
    struct gaicb* start[1] = {&lookup};
    const int started = getaddrinfo_a(GAI_NOWAIT, start, 1, nullptr);
    if (started != 0) {
      why = gai_strerror(started);
      return nullptr;
    }
    lookup_pending = true;
  }
  const struct gaicb* wait[1] = {&lookup};
  while (gai_error(&lookup) == EAI_INPROGRESS) {
    const int ms = MsLeft(deadline);
    if (ms <= 0) break;
    const struct timespec t = {ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    gai_suspend(wait, 1, &t);
  }
  const int done = gai_error(&lookup);
  if (done == EAI_INPROGRESS) {
    if (gai_cancel(&lookup) == EAI_CANCELED) lookup_pending = false;
    timed_out = true;
    why = "the name look-up did not finish within " + std::to_string(std::max(ALARM_SEC, 1)) +
          " seconds";
    return nullptr;
  }
  lookup_pending = false;
  list = lookup.ar_result;
  lookup.ar_result = nullptr;
  if (done != 0) {
    why = gai_strerror(done);
    return nullptr;
  }
  return list;
}

// A connection to one address within the deadline: its descriptor, or -1 with err set.
int ConnectTo(const addrinfo* ai, long long deadline, int& err) {
  const int fd = ::socket(ai->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    err = errno;
    return -1;
  }
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer);
  if (::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0) return fd;
  err = errno;
  while (err == EINPROGRESS) {
    const int ms = MsLeft(deadline);
    if (ms <= 0) {
      err = ETIMEDOUT;
      break;
    }
    struct pollfd p = {fd, POLLOUT, 0};
    if (poll(&p, 1, ms) <= 0) continue;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    if (err == 0) return fd;
  }
  ::close(fd);
  return -1;
}

void SayFailure(const char* why) {
  Say("ERROR: %s: %s: %s\n", XEQNAME, printer.name.c_str(), why);
}

// Look-up and connection together bounded by ALARM_SEC.
bool Connect() {
  const long long deadline = MonotonicMs() + static_cast<long long>(std::max(ALARM_SEC, 1)) * 1000;
  std::string why;
  bool timed_out = false;
  addrinfo* list = Resolve(deadline, why, timed_out);
  if (list == nullptr) {
    if (timed_out) SigAlarm = 1;
    SayFailure(why.c_str());
    return false;
  }
  int err = ETIMEDOUT;
  for (const addrinfo* ai = list; ai != nullptr && conn < 0 && MsLeft(deadline) > 0;
       ai = ai->ai_next)
    conn = ConnectTo(ai, deadline, err);
  freeaddrinfo(list);
  if (conn < 0) {
    if (err == ETIMEDOUT) SigAlarm = 1;
    SayFailure(Reason(err));
    return false;
  }
  back = BackChannel{};
  sent = 0;
  Say("%s: %s: connected\n", XEQNAME, printer.name.c_str());
  return true;
}

// The printer begins a new job with the next connection: it is initialised again then.
void Close() {
  ::close(conn);
  conn = -1;
  DidInit = 0;
  Say("%s: %s: connection closed, %lld bytes sent, %lld bytes received\n", XEQNAME,
      printer.name.c_str(), sent, back.received);
}

// A failed connection is reset at once: the printer drops the page, and nothing of it is
// left to trickle out later.
void Drop() {
  const struct linger reset = {1, 0};
  setsockopt(conn, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  Close();
}

// After the end of the data: reads what the printer sends until it closes its side, as long
// as it still takes the last bytes (ALARM_SEC without progress) and then kLastWordMs at most.
void AwaitTheEnd() {
  const long long patience = static_cast<long long>(std::max(ALARM_SEC, 1)) * 1000;
  long long now = MonotonicMs();
  long long last = now;
  long long all_taken = -1;
  int queued = Unacknowledged(conn);
  while (!back.closed) {
    if (queued == 0 && all_taken < 0) all_taken = now;
    const long long left =
        all_taken >= 0 ? kLastWordMs - (now - all_taken) : patience - (now - last);
    const long long slice = all_taken >= 0 ? left : std::min<long long>(left, kProgressLookMs);
    const int wait = StopGraceLeftMs(static_cast<int>(std::max(slice, 0LL)), ALARM_SEC);
    if (left <= 0 || wait <= 0) break;
    struct pollfd p = {conn, POLLIN, 0};
    if (poll(&p, 1, wait) > 0) ReadBack(conn, back);
    now = MonotonicMs();
    const int q = Unacknowledged(conn);
    if (q < queued) last = now;
    queued = q;
  }
}

}  // namespace

NetParse ParseNetAddress(std::string_view text, NetAddress& out) {
  if (text.size() < kScheme.size() || strncasecmp(text.data(), kScheme.data(), kScheme.size()) != 0)
    return NetParse::kNotNetwork;
  std::string_view rest = text.substr(kScheme.size());
  std::string_view host;
  const bool bracketed = !rest.empty() && rest[0] == '[';
  if (bracketed) {
    const size_t close = rest.find(']');
    if (close == std::string_view::npos) return NetParse::kBad;
    host = rest.substr(1, close - 1);
    rest = rest.substr(close + 1);
  } else {
    const size_t colon = rest.find(':');
    host = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon);
  }
  int port = kNetworkPort;
  if (!IsHost(host, bracketed)) return NetParse::kBad;
  if (!rest.empty() && (rest[0] != ':' || !IsPort(rest.substr(1), port))) return NetParse::kBad;
  out.host = std::string(host);
  out.port = port;
  const std::string shown = bracketed ? "[" + out.host + "]" : out.host;
  out.name = std::string(kScheme) + shown + ":" + std::to_string(port);
  return NetParse::kValid;
}

void SetNetPrinter(const NetAddress& address) {
  printer = address;
}

const NetAddress& NetPrinter() {
  return printer;
}

size_t NetPrinterWrite(const char* data, size_t n) {
  if (n == 0) return 0;
  if (conn < 0 && !Connect()) return 0;
  const PushResult r = PushBytes(conn, data, n, &back);
  sent += static_cast<long long>(r.sent);
  if (r.end == PushEnd::kDone) return r.sent;
  if (r.end == PushEnd::kTimedOut) {
    SigAlarm = 1;
    const std::string why =
        StopSignal != 0
            ? std::string("cut off by a stop signal")
            : "the printer took no byte for " + std::to_string(std::max(ALARM_SEC, 1)) + " seconds";
    SayFailure(why.c_str());
  } else {
    SayFailure(Reason(r.err));
  }
  Drop();
  return r.sent;
}

bool NetPrinterConnected() {
  return conn >= 0;
}

void NetPrinterForgetClosed() {
  if (conn < 0) return;
  struct pollfd p = {conn, POLLIN | POLLRDHUP, 0};
  if (poll(&p, 1, 0) <= 0) return;
  if ((p.revents & POLLIN) != 0) ReadBack(conn, back);
  if (!back.closed && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0) return;
  Say("%s: %s: the printer closed the connection\n", XEQNAME, printer.name.c_str());
  Drop();
}

void NetPrinterRelease() {
  if (conn < 0) return;
  ::shutdown(conn, SHUT_WR);
  AwaitTheEnd();
  Close();
}

}  // namespace qx5
