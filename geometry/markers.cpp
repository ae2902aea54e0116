#include "geometry/markers.hpp"

#include "geometry/mapping.hpp"
#include "render/primitives.hpp"
#include "render/surface.hpp"

namespace qx5 {

namespace {

constexpr double kDefaultSize = -1.0;

// Half of a marker side: the unit system's default for -1.0, else half the given size.
double HalfSize(double size) {
  if (size != kDefaultSize) return size / 2;
  switch (Utype) {
    case 1:
      return 0.0625;  // 1/8 inch
    case 0:
      return 2.0;  // 4 mm
    default:
      return 3.0;  // 6 dots
  }
}

// One stroke list: a move to the first point, then lines through the rest.
struct Stroke {
  int count;
  double pts[5][2];  // multiples of (hw, hh) from the centre
};

void DrawStroke(const Stroke& s, double x, double y, double hw, double hh) {
  MoveTo(x + s.pts[0][0] * hw, y + s.pts[0][1] * hh);
  for (int i = 1; i < s.count; i++) LineTo(x + s.pts[i][0] * hw, y + s.pts[i][1] * hh);
}

const Stroke kDot = {2, {{0, 0}, {0, 0}}};
const Stroke kCaret = {3, {{-1, -1}, {0, 0}, {1, -1}}};
const Stroke kVee = {3, {{-1, 1}, {0, 0}, {1, 1}}};
const Stroke kRising = {2, {{-1, -1}, {1, 1}}};
const Stroke kFalling = {2, {{1, -1}, {-1, 1}}};
const Stroke kAcross = {2, {{-1, 0}, {1, 0}}};
const Stroke kUpright = {2, {{0, -1}, {0, 1}}};
const Stroke kSquare = {5, {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {-1, -1}}};

// The strokes of each marker type 1 to 7, in drawing order.
const Stroke* const kMarkers[7][4] = {
    {&kDot},
    {&kCaret},
    {&kVee},
    {&kRising, &kFalling},
    {&kRising, &kFalling, &kAcross, &kUpright},
    {&kAcross, &kUpright},
    {&kSquare},
};

}  // namespace

void Symbol(int type, double x, double y, int scaled, double width, double height) {
  double hw = HalfSize(width);
  double hh = HalfSize(height);
  // Unscaled markers keep their size whatever the plot scale; a zero scale leaves it as given.
  if (scaled == 0) {
    if (xScale != 0.0) hw /= xScale;
    if (yScale != 0.0) hh /= yScale;
  }
  const int saved = Style;
  SetLineStyle(0);
  if (type >= 1 && type <= 7) {
    for (const Stroke* s : kMarkers[type - 1]) {
      if (s != nullptr) DrawStroke(*s, x, y, hw, hh);
    }
  }
  MoveTo(x, y);
  SetLineStyle(saved);
}

}  // namespace qx5
