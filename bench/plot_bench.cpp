// Benchmarks of the plot output: the four raster encoders on a full letter page (hand-built
// images, no X server), and whole plot requests of a dense plot at 300 and 600 dpi, timed from
// the request to the last byte on the device (needs DISPLAY).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/devout.hpp"
#include "driver/loop.hpp"
#include "driver/plotrequest.hpp"
#include "driver/srvmsg.hpp"
#include "lib/configman.hpp"
#include "lib/message.hpp"
#include "printers/config.hpp"
#include "raster/encode.hpp"
// Xlib last.
#include "render/surface.hpp"

namespace {

// A letter page at dpi as the surface holds it, filled with a pattern of ink and colours.
struct PageImage {
  XImage img{};
  std::vector<char> data;
  PageImage(int dpi, int depth) {
    int w = static_cast<int>(8.5 * dpi) + 1, h = 11 * dpi + 1;
    int bpl = (w + 31) / 32 * 4;
    data.assign(static_cast<size_t>(bpl) * h * depth, 0);
    uint32_t seed = 1;
    for (char& c : data) {
      seed = seed * 1103515245u + 12345u;
      c = static_cast<char>((seed >> 16) & 0x81);
    }
    img.width = w;
    img.height = h;
    img.depth = depth;
    img.bytes_per_line = bpl;
    img.format = XYPixmap;
    img.bitmap_bit_order = MSBFirst;
    img.data = data.data();
  }
};

void Encoder(benchmark::State& state, bool colour, bool rotated) {
  int dpi = static_cast<int>(state.range(0));
  PageImage page(dpi, colour ? 8 : 1);
  FILE* null = std::fopen("/dev/null", "w");
  setvbuf(null, nullptr, _IONBF, 0);
  qx5::lp = null;
  qx5::BYTE_WIDE = dpi;
  for (auto _ : state) benchmark::DoNotOptimize(qx5::EncodePage(&page.img, colour, rotated));
  qx5::lp = nullptr;
  std::fclose(null);
  // Dots per second of the page, the figure the encoders are compared by.
  state.counters["dots_per_s"] =
      benchmark::Counter(static_cast<double>(page.img.width) * page.img.height,
                         benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PrintBitsBW(benchmark::State& s) {
  Encoder(s, false, true);
}
void BM_PrintBitsNRBW(benchmark::State& s) {
  Encoder(s, false, false);
}
void BM_PrintBitsCOLOR(benchmark::State& s) {
  Encoder(s, true, true);
}
void BM_PrintBitsNRCOLOR(benchmark::State& s) {
  Encoder(s, true, false);
}
BENCHMARK(BM_PrintBitsBW)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintBitsNRBW)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintBitsCOLOR)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintBitsNRCOLOR)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond);

// A dense plot: 3000 lines, 300 arcs, 300 strings, boxes, markers and colour changes.
std::string DensePlot() {
  std::string p = "WINDOW(1,0.0,0.0,8.0,10.0)\nPLOTSETUP(1,1,1)\n";
  char line[200];
  uint32_t seed = 7;
  auto next = [&seed](double range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % 100000 / 100000.0 * range;
  };
  for (int i = 0; i < 3000; ++i) {
    if (i % 100 == 0) {
      std::snprintf(line, sizeof line, "C(%d)\nSETLINESTYLE(%d)\n", 3 + i / 100 % 6, i / 100 % 3);
      p += line;
    }
    std::snprintf(line, sizeof line, "M(%.3f,%.3f)\nL(%.3f,%.3f)\n", next(8), next(10), next(8),
                  next(10));
    p += line;
  }
  for (int i = 0; i < 300; ++i) {
    std::snprintf(line, sizeof line, "A(%.3f,%.3f,%.3f,%.1f,%.1f,%d)\n", next(8), next(10),
                  0.05 + next(0.5), next(180), 180 + next(180), i % 2);
    p += line;
    std::snprintf(line, sizeof line, "S(%.3f,%.3f,\"dense %d\")\n", next(7), next(10), i);
    p += line;
    if (i % 10 == 0) {
      std::snprintf(line, sizeof line,
                    "B(%.3f,%.3f,0.4,0.3,%d)\nMARKER(%d,%.3f,%.3f,0,-1.0,-1.0)\n", next(7), next(9),
                    i / 10 % 2, 1 + i / 10 % 7, next(8), next(10));
      p += line;
    }
  }
  return p;
}

// A temporary installation root with the sample tree, 600 dpi variants of the laser and the
// inkjet (whose code file declares the 4800 dots its rows carry at 600 dpi), the dense plot,
// and /dev/null as the device (the driver opens a device, never creates it).
struct BenchRoot {
  std::string dir;
  BenchRoot() {
    char tmpl[] = "/tmp/qx5bench.XXXXXX";
    dir = mkdtemp(tmpl);
    const std::string printers = dir + "/u/qx5/def_data/printers/";
    std::string cmd = "cp -a '" QX5_SOURCE_DIR "/examples/root/.' '" + dir + "/' && mkdir -p '" +
                      dir + "/dev' '" + dir + "/u/tmp' && ln -s /dev/null '" + dir +
                      "/dev/lp' && sed 's/27 42 114 50 52 48 48 83/27 42 114 " +
                      "52 56 48 48 83/' '" + printers + "deskjet.cod' >'" + printers +
                      "deskjet600.cod'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot copy the sample tree\n");
    FILE* f = std::fopen((dir + "/u/qx5/def_data/printers/CONFIG").c_str(), "a");
    if (f != nullptr) {
      std::fputs("\"laser600\" HPPCL laserjet.cod English BW Single 600 600 60 0\n", f);
      std::fputs("\"inkjet600\" HPPCL deskjet600.cod English Color Single 600 600 60 0\n", f);
      std::fclose(f);
    }
    f = std::fopen((dir + "/u/tmp/dense.plt").c_str(), "w");
    if (f != nullptr) {
      std::fputs(DensePlot().c_str(), f);
      std::fclose(f);
    }
    setenv("QX5_ROOT", dir.c_str(), 1);
    qx5::InitConfigure();
  }
  ~BenchRoot() {
    std::string cmd = "rm -rf '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", dir.c_str());
  }
};

// The whole plot request on printer `name`: drawing, capture, encoding and every device byte.
void PlotRequest(benchmark::State& state, const char* name) {
  if (std::getenv("DISPLAY") == nullptr) {
    state.SkipWithError("no DISPLAY");
    return;
  }
  static BenchRoot root;
  std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", name);
  qx5::ReadCodes(name);
  if (qx5::OpenDevice() != 0) {
    state.SkipWithError("cannot open the device file");
    return;
  }
  std::string plot = root.dir + "/u/tmp/dense.plt";
  // The driver's own progress lines are not part of what is measured.
  std::fflush(stdout);
  int saved = dup(1);
  FILE* null = std::fopen("/dev/null", "w");
  if (null != nullptr) dup2(fileno(null), 1);
  for (auto _ : state) {
    std::snprintf(qx5::rmsgp.name, sizeof qx5::rmsgp.name, "%s", plot.c_str());
    std::snprintf(qx5::rmsgp.title, sizeof qx5::rmsgp.title, "dense");
    qx5::Pt = 1;
    qx5::smsgp.status = 0;
    // Returns after the end codes reached the unbuffered device, which each request re-opens.
    qx5::PlotRequest();
    if (qx5::smsgp.status != 0 || qx5::PlotError != 0) state.SkipWithError("the plot failed");
  }
  std::fflush(stdout);
  if (saved >= 0) {
    dup2(saved, 1);
    close(saved);
  }
  if (null != nullptr) std::fclose(null);
  if (qx5::lp != nullptr) std::fclose(qx5::lp);
  qx5::lp = nullptr;
}

void BM_PlotRequest_Laser300(benchmark::State& s) {
  PlotRequest(s, "laser");
}
void BM_PlotRequest_Laser600(benchmark::State& s) {
  PlotRequest(s, "laser600");
}
void BM_PlotRequest_Inkjet300(benchmark::State& s) {
  PlotRequest(s, "inkjet");
}
void BM_PlotRequest_Inkjet600(benchmark::State& s) {
  PlotRequest(s, "inkjet600");
}
BENCHMARK(BM_PlotRequest_Laser300)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlotRequest_Laser600)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlotRequest_Inkjet300)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlotRequest_Inkjet600)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
