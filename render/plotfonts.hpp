// The plot font table: standard names, aliases and X font names to loaded fonts.
#pragma once
#include <X11/Xlib.h>

namespace qx5 {

struct PlotFontInfo {
  char name[100];     // the X font name (pattern) to load; empty for a free user slot
  const char* alias;  // the name under which the entry is found first
  Font handle;        // the font id while loaded outside Kanji mode, else 0
  XFontStruct* font;  // the loaded font outside Kanji mode
  XFontSet fontset;   // the loaded font set in Kanji mode
  int failed;         // 1 when neither the entry's font nor the default font could be loaded
};

extern PlotFontInfo PFI[40];
extern int PFIinit;
extern const char* DefaultFontE;
extern const char* DefaultFontK;
extern const char* DefaultPtr;

void InitPlotFonts();
int GetPFIindex(const char* name);
int CheckFontNames(const char* name, const char* lower, const char* upper);
// The entry for a font name with its font (or font set) loaded on first use, the language's
// default font standing in for a name that loads nothing; null when no font can be had.
PlotFontInfo* GetPlotFont(const char* name);
// Empties the table for the next plot; the fonts stay loaded on the connection.
void ClosePlotFonts();
// Frees every font loaded on the connection (before it closes).
void DropFontCache();

}  // namespace qx5
