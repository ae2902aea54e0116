#include "driver/srvmsg.hpp"

#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>

#include "driver/devout.hpp"
#include "driver/loop.hpp"
#include "driver/signals.hpp"
#include "lib/message.hpp"
#include "queue_fixture.hpp"
#include "support/harness.hpp"

using qx5test::PrivateQueue;

TEST(SrvMsg, KindsAndCommandClasses) {
  const int attach[] = {11, 7, 76}, answer[] = {12, 6, 6}, exitk[] = {13, 8, 77};
  for (int p = 0; p < 3; ++p) {
    EXPECT_EQ(qx5::AttachKind(p), attach[p]);
    EXPECT_EQ(qx5::AnswerKind(p), answer[p]);
    EXPECT_EQ(qx5::ExitKind(p), exitk[p]);
  }
  EXPECT_EQ(qx5::AttachKind(7), 11);  // out of range never reads past the table
  for (int cmd = -1; cmd < 80; ++cmd) {
    const bool plot = cmd == 5 || cmd == 26 || cmd == 56 || cmd == 58;
    const bool print = cmd == 9 || cmd == 10 || cmd == 57 || cmd == 59;
    EXPECT_EQ(qx5::IsPlotCmd(cmd), plot) << cmd;
    EXPECT_EQ(qx5::IsPrintCmd(cmd), print) << cmd;
  }
}

TEST(SrvMsg, FieldsAreReadWithinTheirWidth) {
  qx5::SrvMsg m;
  std::memset(&m, 'x', sizeof m);
  EXPECT_EQ(qx5::FieldText(m.name, sizeof m.name).size(), 80u);
  EXPECT_EQ(qx5::FieldText(m.paper, sizeof m.paper).size(), 8u);
  EXPECT_EQ(qx5::FieldText(m.title, sizeof m.title).size(), 100u);
  EXPECT_EQ(qx5::LineText(m).size(), 196u);  // to the end of the body, never past it
  std::strcpy(qx5::LineTextPtr(m), "hello");
  EXPECT_EQ(qx5::LineText(m), "hello");
  qx5::SetBodyInt(m, qx5::kReinitOff, -5);
  EXPECT_EQ(qx5::BodyInt(m, qx5::kReinitOff), -5);
  EXPECT_EQ(std::memcmp(qx5::Body(m) + qx5::kReinitOff, m.title + 8, 4), 0);
}

TEST(ServerQueue, ReceiveTakesOnlyOwnTypeAndClearsShortRecords) {
  PrivateQueue q;
  ASSERT_GE(q.qid, 0);
  qx5::SrvMsg full = qx5test::FileRequest(9, "/tmp/file", "title");
  full.status = 4;
  std::memset(full.head, 'Z', 8);
  // A record for another driver comes first; it must stay in the queue.
  struct {
    long mtype;
    char body[qx5::kBodySize];
  } other{};
  other.mtype = qx5::pid + 1;
  ASSERT_EQ(msgsnd(q.qid, &other, qx5::kBodySize, IPC_NOWAIT), 0);
  ASSERT_TRUE(q.Send(full));
  EXPECT_EQ(qx5::GetServerMessage(), 4);
  EXPECT_EQ(qx5::rmsgp.cmd, 9);
  EXPECT_EQ(qx5::FieldText(qx5::rmsgp.title, 100), "title");

  // A short record of 24 bytes: the fields after it read as zero, not as the last request.
  char shortbody[24] = {};
  int32_t cmd = 3;
  std::memcpy(shortbody + 16, &cmd, 4);
  ASSERT_TRUE(q.Send(shortbody, sizeof shortbody));
  EXPECT_EQ(qx5::GetServerMessage(), 0);
  EXPECT_EQ(qx5::rmsgp.cmd, 3);
  EXPECT_EQ(qx5::rmsgp.name[0], 0);
  EXPECT_EQ(qx5::rmsgp.title[0], 0);
  EXPECT_EQ(qx5::rmsgp.mtype, qx5::pid);
  EXPECT_EQ(msgrcv(q.qid, &other, qx5::kBodySize, qx5::pid + 1, IPC_NOWAIT), qx5::kBodySize);

  // A negative status is handed back for the caller to treat as failure.
  qx5::SrvMsg neg = qx5test::Request(3);
  neg.status = -2;
  ASSERT_TRUE(q.Send(neg));
  EXPECT_EQ(qx5::GetServerMessage(), -2);
}

TEST(ServerQueue, FailuresPrintTheirLines) {
  std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", "tp");
  qx5::SrvId = -1;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::GetServerMessage(), -1);
  EXPECT_EQ(qx5::SendServerMessage(), -1);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("tp: msgrcv err from XSERVER - errno = "), std::string::npos) << out;
  EXPECT_NE(out.find("tp: msgsnd error to XSERVER - errno = "), std::string::npos) << out;
}

TEST(ServerQueue, FullQueueIsWaitedForUpToTheTimeOut) {
  PrivateQueue q;
  msqid_ds ds{};
  ASSERT_EQ(msgctl(q.qid, IPC_STAT, &ds), 0);
  ds.msg_qbytes = 2 * qx5::kBodySize;
  ASSERT_EQ(msgctl(q.qid, IPC_SET, &ds), 0);
  std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", "full");
  const int saved = qx5::ALARM_SEC;
  qx5::ALARM_SEC = 1;
  std::memset(&qx5::smsgp, 0, sizeof qx5::smsgp);
  EXPECT_EQ(qx5::SendServerMessage(), 0);
  EXPECT_EQ(qx5::SendServerMessage(), 0);

  // Never drained: given up after ALARM_SEC with the error line.
  auto t0 = std::chrono::steady_clock::now();
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::SendServerMessage(), -1);
  const std::string out = ::testing::internal::GetCapturedStdout();
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GE(secs, 0.9);
  EXPECT_LT(secs, 5.0);
  EXPECT_EQ(out, "full: msgsnd error to XSERVER - errno = " + std::to_string(EAGAIN) + "\n");
  EXPECT_EQ(qx5::smsgp.mtype, PrivateQueue::kServerType);

  // Drained while the driver waits: the record goes, nothing is printed.
  qx5::smsgp.cmd = 77;
  std::thread reader([&q] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    qx5::SrvMsg m;
    msgrcv(q.qid, &m, qx5::kBodySize, PrivateQueue::kServerType, IPC_NOWAIT);
  });
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::SendServerMessage(), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  reader.join();
  qx5::SrvMsg m;
  ASSERT_TRUE(q.Receive(m));
  ASSERT_TRUE(q.Receive(m));
  EXPECT_EQ(m.cmd, 77);
  qx5::ALARM_SEC = saved;
}

TEST(ServerQueue, LongRecordIsCutTo224Bytes) {
  PrivateQueue q;
  char body[300];
  for (size_t i = 0; i < sizeof body; ++i) body[i] = static_cast<char>('a' + i % 26);
  const int32_t cmd = 33, status = 0;
  std::memcpy(body + 16, &cmd, 4);
  std::memcpy(body + 20, &status, 4);
  ASSERT_TRUE(q.Send(body, sizeof body));
  EXPECT_EQ(qx5::GetServerMessage(), 0);
  EXPECT_EQ(qx5::rmsgp.cmd, 33);
  EXPECT_EQ(std::memcmp(qx5::Body(qx5::rmsgp), body, qx5::kBodySize), 0);
  // The next record is read as usual.
  ASSERT_TRUE(q.Send(qx5test::Request(3)));
  EXPECT_EQ(qx5::GetServerMessage(), 0);
  EXPECT_EQ(qx5::rmsgp.cmd, 3);
}

// The stop signals end the wait for a request at once; outside it they are only noted. SIGCONT
// after SIGSTOP (which interrupts msgrcv) does not end the wait.
TEST(ServerQueue, StopSignalEndsTheWaitOnly) {
  PrivateQueue q;
  qx5::InstallSignals();
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    qx5::ClearStopSignal();
    std::thread killer([sig] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      kill(getpid(), sig);
    });
    auto t0 = std::chrono::steady_clock::now();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(qx5::GetServerMessage(), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(secs, 0.9) << sig;  // at once, not by the fallback alarm
    killer.join();
    EXPECT_EQ(qx5::StopSignal, sig);
  }
  // Between waits (while a request runs) the signal is noted at once and starts no alarm,
  // which would end the process there; the next wait ends before anything is received.
  qx5::ClearStopSignal();
  kill(getpid(), SIGTERM);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(qx5::StopSignal, SIGTERM);
  itimerval t{};
  getitimer(ITIMER_REAL, &t);
  EXPECT_EQ(t.it_value.tv_sec + t.it_value.tv_usec, 0);
  ASSERT_TRUE(q.Send(qx5test::Request(3)));
  EXPECT_EQ(qx5::GetServerMessage(), -1);
  EXPECT_EQ(qx5::StopSignal, SIGTERM);
  // No alarm is left behind, and SIGALRM has its default action again.
  getitimer(ITIMER_REAL, &t);
  EXPECT_EQ(t.it_value.tv_sec + t.it_value.tv_usec, 0);
  struct sigaction sa {};
  sigaction(SIGALRM, nullptr, &sa);
  EXPECT_EQ(sa.sa_handler, SIG_DFL);

  // The request was left in the queue for the next wait.
  qx5::ClearStopSignal();
  EXPECT_EQ(qx5::GetServerMessage(), 0);
  EXPECT_EQ(qx5::rmsgp.cmd, 3);

  // A stop and continue interrupts msgrcv: the wait goes on and takes the request. (Another
  // process sends them: a stopped process has no thread left to continue itself.)
  const pid_t self = getpid();
  const pid_t poker = fork();
  if (poker == 0) {
    usleep(100000);
    kill(self, SIGSTOP);
    usleep(50000);
    kill(self, SIGCONT);
    _exit(0);
  }
  std::thread sender([&q] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    q.Send(qx5test::Request(5));
  });
  EXPECT_EQ(qx5::GetServerMessage(), 0);
  EXPECT_EQ(qx5::rmsgp.cmd, 5);
  sender.join();
  waitpid(poker, nullptr, 0);
  EXPECT_EQ(qx5::StopSignal, 0);

  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) qx5::SetSignalAction(sig, SIG_DFL);
  qx5::ClearStopSignal();
}

TEST(ServerQueue, AttachNeedsKeyFileAndQueue) {
  qx5test::TempRoot root(false);
  std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", "att");
  std::remove(root.path("/usr/bin/XSRVR").c_str());
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::GetAttachedServer(), 0);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "att: Unable to create XSERVER message key from " + root.path("/usr/bin/XSRVR") + "\n");

  root.write("/usr/bin/XSRVR", "");
  const key_t key = ftok(root.path("/usr/bin/XSRVR").c_str(), 113);
  int stale = msgget(key, 0);
  if (stale >= 0) msgctl(stale, IPC_RMID, nullptr);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::GetAttachedServer(), 0);  // no queue: the driver never creates it
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");

  const int qid = msgget(key, IPC_CREAT | 0600);
  ASSERT_GE(qid, 0);
  std::memset(&qx5::smsgp, 0x55, sizeof qx5::smsgp);
  for (int printer = 0; printer < 3; ++printer) {
    qx5::PrinterNumber = printer;
    EXPECT_EQ(qx5::GetAttachedServer(), 1);
    qx5::SrvMsg m;
    ASSERT_EQ(msgrcv(qid, &m, qx5::kBodySize, key, IPC_NOWAIT), qx5::kBodySize);
    EXPECT_EQ(m.srcpid, getpid());
    EXPECT_EQ(m.cmd, qx5::AttachKind(printer));
    m.srcpid = 0;
    m.cmd = 0;
    const char zero[qx5::kBodySize] = {};
    EXPECT_EQ(std::memcmp(qx5::Body(m), zero, qx5::kBodySize), 0);
  }
  qx5::PrinterNumber = 0;
  msgctl(qid, IPC_RMID, nullptr);
  qx5::SrvId = -1;
}
