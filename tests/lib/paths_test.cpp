#include "lib/paths.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(RootPath, TakesFixedPathsUnderTheRootOnlyWhenSet) {
  struct Case {
    const char* root;  // null: unset
    const char* fixed;
    const char* expect;
  } cases[] = {
      {nullptr, "/dev/lp", "/dev/lp"},
      {"", "/u/tmp/P1", "/u/tmp/P1"},
      {"/tmp/root/", "/usr/bin/XSRVR", "/tmp/root/usr/bin/XSRVR"},
      {"/tmp/root//", "/u/qx5/sys_data/files/sysgen.bin",
       "/tmp/root/u/qx5/sys_data/files/sysgen.bin"},
      {"/tmp/root", "dev/lp", "/tmp/root/dev/lp"},
  };
  for (const Case& c : cases) {
    if (c.root)
      setenv("QX5_ROOT", c.root, 1);
    else
      unsetenv("QX5_ROOT");
    EXPECT_EQ(qx5::RootPath(c.fixed), c.expect) << (c.root ? c.root : "(unset)") << " " << c.fixed;
  }
  unsetenv("QX5_ROOT");
}
