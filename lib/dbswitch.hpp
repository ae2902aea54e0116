// The switch-text database with its English fallback, and the plot colour and paper size lists.
#pragma once

namespace qx5 {

extern char* swtext;
extern char* swtextENG;
extern char* sw;
extern int NumberSwitches;
extern int SWITCHCURRLANG;
extern int iswitch;
extern char* PlotColors;
extern int PlotColorsCt;
extern char* PlotColorsENG;
extern int PlotColorsCtENG;
extern char* PaperSize;
extern int PaperSizeCt;
extern char* PaperSizeENG;
extern int PaperSizeCtENG;
extern char PlotName[100];
extern char jtext[200];
extern const char Empty[1];

int InitSwitchDb();
const char* GetSwitch(int n);
const char* GetSwitchENG(int n);
const char* GetSwitchANY(int n);
void ReadPlotColorSwitches(char** list, int* count, int current);
void ReadPaperSizeSwitches(char** list, int* count);

}  // namespace qx5
