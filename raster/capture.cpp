#include "raster/capture.hpp"

namespace qx5 {
// SCAFFOLD: implementation pending.
int GetBits() { return 0; }
void reverseBits(char*) {}
}  // namespace qx5
