#include "render/plottext.hpp"

namespace qx5 {
char curfont[200];
// SCAFFOLD: implementation pending.
void LoadSetFont(const char*) {}
void DrawString(double, double, const char*) {}
}  // namespace qx5
