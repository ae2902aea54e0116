#include "driver/jobctl.hpp"

namespace qx5 {
int FFbef = 0;
int FFaft = 0;
int ffpending = 0;
int didlines = 0;
char string[200];
// SCAFFOLD: implementation pending.
int InitPrinter() { return 0; }
int Eject(const char*, int) { return 0; }
int StartPlot() { return 1; }
int EndPlot() { return 1; }
int ProcessCMDTO() { return 1; }
}  // namespace qx5
