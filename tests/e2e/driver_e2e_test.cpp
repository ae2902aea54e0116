#include <gtest/gtest.h>
#include <sys/msg.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/srvmsg.hpp"
#include "support/harness.hpp"

namespace {

// A printer name without a CONFIG line: the driver starts with the built-in settings, so that
// only the loop and the protocol are exercised here.
const char* kName = "e2etest";

bool ZeroExcept(const qx5::SrvMsg& m, int off_a, int off_b) {
  const char* b = qx5::Body(m);
  for (int i = 0; i < qx5::kBodySize; ++i)
    if ((i < off_a || i >= off_a + 4) && (i < off_b || i >= off_b + 4) && b[i] != 0) return false;
  return true;
}

}  // namespace

TEST(E2eDriver, AttachAnswerAndExitKindsOfEachPrinter) {
  const int attach[] = {11, 7, 76}, answer[] = {12, 6, 6}, exitk[] = {13, 8, 77};
  for (int p = 0; p < 3; ++p) {
    qx5test::TempRoot root;
    qx5test::FifoDevice dev(root.path("/dev/lp"));
    qx5test::Driver d(root, std::to_string(p), kName);
    qx5::SrvMsg m;
    ASSERT_TRUE(d.receive(m)) << d.output();
    EXPECT_EQ(m.cmd, attach[p]);
    EXPECT_EQ(m.srcpid, d.pid());
    EXPECT_EQ(m.status, 0);
    EXPECT_TRUE(ZeroExcept(m, 8, 16)) << p;  // only srcpid and cmd are set

    qx5::SrvMsg req = qx5test::Request(3), a;
    for (int i = 0; i < qx5::kBodySize; ++i) qx5::Body(req)[i] = static_cast<char>(0x41 + i % 50);
    req.cmd = 3;
    req.status = 0;
    req.remove = 0;
    ASSERT_TRUE(d.request(req, a)) << d.output();
    EXPECT_EQ(a.cmd, answer[p]);
    EXPECT_EQ(a.status, 10);
    a.cmd = req.cmd;
    a.status = req.status;
    EXPECT_EQ(std::memcmp(qx5::Body(a), qx5::Body(req), qx5::kBodySize), 0);

    qx5::SrvMsg stop = qx5test::Request(qx5::CMD_STOP);
    std::strcpy(stop.title, "stop-title");
    ASSERT_TRUE(d.send(stop));
    qx5::SrvMsg e;
    ASSERT_TRUE(d.receive(e));
    EXPECT_EQ(e.cmd, exitk[p]);
    EXPECT_STREQ(e.title, "stop-title");  // the stop request itself
    EXPECT_EQ(d.wait_exit(), 0);
    const std::string out = d.output();
    EXPECT_NE(out.find("QX5 PRINTER DRIVER: \"e2etest\" at " + root.path("/dev/lp")),
              std::string::npos);
    EXPECT_NE(out.find("e2etest: start exit\ne2etest: Done with exit\n"), std::string::npos) << out;
  }
}

TEST(E2eDriver, RemoveDeletesTheNamedFile) {
  qx5test::TempRoot root;
  qx5test::FifoDevice dev(root.path("/dev/lp"));
  root.write("/u/tmp/job", "data");
  qx5test::Driver d(root, "0", kName);
  qx5::SrvMsg m, a;
  ASSERT_TRUE(d.receive(m));
  qx5::SrvMsg req = qx5test::FileRequest(3, root.path("/u/tmp/job"));
  req.remove = 1;
  ASSERT_TRUE(d.request(req, a));
  EXPECT_EQ(a.status, 10);
  EXPECT_FALSE(root.exists("/u/tmp/job"));
  EXPECT_TRUE(d.stop());
}

TEST(E2eDriver, MissingOrUnopenableDeviceEndsWithStatusNine) {
  for (bool directory : {false, true}) {
    qx5test::TempRoot root;
    if (directory) {
      ASSERT_EQ(std::system(("mkdir -p '" + root.path("/dev/lp") + "'").c_str()), 0);
    }
    qx5test::Driver d(root, "0", kName);
    qx5::SrvMsg m, e;
    ASSERT_TRUE(d.receive(m));
    EXPECT_EQ(m.cmd, 11);
    ASSERT_TRUE(d.receive(e)) << d.output();
    EXPECT_EQ(e.cmd, 13);
    EXPECT_EQ(e.status, 9);
    EXPECT_EQ(e.srcpid, d.pid());  // the attach message, with the exit kind
    EXPECT_EQ(d.wait_exit(), 0);
    const std::string line =
        directory ? "ERROR: e2etest: unable to open " + root.path("/dev/lp") + "\n"
                  : "ERROR: e2etest: device does not exist " + root.path("/dev/lp") + "\n";
    EXPECT_NE(d.output().find(line + "e2etest: Done with exit\n"), std::string::npos) << d.output();
  }
}

TEST(E2eDriver, NegativeStatusEndsTheLoop) {
  qx5test::TempRoot root;
  qx5test::FifoDevice dev(root.path("/dev/lp"));
  qx5test::Driver d(root, "1", kName);
  qx5::SrvMsg m, e;
  ASSERT_TRUE(d.receive(m));
  qx5::SrvMsg bad = qx5test::Request(3);
  bad.status = -5;
  ASSERT_TRUE(d.send(bad));
  ASSERT_TRUE(d.receive(e));
  EXPECT_EQ(e.cmd, 8);
  EXPECT_EQ(e.srcpid, d.pid());  // the last record sent: the attach message
  EXPECT_EQ(d.wait_exit(), 0);
  EXPECT_NE(d.output().find("ERROR: e2etest: error in message system\n"), std::string::npos);
  EXPECT_NE(d.output().find("e2etest: Done with exit\n"), std::string::npos);
}

TEST(E2eDriver, UsageWithoutQueueTraffic) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"0", "/dev/lp", "-", "0"},
      {"0", "/dev/lp", "-", "0", "x", "extra"},
      {"3", "/dev/lp", "-", "0", "x"},
      {"-1", "/dev/lp", "-", "0", "x"},
      {"99999999999999999999", "/dev/lp", "-", "0", "x"}};
  for (const auto& args : bad) {
    qx5test::TempRoot root;
    qx5test::Driver d(root, args);
    EXPECT_EQ(d.wait_exit(), 0);
    EXPECT_NE(d.output().find("\n\nUsage: "), std::string::npos) << d.output();
    EXPECT_NE(d.output().find(" printid device ps ioctl \"description\"\n\n\n"), std::string::npos);
    qx5::SrvMsg m;
    EXPECT_FALSE(d.receive(m, 100));
  }
}

TEST(E2eDriver, LongNameKeepsItsFirst39Characters) {
  qx5test::TempRoot root;
  qx5test::FifoDevice dev(root.path("/dev/lp"));
  const std::string name(60, 'n');
  qx5test::Driver d(root, "0", name);
  qx5::SrvMsg m;
  ASSERT_TRUE(d.receive(m));
  EXPECT_TRUE(d.stop());
  EXPECT_NE(d.output().find("QX5 PRINTER DRIVER: \"" + name.substr(0, 39) + "\" at "),
            std::string::npos)
      << d.output();
}
