#include "driver/loop.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/devout.hpp"
#include "driver/srvmsg.hpp"
#include "lib/message.hpp"
#include "queue_fixture.hpp"
#include "support/harness.hpp"

namespace {

// DoLoop in this process against a private queue, with the printer counted as initialised so
// that only this file's behaviour is exercised.
class Loop : public ::testing::Test {
 protected:
  void SetUp() override {
    std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", "loop");
    qx5::DidInit = 1;
    qx5::PlotError = 0;
    qx5::PrinterNumber = 1;
    root.write("/dev/lp", "");
    ASSERT_EQ(qx5::OpenDevice(), 0);
  }
  void TearDown() override {
    if (qx5::lp) std::fclose(qx5::lp);
    qx5::lp = nullptr;
    qx5::PrinterNumber = 0;
  }
  // One turn of the loop for req; its result, the answer in `answer` when there was one.
  int Turn(const qx5::SrvMsg& req, qx5::SrvMsg& answer, bool* answered = nullptr) {
    EXPECT_TRUE(q.Send(req));
    const int r = qx5::DoLoop(nullptr);
    const bool got = q.Receive(answer);
    if (answered) *answered = got;
    return r;
  }
  qx5test::TempRoot root{false};
  qx5test::PrivateQueue q;
};

}  // namespace

TEST_F(Loop, UnrecognisedCommandEchoesTheRequest) {
  for (int cmd : {3, 0, 1, 61, 1000, -7}) {
    qx5::SrvMsg req;
    std::memset(&req, 0, sizeof req);
    for (int i = 0; i < qx5::kBodySize; ++i) qx5::Body(req)[i] = static_cast<char>(i * 7 + 1);
    req.cmd = cmd;
    req.status = 0;
    req.remove = 0;
    req.pagetype = 9;
    qx5::SrvMsg a;
    EXPECT_EQ(Turn(req, a), 1);
    EXPECT_EQ(a.cmd, 6);
    EXPECT_EQ(a.status, qx5::ST_PLOT);
    EXPECT_EQ(qx5::Pt, 7);  // page type 9 counts as 7
    a.cmd = req.cmd;
    a.status = req.status;
    EXPECT_EQ(std::memcmp(qx5::Body(a), qx5::Body(req), qx5::kBodySize), 0) << cmd;
  }
}

TEST_F(Loop, PageTypeRemapping) {
  const int in[] = {8, 10, 9, 11, 6, 7, 1, 2, 12, -1};
  const int out[] = {6, 6, 7, 7, 6, 7, 1, 2, 12, -1};
  for (size_t i = 0; i < std::size(in); ++i) {
    qx5::SrvMsg req = qx5test::Request(3), a;
    req.pagetype = in[i];
    Turn(req, a);
    EXPECT_EQ(qx5::Pt, out[i]) << in[i];
  }
}

TEST_F(Loop, RemoveDeletesTheNamedFileExceptForLines) {
  root.write("/job1", "x");
  root.write("/job2", "x");
  qx5::SrvMsg req = qx5test::FileRequest(3, root.path("/job1")), a;
  req.remove = 1;
  Turn(req, a);
  EXPECT_FALSE(root.exists("/job1"));
  req = qx5test::FileRequest(3, root.path("/job2"));
  req.remove = 2;  // only 1 asks for it
  Turn(req, a);
  EXPECT_TRUE(root.exists("/job2"));
  req = qx5test::FileRequest(qx5::CMD_LINE, root.path("/job2"));
  req.remove = 1;
  Turn(req, a);
  EXPECT_TRUE(root.exists("/job2"));
  // A name filling its whole field is read within it (and names no file here).
  req = qx5test::Request(3);
  std::memset(req.name, 'n', sizeof req.name);
  req.remove = 1;
  EXPECT_EQ(Turn(req, a), 1);
}

TEST_F(Loop, StopAndNegativeStatusEndTheLoopUnanswered) {
  qx5::SrvMsg a;
  bool answered = true;
  EXPECT_EQ(Turn(qx5test::Request(qx5::CMD_STOP), a, &answered), 0);
  EXPECT_FALSE(answered);
  EXPECT_EQ(qx5::smsgp.cmd, qx5::CMD_STOP);  // the stop request itself, for the exit message

  qx5::SrvMsg bad = qx5test::Request(3);
  bad.status = -1;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(Turn(bad, a, &answered), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "ERROR: loop: error in message system\n");
  EXPECT_FALSE(answered);
}

TEST_F(Loop, FullQueueLosesTheAnswerAfterTheTimeOutAndTheLoopGoesOn) {
  // The request and a record for someone else, then the queue made too small for one more.
  ASSERT_TRUE(q.Send(qx5test::Request(3)));
  qx5::SrvMsg filler = qx5test::Request(0);
  filler.mtype = 99;
  ASSERT_EQ(msgsnd(q.qid, &filler, qx5::kBodySize, IPC_NOWAIT), 0);
  msqid_ds ds{};
  ASSERT_EQ(msgctl(q.qid, IPC_STAT, &ds), 0);
  ds.msg_qbytes = qx5::kBodySize;
  ASSERT_EQ(msgctl(q.qid, IPC_SET, &ds), 0);
  const int saved = qx5::ALARM_SEC;
  qx5::ALARM_SEC = 1;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::DoLoop(nullptr), 1);  // the send is given up after ALARM_SEC, the loop goes on
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "loop: msgsnd error to XSERVER - errno = " + std::to_string(EAGAIN) + "\n");
  qx5::ALARM_SEC = saved;
  qx5::SrvMsg a;
  EXPECT_FALSE(q.Receive(a));
  // With room again the next request is answered.
  ASSERT_EQ(msgrcv(q.qid, &filler, qx5::kBodySize, 99, IPC_NOWAIT), qx5::kBodySize);
  EXPECT_EQ(Turn(qx5test::Request(3), a), 1);
  EXPECT_EQ(a.status, qx5::ST_PLOT);
}

// A write that fails on the stream (the reader of a FIFO device went away: EPIPE, with SIGPIPE
// ignored) is a failed write; the next request opens the device again before it is served.
TEST_F(Loop, FailedWriteReopensTheDeviceAtTheNextRequest) {
  std::fclose(qx5::lp);
  qx5::lp = nullptr;
  const std::string dev = root.path("/dev/lp");
  ASSERT_EQ(std::remove(dev.c_str()), 0);
  ASSERT_EQ(mkfifo(dev.c_str(), 0600), 0);
  int reader = open(dev.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ASSERT_EQ(qx5::OpenDevice(), 0);
  EXPECT_EQ(qx5::WRITE(qx5::lp, "ok", 2), 0);
  close(reader);
  signal(SIGPIPE, SIG_IGN);
  EXPECT_EQ(qx5::WRITE(qx5::lp, "lost", 4), 1);
  EXPECT_EQ(qx5::SigAlarm, 0);  // no alarm: the stream's error
  EXPECT_EQ(qx5::WRITEsent, 0);
  signal(SIGPIPE, SIG_DFL);
  FILE* broken = qx5::lp;
  EXPECT_NE(std::ferror(broken), 0);

  reader = open(dev.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  qx5::SrvMsg line = qx5test::Request(qx5::CMD_LINE), a;
  std::strcpy(line.name, "again");
  EXPECT_EQ(Turn(line, a), 1);
  EXPECT_EQ(a.status, qx5::ST_DONE);
  ASSERT_NE(qx5::lp, nullptr);
  EXPECT_EQ(std::ferror(qx5::lp), 0);
  char buf[64] = {};
  const ssize_t n = read(reader, buf, sizeof buf);
  ASSERT_GE(n, 5);
  EXPECT_EQ(std::string(buf + n - 5, 5), "again");
  close(reader);
}

TEST_F(Loop, LostDeviceAnswersNineAndIsOpenedAgain) {
  const std::string dev = root.path("/dev/lp");
  std::fclose(qx5::lp);
  qx5::lp = nullptr;
  ASSERT_EQ(std::system(("rm -f '" + dev + "' && mkdir '" + dev + "'").c_str()), 0);
  qx5::SrvMsg a;
  for (int cmd : {3, 9, 33, 60}) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Turn(qx5test::FileRequest(cmd, "/nonexistent"), a), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "ERROR: loop: unable to open " + dev + "\n");
    EXPECT_EQ(a.status, qx5::ST_DEVICE) << cmd;
    EXPECT_EQ(a.cmd, 6);
    EXPECT_EQ(qx5::lp, nullptr);
  }
  ASSERT_EQ(std::system(("rmdir '" + dev + "' && touch '" + dev + "'").c_str()), 0);
  EXPECT_EQ(Turn(qx5test::Request(3), a), 1);
  EXPECT_EQ(a.status, qx5::ST_PLOT);  // carried out again
  EXPECT_NE(qx5::lp, nullptr);
}
