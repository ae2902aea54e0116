// The switch-text database with its English fallback, and the plot colour and paper size lists.
#pragma once
#include <cstdio>
#include <string>

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

// 0 loaded (or already loaded), -22 no memory. A missing file is named in a message and
// leaves its texts empty.
int InitSwitchDb();
// Releases everything InitSwitchDb loaded, so that the next call loads it again.
void CloseSwitchDb();
const char* GetSwitch(int n);
const char* GetSwitchENG(int n);
const char* GetSwitchANY(int n);
void ReadPlotColorSwitches(char** list, int* count, int current);
void ReadPaperSizeSwitches(char** list, int* count);

// Opens "/u/qx5/usr_data/<dir>/<name>", else "/u/qx5/def_data/<dir>/<name>", for reading;
// null when neither opens. tried gets the path last tried, as actually used.
FILE* OpenUserOrDefault(const char* dir, const char* name, std::string* tried);
// Reads one line as fgets(buf, size) does; when the line is longer, the rest of it is
// skipped, so that it never reads as a line of its own. 0 at the end of the file.
int ReadTextLine(FILE* f, char* buf, int size);

}  // namespace qx5
