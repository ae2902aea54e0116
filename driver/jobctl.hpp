// Printer job control: initialisation, page ejects, graphics start and end, control requests.
#pragma once
#include <cstddef>

namespace qx5 {

extern int FFbef;
extern int FFaft;
extern int ffpending;
extern int didlines;
extern char string[200];

// A graphics start string with its first integer conversion formatted with value, into out
// (cap bytes, NUL included, cut there). The conversion is "%d" or "%i" with optional flags
// "-+ 0", width and precision (each capped at 255); "%%" becomes "%"; every other "%" is
// copied as it stands, so the code is never used as a printf format. Returns the length.
int FormatCode(const char* code, int value, char* out, size_t cap);

int InitPrinter();
int Eject(const char* label, int wanted);
int StartPlot();
int EndPlot();
// Handles command 60 and sends its own answer; always 1.
int ProcessCMDTO();

}  // namespace qx5
