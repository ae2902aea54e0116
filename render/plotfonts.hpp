// The plot font table: standard names, aliases and X font names to loaded fonts.
#pragma once
#include <X11/Xlib.h>

namespace qx5 {

struct PlotFontInfo {
  char name[100];
  const char* alias;
  XID handle;  // font id, or the font set in Kanji mode
  XFontStruct* font;
  XFontSet fontset;
};

extern PlotFontInfo PFI[40];
extern int PFIinit;
extern int QX5LANG;
extern const char* DefaultFontE;
extern const char* DefaultFontK;
extern const char* DefaultPtr;

void InitPlotFonts();
int GetPFIindex(const char* name);
int CheckFontNames(const char* name, const char* lower, const char* upper);
XID GetPlotFont(const char* name);
void ClosePlotFonts();

}  // namespace qx5
