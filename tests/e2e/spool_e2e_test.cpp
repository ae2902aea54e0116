#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/harness.hpp"

namespace {

using Result = qx5test::CommandResult;

// Runs qx5spool with args (under the current QX5_ROOT) and collects what it and the driver print.
Result Spool(const std::string& args) {
  return qx5test::RunCommand(QX5_BIN_DIR "/qx5spool -t 20 " + args);
}

}  // namespace

TEST(E2eSpool, HelpAndUsageErrors) {
  Result h = Spool("--help");
  EXPECT_EQ(h.status, 0);
  for (const char* word : {"plot FILE", "print FILE", "line TEXT", "jobbegin", "jobend", "settings",
                           "raw N", "--capture", "--remove", "--title", "--pagetype"})
    EXPECT_NE(h.out.find(word), std::string::npos) << word;
  EXPECT_EQ(Spool("frobnicate").status, 2);
  EXPECT_EQ(Spool("raw").status, 2);
  EXPECT_EQ(Spool("raw 3 --ff").status, 2);
}

TEST(E2eSpool, StartsAttachesAnswersAndStops) {
  qx5test::TempRoot root;
  root.write("/dev/lp", "");
  Result r = Spool("-n e2etest");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("qx5spool: attach cmd=11 status=0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("qx5spool: exit cmd=13 status=0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("e2etest: Done with exit"), std::string::npos) << r.out;

  root.write("/u/tmp/gone", "x");
  r = Spool("-p 2 -n e2etest raw 3 --remove --title T1 raw 4 --title T2");
  EXPECT_EQ(r.status, 1) << r.out;  // status 10 counts as a failed request
  EXPECT_NE(r.out.find("qx5spool: answer cmd=6 status=10"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("title=\"T2\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("qx5spool: exit cmd=77"), std::string::npos) << r.out;
}

TEST(E2eSpool, MissingDeviceFails) {
  qx5test::TempRoot root;
  Result r = Spool("-n e2etest");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("qx5spool: exit cmd=13 status=9"), std::string::npos) << r.out;
}

TEST(E2eSpool, CaptureMakesTheDeviceAFifo) {
  qx5test::TempRoot root;
  const std::string cap = root.path("/capture.bin");
  Result r = Spool("-n e2etest --capture " + cap);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(root.exists("/capture.bin"));
  // The sample laser prints a line: the text reaches the capture through the FIFO.
  r = Spool("-n laser --capture " + cap + " line 'hello capture'");
  EXPECT_NE(qx5test::ReadFile(cap).find("hello capture"), std::string::npos) << r.out;
}

// Without QX5_ROOT nothing is created and no driver starts unless --system is given; the
// printer number is 0, 1 or 2; pclview says how it is used and why it fails.
TEST(E2eSpool, RootPrinterNumberAndPclviewUsage) {
  qx5test::TempRoot root;
  struct stat st;
  const bool keyBefore = ::stat("/usr/bin/XSRVR", &st) == 0;
  const struct {
    std::string command;
    int status;
    std::string line;
  } cases[] = {
      {"env -u QX5_ROOT " QX5_BIN_DIR "/qx5spool -n laser line x", 2,
       "qx5spool: QX5_ROOT is not set: this would create /usr/bin/XSRVR and start the driver on "
       "the real /dev/lp; set QX5_ROOT to a private root, or give --system (see qx5spool "
       "--help)\n"},
      {"QX5_ROOT= " QX5_BIN_DIR "/qx5spool -n laser", 2, "qx5spool: QX5_ROOT is not set: "},
      {QX5_BIN_DIR "/qx5spool -p 3 -n laser", 2,
       "qx5spool: --printer takes 0, 1 or 2, not 3 (see qx5spool --help)\n"},
      {QX5_BIN_DIR "/qx5spool --printer two", 2, "qx5spool: --printer takes 0, 1 or 2, not two"},
      {QX5_BIN_DIR "/qx5spool --help", 0, "--system "},
      {QX5_BIN_DIR "/pclview --help", 0, "usage: " QX5_BIN_DIR "/pclview CAPTURE [PREFIX]\n"},
      {QX5_BIN_DIR "/pclview -h", 0, "usage: "},
      {QX5_BIN_DIR "/pclview " + root.path("/nosuch.pcl"), 1,
       "pclview: cannot read " + root.path("/nosuch.pcl") + ": No such file or directory\n"},
      {QX5_BIN_DIR "/pclview " + root.dir(), 1,
       "pclview: cannot read " + root.dir() + ": Is a directory\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const Result r = qx5test::RunCommand(c.command);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("started"), std::string::npos) << r.out;
  }
  EXPECT_EQ(::stat("/usr/bin/XSRVR", &st) == 0, keyBefore);
  EXPECT_FALSE(root.exists("/usr/bin/XSRVR"));  // a refused spooler made no key file either
}
