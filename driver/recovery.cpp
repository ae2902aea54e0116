#include "driver/devout.hpp"
#include "driver/jobctl.hpp"
#include "render/hpgl.hpp"

namespace qx5 {
int RecoverFromPlotnb = 0;

int RecoverFromPlotError() {
  // A network printer that lost the connection dropped the page with it: nothing is owed to a
  // new connection, which begins a new job on the printer and so needs its initialisation.
  if (DeviceIsFresh()) {
    RecoverFromPlotnb = 0;
    ForgetVectorPage();
    return InitPrinter() ? 1 : 0;
  }
  // A cut-off vector page: the plotter gets the rest of its command and puts the pen away.
  if (RecoverVectorPage()) return 1;
  // The printer still waits for raster bytes: fill them with blanks, four at a time.
  while (RecoverFromPlotnb > 0) {
    if (WRITE(lp, "    ", 4)) return 1;
    RecoverFromPlotnb -= 4;
  }
  RecoverFromPlotnb = 0;
  return EndPlot() ? 1 : 0;
}

}  // namespace qx5
