// The plot request: page type, drawing, graphics framing and raster output.
#pragma once

namespace qx5 {

extern int rot;
extern int BYTE_WIDE;
extern double GSF;

// What a page type gives on a printer brand: the page type that selects the raster encoder,
// the rotation and the device type of the coordinate mapping.
struct PlotPage {
  int pt;
  int rot;
  int devtype;
};
PlotPage PlotPageFor(int brand, int pt);

// How a page type is sent: PrintBits (turned), PrintBitsNR (as drawn) or no raster at all.
enum class RasterKind { kNone, kTurned, kAsDrawn };
RasterKind RasterFor(int pt);

// The raster row width of a brand: SETUPxdpi for HPPCL, the printable paper width in dots for
// EPSON; HPGL keeps the previous value.
int RasterWidthFor(int brand, int previous);

// Commands 5, 26, 56, 58.
void PlotRequest();

}  // namespace qx5
