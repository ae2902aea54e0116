// Drawing primitives on the plot surface.
#pragma once

namespace qx5 {

extern double Xpos, Ypos;

void MoveTo(double x, double y);
void LineTo(double x, double y);
void DrawArc(double x, double y, double r, int a1, int a2, int fill);
void DrawArc2(double x, double y, double r, double a1, double a2, int fill);
void DrawEllipse(double x, double y, double w, double h, double a1, double a2, int ignored);
void DrawRectangle(double x, double y, double w, double h, int fill);
void DrawParabola(double cx, double cy, double cz, double r, double a1, double a2, double nx,
                  double ny, double nz, int view);
void DrawBitmap(const char* file, double x, double y, int fg, int bg);

}  // namespace qx5
