#include "lib/dbswitch.hpp"

namespace qx5 {
char* swtext = nullptr;
char* swtextENG = nullptr;
char* sw = nullptr;
int NumberSwitches = 0;
int SWITCHCURRLANG = 0;
int iswitch = 0;
char* PlotColors = nullptr;
int PlotColorsCt = 0;
char* PlotColorsENG = nullptr;
int PlotColorsCtENG = 0;
char* PaperSize = nullptr;
int PaperSizeCt = 0;
char* PaperSizeENG = nullptr;
int PaperSizeCtENG = 0;
char PlotName[100];
char jtext[200];
const char Empty[1] = "";
// SCAFFOLD: implementation pending.
int InitSwitchDb() { return 0; }
const char* GetSwitch(int) { return Empty; }
const char* GetSwitchENG(int) { return Empty; }
const char* GetSwitchANY(int) { return Empty; }
void ReadPlotColorSwitches(char**, int*, int) {}
void ReadPaperSizeSwitches(char**, int*) {}
}  // namespace qx5
