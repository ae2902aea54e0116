#include <gtest/gtest.h>

#include <cstdlib>

#include "lib/paths.hpp"

TEST(RootPath, TakesFixedPathsUnderTheRootOnlyWhenSet) {
  unsetenv("QX5_ROOT");
  EXPECT_EQ(qx5::RootPath("/dev/lp"), "/dev/lp");
  setenv("QX5_ROOT", "", 1);
  EXPECT_EQ(qx5::RootPath("/u/tmp/P1"), "/u/tmp/P1");
  setenv("QX5_ROOT", "/tmp/root/", 1);
  EXPECT_EQ(qx5::RootPath("/usr/bin/XSRVR"), "/tmp/root/usr/bin/XSRVR");
  unsetenv("QX5_ROOT");
}
