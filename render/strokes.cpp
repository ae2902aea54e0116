#include "render/strokes.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

namespace qx5 {

namespace {

double Distance(PlotterPoint a, PlotterPoint b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

// Compared in the nearest-next search, where it orders as the distance does at a fraction of
// its cost.
double SquaredDistance(PlotterPoint a, PlotterPoint b) {
  const double dx = a.x - b.x, dy = a.y - b.y;
  return dx * dx + dy * dy;
}

double Radians(double degrees) {
  return degrees * std::numbers::pi / 180.0;
}

// The ends of the strokes of one pen in a uniform grid, for nearest-next look-ups: each cell
// lists the strokes with an end in it; taken strokes are dropped as they are met.
class EndGrid {
 public:
  EndGrid(const std::vector<Stroke>& strokes, const std::vector<size_t>& members)
      : strokes_(strokes), taken_(strokes.size(), false) {
    double minx = 1e300, miny = 1e300, maxx = -1e300, maxy = -1e300;
    for (size_t i : members) {
      for (const PlotterPoint& p : {strokes[i].Start(), strokes[i].End()}) {
        minx = std::min(minx, p.x);
        miny = std::min(miny, p.y);
        maxx = std::max(maxx, p.x);
        maxy = std::max(maxy, p.y);
      }
    }
    // About two strokes per cell.
    const double area = std::max(1.0, (maxx - minx) * (maxy - miny));
    cell_ = std::max(1.0, std::sqrt(2.0 * area / static_cast<double>(members.size())));
    x0_ = minx;
    y0_ = miny;
    nx_ = static_cast<long>((maxx - minx) / cell_) + 1;
    ny_ = static_cast<long>((maxy - miny) / cell_) + 1;
    cells_.resize(static_cast<size_t>(nx_ * ny_));
    for (size_t i : members) {
      cells_[CellOf(strokes[i].Start())].push_back(i);
      if (strokes[i].Reversible()) {
        const size_t c = CellOf(strokes[i].End());
        if (c != CellOf(strokes[i].Start())) cells_[c].push_back(i);
      }
    }
  }

  // The untaken stroke with an end nearest to p, and whether that end is its far one.
  bool Nearest(PlotterPoint p, size_t& best, bool& reverse) {
    const long cx = std::clamp(static_cast<long>((p.x - x0_) / cell_), 0L, nx_ - 1);
    const long cy = std::clamp(static_cast<long>((p.y - y0_) / cell_), 0L, ny_ - 1);
    // Distance from p to the grid's area: rings nearer than that hold nothing.
    const double outside = std::hypot(std::max({x0_ - p.x, 0.0, p.x - (x0_ + nx_ * cell_)}),
                                      std::max({y0_ - p.y, 0.0, p.y - (y0_ + ny_ * cell_)}));
    double bestd = 1e300;  // squared
    bool found = false;
    const long rings = std::max(nx_, ny_);
    for (long r = 0; r <= rings; ++r) {
      // Every end in ring r or beyond is at least this far from p.
      const double nearest = std::max((r - 1) * cell_, outside);
      if (found && bestd <= nearest * nearest) break;
      for (long y = cy - r; y <= cy + r; ++y) {
        if (y < 0 || y >= ny_) continue;
        const bool edge = y == cy - r || y == cy + r;
        for (long x = cx - r; x <= cx + r; x += edge ? 1 : 2 * r) {
          if (x >= 0 && x < nx_)
            Scan(cells_[static_cast<size_t>(y * nx_ + x)], p, bestd, best, reverse, found);
          if (r == 0) break;
        }
      }
    }
    if (found) taken_[best] = true;
    return found;
  }

 private:
  size_t CellOf(PlotterPoint p) const {
    const long x = std::clamp(static_cast<long>((p.x - x0_) / cell_), 0L, nx_ - 1);
    const long y = std::clamp(static_cast<long>((p.y - y0_) / cell_), 0L, ny_ - 1);
    return static_cast<size_t>(y * nx_ + x);
  }

  void Scan(std::vector<size_t>& cell, PlotterPoint p, double& bestd, size_t& best, bool& reverse,
            bool& found) {
    for (size_t k = 0; k < cell.size();) {
      const size_t i = cell[k];
      if (taken_[i]) {
        cell[k] = cell.back();
        cell.pop_back();
        continue;
      }
      const Stroke& s = strokes_[i];
      Consider(SquaredDistance(p, s.Start()), i, false, bestd, best, reverse, found);
      if (s.Reversible())
        Consider(SquaredDistance(p, s.End()), i, true, bestd, best, reverse, found);
      ++k;
    }
  }

  // Ties go to the stroke drawn first and then to its own direction, so that the order does
  // not depend on the grid.
  static void Consider(double d, size_t i, bool rev, double& bestd, size_t& best, bool& reverse,
                       bool& found) {
    const bool better =
        !found || d < bestd || (d == bestd && (i < best || (i == best && !rev && reverse)));
    if (!better) return;
    bestd = d;
    best = i;
    reverse = rev;
    found = true;
  }

  const std::vector<Stroke>& strokes_;
  std::vector<bool> taken_;
  std::vector<std::vector<size_t>> cells_;
  double cell_ = 1, x0_ = 0, y0_ = 0;
  long nx_ = 1, ny_ = 1;
};

}  // namespace

PlotterPoint Stroke::Start() const {
  switch (kind) {
    case StrokeKind::kCircle:
      return centre;
    default:
      return points.empty() ? centre : points.front();
  }
}

PlotterPoint Stroke::End() const {
  switch (kind) {
    case StrokeKind::kCircle:
      return centre;
    case StrokeKind::kPath:
      return points.empty() ? centre : points.back();
    case StrokeKind::kArc:
    case StrokeKind::kLabel:
      return points.size() > 1 ? points[1] : Start();
    default:
      return Start();
  }
}

bool Stroke::Reversible() const {
  return kind == StrokeKind::kPath || kind == StrokeKind::kArc;
}

void Stroke::Reverse() {
  if (kind == StrokeKind::kPath) {
    std::reverse(points.begin(), points.end());
  } else if (kind == StrokeKind::kArc && points.size() > 1) {
    std::swap(points[0], points[1]);
    sweep = -sweep;
  }
}

double Stroke::DownLength() const {
  switch (kind) {
    case StrokeKind::kPath: {
      double d = 0;
      for (size_t i = 1; i < points.size(); ++i) d += Distance(points[i - 1], points[i]);
      return d;
    }
    case StrokeKind::kCircle:
      return 2 * std::numbers::pi * radius;
    case StrokeKind::kArc:
      return std::fabs(Radians(sweep)) * Distance(points[0], centre);
    case StrokeKind::kLabel:
      return Distance(Start(), End());
    default:
      return 0;
  }
}

double Stroke::UpInside() const {
  return kind == StrokeKind::kCircle ? 2 * radius : 0;
}

std::vector<size_t> OrderStrokes(std::vector<Stroke>& strokes, PlotterPoint from, int in_hand) {
  std::map<int, std::vector<size_t>> pens;
  for (size_t i = 0; i < strokes.size(); ++i) pens[strokes[i].pen].push_back(i);
  std::vector<size_t> order;
  order.reserve(strokes.size());
  PlotterPoint at = from;
  const auto draw = [&](const std::vector<size_t>& members) {
    EndGrid grid(strokes, members);
    size_t next = 0;
    bool reverse = false;
    while (grid.Nearest(at, next, reverse)) {
      if (reverse) strokes[next].Reverse();
      order.push_back(next);
      at = strokes[next].End();
    }
  };
  if (const auto held = pens.find(in_hand); held != pens.end()) draw(held->second);
  for (const auto& [pen, members] : pens)
    if (pen != in_hand) draw(members);
  return order;
}

PageTravel Travel(const std::vector<Stroke>& strokes, const std::vector<size_t>& order,
                  PlotterPoint from, int in_hand) {
  PageTravel t;
  PlotterPoint at = from;
  int pen = in_hand;
  double down = 0, up = 0;
  for (size_t i : order) {
    const Stroke& s = strokes[i];
    if (s.pen != pen) {
      pen = s.pen;
      ++t.pen_changes;
    }
    up += Distance(at, s.Start()) + s.UpInside();
    down += s.DownLength();
    at = s.End();
    ++t.strokes;
  }
  t.down_mm = down / kPlotterUnitsPerMm;
  t.up_mm = up / kPlotterUnitsPerMm;
  return t;
}

}  // namespace qx5
