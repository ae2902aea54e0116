// The guarded write of a device descriptor: the bytes go out as the device takes them, and a
// write fails only when the device has taken no byte for ALARM_SEC seconds, however long the
// whole write takes. A slow printer that keeps taking bytes is never timed out.
#pragma once
#include <cstddef>

namespace qx5 {

// What a network printer sent back while the driver wrote to it: read and dropped as it comes,
// so that a printer that talks never stalls the driver.
struct BackChannel {
  long long received = 0;
  bool closed = false;  // the printer closed its side
};

enum class PushEnd { kDone, kTimedOut, kFailed };

struct PushResult {
  size_t sent = 0;  // the bytes the device took
  PushEnd end = PushEnd::kDone;
  int err = 0;  // the errno of a failed write (kFailed)
};

// Writes len bytes to fd, which is made non-blocking. It waits for room at most until ALARM_SEC
// seconds have passed since the device last took a byte, and after a stop signal no longer
// than what is left of its grace (both end as kTimedOut). With back, fd is a socket: a byte
// counts as taken once the printer acknowledged it, and what the printer sends back is read
// and dropped meanwhile.
PushResult PushBytes(int fd, const void* data, size_t len, BackChannel* back);

// Bytes sent on the socket fd that the other end has not acknowledged yet.
int Unacknowledged(int fd);

// Reads once what the socket fd holds now, and drops it.
void ReadBack(int fd, BackChannel& back);

// Milliseconds since an arbitrary start, never going back.
long long MonotonicMs();

}  // namespace qx5
