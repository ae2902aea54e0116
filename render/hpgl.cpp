#include "render/hpgl.hpp"

#include <cmath>
#include <cstdio>
#include <numeric>
#include <optional>
#include <utility>

#include "driver/devout.hpp"
#include "lib/message.hpp"
#include "printers/config.hpp"
#include "render/vectors.hpp"

namespace qx5 {
int VectorBlock = kVectorBlockMax;

namespace {

constexpr size_t kPointsPerCommand = 32;  // a PD command stays short in the plotter's buffer
constexpr char kPutAway[] = "PU;SP0;";
constexpr char kEtx = 3;

// Owed to the plotter after a cut-off page: the rest of the command in flight.
std::string owed;
bool due = false;

long Round(double v) {
  return std::lround(v);
}

// A number as HP-GL takes it: whole numbers without a point, else three decimals at most.
std::string Num(double v) {
  char buf[32];
  if (v == std::round(v))
    std::snprintf(buf, sizeof buf, "%ld", Round(v));
  else
    std::snprintf(buf, sizeof buf, "%.3f", v);
  std::string s = buf;
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

std::string XY(PlotterPoint p) {
  return std::to_string(Round(p.x)) + "," + std::to_string(Round(p.y));
}

bool Same(PlotterPoint a, PlotterPoint b) {
  return Round(a.x) == Round(b.x) && Round(a.y) == Round(b.y);
}

// Turns strokes into commands, keeping the pen, its place and the label settings.
class Commands {
 public:
  explicit Commands(bool hpgl2) : hpgl2_(hpgl2) {
    // Absolute plotter units, no scaling, the whole plotting area, solid lines.
    Add(hpgl2 ? "PU;PA;SC;IW;LT;WU0;FT;" : "PU;PA;SC;IW;LT;");
  }

  void Draw(const Stroke& s) {
    if (s.pen != pen_) {
      pen_ = s.pen;
      Add("SP" + std::to_string(pen_) + ";");
    }
    if (hpgl2_ && s.width_mm != width_) {
      width_ = s.width_mm;
      Add("PW" + Num(width_) + ";");
    }
    switch (s.kind) {
      case StrokeKind::kPath:
        return Path(s);
      case StrokeKind::kCircle:
        MoveTo(s.centre);
        Add("CI" + Num(Round(s.radius)) + "," + std::to_string(s.chord) + ";");
        return;
      case StrokeKind::kArc:
        PenDownAt(s.points[0]);
        Add("AA" + XY(s.centre) + "," + Num(s.sweep) + "," + std::to_string(s.chord) + ";");
        at_ = s.points[1];
        return;
      case StrokeKind::kLabel:
        return Label(s);
      case StrokeKind::kFillBox:
        MoveTo(s.points[0]);
        Add("RA" + XY(s.points[1]) + ";");
        return;
      case StrokeKind::kFillWedge:
        MoveTo(s.centre);
        Add("WG" + Num(Round(s.radius)) + "," + Num(s.start) + "," + Num(s.sweep) + "," +
            std::to_string(s.chord) + ";");
        return;
    }
  }

  // The commands made since the last call.
  std::vector<std::string> Take() { return std::exchange(out_, {}); }

  std::vector<std::string> Finish() {
    Add(kPutAway);
    return Take();
  }

 private:
  void Add(std::string c) { out_.push_back(std::move(c)); }

  void MoveTo(PlotterPoint p) {
    if (!known_ || down_ || !Same(p, at_)) Add("PU" + XY(p) + ";");
    down_ = false;
    known_ = true;
    at_ = p;
  }

  void PenDownAt(PlotterPoint p) {
    if (!(known_ && down_ && Same(p, at_))) {
      MoveTo(p);
      Add("PD;");
      down_ = true;
    }
  }

  // A path goes on from where the last one ended without lifting the pen; a path of one
  // point is a dot.
  void Path(const Stroke& s) {
    if (s.points.size() == 1) {
      PenDownAt(s.points[0]);
      return;
    }
    if (!(known_ && down_ && Same(s.points[0], at_))) MoveTo(s.points[0]);
    for (size_t i = 1; i < s.points.size(); i += kPointsPerCommand) {
      std::string c = "PD";
      for (size_t k = i; k < s.points.size() && k < i + kPointsPerCommand; ++k)
        c += (k > i ? "," : "") + XY(s.points[k]);
      Add(c + ";");
    }
    down_ = true;
    at_ = s.points.back();
  }

  void Label(const Stroke& s) {
    MoveTo(s.points[0]);
    if (s.size_w != size_w_ || s.size_h != size_h_) {
      size_w_ = s.size_w;
      size_h_ = s.size_h;
      Add("SI" + Num(size_w_) + "," + Num(size_h_) + ";");
    }
    if (s.run != run_ || s.rise != rise_) {
      run_ = s.run;
      rise_ = s.rise;
      Add("DI" + Num(run_) + "," + Num(rise_) + ";");
    }
    Add("LB" + s.text + kEtx);
    known_ = false;  // the pen stands after the text, where only the plotter knows
  }

  bool hpgl2_;
  int pen_ = 0;
  double width_ = -1;
  double size_w_ = -1, size_h_ = -1;
  double run_ = 1, rise_ = 0;
  bool known_ = false;
  bool down_ = false;
  PlotterPoint at_;
  std::vector<std::string> out_;
};

size_t BlockLimit() {
  return VectorBlock >= 1 && VectorBlock <= kVectorBlockMax ? static_cast<size_t>(VectorBlock)
                                                            : kVectorBlockMax;
}

// Writes the commands in blocks. When a write fails, the rest of the command the plotter got
// part of is kept for the recovery.
int Send(const std::vector<std::string>& commands) {
  std::string block;
  std::vector<size_t> ends;  // where each command of the block ends
  const auto flush = [&]() {
    if (block.empty()) return 0;
    const int failed = WRITE(lp, block.data(), static_cast<int>(block.size()));
    if (failed) {
      const size_t sent = WRITEsent > 0 ? static_cast<size_t>(WRITEsent) : 0;
      size_t begin = 0;
      for (size_t end : ends) {
        if (sent > begin && sent < end) owed = block.substr(sent, end - sent);
        begin = end;
      }
      due = true;
    }
    block.clear();
    ends.clear();
    return failed;
  };
  for (const std::string& c : commands) {
    block += c;
    ends.push_back(block.size());
    if (block.size() >= BlockLimit() && flush() != 0) return 1;
  }
  return flush();
}

// The page being sent, part by part: what the plotter was sent of it and the page's figures.
struct PageSent {
  std::optional<Commands> commands;  // the pen, its place and the label settings, carried on
  PlotterPoint at, drawn_at;         // where the pen stands: in the parts' order, as drawn
  int pen = 0, drawn_pen = 0;        // the pen in hand: in the parts' order, as drawn
  PageTravel travel;
  double drawn_up_mm = 0;
  bool failed = false;  // a write failed: nothing more of the page is sent
};
PageSent sent;

// Orders the strokes drawn since the last part and turns them into commands (the last part
// puts the pen away), adding their figures to the page's. The strokes are dropped.
std::vector<std::string> NextPart(bool last) {
  std::vector<Stroke>& strokes = VectorStrokes();
  if (!sent.commands) {
    ForgetVectorPage();  // a new page: nothing of an earlier one is owed any more
    sent.commands.emplace(SETUPversion == 2);
  }
  std::vector<size_t> order(strokes.size());
  std::iota(order.begin(), order.end(), 0);
  sent.drawn_up_mm += Travel(strokes, order, sent.drawn_at, sent.drawn_pen).up_mm;
  if (!strokes.empty()) {
    sent.drawn_at = strokes.back().End();
    sent.drawn_pen = strokes.back().pen;
  }
  order = OrderStrokes(strokes, sent.at, sent.pen);
  const PageTravel t = Travel(strokes, order, sent.at, sent.pen);
  sent.travel.strokes += t.strokes;
  sent.travel.pen_changes += t.pen_changes;
  sent.travel.down_mm += t.down_mm;
  sent.travel.up_mm += t.up_mm;
  for (size_t i : order) sent.commands->Draw(strokes[i]);
  if (!order.empty()) {
    sent.at = strokes[order.back()].End();
    sent.pen = strokes[order.back()].pen;
  }
  strokes.clear();
  return last ? sent.commands->Finish() : sent.commands->Take();
}

}  // namespace

std::vector<std::string> HpglCommands(const std::vector<Stroke>& strokes,
                                      const std::vector<size_t>& order, bool hpgl2) {
  Commands c(hpgl2);
  for (size_t i : order) c.Draw(strokes[i]);
  return c.Finish();
}

void SendVectorPart() {
  if (sent.failed) {
    VectorStrokes().clear();
    return;
  }
  if (Send(NextPart(false)) != 0) sent.failed = true;
}

int SendVectorPage() {
  std::vector<std::string> commands;
  if (!sent.failed) commands = NextPart(true);
  const PageTravel& t = sent.travel;
  Say("%s: plotter page: %zu strokes, %d pen changes, pen down %.0f mm, pen up %.0f mm "
      "(%.0f mm in drawing order)\n",
      XEQNAME, t.strokes, t.pen_changes, t.down_mm, t.up_mm, sent.drawn_up_mm);
  const bool failed = sent.failed || Send(commands) != 0;
  sent = PageSent{};
  return failed ? 1 : 0;
}

void AbandonVectorPage() {
  // Parts of the page went out: the pen is put away before the next request.
  if (sent.commands && !sent.failed) due = true;
  sent = PageSent{};
}

int RecoverVectorPage() {
  if (!due) return 0;
  const std::string bytes = owed + kPutAway;
  if (WRITE(lp, bytes.data(), static_cast<int>(bytes.size()))) return 1;
  ForgetVectorPage();
  return 0;
}

void ForgetVectorPage() {
  owed.clear();
  due = false;
}

}  // namespace qx5
