// Printer job control: initialisation, page ejects, graphics start and end, control requests.
#pragma once

namespace qx5 {

extern int FFbef;
extern int FFaft;
extern int ffpending;
extern int didlines;
extern char string[200];

int InitPrinter();
int Eject(const char* label, int wanted);
int StartPlot();
int EndPlot();
// Handles command 60 and sends its own answer; always 1.
int ProcessCMDTO();

}  // namespace qx5
