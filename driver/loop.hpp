// The driver process: command line, start-up, the request loop and the exit.
#pragma once

namespace qx5 {

extern int PrinterNumber;
extern int serialsetting;
extern int UseSerial;
extern int fdlp;
extern int DidInit;
extern int PlotError;
extern int Pt;

[[noreturn]] void usage(const char* prog);
// One request: 1 to go on, 0 to stop.
int DoLoop(char** argv);
// The whole process; never returns.
[[noreturn]] void DriverMain(int argc, char** argv);

}  // namespace qx5
