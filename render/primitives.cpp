#include "render/primitives.hpp"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "geometry/arcspace.hpp"
#include "geometry/mapping.hpp"
#include "lib/paths.hpp"
#include "lib/regfile.hpp"
#include "printers/config.hpp"
#include "render/drawsurface.hpp"
#include "render/linedots.hpp"
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
  if (DrawSurface* s = Target())
    s->Arc(left, ytop, w, h, ArcStart(start), ArcExtent(extent), filled);
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

// The largest bitmap file read: far more than the text of a bitmap of a whole page at 600 dots
// per inch; a larger file is skipped rather than copied.
constexpr size_t kBitmapFileMax = 64 << 20;

// Reads an X bitmap file into a pixmap. The file is opened without blocking and only when it
// is a regular file of a file system that holds data (a FIFO, a device or a proc file is
// refused at once); Xlib then reads a copy of it, as long as the file was when opened, through
// the copy's name, so the file checked is the file read and its read ends.
int ReadBitmap(const std::string& path, unsigned& w, unsigned& h, Pixmap& bitmap) {
  const int fd = CopyRegular(path.c_str(), nullptr, kBitmapFileMax);
  if (fd < 0) return BitmapOpenFailed;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  int hotx;
  int hoty;
  const int status =
      XReadBitmapFile(display, drawable, self.c_str(), &w, &h, &bitmap, &hotx, &hoty);
  close(fd);
  return status;
}

// Draws the line between two dots. Ends that fit the request coordinates go to X as they are.
// Beyond that range a zero-width line is drawn as the dots X sets for the whole line on the
// page; a wide line, a polygon in X, is cut to the range along its course, its ends kept
// off the page so that its butt caps stay there too.
void DrawSegment(long long x1, long long y1, long long x2, long long y2) {
  if (CoordFits(x1, y1) && CoordFits(x2, y2)) {
    XDrawLine(display, drawable, gc, static_cast<int>(x1), static_cast<int>(y1),
              static_cast<int>(x2), static_cast<int>(y2));
    return;
  }
  XGCValues v;
  XGetGCValues(display, gc, GCLineWidth, &v);  // kept by Xlib: no round trip
  if (v.line_width == 0) {
    std::vector<XPoint> dots = ZeroLineDots(x1, y1, x2, y2, static_cast<long>(Width) + 1,
                                            static_cast<long>(Height) + 1, CurrentDashes());
    if (!dots.empty())
      XDrawPoints(display, drawable, gc, dots.data(), static_cast<int>(dots.size()),
                  CoordModeOrigin);
  } else if (CutToCoordRange(x1, y1, x2, y2, static_cast<long>(Width) + 1,
                             static_cast<long>(Height) + 1, v.line_width + 2)) {
    XDrawLine(display, drawable, gc, static_cast<int>(x1), static_cast<int>(y1),
              static_cast<int>(x2), static_cast<int>(y2));
  }
}

}  // namespace

void XPixmap::Line(long long x1, long long y1, long long x2, long long y2) {
  DrawSegment(x1, y1, x2, y2);
}

void XPixmap::Arc(long left, long top, long w, long h, int start, int extent, bool filled) {
  if (!BoxFits(left, top, w, h)) return;
  const auto draw = filled ? XFillArc : XDrawArc;
  draw(display, drawable, gc, static_cast<int>(left), static_cast<int>(top),
       static_cast<unsigned>(w), static_cast<unsigned>(h), start, extent);
}

// The rectangle takes the current colour also in black and white, where SetColor sets none.
void XPixmap::Box(long left, long top, long w, long h, bool filled) {
  XSetForeground(display, gc, KolorPixel(cpix));
  const auto draw = filled ? XFillRectangle : XDrawRectangle;
  draw(display, drawable, gc, static_cast<int>(left), static_cast<int>(top),
       static_cast<unsigned>(w), static_cast<unsigned>(h));
}

void MoveTo(double x, double y) {
  Xpos = x;
  Ypos = y;
}

void LineTo(double x, double y) {
  if (DrawSurface* s = Target()) s->Line(Xcomp(Xpos), Ycomp(Ypos), Xcomp(x), Ycomp(y));
  Xpos = x;
  Ypos = y;
}

void DrawArc(double x, double y, double r, int a1, int a2, int fill) {
  if (Target() == nullptr) return;
  const bool full = std::llabs(static_cast<long long>(a2) - a1) > 359;
  CircleRequest(x, y, r, a1 * 64LL, a2 * 64LL, full, fill);
}

void DrawArc2(double x, double y, double r, double a1, double a2, int fill) {
  if (Target() == nullptr) return;
  const bool full = std::fabs(a2 - a1) > 359.0;
  CircleRequest(x, y, r, TruncToInt(a1 * 64), TruncToInt(a2 * 64), full, fill);
}

// Ellipses are outlines whatever their last argument says.
void DrawEllipse(double x, double y, double w, double h, double a1, double a2, int) {
  if (Target() == nullptr) return;
  const bool small = Wcomp(w / 2) < kDashFreeRadius || Hcomp(h / 2) < kDashFreeRadius;
  ArcRequest(x, y, w / 2, h / 2, Wcomp(w), Hcomp(h), TruncToInt(a1 * 64), TruncToInt(a2 * 64),
             false, small);
}

void DrawRectangle(double x, double y, double w, double h, int fill) {
  DrawSurface* s = Target();
  if (s == nullptr) return;
  long width = Wcomp(w);
  long height = Hcomp(h);
  const double top = Utype == kDeviceUnits ? y : y + h;
  long left = Xcomp(x);
  long ytop = Ycomp(top);
  FromOtherCorner(left, width);
  FromOtherCorner(ytop, height);
  if (ClipBox(left, ytop, width, height))
    s->Box(left, ytop, width, height, fill != 0 && Psetup[0] != 0);
}

void DrawParabola(double cx, double cy, double cz, double r, double a1, double a2, double nx,
                  double ny, double nz, int view) {
  if (Target() == nullptr) return;
  const std::vector<PlotPoint> points = ParabolaPoints(cx, cy, cz, r, a1, a2, nx, ny, nz, view);
  if (points.empty()) return;
  MoveTo(points[0].x, points[0].y);
  for (size_t i = 1; i < points.size(); i++) LineTo(points[i].x, points[i].y);
}

void DrawBitmap(const char* file, double x, double y, int fg, int bg) {
  if (DrawSurface* s = Target(); s != nullptr && file != nullptr) s->Bitmap(file, x, y, fg, bg);
}

void XPixmap::Bitmap(const char* file, double x, double y, int fg, int bg) {
  unsigned bw = 0;
  unsigned bh = 0;
  Pixmap bitmap = 0;
  if (ReadBitmap(BitmapPath(file), bw, bh, bitmap) != BitmapSuccess) return;
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
