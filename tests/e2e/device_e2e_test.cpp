// Devices end to end: a slow printer that keeps taking bytes gets its whole page, and every
// printer of a host writes to the device its server names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "driver/srvmsg.hpp"
#include "support/harness.hpp"

namespace {

using qx5test::Attach;
using qx5test::Driver;
using qx5test::FifoDevice;
using qx5test::TempRoot;
using Clock = std::chrono::steady_clock;

}  // namespace

// A printer on a line of about 19,200 baud: a pipe of 4 KiB read at 1,800 bytes a second,
// never pausing more than a tenth of a second. The page takes some 40 seconds, longer than the
// time-out of 30, and is answered 0 with every byte that a fast device gets.
TEST(E2eDevice, SlowPrinterThatKeepsTakingBytesGetsTheWholePage) {
  qx5test::TestDisplay();
  TempRoot root;
  qx5test::SetConfigLine(root, "laser",
                         "\"laser\" HPPCL laserjet.cod English BW Single 300 300 30 0");
  // 27 crossing lines: some 72 KB of compressed rows on the laser.
  root.write("/u/tmp/lines.plt", qx5test::CrossingLines(27));
  qx5::SrvMsg plot = qx5test::FileRequest(5, root.path("/u/tmp/lines.plt"), "slow");
  plot.pagetype = 1;

  std::string fast;
  {
    FifoDevice dev(root.path("/dev/lp"));
    Driver d(root, "0", "laser");
    Attach(d);
    dev.settle(200);
    dev.clear();
    qx5::SrvMsg a;
    ASSERT_TRUE(d.request(plot, a));
    EXPECT_EQ(a.status, 0);
    dev.settle(300);
    fast = dev.bytes();
    EXPECT_TRUE(d.stop());
  }
  ASSERT_GT(fast.size(), 70000u);
  ASSERT_LT(fast.size(), 80000u);

  FifoDevice dev(root.path("/dev/lp"));
  ASSERT_TRUE(dev.set_pipe_size(4096));
  dev.read_rate(1800);
  Driver d(root, "0", "laser");
  Attach(d);
  dev.settle(300);
  dev.clear();
  qx5::SrvMsg a;
  const auto t0 = Clock::now();
  ASSERT_TRUE(d.request(plot, a, 120000)) << d.output();
  const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
  EXPECT_EQ(a.status, 0) << d.output();
  EXPECT_GT(secs, 30.0);
  ASSERT_TRUE(dev.wait_for(fast.size(), 10000));
  dev.settle(300);
  EXPECT_TRUE(dev.bytes() == fast) << dev.bytes().size() << " bytes of " << fast.size();
  EXPECT_EQ(d.output().find("Unable to plot"), std::string::npos);
  EXPECT_TRUE(d.stop());
}

// Three printers of one host under one root, each started with its own device: a FIFO at
// /dev/lp0, a regular file at /dev/lp1 (which keeps what it held and every job, across the
// re-opens), and a serial line at /dev/ttyS1, which gets the serial setting. Nothing goes to
// /dev/lp.
TEST(E2eDevice, EachPrinterWritesToItsOwnDevice) {
  TempRoot root;
  root.write("/u/tmp/t.txt", "file\n");
  FifoDevice lp0(root.path("/dev/lp0"));
  root.write("/dev/lp1", "earlier\n");
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);
  ASSERT_EQ(symlink(slave.c_str(), root.path("/dev/ttyS1").c_str()), 0);

  // 9600 baud (13), 8 bits (48), receiver on (128), modem lines ignored (2048).
  Driver d0(root, {"0", "/dev/lp0", "-", "0", "e2etest"});
  Attach(d0);
  Driver d1(root, {"1", "/dev/lp1", "-", "0", "e2etest"});
  Attach(d1);
  Driver d2(root, {"2", "/dev/ttyS1", "S", "2237", "e2etest"});
  Attach(d2);
  for (Driver* d : {&d0, &d1, &d2}) {
    const std::string dev = d == &d0 ? "/dev/lp0" : d == &d1 ? "/dev/lp1" : "/dev/ttyS1";
    EXPECT_TRUE(d->wait_output("QX5 PRINTER DRIVER: \"e2etest\" at " + root.path(dev) + "\n"));
  }
  qx5::SrvMsg a;
  ASSERT_TRUE(d0.request(qx5test::LineRequest("to lp0"), a));
  EXPECT_EQ(a.cmd, 12);
  EXPECT_EQ(a.status, 0);
  for (const qx5::SrvMsg& req :
       {qx5test::LineRequest("to lp1 "), qx5test::FileRequest(9, root.path("/u/tmp/t.txt")),
        qx5test::LineRequest("again")}) {
    ASSERT_TRUE(d1.request(req, a));
    EXPECT_EQ(a.cmd, 6);
    EXPECT_EQ(a.status, 0);
  }
  ASSERT_TRUE(d2.request(qx5test::LineRequest("to ttyS1"), a));
  EXPECT_EQ(a.cmd, 6);
  EXPECT_EQ(a.status, 0);

  EXPECT_TRUE(lp0.wait_for(6, 2000));
  lp0.settle(100);
  EXPECT_EQ(lp0.bytes(), "to lp0");
  EXPECT_EQ(root.read("/dev/lp1"), "earlier\nto lp1 file\nagain");
  std::string tty;
  char buf[64];
  pollfd p = {master, POLLIN, 0};
  while (tty.size() < 8 && poll(&p, 1, 2000) > 0) {
    const ssize_t n = ::read(master, buf, sizeof buf);
    if (n <= 0) break;
    tty.append(buf, static_cast<size_t>(n));
  }
  EXPECT_EQ(tty, "to ttyS1");
  const int fd = ::open(slave.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  termios t{};
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_NE(t.c_cflag & CLOCAL, 0u);
  ::close(fd);
  EXPECT_FALSE(root.exists("/dev/lp"));

  EXPECT_TRUE(d2.stop());
  EXPECT_TRUE(d1.stop());
  EXPECT_TRUE(d0.stop());
  ::close(master);
}
