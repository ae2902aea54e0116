#include "render/vectors.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "driver/plotrequest.hpp"
#include "geometry/mapping.hpp"
#include "lib/message.hpp"
#include "printers/config.hpp"
#include "printers/paper.hpp"
#include "render/fontsize.hpp"
#include "render/hpgl.hpp"
#include "render/linedots.hpp"
#include "render/plotfonts.hpp"
#include "render/plottext.hpp"
#include "render/surface.hpp"

namespace qx5 {

namespace {

constexpr int kKanji = 6;
constexpr double kMmPerInch = 25.4;
constexpr double kCapOfSize = 2.0 / 3.0;  // cap height of a font of a pixel size
constexpr double kCellOfCharacter = 1.5;  // the plotter's character cell: 1.5 widths
constexpr double kExactPu = 0.5;          // a circle in plotter units within this is one
constexpr double kCmPerInch = 2.54;

// A point of the surface in dots, x right and y down; dot centres are whole numbers.
struct Dot {
  double x, y;
};
using Polyline = std::vector<Dot>;

struct Rect {
  double left, top, right, bottom;
  bool Holds(Dot p) const { return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom; }
};

double Sign(double v) {
  return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

double Radians(double degrees) {
  return degrees * std::numbers::pi / 180.0;
}

// The part of a to b inside r as parameters t0 <= t1; false when none.
bool ClipSegment(Dot a, Dot b, const Rect& r, double& t0, double& t1) {
  const long double q[4] = {a.x - r.left, r.right - a.x, a.y - r.top, r.bottom - a.y};
  long double u0, u1;
  if (!SegmentInBox(b.x - a.x, b.y - a.y, q, u0, u1)) return false;
  t0 = static_cast<double>(u0);
  t1 = static_cast<double>(u1);
  return true;
}

Dot Along(Dot a, Dot b, double t) {
  return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

// The vector page: the strokes of the plot, the clip, and how dots become plotter units.
class VectorPage final : public DrawSurface {
 public:
  void Open() {
    strokes_.clear();
    open_ = true;
    dpi_x_ = rot ? SETUPydpi : SETUPxdpi;
    dpi_y_ = rot ? SETUPxdpi : SETUPydpi;
    page_ = {-0.5, -0.5, Width + 0.5, Height + 0.5};
    clip_ = page_;
  }
  void Close() {
    open_ = false;
    strokes_.clear();
  }
  bool IsOpen() const { return open_; }
  std::vector<Stroke>& Strokes() { return strokes_; }

  PlotterPoint ToPlotter(Dot d) const {
    // A turned raster page puts each image column into a row of a PCL printer (as many bytes as
    // it has dots per inch: 8 inches), against the row's right end in whole bytes, or from its
    // left end when the column is longer than the row; a page as drawn starts at the left end.
    const long column = static_cast<long>(Height) + 1;
    const long row_bytes = dpi_y_;
    const long offset = std::max(row_bytes - (column + 7) / 8, 0L);
    const double across = static_cast<double>(8 * offset + column) * kPlotterUnitsPerInch / dpi_y_;
    const double up = (PAPERhIN - PAPERhun) * kPlotterUnitsPerInch;
    // A dot's centre lies half a dot into it.
    const double x = (d.x + 0.5) * kPlotterUnitsPerInch / dpi_x_;
    const double y = (d.y + 0.5) * kPlotterUnitsPerInch / dpi_y_;
    if (rot) return {across - y, up - x};
    return {x, up - y};
  }

  void Line(long long x1, long long y1, long long x2, long long y2) override {
    Draw({{static_cast<double>(x1), static_cast<double>(y1)},
          {static_cast<double>(x2), static_cast<double>(y2)}});
  }

  void Arc(long left, long top, long w, long h, int start, int extent, bool filled) override {
    if (extent == 0 || w < 0 || h < 0) return;
    const Dot c = {left + w / 2.0, top + h / 2.0};
    const double rx = w / 2.0, ry = h / 2.0;
    const double a0 = start / 64.0, sweep = extent / 64.0;
    const bool full = std::fabs(sweep) >= 360;
    if (filled) return FillArc(c, rx, ry, a0, sweep, full);
    if (Exact(c, rx, ry) && (full || extent % 64 == 0 || SETUPversion == 2)) {
      if (full) return Circle(c, rx);
      Stroke s = NewStroke(StrokeKind::kArc);
      s.centre = ToPlotter(c);
      s.points = {ToPlotter(OnEllipse(c, rx, ry, a0)), ToPlotter(OnEllipse(c, rx, ry, a0 + sweep))};
      s.sweep = sweep;
      s.chord = ChordAngle(rx);
      return strokes_.push_back(s);
    }
    Draw(EllipsePoints(c, rx, ry, a0, full ? 360 : sweep));
  }

  void Box(long left, long top, long w, long h, bool filled) override {
    const double l = left, t = top, r = left + w, b = top + h;
    if (!filled) return Draw({{l, t}, {r, t}, {r, b}, {l, b}, {l, t}});
    if (w == 0 || h == 0) return;
    const Dot c1 = {l, t}, c2 = {r - 1, b - 1};
    if (SETUPversion == 2 && clip_.Holds(c1) && clip_.Holds(c2)) {
      Stroke s = NewStroke(StrokeKind::kFillBox);
      s.points = {ToPlotter(c1), ToPlotter(c2)};
      return strokes_.push_back(s);
    }
    Fill({c1, {c2.x, c1.y}, c2, {c1.x, c2.y}});
  }

  void Text(long x, long y, const char* text) override {
    if (QX5LANG == kKanji) return Skipped("DRAWSTRING", "a pen plotter draws no Kanji text");
    std::string label;
    for (const char* p = text; *p != '\0'; ++p) {
      const auto c = static_cast<unsigned char>(*p);
      if (c > 127) return Skipped("DRAWSTRING", "a pen plotter draws only ASCII text");
      if (c >= 32 && c != 127) label += *p;  // control bytes would end the label or move the pen
    }
    const Dot at = {static_cast<double>(x), static_cast<double>(y)};
    if (label.empty() || !clip_.Holds(at)) return;
    const FontDots f = FontSizeOfName(FontName());
    Stroke s = NewStroke(StrokeKind::kLabel);
    const PlotterPoint o = ToPlotter(at);
    const PlotterPoint e = ToPlotter({at.x + f.advance * static_cast<double>(label.size()), at.y});
    s.points = {o, e};
    // Along the surface's x axis: one of the plotter's axes, either way.
    const PlotterPoint unit = ToPlotter({at.x + 1, at.y});
    s.run = Sign(unit.x - o.x);
    s.rise = Sign(unit.y - o.y);
    s.size_w = f.advance / kCellOfCharacter / dpi_x_ * kCmPerInch;
    s.size_h = f.height * kCapOfSize / dpi_y_ * kCmPerInch;
    s.text = label;
    strokes_.push_back(s);
  }

  void Bitmap(const char*, double, double, int, int) override {
    Skipped("BITMAP", "a pen plotter draws no bitmaps");
  }

  // Colour, style and width are read when something is drawn.
  void Colour(int) override {}
  void LineStyle(int) override {}
  void LineWidth(int) override {}

  void Clip(long left, long top, long w, long h) override {
    if (w <= 0 || h <= 0) {
      clip_ = {0, 0, -1, -1};  // holds nothing
      return;
    }
    clip_ = {std::max(page_.left, left - 0.5), std::max(page_.top, top - 0.5),
             std::min(page_.right, left + w - 0.5), std::min(page_.bottom, top + h - 0.5)};
  }

 private:
  void Skipped(const char* what, const char* why) const {
    Say("%s: %s skipped: %s\n", XEQNAME, what, why);
  }

  // The X font name of the current plot font, as the font table has it.
  static const char* FontName() {
    const int i = GetPFIindex(curfont);
    return PFI[i].name[0] != '\0' ? PFI[i].name : curfont;
  }

  // Colour c draws with pen ((c - 1) mod pens) + 1; before the first SETCOLOR the colour
  // counts as 7, and a black-and-white printer draws with pen 1.
  static int Pen() {
    if (SETUPcolor == 0) return 1;
    const int colour = cpix <= 2 ? 7 : cpix;
    const int pens = std::max(1, SETUPpenct);
    return (colour - 1) % pens + 1;
  }

  double PenDots() const { return kPenMm / kMmPerInch * std::min(dpi_x_, dpi_y_); }
  double Tolerance() const { return kChordMm / kMmPerInch * std::min(dpi_x_, dpi_y_); }
  double WidthMm() const {
    return Wide / static_cast<double>(std::min(dpi_x_, dpi_y_)) * kMmPerInch;
  }
  // Wide lines are drawn as passes of the pen unless the dialect sets the pen's width.
  bool Passes() const { return SETUPversion != 2 && WidthMm() > kPenMm; }

  Stroke NewStroke(StrokeKind kind) const {
    Stroke s;
    s.kind = kind;
    s.pen = Pen();
    s.width_mm = SETUPversion == 2 ? std::max(Wide, 1) /
                                         static_cast<double>(std::min(dpi_x_, dpi_y_)) * kMmPerInch
                                   : 0;
    return s;
  }

  // The point at X angle a (degrees) of the ellipse: X measures arc angles of an ellipse as
  // the circle's scaled onto it.
  static Dot OnEllipse(Dot c, double rx, double ry, double a) {
    return {c.x + rx * std::cos(Radians(a)), c.y - ry * std::sin(Radians(a))};
  }

  // Chord angle of CI and AA, whole degrees, that keeps the chords within the tolerance.
  int ChordAngle(double r) const {
    const double t = Tolerance();
    if (r <= t) return 45;
    const double a = 2 * std::acos(1 - t / r) * 180 / std::numbers::pi;
    return std::clamp(static_cast<int>(a), 1, 45);
  }

  // The plotter's own circles are used for a solid, thin curve that is a circle in plotter
  // units, lies wholly inside the clip and needs no finer chords than a degree.
  bool Exact(Dot c, double rx, double ry) const {
    if (XStyle != 0 || Passes()) return false;
    const double px = rx * kPlotterUnitsPerInch / dpi_x_, py = ry * kPlotterUnitsPerInch / dpi_y_;
    if (std::fabs(px - py) > kExactPu) return false;
    const double t = Tolerance();
    if (rx > t && 2 * std::acos(1 - t / rx) * 180 / std::numbers::pi < 1) return false;
    return clip_.Holds({c.x - rx, c.y - ry}) && clip_.Holds({c.x + rx, c.y + ry});
  }

  void Circle(Dot c, double r) {
    Stroke s = NewStroke(StrokeKind::kCircle);
    s.centre = ToPlotter(c);
    s.radius = r * kPlotterUnitsPerInch / dpi_x_;
    s.chord = ChordAngle(r);
    strokes_.push_back(s);
  }

  // Chords of the arc from angle a0 through sweep, none further than the tolerance from it.
  Polyline EllipsePoints(Dot c, double rx, double ry, double a0, double sweep) const {
    const double r = std::max(rx, ry), t = Tolerance();
    const double step = r > t ? 2 * std::acos(1 - t / r) * 180 / std::numbers::pi : 90;
    const int n = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / step)));
    Polyline pts;
    pts.reserve(static_cast<size_t>(n) + 1);
    for (int i = 0; i <= n; ++i) pts.push_back(OnEllipse(c, rx, ry, a0 + sweep * i / n));
    return pts;
  }

  void FillArc(Dot c, double rx, double ry, double a0, double sweep, bool full) {
    if (SETUPversion == 2 && Exact(c, rx, ry)) {
      Stroke s = NewStroke(StrokeKind::kFillWedge);
      s.centre = ToPlotter(c);
      s.points = {s.centre};
      s.radius = rx * kPlotterUnitsPerInch / dpi_x_;
      const PlotterPoint e = ToPlotter(OnEllipse(c, rx, ry, a0));
      s.start = std::atan2(e.y - s.centre.y, e.x - s.centre.x) * 180 / std::numbers::pi;
      s.sweep = full ? 360 : sweep;
      s.chord = ChordAngle(rx);
      return strokes_.push_back(s);
    }
    Polyline shape = EllipsePoints(c, rx, ry, a0, full ? 360 : sweep);
    if (!full) shape.insert(shape.begin(), c);
    Fill(shape);
  }

  // Hatches the inside of a polygon with lines a pen's width apart and draws its outline. Only
  // the hatch lines that can leave a mark are made, from the edges that reach them, so that a shape
  // far larger than the page costs no more than the page.
  void Fill(const Polyline& shape) {
    double top = shape[0].y, bottom = shape[0].y;
    for (const Dot& p : shape) {
      top = std::min(top, p.y);
      bottom = std::max(bottom, p.y);
    }
    const double spacing = std::max(kPenMm / kMmPerInch * dpi_y_, 0.5);
    const Rect reach = Reach();
    double first = top + spacing / 2;
    if (first < reach.top) first += std::ceil((reach.top - first) / spacing) * spacing;
    const double last = std::min(bottom, reach.bottom + spacing);
    std::vector<std::pair<Dot, Dot>> edges;
    for (size_t i = 0; i < shape.size(); ++i) {
      const Dot a = shape[i], b = shape[(i + 1) % shape.size()];
      if (std::max(a.y, b.y) >= first && std::min(a.y, b.y) < last) edges.push_back({a, b});
    }
    std::vector<double> xs;
    for (double y = first; y < last; y += spacing) {
      xs.clear();
      for (const auto& [a, b] : edges) {
        if ((a.y <= y) == (b.y <= y)) continue;
        xs.push_back(a.x + (y - a.y) / (b.y - a.y) * (b.x - a.x));
      }
      std::sort(xs.begin(), xs.end());
      for (size_t i = 0; i + 1 < xs.size(); i += 2) Solid({{xs[i], y}, {xs[i + 1], y}});
    }
    Polyline outline = shape;
    outline.push_back(shape.front());
    Solid(outline);
  }

  // A line as the current style and width draw it.
  void Draw(const Polyline& line) {
    const DashPattern dash = CurrentDashes();
    if (dash.lengths.empty()) return Solid(line);
    for (const Polyline& piece : Dashed(line, dash, Wide <= 1, Reach())) Solid(piece);
  }

  // The clip grown by the line's half width and a little more: what lies beyond it leaves no
  // mark, whatever pass of the pen it is in.
  Rect Reach() const {
    const double m = Wide / 2.0 + 2;
    return {clip_.left - m, clip_.top - m, clip_.right + m, clip_.bottom + m};
  }

  // The on pieces of a dashed line within keep. The pattern starts at the line's first end,
  // offset into it, and runs along the line in dots: for a thin line X steps along its longer
  // axis. Stretches beyond keep move the pattern on without being cut into dashes, so a line
  // far longer than the page costs no more than its part on the page.
  static std::vector<Polyline> Dashed(const Polyline& line, const DashPattern& dash, bool thin,
                                      const Rect& keep) {
    double total = 0;
    for (int v : dash.lengths) {
      if (v < 0) return {line};
      total += v;
    }
    if (total <= 0) return {line};
    const size_t n = dash.lengths.size();
    size_t piece = 0;
    double left = dash.lengths[0];
    std::vector<Polyline> out;
    Polyline cur;
    const auto endPiece = [&] {
      if (cur.size() > 1) out.push_back(std::move(cur));
      cur.clear();
    };
    // Moves the pattern on by d without drawing; a whole pattern changes nothing.
    const auto skip = [&](double d) {
      d = std::fmod(d, total);
      if (d < 0) d += total;
      while (d >= left) {
        d -= left;
        piece = (piece + 1) % n;
        left = dash.lengths[piece];
      }
      left -= d;
    };
    skip(dash.offset);
    if (line.size() == 1) return piece % 2 == 0 ? std::vector<Polyline>{line} : out;
    for (size_t i = 1; i < line.size(); ++i) {
      const Dot a = line[i - 1], b = line[i];
      const double len = thin ? std::max(std::fabs(b.x - a.x), std::fabs(b.y - a.y))
                              : std::hypot(b.x - a.x, b.y - a.y);
      double t0 = 0, t1 = 1;
      if (!ClipSegment(a, b, keep, t0, t1)) {
        endPiece();
        skip(len);
        continue;
      }
      if (t0 > 0) {
        endPiece();
        skip(t0 * len);
      }
      const Dot from = Along(a, b, t0), to = Along(a, b, t1);
      const double seen = (t1 - t0) * len;
      if (piece % 2 == 0 && cur.empty()) cur.push_back(from);
      double used = 0;
      while (seen - used > left) {
        used += left;
        const Dot p = Along(from, to, used / seen);
        if (piece % 2 == 0) {
          cur.push_back(p);
          endPiece();
        }
        piece = (piece + 1) % n;
        left = dash.lengths[piece];
        if (piece % 2 == 0) cur.push_back(p);
      }
      left -= seen - used;
      if (piece % 2 == 0) cur.push_back(to);
      if (t1 < 1) {
        endPiece();
        skip((1 - t1) * len);
      }
    }
    endPiece();
    return out;
  }

  // A solid line: its passes across the width, each cut to the clip. The passes are made of
  // the line's part that can leave a mark only.
  void Solid(const Polyline& line) {
    if (!Passes()) return Clipped(line);
    const double pen = PenDots();
    const int n = static_cast<int>(std::ceil(Wide / pen));
    const double half = (Wide - pen) / 2;
    for (const Polyline& part : Within(line, Reach()))
      for (int j = 0; j < n; ++j) Clipped(Offset(part, n > 1 ? -half + 2 * half * j / (n - 1) : 0));
  }

  // The line moved sideways by d dots, each point along the mean of its segments' normals.
  static Polyline Offset(const Polyline& line, double d) {
    if (d == 0 || line.size() < 2) return line;
    Polyline out;
    for (size_t i = 0; i < line.size(); ++i) {
      double nx = 0, ny = 0;
      for (size_t k : {i, i + 1}) {
        if (k == 0 || k >= line.size()) continue;
        const double dx = line[k].x - line[k - 1].x, dy = line[k].y - line[k - 1].y;
        const double len = std::hypot(dx, dy);
        if (len > 0) {
          nx += -dy / len;
          ny += dx / len;
        }
      }
      const double len = std::hypot(nx, ny);
      out.push_back(len > 0 ? Dot{line[i].x + d * nx / len, line[i].y + d * ny / len} : line[i]);
    }
    return out;
  }

  // The parts of a line inside r.
  static std::vector<Polyline> Within(const Polyline& line, const Rect& r) {
    if (line.size() == 1)
      return r.Holds(line[0]) ? std::vector<Polyline>{line} : std::vector<Polyline>{};
    std::vector<Polyline> parts;
    Polyline cur;
    for (size_t i = 1; i < line.size(); ++i) {
      double t0, t1;
      if (!ClipSegment(line[i - 1], line[i], r, t0, t1)) continue;
      const Dot a = Along(line[i - 1], line[i], t0), b = Along(line[i - 1], line[i], t1);
      if (cur.empty() || t0 > 0) {
        if (!cur.empty()) parts.push_back(std::move(cur));
        cur = {a};
      }
      cur.push_back(b);
      if (t1 < 1) {
        parts.push_back(std::move(cur));
        cur.clear();
      }
    }
    if (!cur.empty()) parts.push_back(std::move(cur));
    return parts;
  }

  // The parts of a line inside the clip, each a path stroke.
  void Clipped(const Polyline& line) {
    for (const Polyline& part : Within(line, clip_)) Path(part);
  }

  void Path(const Polyline& line) {
    Stroke s = NewStroke(StrokeKind::kPath);
    s.points.reserve(line.size());
    for (const Dot& d : line) s.points.push_back(ToPlotter(d));
    strokes_.push_back(std::move(s));
  }

  bool open_ = false;
  int dpi_x_ = 300, dpi_y_ = 300;
  Rect page_{}, clip_{};
  std::vector<Stroke> strokes_;
};

VectorPage page;

}  // namespace

int InitVectorPlot(double width, double height) {
  // A second WINDOW replaces the page; parts of it that went out stay with the plot.
  if (page.IsOpen()) initialized = 0;
  page.Close();
  RH = TruncToInt(height);
  RW = TruncToInt(width);
  InitValues();
  initialized = 1;
  Aspect();
  if (UseGSF(width, height) != 0) {
    Say("ERROR: %s: the plot window has no usable size\n", XEQNAME);
    return -1;
  }
  RevY = Height;
  page.Open();
  return 0;
}

void CloseVectorPlot() {
  if (page.IsOpen()) initialized = 0;
  page.Close();
  AbandonVectorPage();
}

DrawSurface* VectorTarget() {
  if (!page.IsOpen()) return nullptr;
  if (page.Strokes().size() >= kStrokesPerPart) SendVectorPart();
  return &page;
}

std::vector<Stroke>& VectorStrokes() {
  return page.Strokes();
}

PlotterPoint PlotterPointOf(double x, double y) {
  return page.ToPlotter({x, y});
}

}  // namespace qx5
