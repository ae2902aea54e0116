#include "lib/shellrun.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "support/harness.hpp"

namespace {

double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The conversion command runs with nothing of the driver's signal set-up: no signal blocked,
// SIGPIPE not ignored, and /dev/null as input. Its exit status is the result.
TEST(RunShell, RunsTheCommandCleanAndBounded) {
  qx5test::TempRoot root(false);
  const std::string out = root.path("/out");
  sigset_t stop, old;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop, &old);
  signal(SIGPIPE, SIG_IGN);
  const std::string cmd =
      "grep -E '^Sig(Blk|Ign):' /proc/self/status >'" + out + "'; cat >>'" + out + "'; exit 3";
  // cat ends at once on /dev/null.
  EXPECT_EQ(qx5::RunShell(cmd.c_str(), 5000), 3);
  signal(SIGPIPE, SIG_DFL);
  sigprocmask(SIG_SETMASK, &old, nullptr);
  const std::string status = qx5test::ReadFile(out);
  ASSERT_EQ(status.rfind("SigBlk:\t0000000000000000\nSigIgn:\t", 0), 0u) << status;
  const unsigned long long ignored =
      std::stoull(status.substr(status.rfind('\t') + 1), nullptr, 16);
  EXPECT_EQ(ignored & (1ull << (SIGPIPE - 1)), 0u) << status;
  EXPECT_EQ(qx5::RunShell("true", 5000), 0);
  EXPECT_EQ(qx5::RunShell("kill -9 $$", 5000), 128 + 9);

  // Killed at the time limit, with whatever it started.
  auto t0 = std::chrono::steady_clock::now();
  const std::string slow = "sleep 20 & sleep 20; echo late >'" + out + "'";
  EXPECT_EQ(qx5::RunShell(slow.c_str(), 700), qx5::kShellTimedOut);
  EXPECT_GE(Since(t0), 0.6);
  EXPECT_LT(Since(t0), 5.0);
  EXPECT_EQ(qx5test::ReadFile(out).find("late"), std::string::npos);
  // No time left: not even started.
  EXPECT_EQ(qx5::RunShell(("touch '" + out + "2'").c_str(), 0), qx5::kShellTimedOut);
  EXPECT_FALSE(root.exists("/out2"));
  EXPECT_EQ(qx5::RunShell(nullptr, 1000), qx5::kShellNotRun);
}

// The command's output reaches the given descriptor whole, however large; a descriptor that
// takes no more (a full file system) ends the command with the reason, at once; a command that
// keeps its output open past the time limit is killed.
TEST(RunShell, CopiesTheOutputAndReportsAFailedWrite) {
  qx5test::TempRoot root(false);
  const std::string path = root.path("/copy");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  int err = 0;
  // 1 MiB through a pipe of 64 KiB, then an exit status that still counts.
  EXPECT_EQ(qx5::RunShell("head -c 1048576 /dev/zero | tr '\\0' a; exit 4", 10000, fd, &err), 4);
  ::close(fd);
  const std::string got = qx5test::ReadFile(path);
  EXPECT_EQ(got.size(), 1048576u);
  EXPECT_EQ(got.find_first_not_of('a'), std::string::npos);

  const int full = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(qx5::RunShell("yes", 10000, full, &err), qx5::kShellWriteFailed);
  EXPECT_EQ(err, ENOSPC);
  EXPECT_LT(Since(t0), 5.0);
  ::close(full);

  const int null = ::open("/dev/null", O_WRONLY);
  t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(qx5::RunShell("echo start; sleep 20", 500, null, &err), qx5::kShellTimedOut);
  EXPECT_LT(Since(t0), 5.0);
  ::close(null);
}

}  // namespace
