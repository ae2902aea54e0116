#include "render/primitives.hpp"

namespace qx5 {
double Xpos = 0, Ypos = 0;
// SCAFFOLD: implementation pending.
void MoveTo(double, double) {}
void LineTo(double, double) {}
void DrawArc(double, double, double, int, int, int) {}
void DrawArc2(double, double, double, double, double, int) {}
void DrawEllipse(double, double, double, double, double, double, int) {}
void DrawRectangle(double, double, double, double, int) {}
void DrawParabola(double, double, double, double, double, double, double, double, double, int) {}
void DrawBitmap(const char*, double, double, int, int) {}
}  // namespace qx5
