#include "lib/shellrun.hpp"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>

#include "support/harness.hpp"

namespace {

// The conversion command runs with nothing of the driver's signal set-up: no signal blocked
// (the driver holds its stop signals back), SIGPIPE not ignored, and /dev/null as input.
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
  // cat ends at once on /dev/null; the exit status is not examined.
  EXPECT_EQ(qx5::RunShell(cmd.c_str(), 5), qx5::kShellRan);
  signal(SIGPIPE, SIG_DFL);
  sigprocmask(SIG_SETMASK, &old, nullptr);
  const std::string status = qx5test::ReadFile(out);
  ASSERT_EQ(status.rfind("SigBlk:\t0000000000000000\nSigIgn:\t", 0), 0u) << status;
  const unsigned long long ignored =
      std::stoull(status.substr(status.rfind('\t') + 1), nullptr, 16);
  EXPECT_EQ(ignored & (1ull << (SIGPIPE - 1)), 0u) << status;

  // Killed at the time limit, with whatever it started.
  auto t0 = std::chrono::steady_clock::now();
  const std::string slow = "sleep 20 & sleep 20; echo late >'" + out + "'";
  EXPECT_EQ(qx5::RunShell(slow.c_str(), 1), qx5::kShellTimedOut);
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GE(secs, 0.9);
  EXPECT_LT(secs, 5.0);
  EXPECT_EQ(qx5test::ReadFile(out).find("late"), std::string::npos);
  EXPECT_EQ(qx5::RunShell(nullptr, 1), qx5::kShellNotRun);
}

}  // namespace
