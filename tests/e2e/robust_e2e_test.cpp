// The driver's promises end to end, through a real queue and a FIFO device, with hostile and
// unlucky requests: it never hangs, never dies, and never answers "done" for a lost job.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/msg.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "driver/srvmsg.hpp"
#include "support/harness.hpp"

namespace {

using qx5test::Attach;
using qx5test::Driver;
using qx5test::FifoDevice;
using qx5test::TempRoot;
using Clock = std::chrono::steady_clock;

// A printer without a CONFIG line: EPSON defaults, nothing sent at initialisation.
const char* kPlain = "e2etest";

const char kPlot[] =
    "WINDOW(1,0.0,0.0,8.0,10.0)\n"
    "DRAWBOX(0.5,6.5,2.0,2.0,1)\n"
    "DRAWARC(6.5,7.5,1.0,0,360,1)\n"
    "M(0.2,0.2)\n"
    "L(7.7,9.7)\n";

// "日本語" in EUC-JP and in JIS X 0208 after ESC $ B.
const char kEuc[] = "\xc6\xfc\xcb\xdc\xb8\xec\n";
const char kJis[] = "F|K\\8l";

double Since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

qx5::SrvMsg LineRequest(const std::string& text) {
  qx5::SrvMsg m = qx5test::Request(qx5::CMD_LINE);
  std::snprintf(m.name, sizeof m.name, "%s", text.c_str());
  return m;
}

std::string Lines(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += "line " + std::to_string(i) + " of a long text job\n";
  return text;
}

// A printer reached through a FIFO whose reader can go away and come back: the reader end is
// opened without a writer and read by the test itself.
class FlakyReader {
 public:
  explicit FlakyReader(const std::string& path) : path_(path) {
    ::unlink(path.c_str());
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    connect();
  }
  ~FlakyReader() { disconnect(); }
  // Close-on-exec: a driver started later must not hold the reader end itself.
  void connect() { fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }
  void disconnect() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Reads until at least n bytes came (or timeout_ms passed); what was read.
  std::string read_at_least(size_t n, int timeout_ms) {
    std::string got;
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    char buf[65536];
    while (got.size() < n && Clock::now() < end) {
      const ssize_t r = ::read(fd_, buf, sizeof buf);
      if (r > 0)
        got.append(buf, static_cast<size_t>(r));
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return got;
  }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace

// A print or plot request naming a FIFO, /dev/zero or /dev/urandom is refused at once with
// its status and the reason; the next request is served.
TEST(E2eRobust, RequestFilesThatAreNotRegularAreRefused) {
  qx5test::TestDisplay();
  TempRoot root;
  FifoDevice dev(root.path("/dev/lp"));
  const std::string fifo = root.path("/u/tmp/job.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  Driver d(root, "0", "laser");
  Attach(d);
  for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/urandom")}) {
    SCOPED_TRACE(path);
    const std::string refusal = "ERROR: laser: unable to open " + path + "\nERROR: laser: " + path +
                                ": not a regular file\n";
    qx5::SrvMsg a;
    auto t0 = Clock::now();
    ASSERT_TRUE(d.request(qx5test::FileRequest(9, path, "txt"), a, 5000));
    EXPECT_LT(Since(t0), 1.0);
    EXPECT_EQ(a.status, 9);
    EXPECT_TRUE(d.wait_output("Start Print: txt on laser\n" + refusal, 1000)) << d.output();

    qx5::SrvMsg plot = qx5test::FileRequest(5, path, "plt");
    plot.pagetype = 1;
    t0 = Clock::now();
    ASSERT_TRUE(d.request(plot, a, 5000));
    EXPECT_LT(Since(t0), 1.0);
    EXPECT_EQ(a.status, 10);
    EXPECT_TRUE(
        d.wait_output("Start Plot: plt on laser\n" + refusal + "ERROR: laser: error -1\n", 1000))
        << d.output();

    dev.settle(100);
    dev.clear();
    ASSERT_TRUE(d.request(LineRequest("served"), a, 5000));
    EXPECT_EQ(a.status, 0);
    EXPECT_TRUE(dev.wait_for(6, 2000));
    dev.settle(100);
    EXPECT_NE(dev.bytes().find("served"), std::string::npos) << qx5test::Hex(dev.bytes());
    EXPECT_EQ(dev.bytes().find(std::string(64, '\0')), std::string::npos);  // nothing of /dev/zero
  }
  EXPECT_TRUE(d.stop());
}

// The printer's reader closes the device in the middle of a large print job: the job fails
// with status 9, the driver lives, and once a reader is back the next request is served.
TEST(E2eRobust, ReaderClosingMidJobFailsOnlyThatJob) {
  TempRoot root;
  const std::string big = Lines(60000);  // about 2 MB
  root.write("/u/tmp/big.txt", big);
  FlakyReader printer(root.path("/dev/lp"));
  Driver d(root, "0", kPlain);
  Attach(d);
  ASSERT_TRUE(d.send(qx5test::FileRequest(9, root.path("/u/tmp/big.txt"), "big")));
  const std::string head = printer.read_at_least(100000, 10000);
  ASSERT_GE(head.size(), 100000u);
  EXPECT_EQ(head.compare(0, 20, big, 0, 20), 0);
  printer.disconnect();
  EXPECT_TRUE(
      d.wait_output("ERROR: e2etest: Unable to do PRINTLINE for " + root.path("/u/tmp/big.txt")))
      << d.output();
  // The end of the job opens the device again and waits (bounded) for a reader.
  printer.connect();
  qx5::SrvMsg a;
  ASSERT_TRUE(d.receive(a, 10000)) << d.output();
  EXPECT_EQ(a.status, 9);
  EXPECT_EQ(d.wait_exit(0), -1);  // still running
  ASSERT_TRUE(d.request(LineRequest("after"), a));
  EXPECT_EQ(a.status, 0);
  EXPECT_NE(printer.read_at_least(5, 3000).find("after"), std::string::npos);
  EXPECT_TRUE(d.stop());
}

// The device path is removed between requests: the driver never creates a file in its place,
// answers 9 while it is gone and is served again once it is back.
TEST(E2eRobust, VanishedDeviceIsNeverCreated) {
  TempRoot root;
  const std::string path = root.path("/dev/lp");
  root.write("/u/tmp/t.txt", "text\n");
  auto dev = std::make_unique<FifoDevice>(path);
  Driver d(root, "0", kPlain);
  Attach(d);
  qx5::SrvMsg a;
  ASSERT_EQ(::unlink(path.c_str()), 0);
  // The job still reaches the stream that is open; opening the device again at its end fails.
  ASSERT_TRUE(d.request(qx5test::FileRequest(9, root.path("/u/tmp/t.txt")), a));
  EXPECT_EQ(a.status, 0);
  EXPECT_TRUE(dev->wait_for(5, 2000));
  const std::string unable = "ERROR: e2etest: unable to open " + path + "\n";
  EXPECT_TRUE(d.wait_output(unable));
  for (const qx5::SrvMsg& req :
       {LineRequest("lost"), qx5test::FileRequest(9, root.path("/u/tmp/t.txt"))}) {
    ASSERT_TRUE(d.request(req, a));
    EXPECT_EQ(a.status, 9);
    struct stat st;
    EXPECT_NE(::lstat(path.c_str(), &st), 0) << "something was created at " << path;
  }
  size_t count = 0;
  for (size_t at = 0; (at = d.output().find(unable, at)) != std::string::npos; at += unable.size())
    ++count;
  EXPECT_EQ(count, 3u);
  dev->settle(100);
  EXPECT_EQ(dev->bytes().find("lost"), std::string::npos);

  auto back = std::make_unique<FifoDevice>(path);
  ASSERT_TRUE(d.request(LineRequest("back"), a));
  EXPECT_EQ(a.status, 0);
  EXPECT_TRUE(back->wait_for(4, 2000));
  EXPECT_EQ(back->bytes(), "back");
  EXPECT_TRUE(d.stop());
}

// The queue is filled to the brim by another sender while the driver works: the answer waits
// for room and arrives once the queue is drained.
TEST(E2eRobust, FullQueueAnswerArrivesOnceDrained) {
  TempRoot root;
  root.write("/u/tmp/big.txt", Lines(20000));
  FifoDevice dev(root.path("/dev/lp"));
  Driver d(root, "0", kPlain);
  Attach(d);
  dev.pause();  // the job blocks in its writes until the queue is full
  ASSERT_TRUE(d.send(qx5test::FileRequest(9, root.path("/u/tmp/big.txt"), "big")));
  ASSERT_TRUE(d.wait_output("Start Print: big on e2etest\n"));
  const long kFiller = 999999;
  qx5::SrvMsg filler = qx5test::Request(0);
  filler.mtype = kFiller;
  int fillers = 0;
  while (msgsnd(d.queue(), &filler, qx5::kBodySize, IPC_NOWAIT) == 0) ++fillers;
  ASSERT_GT(fillers, 0);
  dev.resume();
  ASSERT_TRUE(d.wait_output("End Print: big on e2etest\n", 20000));
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  qx5::SrvMsg a;
  EXPECT_FALSE(d.receive(a, 0));  // no room: not sent yet
  while (msgrcv(d.queue(), &filler, qx5::kBodySize, kFiller, IPC_NOWAIT) >= 0) {
  }
  ASSERT_TRUE(d.receive(a, 5000)) << d.output();
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(a.cmd, 12);
  EXPECT_EQ(d.output().find("msgsnd error"), std::string::npos) << d.output();
  EXPECT_TRUE(d.stop());
}

// A 300-byte record addressed to the driver is handled as its first 224 bytes.
TEST(E2eRobust, LongRecordIsAnsweredAsItsFirst224Bytes) {
  TempRoot root;
  FifoDevice dev(root.path("/dev/lp"));
  Driver d(root, "0", kPlain);
  Attach(d);
  struct {
    long mtype;
    char body[300];
  } rec{};
  rec.mtype = d.pid();
  for (size_t i = 0; i < sizeof rec.body; ++i) rec.body[i] = static_cast<char>('A' + i % 26);
  qx5::SrvMsg line = LineRequest("long");
  std::memcpy(rec.body, qx5::Body(line), 28 + 5);  // header fields and "long" with its NUL
  ASSERT_EQ(msgsnd(d.queue(), &rec, sizeof rec.body, IPC_NOWAIT), 0);
  qx5::SrvMsg a;
  ASSERT_TRUE(d.receive(a)) << d.output();
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(a.cmd, 12);
  a.cmd = qx5::CMD_LINE;
  EXPECT_EQ(std::memcmp(qx5::Body(a), rec.body, qx5::kBodySize), 0);
  EXPECT_TRUE(dev.wait_for(4, 2000));
  EXPECT_EQ(dev.bytes(), "long");
  ASSERT_TRUE(d.request(LineRequest("next"), a));
  EXPECT_EQ(a.status, 0);
  EXPECT_TRUE(d.stop());
}

// SIGTERM, SIGINT or SIGHUP while the driver waits: the exit lines and the exit message, with
// status 0 (the request before was answered 10), and exit status 0.
TEST(E2eRobust, StopSignalWhileIdle) {
  const struct {
    int sig;
    const char* name;
  } signals[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
  for (const auto& s : signals) {
    SCOPED_TRACE(s.name);
    TempRoot root;
    FifoDevice dev(root.path("/dev/lp"));
    Driver d(root, "0", kPlain);
    Attach(d);
    qx5::SrvMsg a, e;
    ASSERT_TRUE(d.request(qx5test::Request(3), a));
    EXPECT_EQ(a.status, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto t0 = Clock::now();
    ASSERT_EQ(kill(d.pid(), s.sig), 0);
    ASSERT_TRUE(d.receive(e, 5000)) << d.output();
    EXPECT_LT(Since(t0), 0.9);  // at once, not after the fallback alarm
    EXPECT_EQ(e.cmd, 13);
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(d.wait_exit(), 0);
    EXPECT_NE(d.output().find("e2etest: stopped by signal " + std::string(s.name) +
                              "\n\ne2etest: start exit\ne2etest: Done with exit\n"),
              std::string::npos)
        << d.output();
  }
}

// SIGTERM while a plot is being drawn and sent: the plot is finished and answered, then the
// driver exits cleanly. The device is held stalled meanwhile, so the signal lands in a write.
TEST(E2eRobust, StopSignalDuringAPlotWaitsForItsAnswer) {
  qx5test::TestDisplay();
  TempRoot root;
  root.write("/u/tmp/p.plt", kPlot);
  FifoDevice dev(root.path("/dev/lp"));
  Driver d(root, "0", "laser");
  Attach(d);
  dev.settle();
  dev.clear();
  // The smallest pipe, so that even a page of compressed rows in one block cannot slip into
  // the pipe's buffer and the driver really waits in a write.
  const int pipe_fd = ::open(root.path("/dev/lp").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(pipe_fd, 0);
  ASSERT_GE(::fcntl(pipe_fd, F_SETPIPE_SZ, 4096), 0);
  ::close(pipe_fd);
  dev.pause();
  qx5::SrvMsg req = qx5test::FileRequest(5, root.path("/u/tmp/p.plt"), "sig");
  req.pagetype = 1;
  ASSERT_TRUE(d.send(req));
  ASSERT_TRUE(d.wait_output("Start Plot: sig on laser\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(kill(d.pid(), SIGTERM), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  qx5::SrvMsg a, e;
  EXPECT_FALSE(d.receive(a, 0));
  EXPECT_EQ(d.wait_exit(0), -1);  // still at work
  dev.resume();
  ASSERT_TRUE(d.receive(a, 30000)) << d.output();
  EXPECT_EQ(a.cmd, 12);
  EXPECT_EQ(a.status, 0);
  ASSERT_TRUE(d.receive(e, 5000)) << d.output();
  EXPECT_EQ(e.cmd, 13);
  EXPECT_EQ(e.status, 0);
  EXPECT_EQ(d.wait_exit(), 0);
  const std::string out = d.output();
  const size_t end = out.find("End plot: sig on laser\n");
  const size_t stop = out.find("laser: stopped by signal SIGTERM\n\nlaser: start exit\n");
  ASSERT_NE(end, std::string::npos) << out;
  ASSERT_NE(stop, std::string::npos) << out;
  EXPECT_LT(end, stop);
  EXPECT_NE(out.find("laser: Done with exit\n", stop), std::string::npos);
  EXPECT_EQ(out.find("Unable to plot"), std::string::npos) << out;
  // The whole page went out: the graphics end codes follow the last row.
  dev.settle();
  const std::string bytes = dev.bytes();
  const size_t last_row = bytes.rfind("\x1b*b");
  ASSERT_NE(last_row, std::string::npos);
  EXPECT_NE(bytes.find("\x1b*rB", last_row), std::string::npos);
}

namespace {

// The bytes that reached the device since the last look, once it has been quiet.
std::string Drain(FifoDevice& dev) {
  dev.settle(200);
  std::string b = dev.bytes();
  dev.clear();
  return b;
}

bool IsOwnRegularFile(const std::string& path, unsigned mode) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0777) == mode;
}

}  // namespace

// Under a long installation root the conversion's command line runs far beyond 100 characters
// and the converted file's path beyond a request's name field: the text still converts.
TEST(E2eRobust, JapaneseConversionUnderALongRoot) {
  TempRoot root;
  std::string longroot = root.dir();
  for (int i = 0; i < 100; ++i) longroot += "/.";
  setenv("QX5_ROOT", longroot.c_str(), 1);  // the same tree; the root's destructor restores it
  const std::string rel = "/u/tmp/" + std::string(40, 'j') + ".txt";
  root.write(rel, kEuc);
  const std::string file = root.path(rel);
  ASSERT_LT(file.size(), sizeof(qx5::SrvMsg::name));
  const size_t command =
      std::strlen("nkf -E -j") + 1 + file.size() + 2 + 2 + (longroot + "/u/tmp/jis2").size() + 2;
  EXPECT_GT(command, 200u);
  FifoDevice dev(root.path("/dev/lp"));
  Driver d(root, "1", "kanji");
  Attach(d);
  Drain(dev);
  qx5::SrvMsg req = qx5test::FileRequest(9, file, "long"), a;
  req.remove = 1;
  ASSERT_TRUE(d.request(req, a));
  EXPECT_EQ(a.status, 0) << d.output();
  const std::string sent = Drain(dev);
  EXPECT_NE(sent.find(kJis), std::string::npos) << qx5test::Hex(sent);
  for (unsigned char c : sent) EXPECT_LT(c, 0x80);
  // The remove flag deleted the converted file and kept the request's own.
  EXPECT_FALSE(root.exists("/u/tmp/jis2"));
  EXPECT_EQ(root.read(rel), kEuc);
  EXPECT_TRUE(d.stop());
}

// A filter that writes nothing for a non-empty file or line, or a missing file: status 9, a
// clear line, and no text on the device; the next request is served.
TEST(E2eRobust, JapaneseFailuresAnswerNineAndSendNoText) {
  TempRoot root;
  const std::string codes = "/u/qx5/def_data/printers/ljkanji.cod";
  std::string cod = root.read(codes);
  const size_t at = cod.find("6FILTER");
  ASSERT_NE(at, std::string::npos);
  cod.replace(at, cod.find('\n', at) - at, "6FILTER 4 true");
  root.write(codes, cod);
  root.write("/u/tmp/euc.txt", kEuc);
  FifoDevice dev(root.path("/dev/lp"));
  Driver d(root, "1", "kanji");
  Attach(d);
  qx5::SrvMsg a;
  ASSERT_TRUE(d.request(qx5test::Request(3), a));  // the printer's initialisation
  Drain(dev);
  const std::string file = root.path("/u/tmp/euc.txt");
  ASSERT_TRUE(d.request(qx5test::FileRequest(9, file, "empty"), a));
  EXPECT_EQ(a.status, 9);
  EXPECT_TRUE(d.wait_output("ERROR: kanji: FILTER wrote nothing for " + file + "\n")) << d.output();
  EXPECT_EQ(Drain(dev), "");
  ASSERT_TRUE(d.request(qx5test::FileRequest(9, root.path("/u/tmp/none.txt"), "none"), a));
  EXPECT_EQ(a.status, 9);
  EXPECT_TRUE(d.wait_output("ERROR: kanji: unable to open " + root.path("/u/tmp/none.txt") + "\n"));
  EXPECT_EQ(Drain(dev), "");
  ASSERT_TRUE(d.request(LineRequest("ok"), a));
  EXPECT_EQ(a.status, 9);
  EXPECT_TRUE(
      d.wait_output("ERROR: kanji: FILTER wrote nothing for " + root.path("/u/tmp/jistmp2") + "\n"))
      << d.output();
  EXPECT_EQ(Drain(dev), "");
  ASSERT_TRUE(d.request(qx5test::Request(3), a));
  EXPECT_EQ(a.status, 10);
  EXPECT_TRUE(d.stop());
}

// Links planted at the setup data file and at both conversion files, before start-up and again
// before a Japanese job: the files they point to stay unchanged, the driver's own are whole.
TEST(E2eRobust, PlantedLinksAreNeverFollowed) {
  TempRoot root;
  const char* own[] = {"/u/tmp/P2", "/u/tmp/jis2", "/u/tmp/jistmp2"};
  const char* victims[] = {"/victim-p", "/victim-jis", "/victim-jistmp"};
  auto plant = [&] {
    for (int i = 0; i < 3; ++i) {
      root.write(victims[i], "precious " + std::to_string(i) + "\n");
      ::unlink(root.path(own[i]).c_str());
      ASSERT_EQ(symlink(root.path(victims[i]).c_str(), root.path(own[i]).c_str()), 0);
    }
  };
  auto untouched = [&] {
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(root.read(victims[i]), "precious " + std::to_string(i) + "\n") << victims[i];
  };
  plant();
  root.write("/u/tmp/euc.txt", kEuc);
  FifoDevice dev(root.path("/dev/lp"));
  Driver d(root, "1", "kanji");
  Attach(d);
  qx5::SrvMsg first;
  ASSERT_TRUE(d.request(qx5test::Request(3), first));  // start-up is over once it is answered
  untouched();
  EXPECT_TRUE(IsOwnRegularFile(root.path("/u/tmp/P2"), 0644));
  EXPECT_EQ(root.read("/u/tmp/P2"), "kanji\nljkanji.cod 1 75 0\nLETTER 300 300 0\n");
  for (int job = 0; job < 2; ++job) {
    SCOPED_TRACE(job);
    if (job == 1) plant();
    Drain(dev);
    qx5::SrvMsg a;
    ASSERT_TRUE(d.request(qx5test::FileRequest(9, root.path("/u/tmp/euc.txt")), a));
    EXPECT_EQ(a.status, 0);
    EXPECT_NE(Drain(dev).find(kJis), std::string::npos);
    ASSERT_TRUE(d.request(LineRequest(std::string(kEuc, 6)), a));
    EXPECT_EQ(a.status, 0);
    EXPECT_NE(Drain(dev).find(kJis), std::string::npos);
    untouched();
    EXPECT_TRUE(IsOwnRegularFile(root.path("/u/tmp/jis2"), 0600));
    EXPECT_TRUE(IsOwnRegularFile(root.path("/u/tmp/jistmp2"), 0600));
    EXPECT_EQ(root.read("/u/tmp/jistmp2"), std::string(kEuc, 6));
  }
  EXPECT_TRUE(d.stop());
}
