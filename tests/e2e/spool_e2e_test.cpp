#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/harness.hpp"

namespace {

struct Result {
  int status;
  std::string out;
};

// Runs qx5spool with args (under the current QX5_ROOT) and collects what it and the driver print.
Result Spool(const std::string& args) {
  const std::string cmd = QX5_BIN_DIR "/qx5spool -t 20 " + args + " 2>&1";
  Result r{-1, ""};
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
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
