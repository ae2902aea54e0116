// Hostile files, stop signals, a full or read-only /u/tmp, a log nobody reads and a second
// driver, end to end through a real queue: every request is answered with the right status
// within the time-out, nothing wrong reaches the device, and the driver lives on (or exits
// cleanly where a signal asked it to).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/srvmsg.hpp"
#include "support/harness.hpp"

namespace {

using namespace qx5test;
using Clock = std::chrono::steady_clock;

// A page with a filled box and a diagonal.
const char kPage[] =
    "WINDOW(1,0.0,0.0,8.0,10.0)\n"
    "DRAWBOX(0.5,6.5,2.0,2.0,1)\n"
    "M(0.2,0.2)\n"
    "L(7.7,9.7)\n";

// A printer without a CONFIG line: EPSON defaults, nothing sent at initialisation.
const char* kNoConfig = "e2etest";

// The laser's line start and bold codes.
const std::string kInitln = "\x1b&l6D\x1b(s10H";
const std::string kBold = "\x1b(s3B";

double SecondsSince(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// The driver's attach message.
// The attach message, and the printer's initialisation (a request of no known kind, answered
// 10), after which the device has received nothing yet.
void Initialise(Driver& d, FifoDevice& dev) {
  Attach(d);
  qx5::SrvMsg a;
  ASSERT_TRUE(d.request(Request(3), a)) << d.output();
  EXPECT_EQ(a.status, 10);
  dev.drain();
}

// The driver is alive and well: a line reaches the printer, and it stops when asked.
void ServesALineAndStops(Driver& d, FifoDevice& dev, const std::string& text) {
  dev.drain();
  qx5::SrvMsg a;
  ASSERT_TRUE(d.request(LineRequest(text), a));
  EXPECT_EQ(a.status, 0);
  EXPECT_NE(dev.drain().find(text), std::string::npos);
  EXPECT_TRUE(d.stop());
}

// A path that opens as a file of the proc file system in the driver too (here, not only for
// root: /proc/kmsg needs a privilege to be opened at all).
bool Opens(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

}  // namespace

// /proc/kmsg never ends and /proc/self/pagemap reads for minutes: as a print file or a plot
// file they are refused at once, like a FIFO, with the same lines and statuses; as a plot's
// bitmap they are skipped and the plot is answered at once.
TEST(E2eHostile, PseudoFilesAreRefusedLikeFifos) {
  TestDisplay();
  TempRoot root;
  FifoDevice dev(root.path("/dev/lp"));
  Driver d(root, "0", "laser");
  Attach(d);
  for (const std::string path : {"/proc/kmsg", "/proc/self/pagemap"}) {
    SCOPED_TRACE(path);
    std::string refusal = "ERROR: laser: unable to open " + path + "\n";
    if (Opens(path))
      refusal += "ERROR: laser: " + path + ": not a regular file (proc file system)\n";
    qx5::SrvMsg a;
    auto t0 = Clock::now();
    ASSERT_TRUE(d.request(FileRequest(9, path, "txt"), a, 5000));
    EXPECT_LT(SecondsSince(t0), 2.0);
    EXPECT_EQ(a.status, 9);
    EXPECT_TRUE(d.wait_output("Start Print: txt on laser\n" + refusal, 1000)) << d.output();

    t0 = Clock::now();
    ASSERT_TRUE(d.request(PlotRequest(path, 1, "plt"), a, 5000));
    EXPECT_LT(SecondsSince(t0), 2.0);
    EXPECT_EQ(a.status, 10);
    EXPECT_TRUE(
        d.wait_output("Start Plot: plt on laser\n" + refusal + "ERROR: laser: error -1\n", 1000))
        << d.output();

    root.write("/u/tmp/bm.plt", std::string(kPage) + "BITMAP(1.0,1.0,1,0,\"" + path + "\")\n");
    t0 = Clock::now();
    ASSERT_TRUE(d.request(PlotRequest(root.path("/u/tmp/bm.plt"), 1, "bm"), a, 20000));
    EXPECT_LT(SecondsSince(t0), 10.0);
    EXPECT_EQ(a.status, 0) << d.output();
  }
  ServesALineAndStops(d, dev, "served");
}

namespace {

// A printer with a write time-out of 30 seconds (the least there is) that sends raster rows
// uncompressed, so that a page takes long on a slow line.
void AddQuickPrinter(const TempRoot& root) {
  const std::string dir = "/u/qx5/def_data/printers/";
  std::string cod = root.read(dir + "laserjet.cod");
  const size_t at = cod.find("8COMPRESS");
  ASSERT_NE(at, std::string::npos);
  cod.erase(at, cod.find('\n', at) + 1 - at);
  root.write(dir + "raw.cod", cod);
  root.write(dir + "CONFIG", root.read(dir + "CONFIG") +
                                 "\"quick\" HPPCL raw.cod English BW Single 300 300 30 0\n");
}

// One driver on a printer that takes 10 KB a second through a pipe of one page, with a request
// sent and under way.
struct SlowRoad {
  const char* what;
  int cmd;
  size_t text_bytes;  // the print file's size (0: the plot)
  int status;         // the answer expected
  TempRoot root;
  std::unique_ptr<FifoDevice> dev;
  std::unique_ptr<Driver> d;
  std::string file;

  SlowRoad(const char* w, int c, size_t bytes, int st)
      : what(w), cmd(c), text_bytes(bytes), status(st) {}

  void Start() {
    AddQuickPrinter(root);
    dev = std::make_unique<FifoDevice>(root.path("/dev/lp"));
    const int fd = ::open(root.path("/dev/lp").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_GE(::fcntl(fd, F_SETPIPE_SZ, 4096), 0);
    ::close(fd);
    d = std::make_unique<Driver>(root, "0", "quick");
    Initialise(*d, *dev);
    if (text_bytes > 0) {
      std::string text;
      for (int i = 0; text.size() < text_bytes; ++i)
        text += "line " + std::to_string(i) + " of a text on a slow printer\n";
      file = root.path("/u/tmp/t.txt");
      root.write("/u/tmp/t.txt", text);
    } else {
      file = root.path("/u/tmp/p.plt");
      root.write("/u/tmp/p.plt", kPage);
    }
    dev->read_rate(10240);
    ASSERT_TRUE(d->send(cmd == 5 ? PlotRequest(file, 1, "slow") : FileRequest(9, file, "slow")));
    ASSERT_TRUE(
        d->wait_output(cmd == 5 ? "Start Plot: slow on quick\n" : "Start Print: slow on quick\n"));
  }
};

}  // namespace

// SIGTERM while a request goes out to a slow printer that keeps taking bytes: the request has
// the write time-out (30 seconds) to finish. One that finishes is answered 0; one that does not
// is cut off then, answered 9 (text) or 10 (plot) with a line saying so. Either way the driver
// then exits with its exit lines and message. The three roads run side by side.
TEST(E2eHostile, StopSignalGivesARequestItsGraceAndNoMore) {
  TestDisplay();
  std::vector<std::unique_ptr<SlowRoad>> roads;
  const struct {
    const char* what;
    int cmd;
    size_t text_bytes;
    int status;
  } kinds[] = {{"text cut off", 9, 2000000, 9},
               {"plot cut off", 5, 0, 10},
               {"text within the grace", 9, 150000, 0}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.what);
    // Each driver starts while its own root is QX5_ROOT.
    roads.push_back(std::make_unique<SlowRoad>(k.what, k.cmd, k.text_bytes, k.status));
    roads.back()->Start();
    if (HasFatalFailure()) return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto t0 = Clock::now();
  for (auto& r : roads) ASSERT_EQ(kill(r->d->pid(), SIGTERM), 0);
  for (auto& r : roads) {
    SCOPED_TRACE(r->what);
    Driver& d = *r->d;
    qx5::SrvMsg a, e;
    ASSERT_TRUE(d.receive(a, 40000)) << d.output();
    const double answered = SecondsSince(t0);
    EXPECT_EQ(a.status, r->status) << d.output();
    EXPECT_LT(answered, 35.0);
    ASSERT_TRUE(d.receive(e, 5000)) << d.output();
    EXPECT_EQ(e.cmd, 13);
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(d.wait_exit(5000), 0);
    const std::string out = d.output();
    const std::string cut = "ERROR: quick: stopped by signal SIGTERM after 30 seconds\n";
    const size_t exit_lines =
        out.find("quick: stopped by signal SIGTERM\n\nquick: start exit\nquick: Done with exit\n");
    EXPECT_NE(exit_lines, std::string::npos) << out;
    if (r->status == 0) {
      EXPECT_EQ(out.find(cut), std::string::npos) << out;
      // The text that finished went out whole.
      r->dev->read_rate(0);
      r->dev->settle(300);
      EXPECT_NE(r->dev->bytes().find(r->root.read("/u/tmp/t.txt")), std::string::npos);
    } else {
      // Not before the grace was over: the signal itself cut nothing short.
      EXPECT_GT(answered, 29.0);
      EXPECT_LT(out.find(cut), exit_lines) << out;
      EXPECT_NE(out.find(r->cmd == 5 ? "ERROR: quick: Unable to plot\n"
                                     : "ERROR: quick: Unable to do PRINTLINE for " + r->file),
                std::string::npos)
          << out;
    }
  }
  while (!roads.empty()) roads.pop_back();  // the roots restore QX5_ROOT in reverse order
}

namespace {

// A small tmpfs mounted at a directory for the test's life (mounting needs root).
class Tmpfs {
 public:
  Tmpfs(const std::string& dir, const char* options) : dir_(dir) {
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, options) == 0)
      mounted_ = true;
    else
      error_ = std::strerror(errno);
  }
  ~Tmpfs() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }
  bool read_only(bool ro) {
    return ::mount("tmpfs", dir_.c_str(), nullptr, MS_REMOUNT | (ro ? MS_RDONLY : 0), nullptr) == 0;
  }

 private:
  std::string dir_;
  std::string error_;
  bool mounted_ = false;
};

// "日本語" in EUC-JP and in JIS X 0208 after ESC $ B.
const char kEuc[] = "\xc6\xfc\xcb\xdc\xb8\xec\n";
const char kJis[] = "F|K\\8l";

bool HasHighBytes(const std::string& bytes) {
  for (unsigned char c : bytes)
    if (c >= 0x80) return true;
  return false;
}

}  // namespace

// The conversion's output does not fit a full /u/tmp: the print request is answered 9 with the
// reason, nothing of the text reaches the printer and the cut file is removed; once there is
// room again (the cut file gone), the next request converts and prints.
TEST(E2eHostile, JapaneseConversionOnAFullTmp) {
  TempRoot root;
  Tmpfs tmp(root.path("/u/tmp"), "size=64k,mode=0755");
  if (!tmp.mounted())
    GTEST_SKIP() << "a tmpfs cannot be mounted here (" << tmp.error()
                 << "): run as root, as ./run-tests.sh does in CI";
  std::string text;
  for (int i = 0; i < 8109; ++i) text += std::string(kEuc, 6) + " " + std::to_string(i) + "\n";
  root.write("/data/big.txt", text);
  root.write("/data/small.txt", kEuc);
  FifoDevice dev(root.path("/dev/lp"));
  Driver d(root, "1", "kanji");
  Initialise(d, dev);
  qx5::SrvMsg a;

  const auto t0 = Clock::now();
  ASSERT_TRUE(d.request(FileRequest(9, root.path("/data/big.txt"), "big"), a));
  EXPECT_LT(SecondsSince(t0), 10.0);
  EXPECT_EQ(a.status, 9);
  EXPECT_TRUE(d.wait_output("ERROR: kanji: unable to write " + root.path("/u/tmp/jis2") +
                            ": No space left on device\n"))
      << d.output();
  EXPECT_EQ(dev.drain(), "");
  EXPECT_FALSE(root.exists("/u/tmp/jis2"));

  ASSERT_TRUE(d.request(FileRequest(9, root.path("/data/small.txt"), "small"), a));
  EXPECT_EQ(a.status, 0) << d.output();
  EXPECT_NE(dev.drain().find(kJis), std::string::npos);
  EXPECT_TRUE(d.stop());
}

// With /u/tmp read-only (from the start: the driver runs without its lock then) nothing can be
// converted: a one-line and a print request are answered 9 with the reason, and no
// unconverted (EUC) byte reaches the printer; once /u/tmp is writable again the same line
// converts.
TEST(E2eHostile, JapaneseConversionOnAReadOnlyTmp) {
  TempRoot root;
  Tmpfs tmp(root.path("/u/tmp"), "size=1m,mode=0755");
  if (!tmp.mounted() && geteuid() == 0)
    GTEST_SKIP() << "a tmpfs cannot be mounted here (" << tmp.error()
                 << "), and root writes to a directory of any mode";
  const std::string dir = root.path("/u/tmp");
  ASSERT_TRUE(tmp.mounted() ? tmp.read_only(true) : ::chmod(dir.c_str(), 0555) == 0);
  const std::string reason = tmp.mounted() ? "Read-only file system" : "Permission denied";
  root.write("/data/small.txt", kEuc);
  FifoDevice dev(root.path("/dev/lp"));
  Driver d(root, "1", "kanji");
  Attach(d);
  EXPECT_TRUE(d.wait_output("ERROR: kanji: unable to lock " + dir + "/P2.lock: " + reason +
                            ": running without the lock\n"))
      << d.output();
  qx5::SrvMsg a;
  ASSERT_TRUE(d.request(Request(3), a));  // the printer's initialisation
  dev.drain();

  ASSERT_TRUE(d.request(LineRequest(std::string(kEuc, 6)), a));
  EXPECT_EQ(a.status, 9);
  EXPECT_TRUE(d.wait_output("ERROR: kanji: unable to create " + dir + "/jistmp2: " + reason + "\n"))
      << d.output();
  ASSERT_TRUE(d.request(FileRequest(9, root.path("/data/small.txt"), "small"), a));
  EXPECT_EQ(a.status, 9);
  EXPECT_TRUE(d.wait_output("ERROR: kanji: unable to create " + dir + "/jis2: " + reason + "\n"))
      << d.output();
  EXPECT_FALSE(HasHighBytes(dev.drain()));

  ASSERT_TRUE(tmp.mounted() ? tmp.read_only(false) : ::chmod(dir.c_str(), 0755) == 0);
  ASSERT_TRUE(d.request(LineRequest(std::string(kEuc, 6)), a));
  EXPECT_EQ(a.status, 0) << d.output();
  const std::string sent = dev.drain();
  EXPECT_NE(sent.find(kJis), std::string::npos) << Hex(sent);
  EXPECT_FALSE(HasHighBytes(sent));
  EXPECT_TRUE(d.stop());
}

// Started with standard output closed (as a server may start it), the driver opens /dev/null
// there before anything else: the device never takes descriptor 1, and no log line reaches
// the printer among the raster rows.
TEST(E2eHostile, StandardOutputClosedKeepsTheLogOffTheDevice) {
  TestDisplay();
  TempRoot root;
  root.write("/u/tmp/p.plt", kPage);
  root.write("/u/tmp/t.txt", "some text\n");
  FifoDevice dev(root.path("/dev/lp"));
  Driver d(root, {"0", "/dev/lp", "-", "0", "laser"}, Log::kClosed);
  Attach(d);
  char target[PATH_MAX] = {};
  const std::string fd1 = "/proc/" + std::to_string(d.pid()) + "/fd/1";
  ASSERT_GT(::readlink(fd1.c_str(), target, sizeof target - 1), 0);
  EXPECT_STREQ(target, "/dev/null");
  qx5::SrvMsg a;
  ASSERT_TRUE(d.request(PlotRequest(root.path("/u/tmp/p.plt"), 1, "plot"), a));
  EXPECT_EQ(a.status, 0);
  ASSERT_TRUE(d.request(FileRequest(9, root.path("/u/tmp/t.txt"), "text"), a));
  EXPECT_EQ(a.status, 0);
  ASSERT_TRUE(d.request(FileRequest(9, root.path("/u/tmp/none.txt"), "none"), a));
  EXPECT_EQ(a.status, 9);
  const std::string sent = dev.drain();
  EXPECT_NE(sent.find("some text\n"), std::string::npos);
  EXPECT_NE(sent.find("\x1b*b"), std::string::npos);  // the raster rows
  for (const char* line :
       {"QX5 PRINTER DRIVER", "Start Plot", "End plot", "Start Print", "unable to open", "laser:"})
    EXPECT_EQ(sent.find(line), std::string::npos) << line;
  EXPECT_TRUE(d.stop());
}

// Standard output a pipe that nobody reads: the log is given up on once and every later line
// dropped at once, so 300 plots are answered without one being held up; once the log is read
// again, its first line says how many were dropped.
TEST(E2eHostile, UnreadLogNeverHoldsUpPlots) {
  TestDisplay();
  TempRoot root;
  root.write("/u/tmp/p.plt", kPage);
  FifoDevice dev(root.path("/dev/lp"));
  Driver d(root, {"0", "/dev/lp", "-", "0", "laser"}, Log::kUnread);
  Attach(d);
  double slowest = 0;
  const auto t0 = Clock::now();
  for (int i = 0; i < 300; ++i) {
    qx5::SrvMsg a;
    const auto t = Clock::now();
    ASSERT_TRUE(
        d.request(PlotRequest(root.path("/u/tmp/p.plt"), 0, "p" + std::to_string(i)), a, 10000))
        << "plot " << i;
    ASSERT_EQ(a.status, 0) << "plot " << i;
    slowest = std::max(slowest, SecondsSince(t));
    if (i % 50 == 0) dev.clear();
  }
  // One wait of a second for the log, when it first takes nothing, and none after it.
  EXPECT_LT(slowest, 3.0);
  RecordProperty("seconds_for_300_plots", std::to_string(SecondsSince(t0)));
  d.read_log();
  EXPECT_TRUE(d.wait_output("QX5 PRINTER DRIVER"));
  qx5::SrvMsg a;
  ASSERT_TRUE(d.request(PlotRequest(root.path("/u/tmp/p.plt"), 0, "last"), a));
  const std::string note = " log lines dropped: the log took no bytes\n";
  ASSERT_TRUE(d.wait_output("Start Plot: last on laser\n")) << d.output();
  const std::string out = d.output();
  const size_t at = out.find(note);
  ASSERT_NE(at, std::string::npos) << out;
  const size_t start = out.rfind("laser: ", at);
  ASSERT_NE(start, std::string::npos);
  const long dropped = std::stol(out.substr(start + 7, at - start - 7));
  // Two lines a plot: those that fitted into the pipe, and the rest dropped and counted.
  long kept = 0;
  for (const char* line : {"Start Plot: p", "End plot: p"})
    for (size_t p = out.find(line); p < at; p = out.find(line, p + 1)) ++kept;
  EXPECT_GT(kept, 0);
  EXPECT_EQ(kept + dropped, 600) << out;
  EXPECT_LT(at, out.find("Start Plot: last on laser\n"));
  EXPECT_TRUE(d.stop());
}

// remove deletes only regular files: a request naming the device, a FIFO, a link to the device
// or a device node is refused and the file stays; a regular file goes, as it always did.
TEST(E2eHostile, RemoveDeletesOnlyRegularFiles) {
  TempRoot root;
  FifoDevice dev(root.path("/dev/lp"));
  const std::string device = root.path("/dev/lp"), fifo = root.path("/u/tmp/fifo"),
                    link = root.path("/u/tmp/link"), node = root.path("/u/tmp/null"),
                    plain = root.path("/u/tmp/plain.txt");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(symlink(device.c_str(), link.c_str()), 0);
  const bool has_node = ::mknod(node.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
  root.write("/u/tmp/plain.txt", "plain\n");
  Driver d(root, "0", kNoConfig);
  Attach(d);
  struct Case {
    std::string path;
    int cmd;
    int status;
  } cases[] = {{device, 9, 9}, {device, 5, 10}, {fifo, 9, 9}, {link, 9, 9}, {node, 9, 9}};
  for (const Case& c : cases) {
    if (c.path == node && !has_node) continue;  // creating a device node needs root
    SCOPED_TRACE(c.path + " " + std::to_string(c.cmd));
    qx5::SrvMsg req = FileRequest(c.cmd, c.path), a;
    req.remove = 1;
    ASSERT_TRUE(d.request(req, a));
    EXPECT_EQ(a.status, c.status);
    struct stat st;
    EXPECT_EQ(::lstat(c.path.c_str(), &st), 0);
  }
  struct stat st;
  ASSERT_EQ(::stat(device.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  qx5::SrvMsg req = FileRequest(9, plain), a;
  req.remove = 1;
  ASSERT_TRUE(d.request(req, a));
  EXPECT_EQ(a.status, 0);
  EXPECT_FALSE(root.exists("/u/tmp/plain.txt"));
  ServesALineAndStops(d, dev, "still here");
}

// A device that is a regular file, named by a request that asks for its removal: it is read
// (it is a regular file) but never deleted; later jobs still reach it.
TEST(E2eHostile, RemoveNeverDeletesARegularFileDevice) {
  TempRoot root;
  root.write("/dev/lp", "");
  Driver d(root, "0", kNoConfig);
  Attach(d);
  qx5::SrvMsg req = FileRequest(9, root.path("/dev/lp")), a;
  req.remove = 1;
  ASSERT_TRUE(d.request(req, a));
  EXPECT_EQ(a.status, 0);
  EXPECT_TRUE(root.exists("/dev/lp"));
  ASSERT_TRUE(d.request(LineRequest("after"), a));
  EXPECT_EQ(a.status, 0);
  EXPECT_TRUE(d.stop());
  EXPECT_NE(root.read("/dev/lp").find("after"), std::string::npos);
}

// One driver per printer number and installation: a second one for the same number names the
// running one and exits without a word to the server; another number runs beside it; once the
// first is killed (no exit of its own) the system has released its lock and a new one starts.
TEST(E2eHostile, OneDriverPerPrinterNumber) {
  TempRoot root;
  FifoDevice dev(root.path("/dev/lp"));
  Driver first(root, "0", kNoConfig);  // owns the queue: destroyed last
  Attach(first);
  {
    Driver second(root, "0", kNoConfig);
    second.keep_queue();
    EXPECT_EQ(second.wait_exit(5000), 0);
    EXPECT_NE(second.output().find("ERROR: e2etest: printer 0 is already served by process " +
                                   std::to_string(first.pid()) + " (lock " +
                                   root.path("/u/tmp/P1.lock") + ")\n"),
              std::string::npos)
        << second.output();
    EXPECT_EQ(second.output().find("QX5 PRINTER DRIVER"), std::string::npos);
    qx5::SrvMsg m;
    EXPECT_FALSE(first.receive(m, 300)) << "a record came, of kind " << m.cmd;
  }
  qx5::SrvMsg a;
  ASSERT_TRUE(first.request(LineRequest("first"), a));
  EXPECT_EQ(a.status, 0);
  {
    Driver other(root, "1", kNoConfig);
    other.keep_queue();
    qx5::SrvMsg attach;
    ASSERT_TRUE(other.receive(attach)) << other.output();
    EXPECT_EQ(attach.cmd, 7);
    EXPECT_TRUE(other.stop());
  }
  ASSERT_EQ(kill(first.pid(), SIGKILL), 0);
  EXPECT_EQ(first.wait_exit(5000), 128 + SIGKILL);
  Driver again(root, "0", kNoConfig);
  again.keep_queue();
  Attach(again);
  ServesALineAndStops(again, dev, "again");
}

// NUL bytes are text like any other byte, and an escape is recognised wherever the reader's
// pieces of a long line fall (here across the end of the first 498 bytes, and just at it).
TEST(E2eHostile, TextKeepsNulBytesAndEscapesAcrossPieces) {
  TempRoot root;
  FifoDevice dev(root.path("/dev/lp"));
  Driver d(root, "0", "laser");
  Initialise(d, dev);
  qx5::SrvMsg a;
  const std::string nul(1, '\0');
  const std::string text = "ab" + nul + "cd\n" + std::string(495, 'x') + "\\!4BOLDy\n" +
                           std::string(497, 'w') + "\\!4BOLDv\n" + "z" + nul + "\\!4BOLD\n";
  root.write("/u/tmp/t.txt", text);
  ASSERT_TRUE(d.request(FileRequest(9, root.path("/u/tmp/t.txt")), a));
  EXPECT_EQ(a.status, 0);
  const std::string want = kInitln + "ab" + nul + "cd\n" + std::string(495, 'x') + kBold + "y\n" +
                           std::string(497, 'w') + kBold + "v\n" + "z" + nul + kBold + "\n";
  EXPECT_EQ(Hex(dev.drain()), Hex(want));
  EXPECT_TRUE(d.stop());
}
