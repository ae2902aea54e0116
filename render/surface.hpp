// The off-screen plot surface and its drawing state.
#pragma once
#include <X11/Xlib.h>
#include <X11/Xutil.h>

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

// 0 when the surface exists, -1 when it could not be made.
int InitPlot(double x0, double y0, double width, double height);
void ClosePlot();
void SetColor(int colour);
void SetLineStyle(int style);
void SetLineWidth(int width);
void SetClip(double x, double y, double w, double h);

// 1 when the X connection was lost during the current plot.
bool DisplayLost();

}  // namespace qx5
