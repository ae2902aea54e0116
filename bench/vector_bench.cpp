// Benchmarks of the pen plotter's stroke ordering: the nearest-next order of a page's strokes
// through the grid of stroke ends, against the same order found by looking at every stroke
// for each step (the exhaustive search a simple implementation makes). No X server is used.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "render/strokes.hpp"

namespace {

// n random lines on a letter page in plotter units, in four pens, as the dense page has them.
std::vector<qx5::Stroke> Lines(size_t n) {
  std::mt19937 rng(20261208);
  std::uniform_real_distribution<double> x(0, 8128), y(0, 10160);
  std::vector<qx5::Stroke> s(n);
  for (size_t i = 0; i < n; ++i) {
    s[i].pen = 3 + static_cast<int>(i * 4 / n);
    s[i].points = {{x(rng), y(rng)}, {x(rng), y(rng)}};
  }
  return s;
}

// Nearest-next by looking at every untaken stroke of the pen at each step.
std::vector<size_t> Exhaustive(std::vector<qx5::Stroke>& s) {
  std::vector<size_t> order;
  std::vector<bool> taken(s.size());
  qx5::PlotterPoint at;
  for (int pen = 1; pen <= 8; ++pen) {
    for (;;) {
      double best = 1e300;
      size_t bi = s.size();
      bool rev = false;
      for (size_t i = 0; i < s.size(); ++i) {
        if (taken[i] || s[i].pen != pen) continue;
        const double ds = std::hypot(s[i].Start().x - at.x, s[i].Start().y - at.y);
        const double de = std::hypot(s[i].End().x - at.x, s[i].End().y - at.y);
        if (ds < best) best = ds, bi = i, rev = false;
        if (de < best) best = de, bi = i, rev = true;
      }
      if (bi == s.size()) break;
      taken[bi] = true;
      if (rev) s[bi].Reverse();
      at = s[bi].End();
      order.push_back(bi);
    }
  }
  return order;
}

void Order(benchmark::State& state, bool grid) {
  const std::vector<qx5::Stroke> page = Lines(static_cast<size_t>(state.range(0)));
  std::vector<size_t> order;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<qx5::Stroke> s = page;
    state.ResumeTiming();
    order = grid ? qx5::OrderStrokes(s, {}) : Exhaustive(s);
    benchmark::DoNotOptimize(order.data());
  }
  // Pen-up travel of the order against the drawing order, the figure the ordering is for.
  std::vector<qx5::Stroke> s = page;
  order = qx5::OrderStrokes(s, {});
  std::vector<size_t> drawn(page.size());
  std::iota(drawn.begin(), drawn.end(), 0);
  state.counters["up_ratio"] = qx5::Travel(s, order, {}).up_mm / qx5::Travel(page, drawn, {}).up_mm;
  state.counters["strokes_per_s"] = benchmark::Counter(
      static_cast<double>(page.size()), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_OrderStrokesGrid(benchmark::State& s) {
  Order(s, true);
}
void BM_OrderStrokesExhaustive(benchmark::State& s) {
  Order(s, false);
}
BENCHMARK(BM_OrderStrokesGrid)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrderStrokesExhaustive)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
