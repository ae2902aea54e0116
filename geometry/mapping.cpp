#include "geometry/mapping.hpp"

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
// SCAFFOLD: implementation pending.
void SetDevtype(int) {}
void SetUtype(int) {}
void ScalePlot(double, double) {}
void SetOffsets(double, double) {}
void SetDataOffsets(double, double) {}
int ScaleRange(double, double, double, double) { return 1; }
void PlotSetup(int, int, int) {}
void InitValues() {}
void Aspect() {}
int UseGSF(double, double) { return 1; }
int dround(double) { return 0; }
int Xcomp(double) { return 0; }
int Ycomp(double) { return 0; }
int Wcomp(double) { return 0; }
int Hcomp(double) { return 0; }
}  // namespace qx5
