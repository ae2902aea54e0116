// A stop signal leaves a request in progress the grace it is given, and no more.
#include "lib/stop.hpp"

#include <gtest/gtest.h>

#include <csignal>

TEST(StopGrace, WaitsAreCutToWhatIsLeftOfTheGrace) {
  qx5::ClearStopSignal();
  EXPECT_EQ(qx5::StopGraceLeftMs(100000, 2), 100000);
  EXPECT_FALSE(qx5::StopGraceOver(0));

  qx5::NoteStopSignal(SIGTERM);
  EXPECT_EQ(qx5::StopSignal, SIGTERM);
  const int left = qx5::StopGraceLeftMs(100000, 2);
  EXPECT_GT(left, 1500);
  EXPECT_LE(left, 2000);
  EXPECT_EQ(qx5::StopGraceLeftMs(300, 2), 300) << "a shorter wait keeps its own limit";
  EXPECT_EQ(qx5::StopGraceLeftMs(100000, 0), 0);
  EXPECT_TRUE(qx5::StopGraceOver(0));
  EXPECT_FALSE(qx5::StopGraceOver(2));

  // A second signal does not restart the grace.
  qx5::NoteStopSignal(SIGINT);
  EXPECT_LE(qx5::StopGraceLeftMs(100000, 2), left);
  qx5::ClearStopSignal();
  EXPECT_EQ(qx5::StopSignal, 0);
}
