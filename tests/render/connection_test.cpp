// The display connection kept from plot to plot: the pixmap and the fonts kept, a silent
// server given up, and the read-back through shared memory.
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "lib/stop.hpp"
#include "raster/capture.hpp"
#include "render/plot_fixture.hpp"
// Xlib after gtest (through the fixture).
#include "driver/devout.hpp"

using namespace qx5;
using h4test::Page;
using h4test::ReadPage;

namespace {

using Clock = std::chrono::steady_clock;

class Connection : public h4test::PlotFixture {
 protected:
  void TearDown() override {
    UseSharedMemory(true);
    ALARM_SEC = saved_alarm_;
    ClearStopSignal();
    h4test::PlotFixture::TearDown();
  }

 private:
  int saved_alarm_ = ALARM_SEC;
};

TEST_F(Connection, PixmapIsKeptWhileSizeAndDepthStay) {
  DotWindow();
  const Pixmap first = drawable;
  Display* const connection = display;
  PlotSetup(1, 1, 1);
  DrawRectangle(10.0, 10.0, 100.0, 100.0, 1);
  EXPECT_GT(ReadPage().count(), 0);
  ClosePlot();
  GSF = 0;
  DotWindow();
  EXPECT_EQ(drawable, first);
  EXPECT_EQ(display, connection);
  EXPECT_EQ(ReadPage().count(), 0) << "cleared for the new plot";
  ClosePlot();
  GSF = 0;
  ASSERT_EQ(Window(2, 200.0, 100.0), 0);
  EXPECT_NE(drawable, first) << "another size";
  const Pixmap smaller = drawable;
  ClosePlot();
  SETUPcolor = 1;
  GSF = 0;
  ASSERT_EQ(Window(2, 200.0, 100.0), 0);
  EXPECT_NE(drawable, smaller) << "another depth";
  ExpectLineDraws();
}

TEST_F(Connection, FontsAreLoadedOncePerConnection) {
  // The font of "9x15" (or "9X15") in a new plot, on the kept connection or a new one.
  const auto font = [&](const char* name, bool new_connection) {
    ClosePlot();
    if (new_connection) ClosePlotDisplay();
    GSF = 0;
    DotWindow();
    const PlotFontInfo* f = GetPlotFont(name);
    EXPECT_NE(f, nullptr);
    return f != nullptr ? *f : PlotFontInfo{};
  };
  const PlotFontInfo first = font("9x15", false);
  ASSERT_NE(first.font, nullptr);
  const PlotFontInfo kept = font("9X15", false);
  EXPECT_EQ(kept.font, first.font) << "kept from the last plot";
  EXPECT_EQ(kept.handle, first.handle);
  // On a new connection the font ids of the old one mean nothing (or another resource): the
  // font is loaded again, and text drawn with it reaches the page without an X error.
  font("9x15", true);
  DrawString(10.0, 50.0, "text");
  EXPECT_EQ(SurfaceSync(), 0);
  EXPECT_GT(ReadPage().count(), 10);
}

// A server stopped at each kind of wait: the wait ends after ALARM_SEC seconds (or what the
// stop grace leaves of them), with a line naming the display and the wait; the connection is
// dropped and the next plot, on a server that answers again, draws.
TEST_F(Connection, SilentServerIsGivenUpAfterTheTimeOut) {
  struct Case {
    const char* wait;
    bool stop_signal;  // a stop signal came 2.2 s before (its grace is ALARM_SEC)
  };
  const Case cases[] = {{"checking the connection", false},
                        {"connecting", false},
                        {"sending requests", false},
                        {"reading the page back", false},
                        {"checking the connection", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.wait << (c.stop_signal ? " after a stop signal" : ""));
    h4test::PrivateServer server;
    ASSERT_TRUE(server.up());
    ALARM_SEC = c.stop_signal ? 3 : 1;
    const std::string wait = c.wait;
    GSF = 0;
    if (wait != "connecting") DotWindow();
    if (wait == "reading the page back") {
      ASSERT_EQ(GetBits(0, 0, static_cast<int>(Width) + 1, 8, false), 1);
    }
    if (wait == "checking the connection") ClosePlot();
    if (c.stop_signal) {
      NoteStopSignal(SIGTERM);
      std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    }
    server.signal(SIGSTOP);
    testing::internal::CaptureStdout();
    const auto start = Clock::now();
    if (wait == "connecting" || wait == "checking the connection") {
      GSF = 0;
      EXPECT_EQ(Window(2, 400.0, 300.0), -1);
      EXPECT_TRUE(SurfaceFailed());
    } else if (wait == "sending requests") {
      for (int i = 0; i < 300000 && !DisplayLost(); i++) LineTo(i % 400, (i * 7) % 300);
      EXPECT_TRUE(DisplayLost());
    } else {
      EXPECT_EQ(GetBits(0, 0, static_cast<int>(Width) + 1, 8, false), 0);
      EXPECT_TRUE(DisplayLost());
    }
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    const std::string out = testing::internal::GetCapturedStdout();
    const double bound = c.stop_signal ? 0.8 : ALARM_SEC;
    EXPECT_GT(took, bound - 0.3);
    EXPECT_LT(took, bound + 1.0);
    EXPECT_NE(out.find("ERROR: tp: X display " + server.name() +
                       ": no answer from the X server while " + wait),
              std::string::npos)
        << out;
    if (wait == "connecting") {
      EXPECT_NE(out.find("ERROR: tp: cannot open X display\n"), std::string::npos) << out;
    }
    ClearStopSignal();
    ClosePlot();
    server.signal(SIGCONT);
    GSF = 0;
    testing::internal::CaptureStdout();
    DotWindow();
    ExpectLineDraws();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  }
}

// A server whose queue of connections is full takes none: connect() itself waits, and is cut
// off at the time-out like any other wait.
TEST_F(Connection, ServerThatAcceptsNoConnectionIsGivenUp) {
  const std::string old = std::getenv("DISPLAY");
  const h4test::DisplayNumber number;
  const int n = number.value();
  const std::string path = "/tmp/.X11-unix/X" + std::to_string(n);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << path;
  ASSERT_EQ(listen(listener, 0), 0);
  std::vector<int> waiting;  // connections never accepted, until one more would wait
  for (int i = 0; i < 16; ++i) {
    waiting.push_back(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
    if (connect(waiting.back(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) break;
  }
  ClosePlotDisplay();
  setenv("DISPLAY", (":" + std::to_string(n)).c_str(), 1);
  ALARM_SEC = 1;
  testing::internal::CaptureStdout();
  const auto start = Clock::now();
  EXPECT_EQ(Window(2, 400.0, 300.0), -1);
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  const std::string out = testing::internal::GetCapturedStdout();
  setenv("DISPLAY", old.c_str(), 1);
  for (int fd : waiting) close(fd);
  close(listener);
  unlink(path.c_str());
  EXPECT_GT(took, 0.7);
  EXPECT_LT(took, 2.0);
  EXPECT_NE(out.find("no answer from the X server while connecting"), std::string::npos) << out;
  ClosePlot();
  GSF = 0;
  DotWindow();
  ExpectLineDraws();
}

// Between plots the watchdog's signal never comes: it would cut short the driver's wait for
// the next request (msgrcv and nanosleep are not restarted after a signal handler).
TEST_F(Connection, WatchdogIsQuietBetweenPlots) {
  ALARM_SEC = 1;
  for (bool flushed : {false, true}) {
    DotWindow();
    for (int i = 0; i < 5000; i++) LineTo(i % 400, (i * 7) % 300);
    if (flushed) XFlush(display);  // a flush outside a request function
    ClosePlot();
    struct timespec pause = {0, 700 * 1000 * 1000};
    EXPECT_EQ(nanosleep(&pause, nullptr), 0) << "flushed " << flushed;
    GSF = 0;
  }
}

// The bytes of a read-back, the scan-line filler included.
std::vector<unsigned char> Bytes(int w, int h, int planes) {
  std::vector<unsigned char> out;
  if (image == nullptr) return out;
  EXPECT_EQ(image->width, w);
  EXPECT_EQ(image->height, h);
  EXPECT_EQ(image->depth, planes);
  EXPECT_EQ(image->bytes_per_line, (w + 31) / 32 * 4);
  const size_t n = static_cast<size_t>(planes) * h * image->bytes_per_line;
  out.assign(image->data, image->data + n);
  return out;
}

// The page as the encoders want it: the low planes of each pixel, most significant first,
// the leftmost pixel in the high bit, lines padded to 32 bits with zeros.
std::vector<unsigned char> Expected(const Page& page, int x0, int y0, int w, int h, int planes) {
  const int used = (w + 31) / 32 * 4;
  std::vector<unsigned char> out(static_cast<size_t>(planes) * h * used, 0);
  for (int p = 0; p < planes; ++p)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if ((page.at(x0 + x, y0 + y) >> (planes - 1 - p)) & 1)
          out[(static_cast<size_t>(p) * h + y) * used + x / 8] |= 0x80 >> (x % 8);
  return out;
}

TEST_F(Connection, SharedMemoryAndSocketReadBackGiveTheSameBytes) {
  // x, y, w, h of the rectangle read back
  const int rects[][4] = {{0, 0, 801, 601}, {8, 3, 333, 17}, {400, 100, 1, 400}, {0, 599, 801, 2}};
  // shared memory (8 bits a dot: split here), the socket, and 24 bits a dot (split by the server)
  for (const char* options : {"", "-extension MIT-SHM", "-screen 0 640x480x24"}) {
    h4test::PrivateServer server(0, options);
    ASSERT_TRUE(server.up());
    for (int colour : {0, 1}) {
      SCOPED_TRACE(testing::Message() << "colour " << colour << " server " << options);
      SETUPcolor = colour;
      GSF = 0;
      ASSERT_EQ(Window(2, 400.0, 300.0), 0);  // 801 x 601 dots
      EXPECT_EQ(DefaultDepth(display, screen),
                std::string(options).find("x24") == std::string::npos ? 8 : 24);
      PlotSetup(1, 1, 1);
      for (int i = 0; i < 60; ++i) {
        SetColor(3 + i % 6);
        SetLineWidth(i % 4);
        MoveTo(i * 13 % 400, i * 29 % 300);
        LineTo(i * 37 % 400, i * 17 % 300);
        DrawArc(i * 7 % 400, i * 11 % 300, 5 + i % 40, 0, 360, i % 2);
      }
      const Page page = ReadPage();
      const int planes = colour ? 4 : 1;
      for (const auto& r : rects) {
        SCOPED_TRACE(testing::Message() << r[0] << "," << r[1] << " " << r[2] << "x" << r[3]);
        UseSharedMemory(true);
        ASSERT_EQ(GetBand(r[0], r[1], r[2], r[3], colour != 0), 1);
        EXPECT_EQ(LastReadShared(), std::string(options).find("MIT-SHM") == std::string::npos)
            << "shared memory when offered";
        const std::vector<unsigned char> shared = Bytes(r[2], r[3], planes);
        UseSharedMemory(false);
        ASSERT_EQ(GetBand(r[0], r[1], r[2], r[3], colour != 0), 1);
        EXPECT_FALSE(LastReadShared());
        const std::vector<unsigned char> socket = Bytes(r[2], r[3], planes);
        EXPECT_TRUE(shared == socket);
        EXPECT_TRUE(socket == Expected(page, r[0], r[1], r[2], r[3], planes));
      }
      ClosePlot();
    }
  }
}

// The diagnostic block gives the page's size, whatever band is read first.
TEST_F(Connection, FirstBandReportsThePageSize) {
  DotWindow();
  testing::internal::CaptureStdout();
  ASSERT_EQ(GetBits(0, 0, 801, 10, false), 1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Width, Height, POFF, AllPlanes = 800, 600, 1 1\n"), std::string::npos) << out;
  EXPECT_NE(out.find("image->height, width, depth, bytes_per_line = 601, 801, 1, 104\n"),
            std::string::npos)
      << out;
}

// No display: the old line, then one naming the display and what to do. SurfaceFailed tells
// a surface the X server did not give from a WINDOW whose own values are unusable.
TEST_F(Connection, NoDisplayIsNamedWithWhatToDo) {
  const std::string old = std::getenv("DISPLAY");
  ClosePlotDisplay();
  const struct {
    const char* display;  // null: DISPLAY unset
    const char* line;
  } cases[] = {
      {":9999",
       "ERROR: tp: no X server answers on display \":9999\" (DISPLAY): start one there (for "
       "example \"Xvfb :9999 -nolisten tcp\") or set DISPLAY in the driver's environment to a "
       "running one\n"},
      {nullptr,
       "ERROR: tp: DISPLAY is not set: plots need an X server; start one (for example \"Xvfb "
       ":7 -nolisten tcp\") and set DISPLAY=:7 in the driver's environment\n"}};
  for (const auto& c : cases) {
    if (c.display != nullptr)
      setenv("DISPLAY", c.display, 1);
    else
      unsetenv("DISPLAY");
    testing::internal::CaptureStdout();
    EXPECT_EQ(Window(2, 400.0, 300.0), -1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, std::string("ERROR: tp: cannot open X display\n") + c.line);
    EXPECT_TRUE(SurfaceFailed());
    ClosePlot();
  }
  setenv("DISPLAY", old.c_str(), 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Window(2, -10.0, 300.0), -1);
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(SurfaceFailed()) << "the WINDOW's own values";
  ClosePlot();
  GSF = 0;
  DotWindow();
  EXPECT_FALSE(SurfaceFailed());
}

}  // namespace
