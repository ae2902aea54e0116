#include "geometry/markers.hpp"

#include "render/plot_fixture.hpp"

using namespace qx5;
using h4test::Page;
using h4test::ReadPage;

namespace {

class Markers : public h4test::PlotFixture {
 protected:
  // The strokes of a marker type as the marker table gives them: each list is a move to its
  // first point and lines through the rest, points as multiples of (hw, hh).
  static std::vector<std::vector<std::pair<int, int>>> Strokes(int type) {
    using S = std::vector<std::vector<std::pair<int, int>>>;
    const S diagonal = {{{-1, -1}, {1, 1}}, {{1, -1}, {-1, 1}}};
    const S upright = {{{-1, 0}, {1, 0}}, {{0, -1}, {0, 1}}};
    switch (type) {
      case 1:
        return {{{0, 0}, {0, 0}}};
      case 2:
        return {{{-1, -1}, {0, 0}, {1, -1}}};
      case 3:
        return {{{-1, 1}, {0, 0}, {1, 1}}};
      case 4:
        return diagonal;
      case 5: {
        S both = diagonal;
        both.insert(both.end(), upright.begin(), upright.end());
        return both;
      }
      case 6:
        return upright;
      case 7:
        return {{{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {-1, -1}}};
      default:
        return {};
    }
  }
  // The page of one marker drawn stroke by stroke from the table.
  Page Reference(int type, double x, double y, double hw, double hh, int units, double w,
                 double h) {
    GSF = 0;
    EXPECT_EQ(Window(units, w, h), 0);
    for (const auto& stroke : Strokes(type)) {
      MoveTo(x + stroke[0].first * hw, y + stroke[0].second * hh);
      for (size_t i = 1; i < stroke.size(); i++)
        LineTo(x + stroke[i].first * hw, y + stroke[i].second * hh);
    }
    return ReadPage();
  }
  Page Marker(int type, double x, double y, int scaled, double w, double h, int units = 2) {
    GSF = 0;
    EXPECT_EQ(Window(units, 400.0, 300.0), 0);
    Symbol(type, x, y, scaled, w, h);
    return ReadPage();
  }
};

TEST_F(Markers, EverySeenTypeDrawsItsStrokesAndEndsOnTheCentre) {
  for (int type = 1; type <= 7; type++) {
    const Page ref = Reference(type, 100.0, 80.0, 3.0, 3.0, 2, 400.0, 300.0);
    const Page got = Marker(type, 100.0, 80.0, 0, -1.0, -1.0);  // 6 dots by default
    EXPECT_GT(got.count(), 0) << type;
    EXPECT_TRUE(got == ref) << "type " << type;
    EXPECT_EQ(Xpos, 100.0);
    EXPECT_EQ(Ypos, 80.0);
  }
}

TEST_F(Markers, ExplicitSizesAreFullWidthAndHeight) {
  // a default half-width with an explicit height; and -2.0 is a size, not the default
  EXPECT_TRUE(Marker(7, 100.0, 80.0, 0, -1.0, 20.0) ==
              Reference(7, 100.0, 80.0, 3.0, 10.0, 2, 400.0, 300.0));
  EXPECT_TRUE(Marker(4, 100.0, 80.0, 0, -2.0, 8.0) ==
              Reference(4, 100.0, 80.0, 1.0, 4.0, 2, 400.0, 300.0));
}

TEST_F(Markers, UnknownTypesDrawNothingButMoveTheCurrentPoint) {
  for (int type : {0, 8, -3}) {
    EXPECT_EQ(Marker(type, 55.0, 66.0, 0, -1.0, -1.0).count(), 0) << type;
    EXPECT_EQ(Xpos, 55.0);
    EXPECT_EQ(Ypos, 66.0);
    EXPECT_EQ(Style, 0);
  }
}

TEST_F(Markers, MarkersAreSolidAndTheDashedStyleReturns) {
  // the reference: the same strokes in solid lines after the same style changes
  GSF = 0;
  ASSERT_EQ(Window(2, 400.0, 300.0), 0);
  SetLineStyle(2);
  SetLineStyle(0);
  MoveTo(80.0, 80.0);
  LineTo(120.0, 80.0);
  MoveTo(100.0, 60.0);
  LineTo(100.0, 100.0);
  const Page ref = ReadPage();
  GSF = 0;
  ASSERT_EQ(Window(2, 400.0, 300.0), 0);
  SetLineStyle(2);
  Symbol(6, 100.0, 80.0, 0, 40.0, 40.0);
  EXPECT_EQ(Style, 2);
  EXPECT_TRUE(ReadPage() == ref);
}

TEST_F(Markers, UnscaledMarkersKeepTheirSizeAndScaledOnesFollowTheScale) {
  GSF = 0;
  ASSERT_EQ(Window(2, 400.0, 300.0), 0);
  ScalePlot(2.0, 2.0);
  Symbol(6, 50.0, 40.0, 0, 10.0, 10.0);   // 10 dots whatever the scale
  Symbol(6, 50.0, 100.0, 1, 10.0, 10.0);  // 10 data units: 20 dots
  Page p = ReadPage();
  EXPECT_TRUE(p.ink(95, 80));
  EXPECT_TRUE(p.ink(105, 80));
  EXPECT_FALSE(p.ink(94, 80));
  EXPECT_FALSE(p.ink(106, 80));
  EXPECT_TRUE(p.ink(90, 200));
  EXPECT_TRUE(p.ink(110, 200));
  EXPECT_FALSE(p.ink(89, 200));
  // a zero scale has no finite size to divide: the marker collapses onto its point
  ScalePlot(0.0, 0.0);
  Symbol(6, 50.0, 40.0, 0, 10.0, 10.0);
  EXPECT_EQ(Xpos, 50.0);
}

TEST_F(Markers, DefaultSizeInInchesIsAnEighthOfAPlotInch) {
  GSF = 0;
  ASSERT_EQ(Window(1, 7.0, 9.0), 0);
  ScalePlot(3.0, 3.0);
  Symbol(6, 1.0 / 3.0, 1.0 / 3.0, 0, -1.0, -1.0);  // centre at plot (1, 1)
  const Page p = ReadPage();
  const int y = Ycomp(1.0 / 3.0);
  ScalePlot(1.0, 1.0);
  const int left = Xcomp(1.0 - 0.0625), right = Xcomp(1.0 + 0.0625);
  EXPECT_TRUE(p.ink(left, y));
  EXPECT_TRUE(p.ink(right, y));
  EXPECT_FALSE(p.ink(left - 1, y));
  EXPECT_FALSE(p.ink(right + 1, y));
}

}  // namespace
