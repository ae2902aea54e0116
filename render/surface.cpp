#include "render/surface.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "driver/devout.hpp"
#include "geometry/mapping.hpp"
#include "lib/message.hpp"
#include "lib/stop.hpp"
#include "printers/codefile.hpp"
#include "printers/config.hpp"
#include "render/drawsurface.hpp"
#include "render/plotfonts.hpp"
#include "render/vectors.hpp"
#include "render/xwait.hpp"

namespace qx5 {
int initialized = 0;
Display* display = nullptr;
int screen = 0;
Window window = 0;
Pixmap drawable = 0;
GC gc = nullptr;
XImage* image = nullptr;
int cpix = 2;
const unsigned long Kolor[150] = {0,   0, 255, 251, 249, 10,  252, 11,
                                  254, 0, 0,   255, 251, 249, 10,  252};
const int KolorCt = 8;
int Style = 0;
int XStyle = 0;
int Wide = 1;
int dash_offset1 = 1;
int dash_list1 = 1026;
int dash_offset2 = 2;
int dash_list2 = 2052;

namespace {

constexpr unsigned kWindowSide = 2000;
constexpr long kProtoSize = 65535;  // unsigned 16-bit sizes
constexpr long kSafeMargin = 8192;  // far beyond any line width or glyph of a plot
constexpr int kMaxLineWidth = 32767;
constexpr auto kOpenPause = std::chrono::milliseconds(20);      // between display opens
constexpr auto kOpenPatience = std::chrono::milliseconds(500);  // all display opens together
// A pixmap is kept for the next plot up to this size in the server; a larger one is freed
// when its plot ends, so that one huge plot does not hold the server's memory for good.
constexpr unsigned long long kKeptPixmapBytes = 64ULL << 20;

int xErrorCode = 0;                 // first X error since the last SurfaceSync
bool lost = false;                  // the connection of the current plot is gone
bool probing = false;               // the kept connection is being checked: a dead one is replaced
bool surfaceFailed = false;         // the last InitPlot failed for want of an X surface
unsigned pixmapW = 0, pixmapH = 0;  // the size and depth drawable was made with
int pixmapDepth = 0;

int RecordXError(Display*, XErrorEvent* ev) {
  if (xErrorCode == 0) xErrorCode = ev->error_code;
  return 0;
}

const char* DisplayName() {
  const char* name = std::getenv("DISPLAY");
  return name != nullptr ? name : "";
}

int ReportIOError(Display* d) {
  if (d != display) return 0;
  lost = true;
  if (ExpiredWait() != nullptr) {
    Say("ERROR: %s: X display %s: no answer from the X server while %s, given up after %d "
        "seconds; the connection is dropped\n",
        XEQNAME, DisplayString(d), ExpiredWait(), ExpiredWaitSeconds());
  } else if (!probing) {
    Say("ERROR: %s: X connection lost\n", XEQNAME);
  }
  return 0;
}

int InitFailed(const char* why) {
  Say("ERROR: %s: %s\n", XEQNAME, why);
  return -1;
}

// The X server did not give the plot a surface.
int NoSurface() {
  surfaceFailed = true;
  return -1;
}

void SetDashes(int offset, int list) {
  const char dashes[2] = {static_cast<char>(list & 0xFF), static_cast<char>((list >> 8) & 0xFF)};
  XSetDashes(display, gc, offset, dashes, 2);
}

struct Area {
  long left, top, right, bottom;  // inclusive
};

Area SafeArea() {
  return {-kSafeMargin, -kSafeMargin,
          std::min(static_cast<long>(kCoordMax), static_cast<long>(Width) + kSafeMargin),
          std::min(static_cast<long>(kCoordMax), static_cast<long>(Height) + kSafeMargin)};
}

// Opens the display named by DISPLAY. A busy server refuses or resets a few connections at
// once, so a failed open is tried again after short pauses, for half a second at most; a
// server that did not answer in time is not tried again.
Display* OpenDisplay() {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    Display* d = OpenDisplayBounded();
    if (d != nullptr || ExpiredWait() != nullptr) return d;
    if (std::chrono::steady_clock::now() - start + kOpenPause > kOpenPatience) return nullptr;
    std::this_thread::sleep_for(kOpenPause);
  }
}

// The lines of a display that could not be opened: the one the log has always shown, then
// which display it was and what to do.
void NoDisplay() {
  Say("ERROR: %s: cannot open X display\n", XEQNAME);
  if (ExpiredWait() != nullptr) {
    Say("ERROR: %s: X display %s: no answer from the X server while %s, given up after %d "
        "seconds\n",
        XEQNAME, DisplayName(), ExpiredWait(), ExpiredWaitSeconds());
  } else if (std::getenv("DISPLAY") == nullptr) {
    Say("ERROR: %s: DISPLAY is not set: plots need an X server; start one (for example "
        "\"Xvfb :7 -nolisten tcp\") and set DISPLAY=:7 in the driver's environment\n",
        XEQNAME);
  } else {
    Say("ERROR: %s: no X server answers on display \"%s\" (DISPLAY): start one there (for "
        "example \"Xvfb %s -nolisten tcp\") or set DISPLAY in the driver's environment to a "
        "running one\n",
        XEQNAME, DisplayName(), DisplayName());
  }
}

// Frees what one plot made on the connection: its font table, GC and image. The connection,
// its window and the pixmap stay for the next plot.
void ReleasePlot() {
  ClosePlotFonts();
  if (gc != nullptr) XFreeGC(display, gc);
  if (image != nullptr) XDestroyImage(image);
  gc = nullptr;
  image = nullptr;
  initialized = 0;
}

void FreePixmap() {
  if (drawable != 0) XFreePixmap(display, drawable);
  drawable = 0;
  pixmapW = pixmapH = 0;
  pixmapDepth = 0;
}

// Closes the connection and forgets everything made on it. On a connection that broke Xlib
// sends nothing more and only frees its memory.
void DropDisplay() {
  ReleasePlot();
  if (display != nullptr) {
    DropFontCache();
    FreePixmap();
    XWait wait(display, "closing the connection");
    XCloseDisplay(display);
  }
  display = nullptr;
  window = 0;
  lost = false;
}

// The kept connection when it still answers, else a new one; false (with the lines) when
// there is none. A kept connection whose server went away between plots is replaced without a
// word; one whose server does not answer fails the plot and is dropped.
bool UseDisplay() {
  if (display != nullptr) {
    probing = true;
    SurfaceSync();
    probing = false;
    if (!lost) return true;
    const bool reported = ExpiredWait() != nullptr;
    DropDisplay();
    if (reported) return false;  // the line naming the display and the wait is out
  }
  ForgetExpiredWait();
  XSetErrorHandler(RecordXError);
  XSetIOErrorHandler(ReportIOError);
  display = OpenDisplay();
  if (display == nullptr) {
    NoDisplay();
    return false;
  }
  WatchFlushes(display);
  screen = DefaultScreen(display);
  window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, kWindowSide, kWindowSide,
                               0, BlackPixel(display, screen), WhitePixel(display, screen));
  return true;
}

// The pixmap for the page: the kept one while it has the page's size and depth, else a new
// one. 0, or -1 with the message when the server refused it.
int UsePixmap(int depth) {
  if (drawable != 0 && pixmapW == Width + 1 && pixmapH == Height + 1 && pixmapDepth == depth)
    return 0;
  FreePixmap();
  xErrorCode = 0;
  const Pixmap p = XCreatePixmap(display, window, Width + 1, Height + 1, depth);
  const int refused = SurfaceSync();
  if (refused != 0) {
    if (refused < 0) return -1;  // the connection message is out already
    Say("ERROR: %s: the X server refused a plot surface of %u x %u dots\n", XEQNAME, Width + 1,
        Height + 1);
    return -1;
  }
  drawable = p;
  pixmapW = Width + 1;
  pixmapH = Height + 1;
  pixmapDepth = depth;
  Window root;
  int x, y;
  unsigned w, h, border, d;
  XWait wait(display, "waiting for a round trip");
  if (!XGetGeometry(display, drawable, &root, &x, &y, &w, &h, &border, &d)) {
    Say("XGetGeo error\n");
    return -1;
  }
  return 0;
}

}  // namespace

int TruncToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v <= -2147483648.0) return -2147483647 - 1;
  if (v >= 2147483647.0) return 2147483647;
  return static_cast<int>(v);
}

unsigned long KolorPixel(int n) {
  constexpr int kEntries = sizeof Kolor / sizeof Kolor[0];
  return Kolor[std::clamp(n, 0, kEntries - 1)];
}

DashPattern CurrentDashes() {
  if (XStyle != LineOnOffDash) return {};
  const int offset = Style == 2 ? dash_offset2 : dash_offset1;
  const int list = Style == 2 ? dash_list2 : dash_list1;
  return {offset, {list & 0xFF, (list >> 8) & 0xFF}};
}

bool DisplayLost() {
  return lost;
}

// A WINDOW that failed half-way leaves initialized set but no pixmap or GC to draw with.
bool SurfaceReady() {
  return initialized && display != nullptr && !lost && drawable != 0 && gc != nullptr;
}

bool SurfaceAnswering() {
  // Xlib makes a round trip of its own once some 61,000 requests have gone unanswered, and
  // waits for it inside a drawing call, where the watchdog takes a socket that can be written
  // to for progress: a server that stopped at that moment would hold the driver for ever. The
  // driver makes its own round trip, bounded, long before.
  constexpr unsigned long kUnansweredRequests = 32768;
  if (!SurfaceReady()) return false;
  if (NextRequest(display) - LastKnownRequestProcessed(display) < kUnansweredRequests) return true;
  {
    XWait wait(display, "waiting for a round trip");
    XSync(display, False);
  }
  return SurfaceReady();
}

int SurfaceSync() {
  if (display == nullptr || lost) return -1;
  {
    XWait wait(display, probing ? "checking the connection" : "waiting for a round trip");
    XSync(display, False);
  }
  if (lost) return -1;
  const int code = xErrorCode;
  xErrorCode = 0;
  return code;
}

bool SurfaceFailed() {
  return surfaceFailed;
}

int InitPlot(double, double, double width, double height) {
  if (VectorPlots()) return InitVectorPlot(width, height);  // no X connection at all
  ReleasePlot();  // a second WINDOW replaces the first surface
  surfaceFailed = false;
  if (lost) return NoSurface();  // the connection broke earlier in this plot: it has failed
  Width = kWindowSide;
  Height = kWindowSide;
  RH = TruncToInt(height);
  RW = TruncToInt(width);
  if (!UseDisplay()) return NoSurface();
  InitValues();
  initialized = 1;
  Aspect();
  if (UseGSF(width, height) != 0) return InitFailed("the plot window has no usable size");
  RevY = Height;
  if (Width >= kProtoSize || Height >= kProtoSize)
    return InitFailed("the plot window is too large for an X pixmap");
  const int depth = SETUPcolor ? XDefaultDepth(display, screen) : 1;
  if (UsePixmap(depth) != 0) return NoSurface();
  // A new GC starts from the protocol's defaults, whatever the last plot left in its own.
  gc = XCreateGC(display, drawable, 0, nullptr);
  XSetClipMask(display, gc, None);
  XSetSubwindowMode(display, gc, IncludeInferiors);
  XSetForeground(display, gc, BlackPixel(display, screen));
  XFillRectangle(display, drawable, gc, 0, 0, Width + 1, Height + 1);
  XSetForeground(display, gc, WhitePixel(display, screen));
  XSetBackground(display, gc, BlackPixel(display, screen));
  return 0;
}

void ClosePlot() {
  CloseVectorPlot();
  ReleasePlot();
  const unsigned long long pixmapBytes =
      static_cast<unsigned long long>(pixmapW) * pixmapH * static_cast<unsigned>(pixmapDepth) / 8;
  if (lost)
    DropDisplay();
  else if (pixmapBytes > kKeptPixmapBytes)
    FreePixmap();
  xErrorCode = 0;
  EndFlushWatch();
}

void ClosePlotDisplay() {
  // Past a stop signal's grace the server is not waited for: the process ends, and the
  // connection with it.
  if (StopGraceOver(ALARM_SEC)) return;
  DropDisplay();
}

void SetColor(int colour) {
  if (SETUPcolor == 0) return;
  if (colour > KolorCt) colour = KolorCt;
  if (colour <= 2) colour = 7;  // 0, 1, 2 and negative numbers
  if (colour == cpix) return;
  cpix = colour;
  if (DrawSurface* s = Target()) s->Colour(colour);
}

void XPixmap::Colour(int colour) {
  XSetForeground(display, gc, KolorPixel(colour));
}

void SetLineStyle(int style) {
  if (style == Style || style < 0 || style > 2) return;
  Style = style;
  XStyle = style == 0 ? LineSolid : LineOnOffDash;
  if (DrawSurface* s = Target()) s->LineStyle(style);
}

void XPixmap::LineStyle(int style) {
  if (style == 1)
    SetDashes(dash_offset1, dash_list1);
  else if (style == 2)
    SetDashes(dash_offset2, dash_list2);
  XSetLineAttributes(display, gc, Wide, XStyle, CapButt, JoinMiter);
}

// Widths are dots; a negative width means the thinnest line.
void SetLineWidth(int width) {
  width = std::clamp(width, 0, kMaxLineWidth);
  if (width == Wide) return;
  Wide = width;
  if (DrawSurface* s = Target()) s->LineWidth(width);
}

void XPixmap::LineWidth(int width) {
  XSetLineAttributes(display, gc, width, XStyle, CapButt, JoinMiter);
}

void SetClip(double x, double y, double w, double h) {
  DrawSurface* s = Target();
  if (s == nullptr) return;
  long left = Xcomp(x);
  long top = Ycomp(y + h);
  long width = Wcomp(w);
  long height = Hcomp(h);
  FromOtherCorner(left, width);
  FromOtherCorner(top, height);
  width += 1;  // the clip takes the dots of both edges
  height += 1;
  // A clip wholly off the page lets nothing through.
  if (ClipBox(left, top, width, height))
    s->Clip(left, top, width, height);
  else
    s->Clip(0, 0, 0, 0);
}

void XPixmap::Clip(long left, long top, long w, long h) {
  XRectangle r = {static_cast<short>(left), static_cast<short>(top), static_cast<unsigned short>(w),
                  static_cast<unsigned short>(h)};
  XSetClipRectangles(display, gc, 0, 0, &r, 1, Unsorted);
}

void FromOtherCorner(long& corner, long& side) {
  if (side >= 0) return;
  corner += side;
  side = -side;
}

bool ClipBox(long& x, long& y, long& w, long& h) {
  if (w < 0 || h < 0) return false;
  const Area a = SafeArea();
  const long right = std::min(x + w, a.right + 1);
  const long bottom = std::min(y + h, a.bottom + 1);
  const long left = std::max(x, a.left);
  const long top = std::max(y, a.top);
  if (left > right || top > bottom || left > a.right || top > a.bottom) return false;
  x = left;
  y = top;
  w = right - left;
  h = bottom - top;
  return true;
}

bool BoxFits(long x, long y, long w, long h) {
  if (w < 0 || h < 0 || w > kProtoSize || h > kProtoSize) return false;
  if (!CoordFits(x, y)) return false;
  const Area a = SafeArea();
  return x <= a.right && x + w >= a.left && y <= a.bottom && y + h >= a.top;
}

bool PointFits(long x, long y) {
  const Area a = SafeArea();
  return x >= a.left && x <= a.right && y >= a.top && y <= a.bottom;
}

}  // namespace qx5
