#include "lib/ioctl.hpp"

namespace qx5 {
// SCAFFOLD: implementation pending.
int IOCTLbaudrate(int, int) { return 0; }
int IOCTLxonxoff(int) { return 0; }
}  // namespace qx5
