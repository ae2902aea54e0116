#include "geometry/mapping.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "driver/plotrequest.hpp"
#include "printers/config.hpp"
#include "printers/paper.hpp"
#include "render/plottext.hpp"
#include "render/primitives.hpp"
#include "render/surface.hpp"

namespace {

struct Page {
  double wIN, hIN, wun, hun;
  int xdpi, ydpi, feed;
};

// The default page, an EPSON tractor-feed page, and 300 and 600 dpi laser pages.
constexpr Page kDefault = {8.5, 11.0, 0.5, 1.0, 120, 72, 0};
constexpr Page kTractor = {8.5, 11.0, 0.5, 1.0, 120, 72, 1};
constexpr Page k300 = {8.5, 11.0, 0.5, 0.5, 300, 300, 0};
constexpr Page k600 = {8.5, 11.0, 0.25, 0.5, 600, 600, 0};

class Mapping : public ::testing::Test {
 protected:
  void SetUp() override { Use(kDefault, 1, 0); }
  void TearDown() override {
    Use(kDefault, 0, 0);
    qx5::GSF = 1.0;
    qx5::initialized = 0;
    qx5::Utype = 0;
  }

  static void Use(const Page& p, int devtype, int rot) {
    qx5::PAPERwIN = p.wIN;
    qx5::PAPERhIN = p.hIN;
    qx5::PAPERwun = p.wun;
    qx5::PAPERhun = p.hun;
    qx5::SETUPxdpi = p.xdpi;
    qx5::SETUPydpi = p.ydpi;
    qx5::SETUPfeed = p.feed;
    qx5::SetDevtype(devtype);
    qx5::rot = rot;
    qx5::GSF = 0;  // as the plot request leaves it before each plot
  }

  // The mapping steps of a WINDOW(units, 0.0, 0.0, w, h) statement, in the order in which the
  // surface is opened.
  static int Window(int units, double w, double h) {
    qx5::SetUtype(units);
    qx5::RW = static_cast<int>(w);
    qx5::RH = static_cast<int>(h);
    qx5::InitValues();
    qx5::initialized = 1;
    qx5::Aspect();
    int r = qx5::UseGSF(w, h);
    qx5::RevY = qx5::Height;
    return r;
  }
};

TEST_F(Mapping, DroundRoundsHalfAwayFromZeroAndClampsToTheIntegerRange) {
  const struct {
    double v;
    int want;
  } cases[] = {
      {2.5, 3},
      {-2.5, -3},
      {-0.4, 0},
      {0.5, 1},
      {-0.5, -1},
      {-0.49, 0},
      {0.49, 0},
      {1e300, INT_MAX},
      {-1e300, INT_MIN},
      {INFINITY, INT_MAX},
      {NAN, 0},
      {-INFINITY, INT_MIN},
      {2147483646.6, INT_MAX},
      {-2147483647.6, INT_MIN},
      {2147483647.5, INT_MAX},
      {-2147483648.4, INT_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(qx5::dround(c.v), c.want) << c.v;
}

TEST_F(Mapping, DefaultPageWorkedExample) {
  ASSERT_EQ(Window(1, 8.0, 10.0), 0);
  EXPECT_EQ(qx5::XWIDE, 960);
  EXPECT_EQ(qx5::YHIGH, 720);
  EXPECT_DOUBLE_EQ(qx5::GSF, 720.0 / 721.0);
  EXPECT_DOUBLE_EQ(qx5::XINSCALE, 120 * qx5::GSF);
  EXPECT_DOUBLE_EQ(qx5::YINSCALE, 72 * qx5::GSF);
  EXPECT_EQ(qx5::Width, 959u);
  EXPECT_EQ(qx5::Height, 720u);
  EXPECT_EQ(qx5::RevY, 720);
  EXPECT_EQ(qx5::Xcomp(1.0), 120);
  EXPECT_EQ(qx5::Ycomp(1.0), 648);
  EXPECT_EQ(qx5::Ycomp(0.0), 720);  // y = 0 is the bottom row
  EXPECT_EQ(qx5::Ycomp(10.0), 1);
  EXPECT_EQ(qx5::Xcomp(8.0), 959);
}

// One window per row: the surface size and a position and a size probe in each direction.
TEST_F(Mapping, WindowsOnEveryPageUnitDeviceTypeAndRotation) {
  const struct {
    Page page;
    int devtype, rot, units;
    double w, h;
    uint32_t width, height;
    double x;
    int xcomp;
    double y;
    int ycomp;
    double size;
    int wcomp, hcomp;
  } cases[] = {
      {kDefault, 1, 0, 1, 8.0, 10.0, 959, 720, 1.0, 120, 1.0, 648, 2.0, 240, 144},
      {kDefault, 0, 0, 1, 8.0, 10.0, 959, 720, 1.0, 120, 1.0, 648, 2.0, 240, 144},
      {kDefault, 2, 0, 1, 8.0, 10.0, 959, 720, 1.0, 120, 1.0, 72, 2.0, 240, 144},
      {kDefault, 1, 0, 0, 200.0, 250.0, 959, 720, 100.0, 479, 100.0, 433, 25.4, 122, 73},
      {kDefault, 1, 0, 2, 1000.0, 800.0, 899, 720, 10.0, 10, 10.0, 10, 10.0, 10, 10},
      {kTractor, 3, 0, 2, 1000.0, 800.0, 960, 480, 10.0, 12, 10.0, 8, 10.0, 12, 8},
      {kTractor, 3, 0, 1, 8.0, 10.0, 959, 720, 1.0, 120, 1.0, 648, 2.0, 240, 144},
      {kDefault, 1, 1, 1, 10.0, 8.0, 720, 959, 1.0, 72, 1.0, 839, 2.0, 144, 240},
      {kTractor, 3, 1, 2, 100.0, 100.0, 602, 960, 10.0, 8, 10.0, 12, 10.0, 8, 12},
      {k300, 1, 0, 1, 8.0, 10.5, 2400, 3149, 1.0, 300, 1.0, 2849, 2.0, 600, 600},
      {k300, 1, 0, 0, 200.0, 250.0, 2400, 3000, 100.0, 1200, 100.0, 1800, 10.0, 120, 120},
      {k300, 1, 0, 2, 1200.0, 1500.0, 2400, 2999, 10.0, 10, 10.0, 10, 10.0, 10, 10},
      {k300, 1, 1, 1, 8.0, 10.5, 1828, 2400, 1.0, 228, 1.0, 2172, 2.0, 457, 457},
      {k600, 2, 0, 1, 4.0, 5.0, 4950, 6186, 1.0, 1237, 1.0, 1237, 1.0, 1237, 1237},
      {k600, 2, 0, 0, 100.0, 100.0, 4950, 4950, 50.0, 2474, 20.0, 990, 10.0, 495, 495},
      {k600, 1, 0, 0, 100.0, 100.0, 4950, 4950, 50.0, 2474, 20.0, 3960, 10.0, 495, 495},
      {k600, 1, 1, 1, 4.0, 5.0, 3960, 4950, 1.0, 990, 1.0, 3960, 1.0, 990, 990},
      {k600, 3, 0, 2, 4000.0, 4000.0, 4950, 3094, 10.0, 12, 10.0, 8, 10.0, 12, 8},
  };
  int row = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << row++);
    Use(c.page, c.devtype, c.rot);
    ASSERT_EQ(Window(c.units, c.w, c.h), 0);
    EXPECT_EQ(qx5::Width, c.width);
    EXPECT_EQ(qx5::Height, c.height);
    EXPECT_EQ(qx5::Xcomp(c.x), c.xcomp);
    EXPECT_EQ(qx5::Ycomp(c.y), c.ycomp);
    EXPECT_EQ(qx5::Wcomp(c.size), c.wcomp);
    EXPECT_EQ(qx5::Hcomp(c.size), c.hcomp);
  }
}

TEST_F(Mapping, RotationExchangesTheAxes) {
  Use(kDefault, 3, 1);
  ASSERT_EQ(Window(1, 10.0, 8.0), 0);
  EXPECT_EQ(qx5::XWIDE, 720);
  EXPECT_EQ(qx5::YHIGH, 960);
  EXPECT_EQ(qx5::XINWIDE, 10.0);
  EXPECT_DOUBLE_EQ(qx5::XMMWIDE, 254.0);
  EXPECT_DOUBLE_EQ(qx5::XINSCALE, 72 * qx5::GSF);
  EXPECT_EQ(qx5::E_XMULT, 0.75);
  EXPECT_EQ(qx5::E_YMULT, 1.2);
}

TEST_F(Mapping, ScalesOffsetsAndDataOffsets) {
  ASSERT_EQ(Window(1, 8.0, 10.0), 0);
  // Data offsets are subtracted before scaling, offsets added after it; sizes take only the
  // scale.
  qx5::ScalePlot(2.0, 2.0);
  qx5::SetOffsets(0.5, 0.25);
  qx5::SetDataOffsets(1.0, 1.0);
  EXPECT_EQ(qx5::Xcomp(2.0), 300);  // (2-1)*2+0.5 = 2.5 in
  EXPECT_EQ(qx5::Ycomp(2.0), 558);  // 2.25 in up from the bottom
  EXPECT_EQ(qx5::Xcomp(1.0), 60);
  EXPECT_EQ(qx5::Ycomp(1.0), 702);
  EXPECT_EQ(qx5::Wcomp(1.0), 240);
  EXPECT_EQ(qx5::Hcomp(0.5), 72);

  // Pixel units ignore the page-fitting factor but not the plot scale and offsets.
  Use(kDefault, 1, 0);
  ASSERT_EQ(Window(2, 1000.0, 800.0), 0);
  qx5::ScalePlot(3.0, 0.5);
  qx5::SetOffsets(4.0, 6.0);
  qx5::SetDataOffsets(2.0, 2.0);
  EXPECT_EQ(qx5::Xcomp(10.0), 28);
  EXPECT_EQ(qx5::Ycomp(10.0), 10);
  EXPECT_EQ(qx5::Wcomp(5.0), 15);
  EXPECT_EQ(qx5::Hcomp(5.0), 3);  // 2.5 rounds away from zero
}

TEST_F(Mapping, ScaleRangeFitsTheSpanToTheWindowAndRejectsAnEmptySpan) {
  ASSERT_EQ(Window(1, 8.0, 10.0), 0);
  ASSERT_EQ(qx5::RW, 8);
  ASSERT_EQ(qx5::RH, 10);
  EXPECT_EQ(qx5::ScaleRange(0.0, 100.0, 0.0, 50.0), 0);
  EXPECT_DOUBLE_EQ(qx5::xScale, 0.08);
  EXPECT_DOUBLE_EQ(qx5::yScale, 0.2);
  EXPECT_EQ(qx5::Xcomp(50.0), 479);  // the middle of the 8 in window
  EXPECT_EQ(qx5::Ycomp(25.0), 360);
  EXPECT_EQ(qx5::Wcomp(100.0), 959);

  // x0 is added after scaling as -x0: 10 lands on 10 * (0.8 - 1) = -2 in.
  EXPECT_EQ(qx5::ScaleRange(10.0, 20.0, 20.0, 40.0), 0);
  EXPECT_EQ(qx5::Xoff, -10.0);
  EXPECT_EQ(qx5::Yoff, -20.0);
  EXPECT_EQ(qx5::Xcomp(15.0), 240);
  EXPECT_EQ(qx5::Xcomp(10.0), -240);
  EXPECT_EQ(qx5::Ycomp(30.0), 1080);

  const double empty[][4] = {{5.0, 5.0, 0.0, 1.0}, {0.0, 1.0, 3.0, 3.0}, {0.0, 0.0, 0.0, 0.0}};
  for (const auto& r : empty) {
    EXPECT_EQ(qx5::ScaleRange(r[0], r[1], r[2], r[3]), 1);
    EXPECT_DOUBLE_EQ(qx5::xScale, 0.8);
    EXPECT_DOUBLE_EQ(qx5::yScale, 0.5);
    EXPECT_EQ(qx5::Xoff, -10.0);
    EXPECT_EQ(qx5::Yoff, -20.0);
  }
}

TEST_F(Mapping, SecondWindowReusesTheFactorAndOnlySingleSheetIsClamped) {
  ASSERT_EQ(Window(1, 8.0, 10.0), 0);
  const double first = qx5::GSF;
  ASSERT_EQ(Window(1, 16.0, 10.0), 0);
  EXPECT_EQ(qx5::GSF, first);
  EXPECT_EQ(qx5::Width, 960u);  // 1918 clamped to the printable width
  EXPECT_EQ(qx5::Height, 720u);
  EXPECT_EQ(qx5::Xcomp(8.0), 959);  // the factor is applied once, not once per window

  Use(kTractor, 3, 0);
  ASSERT_EQ(Window(1, 8.0, 10.0), 0);
  EXPECT_EQ(qx5::GSF, first);
  ASSERT_EQ(Window(1, 16.0, 20.0), 0);
  EXPECT_EQ(qx5::Width, 1918u);
  EXPECT_EQ(qx5::Height, 1439u);
}

TEST_F(Mapping, UseGSFRejectsUnusableWindowsAndChangesNothing) {
  struct {
    Page page;
    double gsf;
    int units;
    double w, h;
  } cases[] = {
      {kDefault, 0, 1, -1.0, 5.0},                            // negative width
      {kDefault, 0, 1, 5.0, -0.01},                           // negative height
      {{8.5, 11.0, 8.5, 1.0, 120, 72, 0}, 0, 1, 8.0, 10.0},   // no printable width
      {{8.5, 11.0, 0.5, 12.0, 120, 72, 0}, 0, 1, 8.0, 10.0},  // negative printable height
      {{8.5, 60.0, 0.5, 0.5, 600, 600, 1}, 0, 1, 8.0, 59.5},  // 35700 dots high
      {{8.5, 60.0, 0.5, 0.5, 600, 600, 0}, 0, 1, 8.0, 59.5},  // the page itself is too high
      {kTractor, 1.0, 2, 32766.0, 10.0},                      // one dot over 32767
  };
  int row = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << row++);
    Use(c.page, 1, 0);
    qx5::GSF = c.gsf;
    qx5::Width = qx5::Height = 2000;
    EXPECT_NE(Window(c.units, c.w, c.h), 0);
    EXPECT_EQ(qx5::Width, 2000u);
    EXPECT_EQ(qx5::Height, 2000u);
    EXPECT_EQ(qx5::GSF, c.gsf);
  }
  // The largest surface accepted: 32767 dots a side.
  Use(kTractor, 1, 0);
  qx5::GSF = 1.0;
  ASSERT_EQ(Window(2, 32765.0, 32765.0), 0);
  EXPECT_EQ(qx5::Width, 32766u);
  EXPECT_EQ(qx5::Height, 32766u);
}

TEST_F(Mapping, InitValuesResetsThePlotStateAndAspectNeedsASurface) {
  qx5::Xpos = qx5::Ypos = 3;
  qx5::SetOffsets(1, 2);
  qx5::SetDataOffsets(3, 4);
  qx5::ScalePlot(5, 6);
  qx5::PlotSetup(7, 8, 9);
  qx5::Wide = 4;
  qx5::Style = qx5::XStyle = 1;
  qx5::cpix = 5;
  std::strcpy(qx5::curfont, "9x15");
  qx5::SetUtype(1);
  qx5::SetDevtype(3);
  qx5::GSF = 0.5;
  qx5::InitValues();
  EXPECT_EQ(qx5::Xpos, 0);
  EXPECT_EQ(qx5::Ypos, 0);
  EXPECT_EQ(qx5::Xoff, 0);
  EXPECT_EQ(qx5::Yoff, 0);
  EXPECT_EQ(qx5::DxOff, 0);
  EXPECT_EQ(qx5::DyOff, 0);
  EXPECT_EQ(qx5::xScale, 1.0);
  EXPECT_EQ(qx5::yScale, 1.0);
  EXPECT_EQ(qx5::Psetup[0], 0);
  EXPECT_EQ(qx5::Psetup[1], 1);
  EXPECT_EQ(qx5::Psetup[2], 1);
  EXPECT_EQ(qx5::Wide, 1);
  EXPECT_EQ(qx5::Style, 0);
  EXPECT_EQ(qx5::XStyle, 0);
  EXPECT_EQ(qx5::cpix, 2);
  EXPECT_STREQ(qx5::curfont, "");
  EXPECT_EQ(qx5::Utype, 1);
  EXPECT_EQ(qx5::DevType, 3);
  EXPECT_EQ(qx5::GSF, 0.5);

  qx5::initialized = 0;
  qx5::XWIDE = 7;
  qx5::Aspect();
  EXPECT_EQ(qx5::XINSCALE, 1.0);
  EXPECT_EQ(qx5::YINSCALE, 1.0);
  EXPECT_EQ(qx5::XMMSCALE, 1.0);
  EXPECT_EQ(qx5::YMMSCALE, 1.0);
  EXPECT_EQ(qx5::XWIDE, 7);
}

}  // namespace
