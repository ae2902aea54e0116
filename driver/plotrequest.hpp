// The plot request: page type, drawing, graphics framing and raster output.
#pragma once

namespace qx5 {

extern int rot;
extern int BYTE_WIDE;
extern double GSF;

// Commands 5, 26, 56, 58.
void PlotRequest();

}  // namespace qx5
