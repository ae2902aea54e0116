// Paper sizes and the page-size command.
#pragma once
#include <cstddef>

namespace qx5 {

extern double PAPERwIN;
extern double PAPERhIN;
extern double PAPERwun;
extern double PAPERhun;

// Paper names of this many characters or more have no margin or page-size code: their escape
// would need a length of two digits or a command name longer than 9 characters.
constexpr size_t kPaperCodeNameMax = 6;

// 1 when name was found in the PAPER file, else 0: a name not found changes nothing (the page
// and the paper in force stay) and says so. Sends the page-size command when the printer has
// one; *writeFailed (when given) is 1 when that write failed.
int GetPageSize(const char* name, int spare, int* writeFailed = nullptr);

// The printer's code "<paper><suffix>" (suffix "SZ" page size, "UN" margins) translated into
// out (cap bytes, at least 100); its length, 0 when there is none or the name is too long.
int PaperCode(const char* paper, const char* suffix, char* out, size_t cap);

}  // namespace qx5
