#include <sys/stat.h>

#include <chrono>

#include "geometry/arcspace.hpp"
#include "plotlang/grammar.hpp"
#include "render/plot_fixture.hpp"

using namespace qx5;
using h4test::Page;
using h4test::ReadPage;

namespace {

class Primitives : public h4test::PlotFixture {
 protected:
  // Writes an X bitmap file of the rows ('#' set) and returns its path.
  std::string Bitmap(const std::vector<std::string>& rows) {
    std::string text = "#define b_width " + std::to_string(rows[0].size()) + "\n#define b_height " +
                       std::to_string(rows.size()) + "\nstatic unsigned char b_bits[] = {\n";
    char hex[8];
    for (const std::string& r : rows) {
      for (size_t b = 0; b < r.size(); b += 8) {
        int v = 0;
        for (size_t i = b; i < r.size() && i < b + 8; i++) v |= (r[i] == '#') << (i - b);
        std::snprintf(hex, sizeof hex, "0x%02x,", v);
        text += hex;
      }
    }
    text += "};\n";
    root().write("/u/tmp/b.xbm", text);
    return root().path("/u/tmp/b.xbm");
  }
};

TEST_F(Primitives, WithoutASurfaceOnlyTheCurrentPointMoves) {
  MoveTo(1.0, 2.0);
  LineTo(3.0, 4.0);
  EXPECT_EQ(Xpos, 3.0);
  EXPECT_EQ(Ypos, 4.0);
  DrawRectangle(0.0, 0.0, 1.0, 1.0, 1);
  DrawArc(1.0, 1.0, 1.0, 0, 360, 1);
  DrawBitmap("/nonexistent.xbm", 0.0, 0.0, 1, 0);
  EXPECT_EQ(initialized, 0);
}

TEST_F(Primitives, LinesJoinTheMappedEndpoints) {
  DotWindow();
  MoveTo(10.0, 10.0);
  LineTo(30.0, 30.0);
  LineTo(30.0, 60.0);
  const Page p = ReadPage();
  for (int i = 0; i <= 20; i++) EXPECT_TRUE(p.ink(10 + i, 10 + i)) << i;
  for (int y = 30; y <= 60; y++) EXPECT_TRUE(p.ink(30, y)) << y;
  EXPECT_EQ(p.count(), 21 + 30);
}

TEST_F(Primitives, LinesInInchesUseTheCoordinateMapping) {
  ASSERT_EQ(Window(1, 7.0, 9.0), 0);
  MoveTo(1.0, 1.0);
  LineTo(3.0, 1.0);
  const Page p = ReadPage();
  const int y = Ycomp(1.0);
  EXPECT_GT(y, static_cast<int>(Height) / 2) << "y points up from the bottom edge";
  for (int x = Xcomp(1.0); x <= Xcomp(3.0); x++) EXPECT_TRUE(p.ink(x, y)) << x;
  EXPECT_FALSE(p.ink(Xcomp(1.0) - 1, y));
  EXPECT_FALSE(p.ink(Xcomp(3.0) + 1, y));
}

TEST_F(Primitives, RectanglesAreOutlinesUntilPlotSetupTurnsFillingOn) {
  DotWindow();
  DrawRectangle(10.0, 10.0, 20.0, 10.0, 1);
  Page p = ReadPage();
  EXPECT_TRUE(p.ink(10, 10));
  EXPECT_TRUE(p.ink(30, 20));
  EXPECT_FALSE(p.ink(20, 15)) << "outline although a fill was asked for";
  EXPECT_EQ(p.count(), 2 * 21 + 2 * 9);
  PlotSetup(1, 1, 1);
  DrawRectangle(100.0, 10.0, 20.0, 10.0, 1);
  p = ReadPage();
  for (int y = 0; y < 40; y++)
    for (int x = 90; x < 140; x++)
      ASSERT_EQ(p.ink(x, y), x >= 100 && x < 120 && y >= 10 && y < 20) << x << "," << y;
  DrawRectangle(200.0, 10.0, 20.0, 10.0, 0);
  EXPECT_FALSE(ReadPage().ink(210, 15)) << "fill 0 is an outline";
}

TEST_F(Primitives, RectangleCornerIsLowerLeftInInches) {
  ASSERT_EQ(Window(1, 7.0, 9.0), 0);
  DrawRectangle(1.0, 1.0, 2.0, 1.0, 0);
  const Page p = ReadPage();
  const int left = Xcomp(1.0), top = Ycomp(2.0);
  const int right = left + Wcomp(2.0), bottom = top + Hcomp(1.0);
  for (const auto& [x, y] : {std::pair{left, top}, {right, top}, {left, bottom}, {right, bottom}})
    EXPECT_TRUE(p.ink(x, y)) << x << "," << y;
  EXPECT_FALSE(p.ink(left - 1, bottom + 1));
  EXPECT_EQ(p.count(), 2 * (right - left + 1) + 2 * (bottom - top - 1));
}

// A box with a negative side is the box from its other corner, outline or filled: in device
// units and in inches, where a negative height runs upward from y.
TEST_F(Primitives, BoxesWithNegativeSidesAreDrawnFromTheirOtherCorner) {
  PlotSetup(1, 1, 1);
  struct Case {
    int units;
    double x, y, w, h;
  } cases[] = {{2, 100.0, 80.0, -30.0, 20.0},  {2, 100.0, 80.0, 30.0, -20.0},
               {2, 100.0, 80.0, -30.0, -20.0}, {1, 3.0, 4.0, -2.0, 1.0},
               {1, 3.0, 4.0, 2.0, -1.5},       {1, 3.0, 4.0, -2.0, -1.5}};
  for (const Case& c : cases) {
    for (const int fill : {0, 1}) {
      SCOPED_TRACE(testing::Message()
                   << c.units << ": " << c.w << " x " << c.h << " fill " << fill);
      const double ow = c.w < 0 ? -c.w : c.w, oh = c.h < 0 ? -c.h : c.h;
      const double ox = c.w < 0 ? c.x + c.w : c.x, oy = c.h < 0 ? c.y + c.h : c.y;
      GSF = 1.0;  // 100 dots per inch exactly: both boxes fall on whole dots
      ASSERT_EQ(Window(c.units, c.units == 2 ? 400.0 : 7.0, c.units == 2 ? 300.0 : 9.0), 0);
      PlotSetup(1, 1, 1);
      DrawRectangle(ox, oy, ow, oh, fill);
      const Page other = ReadPage();
      GSF = 1.0;  // 100 dots per inch exactly: both boxes fall on whole dots
      ASSERT_EQ(Window(c.units, c.units == 2 ? 400.0 : 7.0, c.units == 2 ? 300.0 : 9.0), 0);
      PlotSetup(1, 1, 1);
      DrawRectangle(c.x, c.y, c.w, c.h, fill);
      const Page p = ReadPage();
      EXPECT_GT(p.count(), 0);
      EXPECT_TRUE(p == other);
      if (fill == 0) {
        EXPECT_TRUE(p.ink(Xcomp(c.x), Ycomp(c.y))) << "the given point is a corner";
      }
    }
  }
}

TEST_F(Primitives, RectangleUsesTheCurrentColourWhichStaysForLines) {
  SETUPcolor = 1;
  DotWindow();
  DrawRectangle(10.0, 10.0, 5.0, 5.0, 0);
  MoveTo(50.0, 50.0);
  LineTo(60.0, 50.0);
  const Page p = ReadPage();
  EXPECT_EQ(p.at(10, 10), Kolor[2]);
  EXPECT_EQ(p.at(55, 50), Kolor[2]);
}

TEST_F(Primitives, CirclesAndFilledQuarterArcs) {
  DotWindow();
  DrawArc(100.0, 100.0, 40.0, 0, 360, 0);
  Page p = ReadPage();
  for (const auto& [x, y] : {std::pair{60, 100}, {140, 100}, {100, 60}, {100, 140}})
    EXPECT_TRUE(p.ink(x, y)) << x << "," << y;
  EXPECT_FALSE(p.ink(100, 100));
  EXPECT_FALSE(p.ink(59, 100));
  EXPECT_FALSE(p.ink(141, 100));

  DrawArc(300.0, 100.0, 40.0, 0, 90, 1);  // arc switch Psetup[2] is 1 after InitValues
  p = ReadPage();
  EXPECT_TRUE(p.ink(315, 85)) << "upper right quarter is filled";
  EXPECT_FALSE(p.ink(285, 85));
  EXPECT_FALSE(p.ink(285, 115));
  EXPECT_FALSE(p.ink(315, 115));
}

TEST_F(Primitives, FullCirclesAndArcsHaveTheirOwnFillSwitch) {
  DotWindow();
  PlotSetup(0, 0, 1);
  DrawArc(100.0, 100.0, 40.0, 0, 360, 1);
  DrawArc(300.0, 100.0, 40.0, 0, 359, 1);
  DrawArc2(100.0, 200.0, 40.0, 0.0, 360.0, 1);
  DrawArc2(300.0, 200.0, 40.0, 0.0, 359.0, 1);
  const Page p = ReadPage();
  EXPECT_FALSE(p.ink(100, 100)) << "0 to 360 is a full circle: Psetup[1] 0, outline";
  EXPECT_TRUE(p.ink(315, 85)) << "0 to 359 is an arc: Psetup[2] 1, filled";
  EXPECT_FALSE(p.ink(100, 200));
  EXPECT_TRUE(p.ink(315, 185));
}

TEST_F(Primitives, SmallCirclesAreDrawnSolid) {
  // The same circle drawn solid and with dashes: alike below 30 dots of radius, not from 30.
  for (const double r : {29.0, 30.0}) {
    DotWindow();
    SetLineStyle(1);  // the same line width as after the switch to solid lines
    SetLineStyle(0);
    DrawArc(100.0, 100.0, r, 0, 360, 0);
    const Page solid = ReadPage();
    DotWindow();
    SetLineStyle(1);
    DrawArc(100.0, 100.0, r, 0, 360, 0);
    EXPECT_EQ(Style, 1) << "the dashed style is selected again";
    EXPECT_EQ(ReadPage() == solid, r < 30) << r;
  }
}

TEST_F(Primitives, EllipsesAreOutlinesInTheirBox) {
  DotWindow();
  DrawEllipse(200.0, 100.0, 160.0, 80.0, 0.0, 360.0, 1);
  const Page p = ReadPage();
  for (const auto& [x, y] : {std::pair{120, 100}, {280, 100}, {200, 60}, {200, 140}})
    EXPECT_TRUE(p.ink(x, y)) << x << "," << y;
  EXPECT_FALSE(p.ink(200, 100)) << "never filled";
}

TEST_F(Primitives, ParabolaDrawsThroughItsPoints) {
  DotWindow();
  const auto pts = ParabolaPoints(200.0, 150.0, 0.0, 60.0, 350.0, 80.0, 0.0, 0.0, 1.0, 0);
  ASSERT_GT(pts.size(), 2u);
  DrawParabola(200.0, 150.0, 0.0, 60.0, 350.0, 80.0, 0.0, 0.0, 1.0, 0);
  const Page p = ReadPage();
  for (const PlotPoint& q : pts) EXPECT_TRUE(p.ink(Xcomp(q.x), Ycomp(q.y))) << q.x << "," << q.y;
  EXPECT_EQ(Xpos, pts.back().x);
  EXPECT_EQ(Ypos, pts.back().y);
}

TEST_F(Primitives, ParabolaOfMoreThanTenTurnsDrawsTenTurns) {
  DotWindow();
  DrawParabola(200.0, 150.0, 0.0, 60.0, 10.0, 3610.0, 0.0, 0.0, 1.0, 2);
  const Page ten = ReadPage();
  const double end[2] = {Xpos, Ypos};
  GSF = 0;
  DotWindow();
  DrawParabola(200.0, 150.0, 0.0, 60.0, 10.0, 3710.0, 0.0, 0.0, 1.0, 2);
  const Page p = ReadPage();
  EXPECT_GT(p.count(), 300);
  EXPECT_TRUE(p == ten) << "3700 degrees draw the dots of 3600";
  EXPECT_EQ(Xpos, end[0]);
  EXPECT_EQ(Ypos, end[1]);
}

TEST_F(Primitives, BitmapCornerDependsOnTheUnits) {
  const std::vector<std::string> rows = {"#.......", "........", "........", ".......#"};
  // device units: (x, y) is the top-left corner
  DotWindow();
  DrawBitmap(Bitmap(rows).c_str(), 50.0, 60.0, 1, 0);
  Page p = ReadPage();
  EXPECT_TRUE(p.ink(50, 60));
  EXPECT_TRUE(p.ink(57, 63));
  EXPECT_EQ(p.count(), 2);
  // inches (and millimetres): (x, y) is the bottom-left corner
  for (int units : {1, 0}) {
    GSF = 0;
    ASSERT_EQ(Window(units, 7.0, 9.0), 0);
    DrawBitmap(Bitmap(rows).c_str(), 1.0, 1.0, 1, 0);
    p = ReadPage();
    const int left = Xcomp(1.0), top = Ycomp(1.0) - 4;
    EXPECT_TRUE(p.ink(left, top)) << units;
    EXPECT_TRUE(p.ink(left + 7, top + 3)) << units;
    EXPECT_EQ(p.count(), 2) << units;
  }
}

TEST_F(Primitives, BitmapPaintsForegroundAndBackgroundInColour) {
  SETUPcolor = 1;
  DotWindow();
  SetColor(4);
  DrawBitmap(Bitmap({"#.", ".#"}).c_str(), 10.0, 10.0, 3, 5);
  DrawBitmap(Bitmap({"#.", ".#"}).c_str(), 20.0, 10.0, 500, -7);  // brought into the table
  MoveTo(50.0, 50.0);
  LineTo(60.0, 50.0);
  const Page p = ReadPage();
  EXPECT_EQ(p.at(10, 10), Kolor[3]);
  EXPECT_EQ(p.at(11, 10), Kolor[5]);
  EXPECT_EQ(p.at(20, 10), Kolor[149]);
  EXPECT_EQ(p.at(21, 10), Kolor[0]);
  EXPECT_EQ(p.at(55, 50), Kolor[4]) << "the current colour is restored";
}

TEST_F(Primitives, UnreadableBitmapsDrawNothing) {
  DotWindow();
  root().write("/u/tmp/bad.xbm", "this is no bitmap\n");
  DrawBitmap(root().path("/u/tmp/bad.xbm").c_str(), 10.0, 10.0, 1, 0);
  DrawBitmap("/nonexistent/file.xbm", 10.0, 10.0, 1, 0);
  DrawBitmap("", 10.0, 10.0, 1, 0);
  EXPECT_EQ(ReadPage().count(), 0);
  EXPECT_EQ(SurfaceSync(), 0);
}

// A BITMAP naming a FIFO (no writer), /dev/zero or /dev/urandom is refused at once and the
// plot goes on with the rest.
TEST_F(Primitives, BitmapsThatAreNoRegularFilesAreSkippedAtOnce) {
  const std::string fifo = root().path("/u/tmp/fifo.xbm");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  DotWindow();
  for (const std::string& f : {fifo, std::string("/dev/zero"), std::string("/dev/urandom")}) {
    const auto start = std::chrono::steady_clock::now();
    DrawBitmap(f.c_str(), 10.0, 10.0, 1, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << f;
  }
  EXPECT_EQ(ReadPage().count(), 0);
  const std::string plot = "WINDOW(2,0.0,0.0,400.0,300.0)\nBITMAP(10.0,10.0,1,0,\"" + fifo +
                           "\")\nBITMAP(10.0,10.0,1,0,\"/dev/zero\")\n"
                           "BITMAP(10.0,10.0,1,0,\"/dev/urandom\")\nMOVETO(10.0,100.0)\n"
                           "LINETO(50.0,100.0)\n";
  root().write("/u/tmp/b.plt", plot);
  GSF = 0;
  EXPECT_EQ(DrawPlot(root().path("/u/tmp/b.plt").c_str()), 0);
  const Page p = ReadPage();
  EXPECT_EQ(p.count(), 41);
  EXPECT_TRUE(p.ink(30, 100));
}

TEST_F(Primitives, SystemBitmapsAreFoundUnderTheRoot) {
  DotWindow();
  DrawBitmap("/u/qx5/def_data/misc/qx5logo.xbm", 0.0, 0.0, 1, 0);
  EXPECT_TRUE(ReadPage().ink(0, 0)) << "the sample logo has a frame";
}

TEST_F(Primitives, FarOffCoordinatesNeverWrapOntoThePage) {
  DotWindow();
  PlotSetup(1, 1, 1);
  // 65736 would wrap to 200 in a 16-bit field
  const double far = 65536.0 + 200.0;
  DrawArc(far, 100.0, 10.0, 0, 360, 1);
  DrawRectangle(far, 100.0, 10.0, 10.0, 1);
  DrawEllipse(200.0, far, 20.0, 10.0, 0.0, 360.0, 0);
  DrawString(far, 100.0, "far");
  DrawBitmap(Bitmap({"##", "##"}).c_str(), far, 100.0, 1, 0);
  MoveTo(far, 10.0);
  LineTo(far + 100.0, 10.0);
  EXPECT_EQ(ReadPage().count(), 0);
  // a line with far endpoints keeps its course across the page
  MoveTo(-1.0e6, 100.0);
  LineTo(1.0e6, 100.0);
  MoveTo(150.0, 150.0);
  LineTo(150.0 + 1.0e5, 150.0 + 1.0e5);
  const Page p = ReadPage();
  for (int x = 0; x <= static_cast<int>(Width); x++) ASSERT_TRUE(p.ink(x, 100)) << x;
  for (int i = 0; 150 + i <= static_cast<int>(Height); i++)
    ASSERT_TRUE(p.ink(150 + i, 150 + i)) << i;
  EXPECT_FALSE(p.ink(149, 149));
}

TEST_F(Primitives, HugeArcAnglesKeepTheirMeaning) {
  DotWindow();
  PlotSetup(0, 1, 1);
  // 360 + 90 degrees start: the same quarter as a start of 90
  DrawArc(100.0, 100.0, 40.0, 450, 90, 1);
  DrawArc2(300.0, 100.0, 40.0, 1.0e12, 1.0e12, 1);  // no overflow
  const Page p = ReadPage();
  EXPECT_TRUE(p.ink(85, 85)) << "upper left quarter";
  EXPECT_FALSE(p.ink(115, 85));
}

}  // namespace
