#include "render/primitives.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "geometry/arcspace.hpp"
#include "geometry/mapping.hpp"
#include "lib/paths.hpp"
#include "printers/config.hpp"
#include "render/surface.hpp"

namespace qx5 {
double Xpos = 0, Ypos = 0;

namespace {

constexpr int kDashFreeRadius = 30;  // arcs of a smaller radius in dots are drawn solid
constexpr long long kFullTurn = 360 * 64;
constexpr int kDeviceUnits = 2;

// X angles travel as 16-bit values: the start is taken modulo a full turn and the extent
// limited to one turn, which is what the server makes of them anyway.
int ArcStart(long long a64) {
  return static_cast<int>(a64 % kFullTurn);
}
int ArcExtent(long long a64) {
  return static_cast<int>(std::clamp(a64, -kFullTurn, kFullTurn));
}

// Draws the arc of the box whose plot centre is (x, y) and whose plot half-sides are rx, ry;
// a small arc is drawn with solid lines, and the line style is restored afterwards.
void ArcRequest(double x, double y, double rx, double ry, long w, long h, long long start,
                long long extent, bool filled, bool small) {
  const double top = Utype == kDeviceUnits ? y - ry : y + ry;
  const long left = Xcomp(x - rx);
  const long ytop = Ycomp(top);
  const int saved = Style;
  if (small) SetLineStyle(0);
  if (SurfaceReady() && BoxFits(left, ytop, w, h)) {
    const auto draw = filled ? XFillArc : XDrawArc;
    draw(display, drawable, gc, static_cast<int>(left), static_cast<int>(ytop),
         static_cast<unsigned>(w), static_cast<unsigned>(h), ArcStart(start), ArcExtent(extent));
  }
  if (SurfaceReady()) XFlush(display);
  if (small) SetLineStyle(saved);
}

// A circle is small by its radius in x; full circles and arcs have their own fill switches.
void CircleRequest(double x, double y, double r, long long start, long long extent, bool full,
                   int fill) {
  const int fillSwitch = full ? Psetup[1] : Psetup[2];
  ArcRequest(x, y, r, r, Wcomp(2 * r), Hcomp(2 * r), start, extent, fill != 0 && fillSwitch != 0,
             Wcomp(r) < kDashFreeRadius);
}

// Bitmap files under the system tree are taken under the installation root.
std::string BitmapPath(const char* file) {
  const std::string name(file);
  return name.rfind("/u/", 0) == 0 ? RootPath(name) : name;
}

}  // namespace

void MoveTo(double x, double y) {
  Xpos = x;
  Ypos = y;
}

void LineTo(double x, double y) {
  if (SurfaceReady()) {
    double x1 = Xcomp(Xpos);
    double y1 = Ycomp(Ypos);
    double x2 = Xcomp(x);
    double y2 = Ycomp(y);
    if (ClipSegment(x1, y1, x2, y2))
      XDrawLine(display, drawable, gc, static_cast<int>(x1), static_cast<int>(y1),
                static_cast<int>(x2), static_cast<int>(y2));
    XFlush(display);
  }
  Xpos = x;
  Ypos = y;
}

void DrawArc(double x, double y, double r, int a1, int a2, int fill) {
  if (!SurfaceReady()) return;
  const bool full = std::llabs(static_cast<long long>(a2) - a1) > 359;
  CircleRequest(x, y, r, a1 * 64LL, a2 * 64LL, full, fill);
}

void DrawArc2(double x, double y, double r, double a1, double a2, int fill) {
  if (!SurfaceReady()) return;
  const bool full = std::fabs(a2 - a1) > 359.0;
  CircleRequest(x, y, r, TruncToInt(a1 * 64), TruncToInt(a2 * 64), full, fill);
}

// Ellipses are outlines whatever their last argument says.
void DrawEllipse(double x, double y, double w, double h, double a1, double a2, int) {
  if (!SurfaceReady()) return;
  const bool small = Wcomp(w / 2) < kDashFreeRadius || Hcomp(h / 2) < kDashFreeRadius;
  ArcRequest(x, y, w / 2, h / 2, Wcomp(w), Hcomp(h), TruncToInt(a1 * 64), TruncToInt(a2 * 64),
             false, small);
}

void DrawRectangle(double x, double y, double w, double h, int fill) {
  if (!SurfaceReady()) return;
  long width = Wcomp(w);
  long height = Hcomp(h);
  const double top = Utype == kDeviceUnits ? y : y + h;
  XSetForeground(display, gc, KolorPixel(cpix));
  long left = Xcomp(x);
  long ytop = Ycomp(top);
  if (ClipBox(left, ytop, width, height)) {
    const auto draw = fill != 0 && Psetup[0] != 0 ? XFillRectangle : XDrawRectangle;
    draw(display, drawable, gc, static_cast<int>(left), static_cast<int>(ytop),
         static_cast<unsigned>(width), static_cast<unsigned>(height));
  }
  XFlush(display);
}

void DrawParabola(double cx, double cy, double cz, double r, double a1, double a2, double nx,
                  double ny, double nz, int view) {
  if (!SurfaceReady()) return;
  const std::vector<PlotPoint> points = ParabolaPoints(cx, cy, cz, r, a1, a2, nx, ny, nz, view);
  if (points.empty()) return;
  MoveTo(points[0].x, points[0].y);
  for (size_t i = 1; i < points.size(); i++) LineTo(points[i].x, points[i].y);
}

void DrawBitmap(const char* file, double x, double y, int fg, int bg) {
  if (!SurfaceReady() || file == nullptr) return;
  unsigned bw = 0;
  unsigned bh = 0;
  Pixmap bitmap = 0;
  int hotx;
  int hoty;
  if (XReadBitmapFile(display, drawable, BitmapPath(file).c_str(), &bw, &bh, &bitmap, &hotx,
                      &hoty) != BitmapSuccess)
    return;
  if (SETUPcolor) {
    XSetForeground(display, gc, KolorPixel(fg));
    XSetBackground(display, gc, KolorPixel(bg));
  }
  const long left = Xcomp(x);
  const long top = Utype == kDeviceUnits ? Ycomp(y) : Ycomp(y) - static_cast<long>(bh);
  long dx = left;
  long dy = top;
  long w = bw;
  long h = bh;
  if (ClipBox(dx, dy, w, h))
    XCopyPlane(display, bitmap, drawable, gc, static_cast<int>(dx - left),
               static_cast<int>(dy - top), static_cast<unsigned>(w), static_cast<unsigned>(h),
               static_cast<int>(dx), static_cast<int>(dy), 1);
  if (SETUPcolor) {
    XSetForeground(display, gc, KolorPixel(cpix));
    XSetBackground(display, gc, BlackPixel(display, screen));
  }
  XFreePixmap(display, bitmap);
}

}  // namespace qx5
