// Test fixture for drawing on the plot surface under the test X server, with the pixmap read
// back pixel by pixel, and a private X server that a test may start, limit and kill.
#pragma once
#include <gtest/gtest.h>
// Xlib after gtest: its macros would break gtest's templates.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/loop.hpp"
#include "driver/plotrequest.hpp"
#include "geometry/mapping.hpp"
#include "lib/message.hpp"
#include "printers/config.hpp"
#include "printers/paper.hpp"
#include "render/plotfonts.hpp"
#include "render/plottext.hpp"
#include "render/primitives.hpp"
#include "render/surface.hpp"
#include "render/switch_fixture.hpp"

namespace h4test {

// The drawn pixmap, read back with XGetImage.
struct Page {
  int w = 0, h = 0;
  std::vector<unsigned long> px;
  unsigned long at(int x, int y) const {
    if (x < 0 || y < 0 || x >= w || y >= h) return 0;
    return px[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)];
  }
  bool ink(int x, int y) const { return at(x, y) != 0; }
  int count() const {
    int n = 0;
    for (unsigned long p : px) n += p != 0;
    return n;
  }
  bool operator==(const Page& o) const { return w == o.w && h == o.h && px == o.px; }
};

inline Page ReadPage() {
  Page p;
  if (!qx5::SurfaceReady()) return p;
  XSync(qx5::display, False);
  p.w = static_cast<int>(qx5::Width) + 1;
  p.h = static_cast<int>(qx5::Height) + 1;
  XImage* im = XGetImage(qx5::display, qx5::drawable, 0, 0, static_cast<unsigned>(p.w),
                         static_cast<unsigned>(p.h), AllPlanes, ZPixmap);
  if (im == nullptr) return Page{};
  p.px.resize(static_cast<size_t>(p.w) * static_cast<size_t>(p.h));
  for (int y = 0; y < p.h; y++)
    for (int x = 0; x < p.w; x++)
      p.px[static_cast<size_t>(y) * static_cast<size_t>(p.w) + static_cast<size_t>(x)] =
          XGetPixel(im, x, y);
  XDestroyImage(im);
  return p;
}

// A display number far from the usual ones, held for this process while the object lives:
// its lock file is made here, exclusively, so that tests running side by side never take the
// same number (a server started with -displayfd makes no lock file of its own), and the number
// has no socket either.
class DisplayNumber {
 public:
  DisplayNumber() {
    for (int i = 0; i < 400 && n_ < 0; ++i) {
      const int n = 300 + (getpid() + i * 7) % 400;
      const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      const int fd = open(lock.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0444);
      if (fd < 0) continue;
      close(fd);
      if (!SocketFree(n)) {
        unlink(lock.c_str());  // a server of another kind has it
        continue;
      }
      n_ = n;
    }
  }
  ~DisplayNumber() {
    if (n_ >= 0) unlink(("/tmp/.X" + std::to_string(n_) + "-lock").c_str());
  }
  DisplayNumber(const DisplayNumber&) = delete;
  DisplayNumber& operator=(const DisplayNumber&) = delete;
  int value() const { return n_; }
  static std::string SocketPath(int n) { return "/tmp/.X11-unix/X" + std::to_string(n); }

 private:
  // True when display n has no socket, or one that a server killed left behind (removed).
  static bool SocketFree(int n) {
    const std::string path = SocketPath(n);
    if (access(path.c_str(), F_OK) != 0) return true;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const bool stale =
        connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno == ECONNREFUSED;
    close(fd);
    return stale && unlink(path.c_str()) == 0;
  }
  int n_ = -1;
};

// A private Xvfb, optionally limited to vmem_kb of virtual memory and started with further
// options; DISPLAY points at it while it lives (and back at the test display afterwards). The
// plot surface's kept connection is closed on both changes, so that the next plot connects to
// the display in force.
class PrivateServer {
 public:
  explicit PrivateServer(long vmem_kb = 0, const std::string& options = "")
      : vmem_kb_(vmem_kb), options_(options) {
    qx5::ClosePlotDisplay();
    old_ = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    start(number_.value());
    if (up()) setenv("DISPLAY", name_.c_str(), 1);
  }
  ~PrivateServer() {
    qx5::ClosePlotDisplay();
    kill();
    setenv("DISPLAY", old_.c_str(), 1);
  }
  bool up() const { return !name_.empty(); }
  const std::string& name() const { return name_; }
  pid_t pid() const { return pid_; }
  void kill() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      unlink(DisplayNumber::SocketPath(number_.value()).c_str());  // it leaves its socket
    }
  }
  // Kills the server and starts a new one on the same display; true when it is up.
  bool restart() {
    kill();
    start(number_.value());
    return up();
  }
  // Sends sig (SIGSTOP, SIGCONT) to the server.
  void signal(int sig) const {
    if (pid_ > 0) ::kill(pid_, sig);
  }

 private:
  void start(int number) {
    name_.clear();
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      if (fds[0] != 3) close(fds[0]);  // when it is 3, dup2 replaces it
      dup2(fds[1], 3);
      if (fds[1] != 3) close(fds[1]);
      // An explicit display number: with -displayfd alone the server probes the displays from
      // :0 upwards, and its probe briefly takes over the test display's socket.
      std::string cmd = "exec Xvfb :" + std::to_string(number) +
                        " -displayfd 3 -screen 0 640x480x8 -nolisten tcp " + options_ +
                        " 2>/dev/null";
      if (vmem_kb_ > 0) cmd = "ulimit -v " + std::to_string(vmem_kb_) + "; " + cmd;
      execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // The server writes the number and its newline separately: read up to the newline, so
    // that the pipe stays open for the second write.
    std::string buf;
    char c;
    while (buf.size() < 16 && read(fds[0], &c, 1) == 1 && c != '\n') buf.push_back(c);
    close(fds[0]);
    if (!buf.empty()) name_ = std::string(":") + std::to_string(std::atoi(buf.c_str()));
  }

  DisplayNumber number_;
  long vmem_kb_;
  std::string options_;
  pid_t pid_ = -1;
  std::string name_;
  std::string old_;
};

// The printer values of the test pages: 100 dots per inch on the default letter page, black
// and white, single sheet, device type 1, printer name "tp".
inline void TestPrinterValues() {
  qx5::SETUPcolor = 0;
  qx5::SETUPfeed = 0;
  qx5::SETUPxdpi = 100;
  qx5::SETUPydpi = 100;
  qx5::PAPERwIN = 8.5;
  qx5::PAPERhIN = 11.0;
  qx5::PAPERwun = 0.5;
  qx5::PAPERhun = 1.0;
  qx5::rot = 0;
  qx5::SetDevtype(1);
  qx5::GSF = 0;
  std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", "tp");
}

// A plot surface with the test printer values, unless a test changes them before Window().
class PlotFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(qx5test::TestDisplay(), nullptr);
    qx5::ClosePlot();
    qx5::CloseSwitchDb();
    root_ = std::make_unique<qx5test::TempRoot>();
    qx5::InitConfigure();
    TestPrinterValues();
  }
  void TearDown() override {
    qx5::ClosePlot();
    qx5::CloseSwitchDb();
    qx5::CloseSysgen();
    root_.reset();
  }
  // Opens the surface the way the WINDOW statement does.
  int Window(int units, double w, double h) {
    qx5::SetUtype(units);
    const int r = qx5::InitPlot(0.0, 0.0, w, h);
    if (r == 0) qx5::InitPlotFonts();
    return r;
  }
  // Device units: plot positions are dots, y downward; the surface is 800 x 600 dots.
  void DotWindow() { ASSERT_EQ(Window(2, 400.0, 300.0), 0); }
  // The surface in force still draws: a line in dots reaches the page.
  void ExpectLineDraws() {
    qx5::MoveTo(10.0, 10.0);
    qx5::LineTo(20.0, 10.0);
    EXPECT_TRUE(ReadPage().ink(15, 10));
  }
  const qx5test::TempRoot& root() const { return *root_; }

 private:
  std::unique_ptr<qx5test::TempRoot> root_;
};

}  // namespace h4test
