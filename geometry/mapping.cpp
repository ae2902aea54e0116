#include "geometry/mapping.hpp"

#include <climits>
#include <cmath>
#include <utility>

#include "driver/plotrequest.hpp"
#include "printers/config.hpp"
#include "printers/paper.hpp"
#include "render/plottext.hpp"
#include "render/primitives.hpp"
#include "render/surface.hpp"

namespace qx5 {

int DevType = 0;
int Utype = 0;
double xScale = 1.0, yScale = 1.0;
double Xoff = 0, Yoff = 0;
double DxOff = 0, DyOff = 0;
int RW = 0, RH = 0;
double XINWIDE = 0, YINHIGH = 0;
double XWIDE = 0, YHIGH = 0;
double XMMWIDE = 0, YMMHIGH = 0;
double XINSCALE = 0, YINSCALE = 0;
double XMMSCALE = 0, YMMSCALE = 0;
double E_XMULT = 1.2, E_YMULT = 0.75;
uint32_t Width = 0, Height = 0;
double RevY = 0;
int Psetup[3] = {0, 0, 0};

void SetDevtype(int t) {
  DevType = t;
}
void SetUtype(int u) {
  Utype = u;
}

void ScalePlot(double sx, double sy) {
  xScale = sx;
  yScale = sy;
}

void SetOffsets(double ox, double oy) {
  Xoff = ox;
  Yoff = oy;
}

void SetDataOffsets(double dx, double dy) {
  DxOff = dx;
  DyOff = dy;
}

int ScaleRange(double x0, double x1, double y0, double y1) {
  double dx = x1 - x0, dy = y1 - y0;
  if (!(dx != 0) || !(dy != 0)) return 1;  // an empty (or undefined) span has no scale
  xScale = RW / dx;
  yScale = RH / dy;
  Xoff = -x0;
  Yoff = -y0;
  return 0;
}

void PlotSetup(int a, int b, int c) {
  Psetup[0] = a;
  Psetup[1] = b;
  Psetup[2] = c;
}

void InitValues() {
  Xpos = Ypos = 0;
  Xoff = Yoff = 0;
  DxOff = DyOff = 0;
  xScale = yScale = 1.0;
  PlotSetup(0, 1, 1);
  Wide = 1;
  Style = 0;
  XStyle = 0;
  cpix = 2;
  curfont[0] = '\0';
}

void Aspect() {
  if (!initialized) {
    XINSCALE = YINSCALE = XMMSCALE = YMMSCALE = 1.0;
    return;
  }
  XINWIDE = PAPERwIN - PAPERwun;
  YINHIGH = PAPERhIN - PAPERhun;
  XWIDE = SETUPxdpi * XINWIDE;
  YHIGH = SETUPydpi * YINHIGH;
  XMMWIDE = XINWIDE * 25.4;
  YMMHIGH = YINHIGH * 25.4;
  if (DevType == 3) {
    E_XMULT = 1.2;
    E_YMULT = 0.75;
  }
  if (rot) {
    std::swap(XWIDE, YHIGH);
    std::swap(XINWIDE, YINHIGH);
    XMMWIDE = XINWIDE * 25.4;
    YMMHIGH = YINHIGH * 25.4;
    std::swap(E_XMULT, E_YMULT);
  }
  YINSCALE = YHIGH / YINHIGH;
  YMMSCALE = YHIGH / YMMHIGH;
  XINSCALE = XWIDE / XINWIDE;
  XMMSCALE = XWIDE / XMMWIDE;
}

namespace {

// Largest side of the surface in dots: an X pixmap can be at most 32767 pixels a side.
constexpr double kMaxSide = 32767;

// One side of the fitted surface: the largest dot index, truncated, limited to the printable
// page on single-sheet feed. Negative when the side is unusable.
double FittedSide(uint32_t dots, double gsf, double page) {
  double side = std::trunc(dots * gsf);
  if (SETUPfeed == 0 && side > std::trunc(page)) side = std::trunc(page);
  return side >= 0 && side + 1 <= kMaxSide ? side : -1;
}

}  // namespace

// Every check is made before anything is changed: a rejected window leaves the mapping, the
// page-fitting factor and the surface size as they were.
int UseGSF(double w, double h) {
  int wdots = Wcomp(w), hdots = Hcomp(h);
  if (wdots < 0 || hdots < 0) return 1;
  uint32_t width = static_cast<uint32_t>(wdots) + 1, height = static_cast<uint32_t>(hdots) + 1;
  double gsf = GSF;
  if (gsf == 0) {
    double a = width / XWIDE, b = height / YHIGH;
    gsf = a >= b ? 1 / a : 1 / b;
  }
  if (!std::isfinite(gsf) || !(gsf > 0)) return 1;
  double fw = FittedSide(width, gsf, XWIDE), fh = FittedSide(height, gsf, YHIGH);
  if (fw < 0 || fh < 0) return 1;
  GSF = gsf;
  YINSCALE *= gsf;
  YMMSCALE *= gsf;
  XINSCALE *= gsf;
  XMMSCALE *= gsf;
  Width = static_cast<uint32_t>(fw);
  Height = static_cast<uint32_t>(fh);
  return 0;
}

int dround(double v) {
  double r = v < 0 ? v - 0.5 : v + 0.5;
  if (std::isnan(r)) return 0;
  if (r >= 2147483648.0) return INT_MAX;
  if (r <= -2147483649.0) return INT_MIN;
  return static_cast<int>(r);
}

namespace {

// Dots per plot unit along each axis for the current unit system.
double XDotsPerUnit() {
  switch (Utype) {
    case 1:
      return XINSCALE;
    case 0:
      return XMMSCALE;
    default:
      return DevType == 3 ? E_XMULT : 1.0;
  }
}

double YDotsPerUnit() {
  switch (Utype) {
    case 1:
      return YINSCALE;
    case 0:
      return YMMSCALE;
    default:
      return DevType == 3 ? E_YMULT : 1.0;
  }
}

}  // namespace

int Xcomp(double x) {
  return dround(((x - DxOff) * xScale + Xoff) * XDotsPerUnit());
}

// Inches and millimetres count up from the bottom row, except on device type 2; device pixels
// always count down from the top.
int Ycomp(double y) {
  double v = ((y - DyOff) * yScale + Yoff) * YDotsPerUnit();
  bool reversed = (Utype == 0 || Utype == 1) && DevType != 2;
  return dround(reversed ? RevY - v : v);
}

int Wcomp(double w) {
  return dround(w * xScale * XDotsPerUnit());
}
int Hcomp(double h) {
  return dround(h * yScale * YDotsPerUnit());
}

}  // namespace qx5
