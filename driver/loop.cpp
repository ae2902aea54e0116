#include "driver/loop.hpp"

#include <cstdlib>

namespace qx5 {
char XEQNAME[40];
int PrinterNumber = 0;
int serialsetting = -1;
int UseSerial = 0;
int fdlp = -1;
int DidInit = 0;
int PlotError = 0;
int Pt = 0;
// SCAFFOLD: implementation pending.
void usage(const char*) { std::exit(0); }
int DoLoop(char**) { return 0; }
void DriverMain(int, char**) { std::exit(0); }
}  // namespace qx5
