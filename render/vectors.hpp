// The vector page of a pen plotter: the surface the primitives draw on when the printer takes
// HP-GL. What they draw becomes plotter strokes in plotter units (40 per millimetre), on the
// paper where the raster page would print the same dots, and is sent when the page is done (a
// page of many strokes in parts as it is drawn, see hpgl.hpp).
#pragma once
#include <vector>

#include "render/drawsurface.hpp"
#include "render/strokes.hpp"

namespace qx5 {

inline constexpr double kPlotterUnitsPerInch = 1016.0;
inline constexpr double kPenMm = 0.3;    // the pen's line: hatch spacing and width passes
inline constexpr double kChordMm = 0.1;  // chords stay this close to their curve

// The WINDOW statement on a vector printer: the page geometry as for the raster surface (page
// fitting, margins, rotation), no X connection. 0, or -1 when the window has no usable size.
int InitVectorPlot(double width, double height);
// Drops the page and its strokes (a page of which parts went out has its pen put away at the
// next request).
void CloseVectorPlot();
// The open vector page, else null. A page that holds kStrokesPerPart strokes sends them first.
DrawSurface* VectorTarget();
// The strokes of the open page in the order they were drawn.
std::vector<Stroke>& VectorStrokes();

// Where dot (x, y) of the surface lies in the plotter's coordinates. They take the paper as
// PAPER gives it, x along its width and y up along its height, from the lower-left corner of
// the printable area. A plot as drawn has the surface's top-left dot at the printable area's
// top-left corner; a turned plot is turned a quarter turn clockwise, its top-left dot at the
// top-right corner, as the raster page turns it.
PlotterPoint PlotterPointOf(double x, double y);

}  // namespace qx5
