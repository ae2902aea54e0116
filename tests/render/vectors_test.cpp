// The vector page of a pen plotter: what the statements draw becomes strokes, in which order
// they go out, and the HP-GL they make. No X server is used.
#include "render/vectors.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "driver/plotrequest.hpp"
#include "geometry/mapping.hpp"
#include "lib/configman.hpp"
#include "lib/dbswitch.hpp"
#include "lib/message.hpp"
#include "plotlang/grammar.hpp"
#include "printers/codefile.hpp"
#include "printers/config.hpp"
#include "printers/paper.hpp"
#include "render/hpgl.hpp"
#include "render/plot_fixture.hpp"
#include "render/plotfonts.hpp"
#include "render/plottext.hpp"
#include "render/strokes.hpp"
#include "render/surface.hpp"
#include "support/harness.hpp"

namespace {

using qx5::PlotterPoint;
using qx5::Stroke;
using qx5::StrokeKind;

Stroke Path(int pen, std::vector<PlotterPoint> pts) {
  Stroke s;
  s.pen = pen;
  s.points = std::move(pts);
  return s;
}

// The nearest-next order the grid must give, found by looking at every stroke each time.
std::vector<std::pair<size_t, bool>> Reference(std::vector<Stroke> strokes, PlotterPoint at) {
  std::vector<std::pair<size_t, bool>> order;
  std::vector<bool> taken(strokes.size());
  for (int pen = 1; pen <= 8; ++pen) {
    for (;;) {
      double best = 1e300;
      size_t bi = 0;
      bool brev = false, found = false;
      for (size_t i = 0; i < strokes.size(); ++i) {
        if (taken[i] || strokes[i].pen != pen) continue;
        for (bool rev : {false, true}) {
          if (rev && !strokes[i].Reversible()) continue;
          const PlotterPoint p = rev ? strokes[i].End() : strokes[i].Start();
          const double d = std::hypot(p.x - at.x, p.y - at.y);
          if (!found || d < best) {
            best = d, bi = i, brev = rev, found = true;
          }
        }
      }
      if (!found) break;
      taken[bi] = true;
      if (brev) strokes[bi].Reverse();
      at = strokes[bi].End();
      order.push_back({bi, brev});
    }
  }
  return order;
}

TEST(VectorStrokes, NearestNextOrderMatchesTheExhaustiveSearch) {
  std::mt19937 rng(16);
  std::uniform_real_distribution<double> coord(0, 10000);
  for (size_t n : {1u, 2u, 7u, 60u, 800u}) {
    SCOPED_TRACE(n);
    std::vector<Stroke> strokes;
    for (size_t i = 0; i < n; ++i) {
      Stroke s =
          Path(1 + static_cast<int>(i % 3), {{coord(rng), coord(rng)}, {coord(rng), coord(rng)}});
      if (i % 5 == 1) {  // a circle is drawn from its centre and never reversed
        s.kind = StrokeKind::kCircle;
        s.centre = s.points[0];
        s.radius = 100;
      }
      strokes.push_back(s);
    }
    const auto want = Reference(strokes, {0, 0});
    std::vector<Stroke> sorted = strokes;
    const std::vector<size_t> order = qx5::OrderStrokes(sorted, {0, 0});
    ASSERT_EQ(order.size(), want.size());
    for (size_t k = 0; k < order.size(); ++k) {
      EXPECT_EQ(order[k], want[k].first) << k;
      const bool reversed = sorted[order[k]].Start().x != strokes[order[k]].Start().x;
      EXPECT_EQ(reversed, want[k].second) << k;
    }
  }
}

TEST(VectorStrokes, TravelCountsPenChangesAndDistances) {
  // Two halves of one line, the second drawn backwards, then a far stroke with pen 2: 40 pu
  // are a millimetre.
  std::vector<Stroke> s = {Path(2, {{4000, 0}, {4400, 0}}), Path(1, {{800, 0}, {400, 0}}),
                           Path(1, {{0, 0}, {400, 0}})};
  const std::vector<size_t> order = qx5::OrderStrokes(s, {0, 0});
  EXPECT_EQ(order, (std::vector<size_t>{2, 1, 0}));
  const qx5::PageTravel t = qx5::Travel(s, order, {0, 0});
  EXPECT_EQ(t.strokes, 3u);
  EXPECT_EQ(t.pen_changes, 2);
  EXPECT_DOUBLE_EQ(t.down_mm, 30);
  EXPECT_DOUBLE_EQ(t.up_mm, 80);
  // The commands: the second half goes on without lifting the pen; pens in order, put away.
  std::string all;
  for (const std::string& c : qx5::HpglCommands(s, order, false)) all += c;
  EXPECT_EQ(all, "PU;PA;SC;IW;LT;SP1;PU0,0;PD400,0;PD800,0;SP2;PU4000,0;PD4400,0;PU;SP0;");
}

TEST(VectorStrokes, CurvesLabelsAndWidthsInBothDialects) {
  Stroke circle;
  circle.kind = StrokeKind::kCircle;
  circle.centre = {1000, 1000};
  circle.radius = 400;
  circle.chord = 5;
  Stroke arc;
  arc.kind = StrokeKind::kArc;
  arc.points = {{2000, 1000}, {1000, 2000}};
  arc.centre = {1000, 1000};
  arc.sweep = 90;
  arc.chord = 3;
  Stroke label;
  label.kind = StrokeKind::kLabel;
  label.points = {{500, 500}, {900, 500}};
  label.text = "A1";
  label.size_w = 0.152;
  label.size_h = 0.254;
  label.run = 0;
  label.rise = -1;
  std::vector<Stroke> s = {circle, arc, label};
  std::string v1, v2;
  for (const std::string& c : qx5::HpglCommands(s, {0, 1, 2}, false)) v1 += c;
  EXPECT_EQ(v1,
            "PU;PA;SC;IW;LT;SP1;PU1000,1000;CI400,5;PU2000,1000;PD;AA1000,1000,90,3;PU500,500;"
            "SI0.152,0.254;DI0,-1;LBA1\x03PU;SP0;");
  for (Stroke& k : s) k.width_mm = 0.25;
  for (const std::string& c : qx5::HpglCommands(s, {0, 1, 2}, true)) v2 += c;
  EXPECT_EQ(v2.rfind("PU;PA;SC;IW;LT;WU0;FT;SP1;PW0.25;PU1000,1000;CI400,5;", 0), 0u) << v2;
  EXPECT_EQ(v2.find("PW", v2.find("PW") + 1), std::string::npos);  // set once
}

// A 6-pen colour plotter at 100 dpi on letter paper with half-inch margins: printable 8 by
// 10.5 inches, 8128 by 10668 plotter units.
class VectorPage : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<qx5test::TempRoot>();
    qx5::InitConfigure();
    h4test::TestPrinterValues();
    qx5::SETUPbrand = 2;
    qx5::VECTORSct = 1;
    qx5::VECTORS[0] = 1;
    qx5::SETUPpenct = 6;
    qx5::SETUPversion = 1;
    qx5::SETUPcolor = 1;
    qx5::PAPERhun = 0.5;
  }
  void TearDown() override {
    qx5::ClosePlot();
    qx5::VECTORSct = 0;
    qx5::SETUPbrand = 0;
    qx5::CloseSwitchDb();
    qx5::CloseSysgen();
    root_.reset();
  }
  // Runs plot statements; the strokes they made.
  std::vector<Stroke> Draw(const std::string& lines) {
    size_t at = 0;
    while (at < lines.size()) {
      size_t end = lines.find('\n', at);
      if (end == std::string::npos) end = lines.size();
      EXPECT_EQ(qx5::expr(lines.substr(at, end - at).c_str()), 0) << lines.substr(at, end - at);
      at = end + 1;
    }
    return qx5::VectorStrokes();
  }

 private:
  std::unique_ptr<qx5test::TempRoot> root_;
};

const char kWindow[] = "WINDOW(2,0.0,0.0,400.0,300.0)\n";  // device dots, y down

TEST_F(VectorPage, ColoursArePens) {
  struct Case {
    const char* statements;
    int colour_printer;
    int pen;
  };
  const Case cases[] = {{"", 1, 1},         {"C(7)\n", 1, 1}, {"C(3)\n", 1, 3}, {"C(8)\n", 1, 2},
                        {"C(100)\n", 1, 2}, {"C(6)\n", 1, 6}, {"C(5)\n", 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statements);
    qx5::SETUPcolor = c.colour_printer;
    const auto s = Draw(std::string(kWindow) + c.statements + "M(10.0,10.0)\nL(20.0,10.0)\n");
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].pen, c.pen);
  }
}

TEST_F(VectorPage, DashesFollowTheXPatternAndTheClipCuts) {
  // Style 1: 2 dots on, 4 off, starting 1 dot into the pattern: on at 0-1, 5-7, 11-13 ...
  auto s = Draw(std::string(kWindow) + "SETLINESTYLE(1)\nM(10.0,10.0)\nL(30.0,10.0)\n");
  const double dot = 1016.0 / 100;
  ASSERT_EQ(s.size(), 4u);
  const double firsts[] = {0, 5, 11, 17};
  const double lasts[] = {1, 7, 13, 19};
  for (size_t i = 0; i < s.size(); ++i) {
    EXPECT_NEAR(s[i].points.front().x, (10.5 + firsts[i]) * dot, 1e-6) << i;
    EXPECT_NEAR(s[i].points.back().x, (10.5 + lasts[i]) * dot, 1e-6) << i;
  }
  // A clip of the dots 15 to 24 (its top is taken at y + h) cuts a solid line half a dot
  // beyond them.
  s = Draw(std::string(kWindow) + "SETCLIP(15.0,-10.0,9.0,20.0)\nM(10.0,10.0)\nL(30.0,10.0)\n");
  ASSERT_EQ(s.size(), 1u);
  EXPECT_NEAR(s[0].points.front().x, 15 * dot, 1e-6);
  EXPECT_NEAR(s[0].points.back().x, 25 * dot, 1e-6);
}

TEST_F(VectorPage, CurvesFillsAndPlacement) {
  // A circle inside the page is the plotter's own; one across the clip becomes chords within
  // it, each point no further than 0.1 mm (4 pu) from the curve.
  auto s = Draw(std::string(kWindow) + "A(100.0,100.0,50.0,0.0,360.0,0)\n");
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].kind, StrokeKind::kCircle);
  EXPECT_NEAR(s[0].radius, 50 * 10.16, 1e-6);
  s = Draw(std::string(kWindow) +
           "SETCLIP(0.0,-300.0,100.0,300.0)\nA(100.0,100.0,50.0,0.0,360.0,0)\n");
  ASSERT_FALSE(s.empty());
  const PlotterPoint c = qx5::PlotterPointOf(100, 100);
  for (const Stroke& k : s) {
    ASSERT_EQ(k.kind, StrokeKind::kPath);
    for (size_t i = 1; i < k.points.size(); ++i) {
      const PlotterPoint a = k.points[i - 1], b = k.points[i];
      EXPECT_LE(a.x, qx5::PlotterPointOf(100.5, 0).x + 1e-6);
      const PlotterPoint m = {(a.x + b.x) / 2, (a.y + b.y) / 2};
      EXPECT_NEAR(std::hypot(m.x - c.x, m.y - c.y), 508, 4);
    }
  }
  // A filled box is hatched 0.3 mm (12 pu) apart inside its outline.
  s = Draw(std::string(kWindow) + "PLOTSETUP(1,1,1)\nB(10.0,10.0,40.0,40.0,1)\n");
  ASSERT_GT(s.size(), 30u);
  EXPECT_NEAR(s[0].points[0].y - s[1].points[0].y, 12, 1e-6);
  // A turned plot puts the surface's top-left dot where a PCL printer puts the top of the
  // column: at the right end of its 8-inch row less the padding of the column's last byte,
  // at the printable area's top; its labels run down the paper.
  qx5::rot = 1;
  qx5::GSF = 0;
  s = Draw(std::string(kWindow) + "S(0.0,0.0,\"up\")\n");
  const long column = static_cast<long>(qx5::Height) + 1;
  ASSERT_LE(column, 8 * qx5::SETUPxdpi);
  const long padding = (8 - column % 8) % 8;
  EXPECT_NEAR(qx5::PlotterPointOf(-0.5, -0.5).x,
              (8.0 * qx5::SETUPxdpi - padding) * 1016 / qx5::SETUPxdpi, 1e-6);
  EXPECT_NEAR(qx5::PlotterPointOf(-0.5, -0.5).y, 10668, 1e-6);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].kind, StrokeKind::kLabel);
  EXPECT_EQ(s[0].run, 0);
  EXPECT_EQ(s[0].rise, -1);
}

// Shapes far larger than the page make only the strokes the page can hold: a dashed line
// thousands of pages long, a filled circle and a wide, dashed ellipse around the page, hatched
// and drawn in passes, each within what their part on the page needs.
TEST_F(VectorPage, ShapesFarBeyondThePageCostWhatThePageHolds) {
  struct Case {
    const char* statements;
    size_t most;  // strokes at most
  } cases[] = {
      // 2 on, 4 off along about 400 dots of the page: some 70 dashes.
      {"SETLINESTYLE(1)\nM(-5000000.0,-5000000.0)\nL(5000000.0,5000000.0)\n", 150},
      // Hatch lines 1.18 dots apart down the page's 600 dots (the window fitted to the page).
      {"PLOTSETUP(1,1,1)\nA(200.0,150.0,8000000.0,0.0,360.0,1)\n", 600},
      // Ten passes of a 30-dot line, dashed 4 on, 8 off, along the window's edges: the
      // ellipse is a thousand pages wide, so its part on the page is almost a straight line.
      {"SETLINESTYLE(2)\nSETLINEWIDTH(30)\nE(200.0,-3000000.0,9000000.0,6000300.0,0.0,360.0,0)"
       "\n",
       3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statements);
    const std::vector<Stroke> s = Draw(std::string(kWindow) + c.statements);
    EXPECT_GT(s.size(), 0u);
    EXPECT_LE(s.size(), c.most);
    qx5::ClosePlot();
  }
}

TEST_F(VectorPage, WhatAPlotterCannotDrawIsSkippedWithALine) {
  testing::internal::CaptureStdout();
  auto s =
      Draw(std::string(kWindow) + "BITMAP(1.0,1.0,2,0,\"/u/x.xbm\")\nS(5.0,5.0,\"caf\xe9\")\n" +
           "S(5.0,9.0,\"a\x03"
           "b\")\n");
  qx5::QX5LANG = 6;
  qx5::DrawString(5.0, 5.0, "kanji");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "tp: BITMAP skipped: a pen plotter draws no bitmaps\n"
            "tp: DRAWSTRING skipped: a pen plotter draws only ASCII text\n"
            "tp: DRAWSTRING skipped: a pen plotter draws no Kanji text\n");
  // A control byte would end the label early: it is left out.
  ASSERT_EQ(qx5::VectorStrokes().size(), 1u);
  EXPECT_EQ(qx5::VectorStrokes()[0].text, "ab");
  // A second WINDOW starts the page again.
  s = Draw(kWindow);
  EXPECT_TRUE(s.empty());
}

}  // namespace
