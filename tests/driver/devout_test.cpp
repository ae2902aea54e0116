#include "driver/devout.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "driver/loop.hpp"
#include "lib/message.hpp"
#include "lib/stop.hpp"
#include "support/harness.hpp"

namespace {

// Between guarded writes no alarm is pending and SIGALRM has its default action.
void ExpectAlarmIdle() {
  struct sigaction sa {};
  sigaction(SIGALRM, nullptr, &sa);
  EXPECT_EQ(sa.sa_handler, SIG_DFL);
  itimerval t{};
  getitimer(ITIMER_REAL, &t);
  EXPECT_EQ(t.it_value.tv_sec, 0);
  EXPECT_EQ(t.it_value.tv_usec, 0);
}

class DevOut : public ::testing::Test {
 protected:
  void SetUp() override {
    std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", "dev");
    saved_alarm_ = qx5::ALARM_SEC;
  }
  void TearDown() override {
    if (qx5::lp) std::fclose(qx5::lp);
    qx5::lp = nullptr;
    qx5::ALARM_SEC = saved_alarm_;
  }
  int saved_alarm_ = 60;
  qx5test::TempRoot root{false};
};

}  // namespace

TEST_F(DevOut, WritesToAFileAndRestoresTheAlarm) {
  const std::string path = root.path("/out");
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(qx5::WRITE(f, "ab\0c", 4), 0);
  ExpectAlarmIdle();
  EXPECT_EQ(qx5::WRITE(f, "", 0), 0);
  ExpectAlarmIdle();
  EXPECT_EQ(qx5::FPUTS("x\0y", f), 0);  // up to the first NUL
  ExpectAlarmIdle();
  std::fclose(f);
  EXPECT_EQ(qx5test::ReadFile(path), std::string("ab\0cx", 5));
}

TEST_F(DevOut, NullStreamAndBadLengthsFailWithoutWriting) {
  EXPECT_EQ(qx5::WRITE(nullptr, "abc", 3), 1);
  EXPECT_EQ(qx5::WRITE(stdout, "abc", -1), 1);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::FPUTS("abc", nullptr), 1);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "dev: FPUTS failed - ret = -1  SigAlarm = 0\n");
}

TEST_F(DevOut, FailedStringWritePrintsItsLine) {
  FILE* f = std::fopen("/dev/full", "w");
  ASSERT_NE(f, nullptr);
  setvbuf(f, nullptr, _IONBF, 0);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::FPUTS("abc", f), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "dev: FPUTS failed - ret = -1  SigAlarm = 0\n");
  std::fclose(f);
}

TEST_F(DevOut, BlockedDeviceTimesOutAndRecovers) {
  qx5test::FifoDevice fifo(root.path("/dev/lp"));
  ASSERT_EQ(qx5::OpenDevice(), 0);
  qx5::ALARM_SEC = 1;
  fifo.pause();
  const std::string big(300000, 'b');  // more than the pipe holds
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(qx5::WRITE(qx5::lp, big.data(), static_cast<int>(big.size())), 1);
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GE(secs, 0.9);
  EXPECT_LT(secs, 5.0);
  ExpectAlarmIdle();
  EXPECT_EQ(qx5::SigAlarm, 1);

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::FPUTS(big.c_str(), qx5::lp), 1);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "dev: FPUTS failed - ret = -1  SigAlarm = 1\n");
  ExpectAlarmIdle();

  fifo.resume();
  ASSERT_TRUE(fifo.wait_for(1, 3000));
  fifo.settle(300);
  fifo.clear();
  EXPECT_EQ(qx5::WRITE(qx5::lp, "after", 5), 0);
  EXPECT_EQ(qx5::FPUTS("-more", qx5::lp), 0);
  ASSERT_TRUE(fifo.wait_for(10, 3000));
  fifo.settle(100);
  const std::string got = fifo.bytes();
  EXPECT_TRUE(got == "after-more") << got.size() << " bytes: " << got.substr(0, 40);
}

// A device that is a regular file keeps every job: it is appended to, never truncated.
TEST_F(DevOut, CheckFileAndOpening) {
  EXPECT_EQ(qx5::CheckFile(root.path("/dev/lp").c_str()), 0);
  EXPECT_EQ(qx5::CheckFile(nullptr), 0);
  root.write("/dev/lp", "old");
  EXPECT_EQ(qx5::CheckFile(root.path("/dev/lp").c_str()), 1);
  ASSERT_EQ(qx5::OpenDevice(), 0);
  EXPECT_EQ(qx5::WRITE(qx5::lp, "new", 3), 0);
  // Unbuffered: the bytes are in the file before any flush.
  EXPECT_EQ(root.read("/dev/lp"), "oldnew");
  EXPECT_EQ(qx5::ReopenDevice(false), 0);
  EXPECT_EQ(qx5::FPUTS("-more", qx5::lp), 0);
  EXPECT_EQ(root.read("/dev/lp"), "oldnew-more");
}

// The time-out counts from the last byte the device took: a device that keeps taking bytes,
// however slowly, gets the whole block; one that stops is cut off ALARM_SEC after its last
// byte, and WRITEsent is exactly what it took. A stop signal cuts a slow write to its grace.
TEST_F(DevOut, TimeOutCountsFromTheLastByteTaken) {
  qx5test::FifoDevice fifo(root.path("/dev/lp"));
  ASSERT_TRUE(fifo.set_pipe_size(4096));
  ASSERT_EQ(qx5::OpenDevice(), 0);
  qx5::ALARM_SEC = 2;
  std::string block(131072, 'x');
  for (size_t i = 0; i < block.size(); i += 97) block[i] = static_cast<char>('a' + i % 26);

  struct Case {
    const char* what;
    long rate;         // bytes a second the device reads
    long stall_after;  // it stops reading after this many (-1: never)
    bool stop_signal;  // a stop signal comes as the write begins
    int result;
    double min_secs, max_secs;
  } cases[] = {
      {"slow but steady", 40000, -1, false, 0, 2.5, 12.0},
      {"stalls", 40000, 20000, false, 1, 2.0, 6.0},
      {"stop signal", 40000, -1, true, 1, 1.9, 3.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fifo.clear();
    fifo.read_rate(c.rate);
    if (c.stop_signal) qx5::NoteStopSignal(SIGTERM);
    std::thread staller;
    if (c.stall_after >= 0) {
      staller = std::thread([&fifo, &c] {
        fifo.wait_for(static_cast<size_t>(c.stall_after), 10000);
        fifo.pause();
      });
    }
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(qx5::WRITE(qx5::lp, block.data(), static_cast<int>(block.size())), c.result);
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    qx5::ClearStopSignal();
    if (staller.joinable()) staller.join();
    EXPECT_GE(secs, c.min_secs);
    EXPECT_LT(secs, c.max_secs);
    EXPECT_EQ(qx5::SigAlarm, c.result);
    ExpectAlarmIdle();
    // What the device got is exactly what WRITEsent counts, and its first bytes in order.
    fifo.read_rate(0);
    fifo.resume();
    ASSERT_TRUE(fifo.wait_for(static_cast<size_t>(qx5::WRITEsent), 5000));
    fifo.settle(200);
    const std::string got = fifo.bytes();
    EXPECT_EQ(got.size(), static_cast<size_t>(qx5::WRITEsent));
    EXPECT_EQ(got, block.substr(0, got.size()));
    if (c.result == 0) {
      EXPECT_EQ(qx5::WRITEsent, static_cast<int>(block.size()));
    } else {
      EXPECT_LT(qx5::WRITEsent, static_cast<int>(block.size()));
    }
  }
}

// The device argument: an absolute path is the device (under the root), socket://HOST[:PORT]
// a network printer, any other word the default device; an unusable one is said and refused.
TEST_F(DevOut, DeviceArgument) {
  root.write("/dev/lp1", "");
  const std::string lp1 = root.path("/dev/lp1");
  struct Case {
    const char* arg;
    std::string name;  // as messages name it
    int exists;
    const char* said;  // the line DeviceExists prints
  } cases[] = {
      {"/dev/lp1", lp1, 1, ""},
      {"/dev/usb/lp0", root.path("/dev/usb/lp0"), 0, ""},
      {"lp1", root.path("/dev/lp"), 0, ""},
      {"", root.path("/dev/lp"), 0, ""},
      {"socket://printer", "socket://printer:9100", 1, ""},
      {"SOCKET://10.0.0.7:631", "socket://10.0.0.7:631", 1, ""},
      {"socket://[fe80::1%eth0]:9101", "socket://[fe80::1%eth0]:9101", 1, ""},
      {"socket://printer:0", "socket://printer:0", 0, "not a network printer address"},
      {"socket://printer:65536", "socket://printer:65536", 0, "not a network printer address"},
      {"socket://printer:", "socket://printer:", 0, "not a network printer address"},
      {"socket://::1", "socket://::1", 0, "not a network printer address"},
      {"socket://[::1", "socket://[::1", 0, "not a network printer address"},
      {"socket://[printer]", "socket://[printer]", 0, "not a network printer address"},
      {"socket://", "socket://", 0, "not a network printer address"},
      {"socket://host/queue", "socket://host/queue", 0, "not a network printer address"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arg);
    qx5::SetDevice(c.arg);
    EXPECT_EQ(qx5::DeviceName(), c.name);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(qx5::DeviceExists(), c.exists);
    const std::string out = ::testing::internal::GetCapturedStdout();
    if (*c.said == '\0')
      EXPECT_EQ(out, "");
    else
      EXPECT_EQ(out, "ERROR: dev: " + c.name + ": " + c.said +
                         " (socket://HOST[:PORT], PORT 1 to 65535)\n");
  }
  const std::string longpath = "/dev/" + std::string(5000, 'x');
  qx5::SetDevice(longpath.c_str());
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::DeviceExists(), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "ERROR: dev: " + longpath + ": device name longer than 4095 bytes\n");
  EXPECT_EQ(qx5::OpenDevice(), 1);

  // The named path is the one opened.
  qx5::SetDevice("/dev/lp1");
  ASSERT_EQ(qx5::OpenDevice(), 0);
  EXPECT_GE(qx5::DeviceDescriptor(), 0);
  EXPECT_EQ(qx5::WRITE(qx5::lp, "one", 3), 0);
  EXPECT_EQ(root.read("/dev/lp1"), "one");
  qx5::SetDevice("/dev/lp");
}

// A printer whose queue of connections is full answers no connection at all: connect() waits,
// and is given up at the time-out, the write failing as a timed-out one.
TEST_F(DevOut, SilentNetworkPrinterIsGivenUpAtTheTimeOut) {
  const qx5test::SilentPrinter printer;
  const std::string name = printer.address();
  qx5::SetDevice(name.c_str());
  ASSERT_EQ(qx5::OpenDevice(), 0);
  qx5::ALARM_SEC = 1;
  ::testing::internal::CaptureStdout();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(qx5::WRITE(qx5::lp, "page", 4), 1);
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(qx5::SigAlarm, 1);
  EXPECT_EQ(qx5::WRITEsent, 0);
  EXPECT_FALSE(qx5::DeviceHeld());
  EXPECT_GT(took, 0.8);
  EXPECT_LT(took, 3.0);
  EXPECT_NE(out.find("ERROR: dev: " + name + ": Connection timed out\n"), std::string::npos) << out;
  qx5::SetDevice("/dev/lp");
}

TEST_F(DevOut, ReopenFailureLeavesNoStreamAndSaysSo) {
  root.write("/dev/lp", "");
  ASSERT_EQ(qx5::OpenDevice(), 0);
  // The device becomes a directory: it exists but cannot be opened for writing.
  const std::string dev = root.path("/dev/lp");
  ASSERT_EQ(std::system(("rm -f '" + dev + "' && mkdir '" + dev + "'").c_str()), 0);
  EXPECT_EQ(qx5::CheckFile(dev.c_str()), 1);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::ReopenDevice(true), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "ERROR: dev: unable to open " + dev + "\n");
  EXPECT_EQ(qx5::lp, nullptr);
  EXPECT_EQ(qx5::WRITE(qx5::lp, "x", 1), 1);
}

TEST_F(DevOut, OpenOfAFifoWithoutReaderIsBounded) {
  const std::string dev = root.path("/dev/lp");
  ASSERT_EQ(mkfifo(dev.c_str(), 0600), 0);
  qx5::ALARM_SEC = 1;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(qx5::OpenDevice(), 1);
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(secs, 5.0);
  EXPECT_EQ(qx5::lp, nullptr);
  ExpectAlarmIdle();
}

// Once a stop signal's grace is over, no write is tried: WRITE and FPUTS fail at once (FPUTS
// with its line), so that a request in progress ends. Before that, writes go on as usual.
TEST_F(DevOut, WritesFailOnceTheStopGraceIsOver) {
  const std::string path = root.path("/out");
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  qx5::ALARM_SEC = 1;
  qx5::NoteStopSignal(SIGTERM);
  EXPECT_EQ(qx5::WRITE(f, "in", 2), 0);
  usleep(1100000);
  EXPECT_EQ(qx5::WRITE(f, "late", 4), 1);
  EXPECT_EQ(qx5::WRITEsent, 0);
  ExpectAlarmIdle();
  testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::FPUTS("late", f), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "dev: FPUTS failed - ret = -1  SigAlarm = 1\n");
  ExpectAlarmIdle();
  qx5::ClearStopSignal();
  std::fclose(f);
  EXPECT_EQ(qx5test::ReadFile(path), "in");
}
