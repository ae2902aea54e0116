#include "render/surface.hpp"

namespace qx5 {
int initialized = 0;
Display* display = nullptr;
int screen = 0;
Window window = 0;
Pixmap drawable = 0;
GC gc = nullptr;
XImage* image = nullptr;
int cpix = 2;
const unsigned long Kolor[150] = {0, 0, 255, 251, 249, 10, 252, 11, 254, 0, 0, 255, 251, 249, 10, 252};
const int KolorCt = 8;
int Style = 0;
int XStyle = 0;
int Wide = 1;
int dash_offset1 = 1;
int dash_list1 = 1026;
int dash_offset2 = 2;
int dash_list2 = 2052;
// SCAFFOLD: implementation pending.
int InitPlot(double, double, double, double) { return -1; }
void ClosePlot() {}
void SetColor(int) {}
void SetLineStyle(int) {}
void SetLineWidth(int) {}
void SetClip(double, double, double, double) {}
bool DisplayLost() { return false; }
}  // namespace qx5
