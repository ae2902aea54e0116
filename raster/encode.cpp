#include "raster/encode.hpp"

namespace qx5 {
// SCAFFOLD: implementation pending.
int PrintBits() { return 1; }
int PrintBitsNR() { return 1; }
int PrintBitsBW() { return 1; }
int PrintBitsNRBW() { return 1; }
int PrintBitsCOLOR() { return 1; }
int PrintBitsNRCOLOR() { return 1; }
int MapColor(unsigned char, int) { return 0; }
}  // namespace qx5
