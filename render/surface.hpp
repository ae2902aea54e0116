// The off-screen plot surface and its drawing state.
#pragma once
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "render/linedots.hpp"

namespace qx5 {

extern int initialized;
extern Display* display;
extern int screen;
extern Window window;
extern Pixmap drawable;
extern GC gc;
extern XImage* image;

extern int cpix;
extern const unsigned long Kolor[150];
extern const int KolorCt;
extern int Style;
extern int XStyle;
extern int Wide;
extern int dash_offset1;
extern int dash_list1;
extern int dash_offset2;
extern int dash_list2;

// 0 when the surface exists, -1 when it could not be made. The display connection is opened
// at the first plot and kept (with its window, and the pixmap while the page's size and depth
// stay); every plot starts from a new GC and a cleared pixmap, as on a fresh connection.
int InitPlot(double x0, double y0, double width, double height);
// Ends the plot's surface: its GC, image and font table. A connection that broke is dropped
// (the next plot opens a new one); a working one is kept.
void ClosePlot();
// Closes the display connection and everything made on it (at the driver's exit); past a
// stop signal's grace it leaves the closing to the end of the process.
void ClosePlotDisplay();
// True when the last InitPlot failed because the X server gave no surface (no display, no
// answer, a lost connection, a refused pixmap), not because of the WINDOW's own values.
bool SurfaceFailed();
void SetColor(int colour);
void SetLineStyle(int style);
void SetLineWidth(int width);
void SetClip(double x, double y, double w, double h);

// 1 when the X connection was lost during the current plot.
bool DisplayLost();
// True while the surface exists and its connection is alive: drawing may go to X.
bool SurfaceReady();
// SurfaceReady(), after a bounded round trip when many requests have gone without one.
// Called before every drawing call, so that Xlib never needs a round trip of its own.
bool SurfaceAnswering();
// Waits until the server has handled every request: 0 when all went through, the X error
// code of the first refused request since the last call, -1 when the connection is lost.
int SurfaceSync();

// The dash pattern the GC draws lines with (empty lengths while lines are solid).
DashPattern CurrentDashes();

// The pixel value of a colour number, the number brought into the table's range.
unsigned long KolorPixel(int n);
// Truncation toward zero that stays defined for any double (NaN gives 0).
int TruncToInt(double v);

// A box side that is negative runs from the given corner the other way: the box is taken
// from its other corner, corner + side, with the side's length.
void FromOtherCorner(long& corner, long& side);

// X requests carry signed 16-bit coordinates and unsigned 16-bit sizes. Boxes, arcs, strings
// and bitmaps are limited to a safe area, the surface with a wide margin inside that range,
// so that nothing far off the page wraps onto it; what lies on the page is unchanged. (Lines
// have their own rule, in the line primitive.)
//
// Clips a box of w by h dots at (x, y) to the safe area; false when it lies wholly outside
// or its sides are negative.
bool ClipBox(long& x, long& y, long& w, long& h);
// True when the box can be sent as it is (16-bit fields) and touches the safe area.
bool BoxFits(long x, long y, long w, long h);
// True when the point lies in the safe area.
bool PointFits(long x, long y);

}  // namespace qx5
