#include "lib/ioctl.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// The slave side of a fresh pseudo-terminal (the master is kept open while it is used).
struct Pty {
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
      slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  }
  ~Pty() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
  }
  termios attrs() const {
    termios t{};
    EXPECT_EQ(tcgetattr(slave, &t), 0);
    return t;
  }
  int master = -1;
  int slave = -1;
};

}  // namespace

TEST(IOCTLbaudrate, ReplacesControlModesAndSetsBothSpeeds) {
  // A pseudo-terminal always keeps CS8 and CREAD and drops PARENB, so the words here hold
  // CS8 | CREAD; every other flag is replaced as given.
  struct Case {
    int word;
    speed_t speed;
  } cases[] = {
      {13 | CS8 | CREAD, B9600},
      {14 | CS8 | CREAD | CSTOPB, B19200},
      {15 | CS8 | CREAD | CLOCAL, B38400},
      {0 | CS8 | CREAD | HUPCL, B0},
  };
  for (const Case& c : cases) {
    Pty pty;
    ASSERT_GE(pty.slave, 0);
    const termios before = pty.attrs();
    EXPECT_EQ(qx5::IOCTLbaudrate(pty.slave, c.word), 1);
    const termios after = pty.attrs();
    EXPECT_EQ(after.c_cflag, static_cast<tcflag_t>(c.word)) << c.word;
    EXPECT_EQ(cfgetispeed(&after), c.speed) << c.word;
    EXPECT_EQ(cfgetospeed(&after), c.speed) << c.word;
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
  }
}

TEST(IOCTLxonxoff, SetsIxonIxoffAndNothingElse) {
  Pty pty;
  ASSERT_GE(pty.slave, 0);
  termios t = pty.attrs();
  t.c_iflag &= ~(IXON | IXOFF);
  ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &t), 0);
  const termios before = pty.attrs();
  EXPECT_EQ(qx5::IOCTLxonxoff(pty.slave), 1);
  const termios once = pty.attrs();
  EXPECT_EQ(once.c_iflag, before.c_iflag | IXON | IXOFF);
  EXPECT_EQ(once.c_cflag, before.c_cflag);
  EXPECT_EQ(once.c_oflag, before.c_oflag);
  EXPECT_EQ(once.c_lflag, before.c_lflag);
  EXPECT_EQ(qx5::IOCTLxonxoff(pty.slave), 1);  // twice: as after the first call
  EXPECT_EQ(pty.attrs().c_iflag, once.c_iflag);
}

TEST(IOCTL, RegularFileGivesThePerrorLineAndZero) {
  const std::string path = ::testing::TempDir() + "not_a_tty";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(qx5::IOCTLbaudrate(fd, 13 | CS8 | CREAD), 0);
  EXPECT_EQ(qx5::IOCTLxonxoff(fd), 0);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("IOCTLcflag() ioctl(tcgets) failed: "), std::string::npos) << err;
  EXPECT_NE(err.find("IOCTLiflag() ioctl(tcgets) failed: "), std::string::npos) << err;
  close(fd);
  EXPECT_EQ(qx5::IOCTLbaudrate(-1, 13), 0);
}
