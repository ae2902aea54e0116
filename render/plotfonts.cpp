#include "render/plotfonts.hpp"

namespace qx5 {
PlotFontInfo PFI[40];
int PFIinit = 0;
int QX5LANG = 0;
const char* DefaultFontE = "-*-courier-bold-o-normal-*-14-*-iso8859-1";
const char* DefaultFontK = "-*-fixed-medium-r-normal--14-*";
const char* DefaultPtr = DefaultFontE;
// SCAFFOLD: implementation pending.
void InitPlotFonts() {}
int GetPFIindex(const char*) { return 0; }
int CheckFontNames(const char*, const char*, const char*) { return 0; }
XID GetPlotFont(const char*) { return 0; }
void ClosePlotFonts() {}
}  // namespace qx5
