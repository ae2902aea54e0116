#include "geometry/arcspace.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using qx5::PlotPoint;
using qx5::Vec3;

void ExpectVec(const Vec3& v, double x, double y, double z) {
  EXPECT_NEAR(v.x, x, 1e-12);
  EXPECT_NEAR(v.y, y, 1e-12);
  EXPECT_NEAR(v.z, z, 1e-12);
}

TEST(ArcSpace, CrossProductAndNormalisation) {
  Vec3 a = {1, 2, 3}, b = {4, 5, 6}, out;
  qx5::DFc3v_cross(&a, &b, &out);
  ExpectVec(out, -3, 6, -3);

  const struct {
    Vec3 src;
    Vec3 want;
    double length;
  } cases[] = {
      {{3, 4, 0}, {0.6, 0.8, 0}, 5},    {{0, 0, -2}, {0, 0, -1}, 2},
      {{1e-5, 0, 0}, {0, 0, 0}, 1e-10},  // too short: zero vector, sum of squares reported
      {{2e12, 1, 1}, {0, 0, 0}, 0},      // a component beyond 1e12 counts the vector as zero
      {{1, 1, 2e12}, {0, 0, 0}, 0},
  };
  for (const auto& c : cases) {
    Vec3 dst = {9, 9, 9};
    double length = -1;
    EXPECT_EQ(qx5::m_normvect(&c.src, &dst, &length), 0);
    ExpectVec(dst, c.want.x, c.want.y, c.want.z);
    EXPECT_NEAR(length, c.length, 1e-20 + c.length * 1e-12);
  }
  Vec3 v = {0, 3, 4};
  qx5::m_normvect(&v, &v, nullptr);  // in place, no length wanted
  ExpectVec(v, 0, 0.6, 0.8);
}

TEST(ArcSpace, ArbitraryAxisCases) {
  const double s = 1 / std::sqrt(1.0001);  // (1, 0, -0.01) normalised
  const struct {
    Vec3 n;
    Vec3 n_after, ax, ay;
  } cases[] = {
      {{0, 0, 1}, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
      {{0, 0, -1}, {0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},
      {{1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
      {{0.01, 0.01, 1}, {0.01, 0.01, 1}, {s, 0, -0.01 * s}, {-0.0001 * s, 1.0001 * s, -0.01 * s}},
      {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  // no direction: the world z axis
      {{0, 0, 1e-5}, {0, 0, 1e-5}, {0, 0, 0}, {0, 0, 0}},
      {{0, 0, 2}, {0, 0, 2}, {1, 0, 0}, {0, 2, 0}},
      {{0, 1, 0}, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}},
  };
  int row = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << row++);
    Vec3 n = c.n, ax, ay;
    qx5::DFdx3_arb_axis(&n, &ax, &ay);
    ExpectVec(n, c.n_after.x, c.n_after.y, c.n_after.z);
    ExpectVec(ax, c.ax.x, c.ax.y, c.ax.z);
    ExpectVec(ay, c.ay.x, c.ay.y, c.ay.z);
  }
}

TEST(ArcSpace, EntityToWorldAndViews) {
  Vec3 p = {1, 2, 3}, ax = {0, 1, 0}, ay = {0, 0, 1}, az = {1, 0, 0}, w;
  qx5::DFdx3_ecs_to_wcs(&p, &ax, &ay, &az, &w);
  ExpectVec(w, 3, 1, 2);

  Vec3 src = {1, 2, 3};
  const struct {
    int axis;
    Vec3 want;
  } views[] = {{0, {2, 3, 1}}, {1, {3, 1, 2}}, {2, {1, 2, 3}}};
  for (const auto& v : views) {
    Vec3 out = {0, 0, 0};
    qx5::RemapPlot(v.axis, &src, &out);
    ExpectVec(out, v.want.x, v.want.y, v.want.z);
    Vec3 same = src;
    qx5::RemapPlot(v.axis, &same, &same);  // the output may be the input
    ExpectVec(same, v.want.x, v.want.y, v.want.z);
  }
  for (int axis : {-1, 3}) {
    Vec3 out = {7, 8, 9};
    qx5::RemapPlot(axis, &src, &out);
    ExpectVec(out, 7, 8, 9);
  }
}

TEST(ArcSpace, ParabolaSegmentCounts) {
  const struct {
    double a1, a2;
    size_t segments;
  } cases[] = {
      {0, 15, 14},      {0, 30, 29},     {0, 60, 59},     {0, 120, 119},         {0, 90, 90},
      {0, 360, 360},    {350, 10, 20},   {10, 11, 1},     {5, 5.5, 0},           {30, 30, 0},
      {0, 3600, 3600},  {0, 3601, 3600}, {0, 3700, 3600}, {-1e199, 1e199, 3600}, {720, 10, 0},
      {0, HUGE_VAL, 0}, {0, NAN, 0},
  };
  for (const auto& c : cases) {
    auto pts = qx5::ParabolaPoints(0, 0, 0, 1, c.a1, c.a2, 0, 0, 1, 2);
    EXPECT_EQ(pts.size(), c.segments ? c.segments + 1 : 0) << c.a1 << " to " << c.a2;
  }
}

TEST(ArcSpace, ParabolaSweepsBeyondTenTurnsAreCutToTenTurnsFromTheirStart) {
  const auto capped = qx5::ParabolaPoints(1, 2, 0, 3, 25, 3725, 0, 1, 1, 1);
  const auto ten = qx5::ParabolaPoints(1, 2, 0, 3, 25, 3625, 0, 1, 1, 1);
  ASSERT_EQ(capped.size(), ten.size());
  for (size_t i = 0; i < ten.size(); ++i) {
    EXPECT_EQ(capped[i].x, ten[i].x) << i;
    EXPECT_EQ(capped[i].y, ten[i].y) << i;
  }
}

TEST(ArcSpace, ParabolaPointsFollowTheArcInTheChosenView) {
  const double d = std::numbers::pi / 180;
  // Plane z = 0 seen along z: the arc as given, from 350 degrees through 0 to 10 degrees.
  auto pts = qx5::ParabolaPoints(1, 2, 0, 3, 350, 10, 0, 0, 1, 2);
  ASSERT_EQ(pts.size(), 21u);
  for (size_t i = 0; i < pts.size(); ++i) {
    double t = (350.0 + i) * d;
    EXPECT_NEAR(pts[i].x, 1 + 3 * std::cos(t), 1e-9) << i;
    EXPECT_NEAR(pts[i].y, 2 + 3 * std::sin(t), 1e-9) << i;
  }
  // The normal pointing down mirrors the arc left to right.
  pts = qx5::ParabolaPoints(1, 2, 0, 3, 0, 90, 0, 0, -1, 2);
  ASSERT_EQ(pts.size(), 91u);
  EXPECT_NEAR(pts.front().x, -4, 1e-9);
  EXPECT_NEAR(pts.front().y, 2, 1e-9);
  EXPECT_NEAR(pts.back().x, -1, 1e-9);
  EXPECT_NEAR(pts.back().y, 5, 1e-9);
  // Normal along x: entity x, y are world y, z; view 0 shows world y, z.
  pts = qx5::ParabolaPoints(1, 2, 5, 3, 0, 90, 1, 0, 0, 0);
  ASSERT_EQ(pts.size(), 91u);
  EXPECT_NEAR(pts.front().x, 4, 1e-9);
  EXPECT_NEAR(pts.front().y, 2, 1e-9);
  EXPECT_NEAR(pts.back().x, 1, 1e-9);
  EXPECT_NEAR(pts.back().y, 5, 1e-9);
  // The same arc seen along y shows world z (the plane's offset 5) against world x.
  pts = qx5::ParabolaPoints(1, 2, 5, 3, 0, 90, 1, 0, 0, 1);
  ASSERT_EQ(pts.size(), 91u);
  EXPECT_NEAR(pts.front().x, 2, 1e-9);
  EXPECT_NEAR(pts.front().y, 5, 1e-9);
  // A doubled normal doubles the y extent and the plane offset.
  pts = qx5::ParabolaPoints(0, 0, 1, 1, 90, 90.5, 0, 0, 2, 2);
  EXPECT_TRUE(pts.empty());
  pts = qx5::ParabolaPoints(0, 0, 1, 1, 89, 90, 0, 0, 2, 2);
  ASSERT_EQ(pts.size(), 2u);
  EXPECT_NEAR(pts.back().x, 0, 1e-9);
  EXPECT_NEAR(pts.back().y, 2, 1e-9);
  // A normal too short to give axes collapses the arc onto cz times the normal.
  pts = qx5::ParabolaPoints(1, 1, 1, 1, 0, 10, 0, 0, 1e-5, 2);
  ASSERT_EQ(pts.size(), 11u);
  for (const PlotPoint& p : pts) {
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
  }
  // A view other than 0, 1 or 2 yields nothing.
  EXPECT_TRUE(qx5::ParabolaPoints(0, 0, 0, 1, 0, 90, 0, 0, 1, 3).empty());
  EXPECT_TRUE(qx5::ParabolaPoints(0, 0, 0, 1, 0, 90, 0, 0, 1, -1).empty());
}

}  // namespace
