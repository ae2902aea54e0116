#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
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

// A capture that cannot work is refused with a line that says why, before anything is created
// or started: the key file, the device and the capture file are as they were.
TEST(E2eSpool, CaptureRefusesWhatCannotWork) {
  qx5test::TempRoot root;
  const std::string cap = root.path("/cap.pcl");
  const std::string outside = root.dir() + "-outside";
  const struct {
    std::string args;
    std::string line;
    std::string untouched;  // a path that must not exist afterwards
  } cases[] = {
      {"--device /dev --capture " + cap,
       "qx5spool: capture: " + root.path("/dev") + ": is a directory; ", cap},
      {"--device socket://127.0.0.1:9 --capture " + cap,
       "qx5spool: --capture needs a device path, not socket://127.0.0.1:9", cap},
      {"--device /dev/lp --capture-net " + cap,
       "qx5spool: --capture-net hands the driver a device of its own; it does not go with "
       "--device",
       cap},
      {"--device /../" + outside.substr(outside.rfind('/') + 1) + " --capture " + cap,
       ": leaves the installation root", outside},
      {"--device /devlink/lp --capture " + cap,
       "qx5spool: capture: " + root.path("/devlink") + ": is a symbolic link", cap},
      {"--device /dev/used --capture " + cap,
       "qx5spool: capture: " + root.path("/dev/used") + ": holds 7 bytes", cap},
      {"--capture " + root.path("/caplink"),
       "qx5spool: capture: " + root.path("/caplink") + ": is a symbolic link", outside},
      {"--capture " + root.path("/dev/lp"), ": is the device itself", root.path("/dev/lp")},
  };
  ASSERT_EQ(::symlink(root.path("/dev").c_str(), root.path("/devlink").c_str()), 0);
  ASSERT_EQ(::symlink(outside.c_str(), root.path("/caplink").c_str()), 0);
  root.write("/dev/used", "earlier");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = Spool("-n laser " + c.args + " line x");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("started"), std::string::npos) << r.out;
    EXPECT_FALSE(root.exists("/usr/bin/XSRVR"));
    EXPECT_EQ(::access(c.untouched.c_str(), F_OK), -1) << c.untouched;
    EXPECT_EQ(root.read("/dev/used"), "earlier");
    struct stat st;
    EXPECT_EQ(::lstat(root.path("/dev").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
  }
}

// The device is left as the capture found it: nothing, an empty file or a FIFO; a later run
// without a capture then prints on the empty file at once.
TEST(E2eSpool, CaptureLeavesTheDeviceAsFound) {
  qx5test::TempRoot root;
  const std::string dev = root.path("/dev/lp");
  const std::string cap = root.path("/cap.pcl");
  const struct {
    const char* found;
    mode_t type;  // 0: nothing
  } cases[] = {{"nothing", 0}, {"an empty file", S_IFREG}, {"a FIFO", S_IFIFO}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.found);
    ::unlink(dev.c_str());
    if (c.type == S_IFREG) root.write("/dev/lp", "");
    if (c.type == S_IFIFO) {
      ASSERT_EQ(::mkfifo(dev.c_str(), 0600), 0);
    }
    const Result r = Spool("-n laser --capture " + cap + " line 'as found'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(qx5test::ReadFile(cap).find("as found"), std::string::npos) << r.out;
    struct stat st;
    if (c.type == 0) {
      EXPECT_NE(::lstat(dev.c_str(), &st), 0);
    } else {
      ASSERT_EQ(::lstat(dev.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & S_IFMT, c.type);
      EXPECT_EQ(st.st_size, 0);
    }
  }
  ::unlink(dev.c_str());
  root.write("/dev/lp", "");
  Result r = Spool("-n laser --capture " + cap + " line first");
  EXPECT_EQ(r.status, 0) << r.out;
  r = Spool("-n laser line second");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(root.read("/dev/lp").find("second"), std::string::npos) << r.out;
}

// A driver that ends on its own gets no more requests (it used to be sent them as a process
// that no longer was), and the line says so.
TEST(E2eSpool, DriverThatEndsGetsNoMoreRequests) {
  qx5test::TempRoot root;
  root.write("/dev/lp", "");
  const Result r = Spool("-n e2etest raw 4 raw 2 raw 3 jobbegin");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("qx5spool: exit cmd=13 status=0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("qx5spool: the driver has ended; 2 requests not sent\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("request raw (cmd 3)"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("msgsnd"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("no answer"), std::string::npos) << r.out;
  const Result bad = Spool("--driver /bin/false line x");
  EXPECT_EQ(bad.status, 1) << bad.out;
  EXPECT_NE(bad.out.find("qx5spool: the driver ended with exit status 1\n"), std::string::npos)
      << bad.out;
}

// A stop signal while the driver is busy (here waiting for a printer that takes nothing):
// no more requests, the driver stopped, the queue removed and the capture's device put back.
TEST(E2eSpool, StopSignalCleansUp) {
  qx5test::TempRoot root;
  ASSERT_EQ(::mkfifo(root.path("/dev/lp9").c_str(), 0600), 0);
  const std::string out = root.path("/spool.out");
  const auto started = std::chrono::steady_clock::now();
  const Result r = qx5test::RunCommand(
      "(" QX5_BIN_DIR "/qx5spool -t 60 -n laser --device /dev/lp9 line a line b >" + out +
      " 2>&1 & p=$!; i=0; until grep -q 'request line' " + out +
      " || [ $i -ge 200 ]; do sleep 0.05; i=$((i+1)); done; kill -TERM $p; wait $p; echo "
      "status=$?)");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  const std::string log = qx5test::ReadFile(out);
  EXPECT_NE(r.out.find("status=1"), std::string::npos) << r.out << log;
  EXPECT_NE(log.find("qx5spool: stopped by SIGTERM; 1 request not sent\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find("qx5spool: stopping the driver with SIGTERM\n"), std::string::npos) << log;
  const key_t key = ::ftok(root.path("/usr/bin/XSRVR").c_str(), 113);
  EXPECT_LT(::msgget(key, 0), 0);
  const size_t at = log.find("(pid ");
  ASSERT_NE(at, std::string::npos) << log;
  EXPECT_NE(::kill(std::stoi(log.substr(at + 5)), 0), 0);
}

// pclview writes a page as named: a symbolic link is refused (its target stays unmade) and a
// FIFO is refused at once instead of holding the write until something reads it.
TEST(E2eSpool, PclviewWritesNoPageThroughALinkOrIntoAFifo) {
  qx5test::TempRoot root;
  root.write("/one.pcl", "\033*r1A\033*b1W\377\033*rB");
  const std::string target = root.path("/elsewhere.png");
  ASSERT_EQ(::symlink(target.c_str(), root.path("/link-1.png").c_str()), 0);
  ASSERT_EQ(::mkfifo(root.path("/fifo-1.png").c_str(), 0600), 0);
  const struct {
    std::string prefix;
    int status;
    std::string line;
  } cases[] = {
      {root.path("/link"), 1,
       ": cannot write " + root.path("/link-1.png") + ": it is a symbolic link\n"},
      {root.path("/fifo"), 1,
       ": cannot write " + root.path("/fifo-1.png") + ": it is not a regular file\n"},
      {root.path("/page"), 0, " -> " + root.path("/page-1.png") + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.prefix);
    const Result r = qx5test::RunCommand("timeout 20 " QX5_BIN_DIR "/pclview " +
                                         root.path("/one.pcl") + " " + c.prefix);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_NE(r.out.find("page 1: 1 rows"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
  }
  EXPECT_FALSE(root.exists("/elsewhere.png"));
}
