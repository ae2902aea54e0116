// Bounded waits on the X server. Xlib waits for the server in poll() without a time-out and
// polls again when a signal interrupts it, so a server that stops answering would hold the
// driver for ever. A watchdog timer (a POSIX timer on a signal of its own) watches every wait:
// a wait that gets nothing from the server for ALARM_SEC seconds, or that outlasts the grace a
// stop signal leaves, has the connection's socket shut down, and Xlib then reports the
// connection lost through its I/O error handlers.
#pragma once
#include <X11/Xlib.h>

namespace qx5 {

// Opens the display named by DISPLAY; null when it cannot be opened or its server did not
// answer in time (ExpiredWait() then says so).
Display* OpenDisplayBounded();

// Watches every flush of requests on d that is not part of an XWait: a flush the server takes
// no byte of for ALARM_SEC seconds ends the connection.
void WatchFlushes(Display* d);

// Ends the watch of a flush that Xlib made outside a request function (XFlush): called at the
// end of every plot, so that the watchdog's signal never comes between plots (it would cut
// short the wait for the next request).
void EndFlushWatch();

// One wait for the server's answer on d (a round trip, a read-back, the close), for as long as
// the object lives. what names the wait in the message ("reading the page back").
class XWait {
 public:
  XWait(Display* d, const char* what);
  ~XWait();
  XWait(const XWait&) = delete;
  XWait& operator=(const XWait&) = delete;
};

// The wait that ran out and ended the connection, since the last ForgetExpiredWait(); null
// while none did.
const char* ExpiredWait();
// Whole seconds the expired wait lasted.
int ExpiredWaitSeconds();
void ForgetExpiredWait();

}  // namespace qx5
