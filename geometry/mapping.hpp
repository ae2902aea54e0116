// Plot coordinate mapping: plot units (mm, inches, dots) to device dots.
#pragma once
#include <cstdint>

namespace qx5 {

extern int DevType;
extern int Utype;  // 0 millimetres, 1 inches, other device pixels
extern double xScale, yScale;
extern double Xoff, Yoff;
extern double DxOff, DyOff;
extern int RW, RH;
extern double XINWIDE, YINHIGH;
extern double XWIDE, YHIGH;
extern double XMMWIDE, YMMHIGH;
extern double XINSCALE, YINSCALE;
extern double XMMSCALE, YMMSCALE;
extern double E_XMULT, E_YMULT;
extern uint32_t Width, Height;
extern double RevY;
extern int Psetup[3];

void SetDevtype(int t);
void SetUtype(int u);
void ScalePlot(double sx, double sy);
void SetOffsets(double ox, double oy);
void SetDataOffsets(double dx, double dy);
// 0 when taken, 1 when the range was rejected (an empty span); nothing changes then.
int ScaleRange(double x0, double x1, double y0, double y1);
void PlotSetup(int a, int b, int c);
void InitValues();
void Aspect();
// 0 when the surface size is usable. Non-zero, with nothing changed, when the window maps to a
// negative size, the page-fitting factor is not a finite positive number, or a side of the
// surface would exceed 32767 dots.
int UseGSF(double w, double h);
// Rounds half away from zero; values beyond the int range give its nearest end, NaN gives 0.
int dround(double v);
int Xcomp(double x);
int Ycomp(double y);
int Wcomp(double w);
int Hcomp(double h);

}  // namespace qx5
