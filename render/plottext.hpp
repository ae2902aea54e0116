// Plot text: the current font and strings.
#pragma once

namespace qx5 {

extern char curfont[200];

void LoadSetFont(const char* name);
void DrawString(double x, double y, const char* text);

}  // namespace qx5
