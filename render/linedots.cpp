#include "render/linedots.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace qx5 {

namespace {

using Wide = __int128;  // products of two ends' differences need up to 66 bits

// Floor of a / b for b > 0.
Wide FloorDiv(Wide a, Wide b) {
  Wide q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}

// Whether step k of a line falls on an "on" length of its dash pattern.
bool DashOn(const DashPattern& dash, long long k) {
  const long long total = std::accumulate(dash.lengths.begin(), dash.lengths.end(), 0LL);
  if (total <= 0) return true;
  long long at = ((dash.offset + k) % total + total) % total;
  for (size_t i = 0; i < dash.lengths.size(); ++i) {
    if (at < dash.lengths[i]) return i % 2 == 0;
    at -= dash.lengths[i];
  }
  return true;
}

}  // namespace

bool CoordFits(long long x, long long y) {
  return x >= kCoordMin && x <= kCoordMax && y >= kCoordMin && y <= kCoordMax;
}

std::vector<XPoint> ZeroLineDots(long long x1, long long y1, long long x2, long long y2, long w,
                                 long h, const DashPattern& dash) {
  std::vector<XPoint> dots;
  const long long dx = x2 - x1;
  const long long dy = y2 - y1;
  const bool xMajor = std::llabs(dx) > std::llabs(dy);
  const long long major = std::llabs(xMajor ? dx : dy);
  const long long minor = std::llabs(xMajor ? dy : dx);
  const int stepMajor = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int stepMinor = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const long long startMajor = xMajor ? x1 : y1;
  const long long startMinor = xMajor ? y1 : x1;
  const long long extMajor = xMajor ? w : h;
  const long long extMinor = xMajor ? h : w;
  // The steps whose major coordinate lies in the box: at most one per dot across it.
  long long first = stepMajor > 0 ? -startMajor : startMajor - (extMajor - 1);
  long long last = stepMajor > 0 ? extMajor - 1 - startMajor : startMajor;
  first = std::max(first, 0LL);
  last = std::min(last, major);
  for (long long k = first; k <= last; ++k) {
    const Wide n = major == 0 ? 0 : FloorDiv(Wide{2} * minor * k + major, Wide{2} * major);
    const Wide m = startMinor + stepMinor * n;
    if (m < 0 || m >= extMinor || !DashOn(dash, k)) continue;
    const long long a = startMajor + stepMajor * k;
    const auto b = static_cast<long long>(m);
    dots.push_back({static_cast<short>(xMajor ? a : b), static_cast<short>(xMajor ? b : a)});
  }
  return dots;
}

bool ClipToCoordRange(long long& x1, long long& y1, long long& x2, long long& y2) {
  // Liang-Barsky: each edge of the range as p * t <= q.
  const long double dx = static_cast<long double>(x2) - x1;
  const long double dy = static_cast<long double>(y2) - y1;
  const long double p[4] = {-dx, dx, -dy, dy};
  const long double q[4] = {
      static_cast<long double>(x1) - kCoordMin, static_cast<long double>(kCoordMax) - x1,
      static_cast<long double>(y1) - kCoordMin, static_cast<long double>(kCoordMax) - y1};
  long double t0 = 0;
  long double t1 = 1;
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const long double t = q[i] / p[i];
    if (p[i] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  const auto at = [](long long a, long double d, long double t) {
    return std::clamp(std::llround(a + t * d), kCoordMin, kCoordMax);
  };
  const long long sx = x1;
  const long long sy = y1;
  if (t0 > 0) {
    x1 = at(sx, dx, t0);
    y1 = at(sy, dy, t0);
  }
  if (t1 < 1) {
    x2 = at(sx, dx, t1);
    y2 = at(sy, dy, t1);
  }
  return true;
}

}  // namespace qx5
