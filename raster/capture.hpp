// Image capture: the drawn page read back with the leftmost pixel in the high bit.
#pragma once

namespace qx5 {

int GetBits();
void reverseBits(char* byte);

}  // namespace qx5
