// Arc geometry in space: entity coordinate systems, their world transform and the view.
#pragma once
#include <numbers>
#include <vector>

namespace qx5 {

struct Vec3 {
  double x, y, z;
};

struct PlotPoint {
  double x, y;
};

inline constexpr double CCDEGTORAD = std::numbers::pi / 180.0;

// Longest DRAWPARABOLA sweep drawn, in degrees (ten full turns): a longer one is drawn cut to
// this, from its start angle, so that a wild angle cannot make the polyline unbounded.
inline constexpr double kMaxParabolaSweep = 3600.0;

void DFc3v_cross(const Vec3* a, const Vec3* b, Vec3* out);
int m_normvect(const Vec3* src, Vec3* dst, double* length);
void DFdx3_arb_axis(Vec3* N, Vec3* Ax, Vec3* Ay);
void DFdx3_ecs_to_wcs(const Vec3* p, const Vec3* Ax, const Vec3* Ay, const Vec3* Az, Vec3* out);
void RemapPlot(int axis, const Vec3* src, Vec3* out);

// The plot points of a DRAWPARABOLA statement, in plot units: one per whole degree of the
// sweep from a1 counter-clockwise to a2, ends included, the sweep capped at kMaxParabolaSweep.
// Empty when nothing is to be drawn: a sweep under one degree or not finite, or a view other
// than 0, 1 or 2.
std::vector<PlotPoint> ParabolaPoints(double cx, double cy, double cz, double r, double a1,
                                      double a2, double nx, double ny, double nz, int view);

}  // namespace qx5
