#include "geometry/arcspace.hpp"

#include <algorithm>
#include <cmath>

namespace qx5 {

void DFc3v_cross(const Vec3* a, const Vec3* b, Vec3* out) {
  out->x = a->y * b->z - a->z * b->y;
  out->y = a->z * b->x - a->x * b->z;
  out->z = a->x * b->y - a->y * b->x;
}

int m_normvect(const Vec3* src, Vec3* dst, double* length) {
  double sum = 0;
  for (double c : {src->x, src->y, src->z}) {
    if (std::fabs(c) > 1e12) {
      sum = 0;
      break;
    }
    sum += c * c;
  }
  double result = sum;
  if (sum > 1e-8) {
    result = std::sqrt(sum);
    *dst = {src->x / result, src->y / result, src->z / result};
  } else {
    *dst = {0, 0, 0};
  }
  if (length != nullptr) *length = result;
  return 0;
}

// The arbitrary axis algorithm: the x axis of the entity system is the world y axis crossed
// with N when N lies within 1/64 of the world z axis, else the world z axis crossed with N.
void DFdx3_arb_axis(Vec3* N, Vec3* Ax, Vec3* Ay) {
  if (std::fabs(N->x) + std::fabs(N->y) + std::fabs(N->z) < 1e-12) *N = {0, 0, 1};
  if (std::fabs(N->x) < 1.0 / 64 && std::fabs(N->y) < 1.0 / 64) {
    *Ax = {N->z, 0, -N->x};
  } else {
    *Ax = {-N->y, N->x, 0};
  }
  m_normvect(Ax, Ax, nullptr);
  DFc3v_cross(N, Ax, Ay);
}

void DFdx3_ecs_to_wcs(const Vec3* p, const Vec3* Ax, const Vec3* Ay, const Vec3* Az, Vec3* out) {
  out->x = p->x * Ax->x + p->y * Ay->x + p->z * Az->x;
  out->y = p->x * Ax->y + p->y * Ay->y + p->z * Az->y;
  out->z = p->x * Ax->z + p->y * Ay->z + p->z * Az->z;
}

void RemapPlot(int axis, const Vec3* src, Vec3* out) {
  Vec3 s = *src;
  switch (axis) {
    case 0:
      *out = {s.y, s.z, s.x};
      break;
    case 1:
      *out = {s.z, s.x, s.y};
      break;
    case 2:
      *out = s;
      break;
    default:
      break;
  }
}

std::vector<PlotPoint> ParabolaPoints(double cx, double cy, double cz, double r, double a1,
                                      double a2, double nx, double ny, double nz, int view) {
  std::vector<PlotPoint> points;
  double sweep = a1 <= a2 ? a2 - a1 : 360 - a1 + a2;
  if (view < 0 || view > 2 || !(sweep >= 0 && std::isfinite(sweep))) return points;
  sweep = std::min(sweep, kMaxParabolaSweep);
  double S = sweep * CCDEGTORAD, A = a1 * CCDEGTORAD;
  // The segment count comes from the stored sweep in radians, so some whole sweeps give one
  // segment less than their degrees; the last point still lands on a2.
  int n = static_cast<int>(S / CCDEGTORAD);
  if (n < 1) return points;
  double step = S / n;
  Vec3 N = {nx, ny, nz}, Ax, Ay;
  DFdx3_arb_axis(&N, &Ax, &Ay);
  points.reserve(n + 1);
  for (int i = 0; i <= n; ++i) {
    double t = A + i * step;
    if (t >= 2 * std::numbers::pi) t -= 2 * std::numbers::pi;
    Vec3 p = {cx + r * std::cos(t), cy + r * std::sin(t), cz}, w, q;
    DFdx3_ecs_to_wcs(&p, &Ax, &Ay, &N, &w);
    RemapPlot(view, &w, &q);
    points.push_back({q.x, q.y});
  }
  return points;
}

}  // namespace qx5
