// Lines whose ends lie beyond the signed 16-bit coordinates that X requests carry: the dots X
// sets for such a line, computed here the way the server rasterises lines.
#pragma once
#include <X11/Xlib.h>

#include <vector>

namespace qx5 {

inline constexpr long long kCoordMin = -32768;  // signed 16-bit request coordinates
inline constexpr long long kCoordMax = 32767;

// The dash pattern of a line: the first on/off lengths start at offset at the line's first
// end. Empty lengths: a solid line.
struct DashPattern {
  int offset = 0;
  std::vector<int> lengths;
};

// Liang-Barsky: the parameters t0 <= t1 in [0, 1] between which the point (x, y) + t (dx, dy)
// lies in a box, given as q: x - left, right - x, y - top, bottom - y. False when it never does.
bool SegmentInBox(long double dx, long double dy, const long double q[4], long double& t0,
                  long double& t1);

// True when the point can travel in an X request as it is.
bool CoordFits(long long x, long long y);

// The dots of X's zero-width line from (x1, y1) to (x2, y2), both ends included, that lie in
// the box 0..w-1 by 0..h-1. The server steps one dot at a time along the major axis (x when
// |dx| > |dy|, else y) and after k steps is round(k * minor / major) dots along the other,
// halves rounded away from the first end; a dashed line sets the dots of step k whose place
// in the pattern, offset + k, falls in an "on" length. Exact for any int ends.
std::vector<XPoint> ZeroLineDots(long long x1, long long y1, long long x2, long long y2, long w,
                                 long h, const DashPattern& dash);

// Cuts a segment with an end beyond the request coordinates to that range, for a wide line
// (X draws those as polygons from the ends). A cut end becomes the dot nearest to the line's
// course among those between the range edge and the w by h page grown by margin, so that the
// shorter line keeps the course across the page (exactly when a dot lies on it); with no dot
// there, the point where the course leaves the range, rounded. False when the line never
// comes near the page: nothing of it is to be drawn.
bool CutToCoordRange(long long& x1, long long& y1, long long& x2, long long& y2, long w, long h,
                     long margin);

}  // namespace qx5
