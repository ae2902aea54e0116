// The strokes of a pen plotter's page and their order: each pen taken once, the strokes of a
// pen in a nearest-next order that reverses a stroke where its other end is nearer.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace qx5 {

inline constexpr double kPlotterUnitsPerMm = 40.0;

// A point in plotter units.
struct PlotterPoint {
  double x = 0, y = 0;
};

enum class StrokeKind {
  kPath,       // a polyline through points (one point: a dot)
  kCircle,     // a whole circle: centre points[0], radius; the plotter's CI
  kArc,        // points[0] to points[1] around centre, sweep degrees (counter-clockwise when
               // positive); the plotter's AA
  kLabel,      // text with its baseline starting at points[0]; points[1] its estimated end
  kFillBox,    // HP-GL/2: the box from points[0] to points[1] filled (RA)
  kFillWedge,  // HP-GL/2: the wedge around points[0] from angle start through sweep (WG)
};

struct Stroke {
  StrokeKind kind = StrokeKind::kPath;
  int pen = 1;
  double width_mm = 0;  // HP-GL/2 pen width; 0 where the dialect has none
  std::vector<PlotterPoint> points;
  PlotterPoint centre;
  double radius = 0;
  double start = 0;  // wedge start angle, degrees
  double sweep = 0;  // degrees
  int chord = 0;     // chord angle of CI, AA and WG, whole degrees
  std::string text;
  double size_w = 0, size_h = 0;  // label character width and cap height, centimetres
  double run = 1, rise = 0;       // label direction

  PlotterPoint Start() const;
  PlotterPoint End() const;
  // Paths and arcs can be drawn from either end.
  bool Reversible() const;
  // Draws from the other end.
  void Reverse();
  // Length drawn with the pen down, in plotter units; a circle's pen travel from its centre
  // to the circumference and back counts as pen up (UpInside).
  double DownLength() const;
  double UpInside() const;
};

// The page in drawing order: the pen in hand first (0: none), then the others ascending, each
// pen's strokes nearest-next from where the last stroke ended (from `from` at the start),
// reversed where the far end is the nearer. Returns the order as indices into strokes and
// reverses the strokes it turns.
std::vector<size_t> OrderStrokes(std::vector<Stroke>& strokes, PlotterPoint from, int in_hand = 0);

struct PageTravel {
  size_t strokes = 0;
  int pen_changes = 0;  // pen selections, the first included
  double down_mm = 0;
  double up_mm = 0;
};
// What the plotter does for strokes drawn in `order`, starting at `from` with pen in_hand.
PageTravel Travel(const std::vector<Stroke>& strokes, const std::vector<size_t>& order,
                  PlotterPoint from, int in_hand = 0);

}  // namespace qx5
