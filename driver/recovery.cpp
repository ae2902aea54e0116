#include "driver/devout.hpp"

namespace qx5 {
int RecoverFromPlotnb = 0;
// SCAFFOLD: implementation pending.
int RecoverFromPlotError() { return 1; }
}  // namespace qx5
