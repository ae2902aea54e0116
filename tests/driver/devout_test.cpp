#include "driver/devout.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

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

TEST_F(DevOut, CheckFileAndOpening) {
  EXPECT_EQ(qx5::CheckFile(root.path("/dev/lp").c_str()), 0);
  EXPECT_EQ(qx5::CheckFile(nullptr), 0);
  root.write("/dev/lp", "old");
  EXPECT_EQ(qx5::CheckFile(root.path("/dev/lp").c_str()), 1);
  ASSERT_EQ(qx5::OpenDevice(), 0);
  EXPECT_EQ(qx5::WRITE(qx5::lp, "new", 3), 0);
  // Unbuffered: the bytes are in the file before any flush.
  EXPECT_EQ(root.read("/dev/lp"), "new");
  EXPECT_EQ(qx5::ReopenDevice(false), 0);
  EXPECT_EQ(root.read("/dev/lp"), "");
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
