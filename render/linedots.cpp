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

struct Box {
  long long left, top, right, bottom;  // inclusive
};

// The part of a line with integer ends inside an integer box.
bool Crossing(long long x, long long y, long long dx, long long dy, const Box& box, long double& t0,
              long double& t1) {
  const long double q[4] = {
      static_cast<long double>(x - box.left), static_cast<long double>(box.right - x),
      static_cast<long double>(y - box.top), static_cast<long double>(box.bottom - y)};
  return SegmentInBox(static_cast<long double>(dx), static_cast<long double>(dy), q, t0, t1);
}

constexpr long long kMaxCandidates = 70000;  // more than the range holds along one axis

}  // namespace

bool SegmentInBox(long double dx, long double dy, const long double q[4], long double& t0,
                  long double& t1) {
  const long double p[4] = {-dx, dx, -dy, dy};
  t0 = 0;
  t1 = 1;
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
  return true;
}

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

bool CutToCoordRange(long long& x1, long long& y1, long long& x2, long long& y2, long w, long h,
                     long margin) {
  const long long dx = x2 - x1;
  const long long dy = y2 - y1;
  const Box range = {kCoordMin, kCoordMin, kCoordMax, kCoordMax};
  const Box page = {std::max(kCoordMin, -static_cast<long long>(margin)),
                    std::max(kCoordMin, -static_cast<long long>(margin)),
                    std::min(kCoordMax, w - 1 + static_cast<long long>(margin)),
                    std::min(kCoordMax, h - 1 + static_cast<long long>(margin))};
  long double in0, in1, on0, on1;
  if (!Crossing(x1, y1, dx, dy, range, in0, in1)) return false;
  if (!Crossing(x1, y1, dx, dy, page, on0, on1)) return false;  // nothing of it on the page
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const long long major = xMajor ? dx : dy;
  const long long a = xMajor ? x1 : y1;  // the first end, along the major axis
  const long long b = xMajor ? y1 : x1;
  const long long minor = xMajor ? dy : dx;
  // The dot nearest to the line's course among those between the range edge at parameter
  // `edge` and the page (with its margin) at `page`.
  const auto nearest = [&](long double edge, long double pageAt, long long& px, long long& py) {
    const long long step = (major > 0) == (pageAt > edge) ? 1 : -1;
    const long long from = std::llround(a + edge * major);
    const long long to = std::llround(a + pageAt * major);
    const long long d = std::llabs(major);
    Wide best = -1;
    for (long long m = from, n = 0; (m - to) * step <= 0 && n < kMaxCandidates; m += step, ++n) {
      const Wide num = Wide{m - a} * minor * (major > 0 ? 1 : -1);  // minor offset times d
      const Wide r = FloorDiv(2 * num + d, Wide{2} * d);            // to the nearest dot
      const Wide miss = num - r * d < 0 ? r * d - num : num - r * d;
      const long long c = b + static_cast<long long>(r);
      const long long cx = xMajor ? m : c;
      const long long cy = xMajor ? c : m;
      if (!CoordFits(cx, cy) || (best >= 0 && miss >= best)) continue;
      best = miss;
      px = cx;
      py = cy;
    }
    return best >= 0;
  };
  long long sx = x1, sy = y1, ex = x2, ey = y2;
  if (in0 > 0 && !nearest(in0, on0, sx, sy)) {
    sx = std::llround(x1 + in0 * dx);
    sy = std::llround(y1 + in0 * dy);
  }
  if (in1 < 1 && !nearest(in1, on1, ex, ey)) {
    ex = std::llround(x1 + in1 * dx);
    ey = std::llround(y1 + in1 * dy);
  }
  x1 = sx;
  y1 = sy;
  x2 = ex;
  y2 = ey;
  return true;
}

}  // namespace qx5
