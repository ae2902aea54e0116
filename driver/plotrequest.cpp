#include "driver/plotrequest.hpp"

#include <cstdio>
#include <cstring>

#include "driver/devout.hpp"
#include "driver/jobctl.hpp"
#include "driver/loop.hpp"
#include "driver/srvmsg.hpp"
#include "geometry/mapping.hpp"
#include "lib/message.hpp"
#include "plotlang/grammar.hpp"
#include "printers/codefile.hpp"
#include "printers/config.hpp"
#include "printers/paper.hpp"
#include "raster/encode.hpp"
#include "render/hpgl.hpp"
#include "render/surface.hpp"

namespace qx5 {
int rot = 0;
int BYTE_WIDE = 0;
double GSF = 1.0;

PlotPage PlotPageFor(int brand, int pt) {
  switch (brand) {
    case 1:
      switch (pt) {
        case 1:
        case 5:
        case 7:
          return {1, 1, 1};
        case 3:
        case 4:
        case 6:
          return {4, 0, 1};
        default:
          return {pt, 0, pt};
      }
    case 0:
      switch (pt) {
        case 1:
        case 5:
        case 7:
          return {5, 1, 3};
        case 4:
        case 6:
          return {3, 0, 3};
        default:
          return {pt, 0, pt};
      }
    default:
      // HPGL (brand 2): drawn, never sent as raster.
      return {2, (pt == 1 || pt == 5 || pt == 7) ? 1 : 0, 2};
  }
}

RasterKind RasterFor(int pt) {
  if (pt == 1 || pt == 3) return RasterKind::kTurned;
  if (pt == 4 || pt == 5) return RasterKind::kAsDrawn;
  return RasterKind::kNone;
}

int RasterWidthFor(int brand, int previous) {
  if (brand == 1) return SETUPxdpi;
  if (brand == 0) return static_cast<int>((PAPERwIN - PAPERwun) * SETUPxdpi);
  return previous;
}

namespace {

void PrintLine(const char* format, const char* title) {
  Say(format, title, XEQNAME);
}

void PlotFailed(const char* what) {
  smsgp.status = ST_PLOT;
  Say("ERROR: %s: %s\n", XEQNAME, what);
}

// 0 when the page went out (or the page type sends none), 1 when a write failed.
int SendPage() {
  if (StartPlot() != 0) return 1;
  if (VectorPlots()) return SendVectorPage();
  switch (RasterFor(Pt)) {
    case RasterKind::kTurned:
      return PrintBits();
    case RasterKind::kAsDrawn:
      return PrintBitsNR();
    case RasterKind::kNone:
      break;
  }
  return 0;
}

}  // namespace

void PlotRequest() {
  // The request's text fields need not end in a NUL; copy them into terminated buffers.
  char title[sizeof rmsgp.title + 1];
  char name[sizeof rmsgp.name + 1];
  std::snprintf(title, sizeof title, "%.*s", static_cast<int>(sizeof rmsgp.title), rmsgp.title);
  std::snprintf(name, sizeof name, "%.*s", static_cast<int>(sizeof rmsgp.name), rmsgp.name);

  PrintLine("Start Plot: %s on %s\n", title);
  if (DefinitionLoaded == 0) {
    // Raster rows without the printer's graphics codes print as garbage. Nothing is sent, so
    // the next request needs no recovery.
    PlotFailed(
        "Unable to plot: the printer's definition did not load (see the start-up lines); raster "
        "rows without its graphics codes would print as garbage");
    PrintLine("End plot: %s on %s\n", title);
    return;
  }
  GSF = 0;

  BYTE_WIDE = RasterWidthFor(SETUPbrand, BYTE_WIDE);
  PlotPage page = PlotPageFor(SETUPbrand, Pt);
  Pt = page.pt;
  rot = page.rot;
  SetDevtype(page.devtype);
  // A vector page takes the dots of the raster page (device type 1: y up from the bottom in
  // inches and millimetres), so that boxes, arcs and text land where that page has them.
  if (VectorPlots()) SetDevtype(1);

  int e = DrawPlot(name);
  if (e != 0) {
    smsgp.status = ST_PLOT;
    Say("ERROR: %s: error %d\n", XEQNAME, e);
  } else if (DisplayLost()) {
    // What was drawn cannot be read back; no graphics are started.
    PlotFailed("the X display connection was lost");
  } else if (SendPage() != 0) {
    DidInit = 0;
    PlotFailed("Unable to plot");
  }

  ClosePlot();
  if (lp != nullptr) ReopenDevice(true);
  PrintLine("End plot: %s on %s\n", title);

  PlotError = smsgp.status;
  if (PlotError == 0) PlotError = EndPlot();
}

}  // namespace qx5
