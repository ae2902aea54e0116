#include "driver/plotrequest.hpp"

#include "driver/srvmsg.hpp"

namespace qx5 {
int rot = 0;
int BYTE_WIDE = 0;
double GSF = 1.0;
// SCAFFOLD: implementation pending.
void PlotRequest() { smsgp.status = ST_PLOT; }
}  // namespace qx5
