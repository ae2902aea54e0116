#include "lib/ioctl.hpp"

#include <termios.h>

#include <cstdio>

namespace qx5 {

namespace {
// The System V speed code sits in the low four bits of the control-mode word; on Linux the
// codes 0 to 15 are the B0..B38400 constants themselves.
constexpr int kSpeedMask = 0x0F;
}  // namespace

// Linux lays the control modes out as System V does, so the word is taken as it stands.
int IOCTLbaudrate(int fd, int cflag) {
  struct termios t;
  if (tcgetattr(fd, &t) != 0) {
    std::perror("IOCTLcflag() ioctl(tcgets) failed");
    return 0;
  }
  t.c_cflag = static_cast<tcflag_t>(cflag);
  const speed_t speed = static_cast<speed_t>(cflag & kSpeedMask);
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  if (tcsetattr(fd, TCSANOW, &t) != 0) {
    std::perror("IOCTLcflag() ioctl(tcsets) failed");
    return 0;
  }
  return 1;
}

int IOCTLxonxoff(int fd) {
  struct termios t;
  if (tcgetattr(fd, &t) != 0) {
    std::perror("IOCTLiflag() ioctl(tcgets) failed");
    return 0;
  }
  t.c_iflag |= IXON | IXOFF;
  if (tcsetattr(fd, TCSANOW, &t) != 0) {
    std::perror("IOCTLiflag() ioctl(tcsets) failed");
    return 0;
  }
  return 1;
}

}  // namespace qx5
