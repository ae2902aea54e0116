#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "render/plot_fixture.hpp"

using namespace qx5;
using h4test::Page;
using h4test::ReadPage;

namespace {

class Surface : public h4test::PlotFixture {};

int OpenFds() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  while (d != nullptr && readdir(d) != nullptr) n++;
  if (d != nullptr) closedir(d);
  return n;
}

unsigned Depth() {
  Window root;
  int x, y;
  unsigned w, h, border, depth = 0;
  XGetGeometry(display, drawable, &root, &x, &y, &w, &h, &border, &depth);
  return depth;
}

TEST_F(Surface, PixmapIsOneDotLargerThanTheSurfaceAndClearedToPaper) {
  for (int colour : {0, 1}) {
    SETUPcolor = colour;
    GSF = 0;
    DotWindow();
    EXPECT_EQ(initialized, 1);
    EXPECT_EQ(Depth(), colour ? static_cast<unsigned>(DefaultDepth(display, screen)) : 1u);
    const Page p = ReadPage();
    EXPECT_EQ(p.w, static_cast<int>(Width) + 1);
    EXPECT_EQ(p.h, static_cast<int>(Height) + 1);
    EXPECT_EQ(p.count(), 0) << "the whole pixmap, last row and column included, is paper";
    EXPECT_EQ(RevY, static_cast<double>(Height));
    ClosePlot();
    EXPECT_EQ(initialized, 0);
  }
}

TEST_F(Surface, ColourNumbersAreLimitedAndMapToTheColourTable) {
  // colour asked, colour selected, and its pixel value in the colour table
  const struct {
    int asked, selected;
    unsigned long pixel;
  } cases[] = {{0, 7, 11},  {1, 7, 11},  {2, 7, 11},    {3, 3, 251}, {5, 5, 10},
               {8, 8, 254}, {9, 8, 254}, {100, 8, 254}, {-5, 7, 11}, {-100000, 7, 11}};
  SETUPcolor = 1;
  DotWindow();
  for (const auto& c : cases) {
    SetColor(3 == c.selected ? 4 : 3);  // start from another colour
    SetColor(c.asked);
    EXPECT_EQ(cpix, c.selected) << "SetColor(" << c.asked << ")";
    MoveTo(10.0, 10.0);
    LineTo(20.0, 10.0);
    EXPECT_EQ(ReadPage().at(15, 10), c.pixel) << "SetColor(" << c.asked << ")";
  }
}

TEST_F(Surface, BlackAndWhiteIgnoresColoursAndDrawsSetBits) {
  DotWindow();
  SetColor(5);
  EXPECT_EQ(cpix, 2);
  DrawRectangle(10.0, 10.0, 20.0, 20.0, 0);
  EXPECT_EQ(ReadPage().at(10, 10), 1u);
}

TEST_F(Surface, DrawingStateBeforeTheWindowIsReset) {
  SetLineStyle(2);
  SetLineWidth(7);
  SETUPcolor = 1;
  SetColor(5);
  DotWindow();
  EXPECT_EQ(Style, 0);
  EXPECT_EQ(Wide, 1);
  EXPECT_EQ(cpix, 2);
  MoveTo(10.0, 50.0);
  LineTo(100.0, 50.0);
  const Page p = ReadPage();
  EXPECT_TRUE(p.ink(30, 50));
  EXPECT_FALSE(p.ink(30, 49)) << "thin solid line";
  EXPECT_FALSE(p.ink(30, 51));
}

TEST_F(Surface, LineStylesFollowTheirDashLists) {
  DotWindow();
  SetLineStyle(3);
  EXPECT_EQ(Style, 0) << "unknown styles change nothing";
  // style, dash offset, on, off: the dash bytes are the low bytes of the stored list
  const struct {
    int style, offset, on, off;
  } cases[] = {{1, dash_offset1, dash_list1 & 0xFF, dash_list1 >> 8},
               {2, dash_offset2, dash_list2 & 0xFF, dash_list2 >> 8}};
  int y = 20;
  for (const auto& c : cases) {
    SetLineStyle(c.style);
    EXPECT_EQ(Style, c.style);
    EXPECT_EQ(XStyle, 1);
    MoveTo(10.0, y);
    LineTo(200.0, y);
    const Page p = ReadPage();
    for (int x = 10; x < 200; x++) {
      const bool on = (x - 10 + c.offset) % (c.on + c.off) < c.on;
      EXPECT_EQ(p.ink(x, y), on) << "style " << c.style << " at x " << x;
    }
    y += 20;
  }
  SetLineStyle(0);
  EXPECT_EQ(XStyle, 0);
  MoveTo(10.0, y);
  LineTo(200.0, y);
  const Page p = ReadPage();
  for (int x = 10; x < 200; x++) EXPECT_TRUE(p.ink(x, y)) << x;
}

TEST_F(Surface, LineWidthsAreDotsAndNegativeWidthsAreThin) {
  DotWindow();
  SetLineWidth(5);
  MoveTo(50.0, 100.0);
  LineTo(150.0, 100.0);
  Page p = ReadPage();
  for (int y = 96; y <= 104; y++) EXPECT_EQ(p.ink(100, y), y >= 98 && y <= 102) << y;
  SetLineWidth(-3);
  EXPECT_EQ(Wide, 0);
  MoveTo(50.0, 200.0);
  LineTo(150.0, 200.0);
  p = ReadPage();
  EXPECT_TRUE(p.ink(100, 200));
  EXPECT_FALSE(p.ink(100, 199));
  EXPECT_FALSE(p.ink(100, 201));
}

TEST_F(Surface, ClipRectangleTakesItsTopAtYPlusH) {
  DotWindow();
  PlotSetup(1, 1, 1);
  SetClip(10.0, 10.0, 20.0, 20.0);
  DrawRectangle(0.0, 0.0, 300.0, 300.0, 1);
  const Page p = ReadPage();
  // left Xcomp(10), top Ycomp(30), 21 by 21 dots
  for (int y = 0; y < 100; y++)
    for (int x = 0; x < 100; x++)
      ASSERT_EQ(p.ink(x, y), x >= 10 && x <= 30 && y >= 30 && y <= 50) << x << "," << y;
}

TEST_F(Surface, ClipInInchesCoversTheRectangle) {
  ASSERT_EQ(Window(1, 7.0, 9.0), 0);
  PlotSetup(1, 1, 1);
  SetClip(1.0, 1.0, 2.0, 1.0);
  DrawRectangle(0.0, 0.0, 7.0, 9.0, 1);
  const Page p = ReadPage();
  const int left = Xcomp(1.0), top = Ycomp(2.0);
  const int right = left + Wcomp(2.0), bottom = top + Hcomp(1.0);
  EXPECT_TRUE(p.ink(left, top));
  EXPECT_TRUE(p.ink(right, bottom));
  EXPECT_FALSE(p.ink(left - 1, top));
  EXPECT_FALSE(p.ink(left, top - 1));
  EXPECT_FALSE(p.ink(right + 1, bottom));
  EXPECT_FALSE(p.ink(right, bottom + 1));
  EXPECT_EQ(p.count(), (right - left + 1) * (bottom - top + 1));
}

TEST_F(Surface, ClipFarOffThePageLetsNothingThrough) {
  DotWindow();
  PlotSetup(1, 1, 1);
  // 70000 would wrap to 4464 in a 16-bit field; a negative size would wrap to a huge one
  for (const double x : {70000.0, -70000.0}) {
    SetClip(x, 10.0, 20.0, 20.0);
    DrawRectangle(0.0, 0.0, 400.0, 300.0, 1);
    EXPECT_EQ(ReadPage().count(), 0) << x;
  }
}

// A clip with a negative side is the rectangle from its other corner: a negative width to the
// left of x, a negative height to the other side of y than a positive one would take.
TEST_F(Surface, ClipWithNegativeSidesIsTakenFromItsOtherCorner) {
  // Device units: the top is taken at y + h, so a positive height runs down from there and a
  // negative one up. Columns left..right, rows top..bottom, all inclusive.
  struct Dots {
    double x, y, w, h;
    int left, right, top, bottom;
  } dots[] = {{100.0, 80.0, -30.0, 20.0, 70, 100, 100, 120},
              {100.0, 80.0, 30.0, -20.0, 100, 130, 40, 60},
              {100.0, 80.0, -30.0, -20.0, 70, 100, 40, 60}};
  for (const Dots& c : dots) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    GSF = 0;
    DotWindow();
    PlotSetup(1, 1, 1);
    SetClip(c.x, c.y, c.w, c.h);
    DrawRectangle(0.0, 0.0, 400.0, 300.0, 1);
    const Page p = ReadPage();
    for (int y = 0; y < 200; y++)
      for (int x = 0; x < 200; x++)
        ASSERT_EQ(p.ink(x, y), x >= c.left && x <= c.right && y >= c.top && y <= c.bottom)
            << x << "," << y;
  }
  // Inches (y up): the same area as the clip with positive sides from the opposite corner.
  const double sides[][2] = {{-2.0, 1.0}, {2.0, -1.5}, {-2.0, -1.5}};
  for (const auto& wh : sides) {
    SCOPED_TRACE(testing::Message() << wh[0] << " x " << wh[1]);
    Page pages[2];
    for (int i = 0; i < 2; ++i) {
      GSF = 1.0;  // 100 dots per inch exactly
      ASSERT_EQ(Window(1, 7.0, 9.0), 0);
      PlotSetup(1, 1, 1);
      if (i == 0)
        SetClip(3.0 + std::min(wh[0], 0.0), 4.0 + std::min(wh[1], 0.0), std::fabs(wh[0]),
                std::fabs(wh[1]));
      else
        SetClip(3.0, 4.0, wh[0], wh[1]);
      DrawRectangle(-10.0, -10.0, 30.0, 30.0, 1);
      pages[i] = ReadPage();
    }
    EXPECT_GT(pages[1].count(), 10000);
    EXPECT_TRUE(pages[1] == pages[0]);
    EXPECT_TRUE(pages[1].ink(Xcomp(3.0), Ycomp(4.0))) << "the given point is a corner";
  }
}

TEST_F(Surface, NoDisplayFailsWithAMessage) {
  const std::string old = std::getenv("DISPLAY");
  ClosePlotDisplay();
  setenv("DISPLAY", ":9999", 1);  // no such server
  testing::internal::CaptureStdout();
  const int r = Window(2, 400.0, 300.0);
  const std::string out = testing::internal::GetCapturedStdout();
  setenv("DISPLAY", old.c_str(), 1);
  EXPECT_EQ(r, -1);
  EXPECT_NE(out.find("ERROR: tp: cannot open X display\n"), std::string::npos) << out;
  EXPECT_EQ(initialized, 0);
  ClosePlot();
}

// A server that refuses the first connections (here: a display whose socket appears only
// after a short delay) is tried again with short pauses; one that never answers fails the
// plot within about half a second.
TEST_F(Surface, RefusedDisplayConnectionsAreTriedAgain) {
  const std::string old = std::getenv("DISPLAY");
  const std::string real = "/tmp/.X11-unix/X" + old.substr(old.find(':') + 1);
  ASSERT_EQ(access(real.c_str(), F_OK), 0) << real;
  const h4test::DisplayNumber number;
  int n = number.value();
  std::string late = "/tmp/.X11-unix/X" + std::to_string(n);
  while (access(late.c_str(), F_OK) == 0) late = "/tmp/.X11-unix/X" + std::to_string(++n);
  ClosePlotDisplay();
  setenv("DISPLAY", (":" + std::to_string(n)).c_str(), 1);
  std::thread appear([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(symlink(real.c_str(), late.c_str()), 0);
  });
  const int r = Window(2, 400.0, 300.0);
  appear.join();
  unlink(late.c_str());
  EXPECT_EQ(r, 0) << "the display that appeared after 150 ms was taken";
  ExpectLineDraws();
  ClosePlotDisplay();
  // No display at all: the plot fails, bounded.
  const auto start = std::chrono::steady_clock::now();
  testing::internal::CaptureStdout();
  EXPECT_EQ(Window(2, 400.0, 300.0), -1);
  testing::internal::GetCapturedStdout();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  setenv("DISPLAY", old.c_str(), 1);
}

// Plot statements are not flushed one by one: the drawing stays in the connection's buffer
// until the page is read back, and XGetImage, a round trip, sends it first.
TEST_F(Surface, DrawingIsFlushedOnlyByTheReadBack) {
  DotWindow();
  XSync(display, False);
  Display* other = qx5test::TestDisplay();  // a second connection sees only what was sent
  const auto snapshot = [&](Display* d) {
    XImage* im = XGetImage(d, drawable, 0, 0, Width + 1, Height + 1, AllPlanes, ZPixmap);
    std::vector<unsigned long> px;
    for (int y = 0; y < static_cast<int>(Height) + 1; y += 3)
      for (int x = 0; x < static_cast<int>(Width) + 1; x += 3) px.push_back(XGetPixel(im, x, y));
    XDestroyImage(im);
    return px;
  };
  const auto blank = snapshot(other);
  PlotSetup(1, 1, 1);
  for (int i = 0; i < 20; ++i) {
    MoveTo(0.0, 3.0 * i);
    LineTo(300.0, 3.0 * i);
  }
  DrawRectangle(30.0, 90.0, 60.0, 60.0, 1);
  DrawArc(200.0, 200.0, 40.0, 0, 360, 1);
  SetLineStyle(1);
  SetLineWidth(3);
  MoveTo(0.0, 300.0);
  LineTo(400.0, 300.0);
  EXPECT_TRUE(snapshot(other) == blank) << "nothing was sent yet";
  const auto drawn = snapshot(display);  // the read-back of the page, as the capture does
  EXPECT_FALSE(drawn == blank);
  EXPECT_TRUE(snapshot(other) == drawn) << "the read-back sent the drawing first";
}

TEST_F(Surface, ALongPlotNeverLeavesXlibARoundTripOfItsOwn) {
  DotWindow();
  const unsigned long first = NextRequest(display);
  unsigned long most = 0;
  for (int i = 0; i < 40000; ++i) {  // a line and an arc: two requests each time
    MoveTo(0.0, i % 300);
    LineTo(400.0, i % 300);
    DrawArc(200.0, 150.0, 1.0 + i % 100, 0, 360, 0);
    most = std::max(most, NextRequest(display) - LastKnownRequestProcessed(display));
  }
  EXPECT_GT(NextRequest(display) - first, 70000u);
  // Xlib's own round trip, which no watchdog can bound, would come at about 61,000.
  EXPECT_LE(most, 40000u);
  ExpectLineDraws();
}

TEST_F(Surface, UnusableAndHugeWindowsFailAndTheNextPlotDraws) {
  // A fitting factor of 1, as a second WINDOW would reuse it, leaves a large window large.
  for (const double w : {-10.0, 1.0e9, 40000.0}) {
    GSF = 1.0;
    SETUPfeed = 1;  // tractor feed: the page does not limit the surface
    testing::internal::CaptureStdout();
    EXPECT_EQ(Window(2, w, 300.0), -1) << w;
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("ERROR: tp: the plot window"), std::string::npos) << out;
    // the half-made surface has no pixmap: drawing on it does nothing
    SETUPcolor = 1;
    SetColor(4);
    SetLineStyle(1);
    SetLineWidth(3);
    SetClip(0.0, 0.0, 10.0, 10.0);
    LineTo(10.0, 10.0);
    DrawRectangle(0.0, 0.0, 5.0, 5.0, 1);
    DrawString(1.0, 1.0, "x");
    SETUPcolor = 0;
    ClosePlot();
  }
  SETUPfeed = 0;
  GSF = 0;
  DotWindow();
  ExpectLineDraws();
}

TEST_F(Surface, PixmapRefusedByTheServerFailsThePlot) {
  {
    h4test::PrivateServer small(400 * 1024);  // too little memory for a 600 MB pixmap
    ASSERT_TRUE(small.up());
    SETUPcolor = 1;
    SETUPfeed = 1;
    GSF = 1.0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Window(2, 30000.0, 20000.0), -1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("ERROR: tp: the X server refused a plot surface"), std::string::npos) << out;
    ClosePlot();
  }
  SETUPcolor = 0;
  SETUPfeed = 0;
  GSF = 0;
  DotWindow();
  ExpectLineDraws();
}

TEST_F(Surface, ProtocolErrorsAreRecordedNotFatal) {
  DotWindow();
  EXPECT_EQ(SurfaceSync(), 0);
  XFreePixmap(display, 0x1fffffff);  // no such pixmap
  EXPECT_EQ(SurfaceSync(), BadPixmap);
  EXPECT_EQ(SurfaceSync(), 0) << "each error is reported once";
  ExpectLineDraws();
}

TEST_F(Surface, SecondWindowsAndPlotsKeepOneConnectionUntilItIsClosed) {
  DotWindow();
  const int fds = OpenFds();
  Display* const first = display;
  for (int i = 0; i < 5; i++) DotWindow();
  for (int i = 0; i < 5; i++) {
    ClosePlot();
    DotWindow();
  }
  EXPECT_EQ(OpenFds(), fds);
  EXPECT_EQ(display, first);
  ExpectLineDraws();
  ClosePlotDisplay();
  EXPECT_EQ(display, nullptr);
  EXPECT_LT(OpenFds(), fds);
}

TEST_F(Surface, LostConnectionFailsThePlotAndTheNextPlotDraws) {
  {
    h4test::PrivateServer doomed;
    ASSERT_TRUE(doomed.up());
    DotWindow();
    MoveTo(10.0, 10.0);
    LineTo(20.0, 10.0);
    EXPECT_FALSE(DisplayLost());
    doomed.kill();
    testing::internal::CaptureStdout();
    // Every kind of drawing after the loss, none of which may end the process.
    for (int i = 0; i < 50; i++) {
      LineTo(10.0 + i, 20.0);
      DrawRectangle(5.0, 5.0, 10.0, 10.0, 1);
      DrawArc(50.0, 50.0, 10.0, 0, 360, 0);
      DrawString(10.0, 10.0, "lost");
      SetLineStyle(i % 3);
      SetColor(i % 9);
      SetClip(0.0, 0.0, 10.0, 10.0);
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(DisplayLost());
    EXPECT_FALSE(SurfaceReady());
    EXPECT_NE(out.find("ERROR: tp: X connection lost"), std::string::npos) << out;
    EXPECT_EQ(Window(2, 400.0, 300.0), -1) << "a second WINDOW in the failed plot fails too";
    EXPECT_TRUE(DisplayLost());
    ClosePlot();
    EXPECT_FALSE(DisplayLost());
  }
  GSF = 0;
  DotWindow();
  ExpectLineDraws();
}

}  // namespace
