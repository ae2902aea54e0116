// Plots on the pen plotter end to end: the real driver sends HP-GL to a FIFO device, hp2xx
// renders it, and the picture is compared with the raster page that a PCL printer with the
// same paper and resolution receives for the same plot, both on the paper's 100 dpi grid.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "driver/devout.hpp"
#include "driver/loop.hpp"
#include "lib/configman.hpp"
#include "lib/message.hpp"
#include "printers/config.hpp"
#include "printers/paper.hpp"
#include "raster/pclread.hpp"
#include "support/harness.hpp"

namespace {

using qx5test::Driver;
using qx5test::FifoDevice;
using qx5test::TempRoot;

constexpr double kDpi = 100;
constexpr double kPuPerInch = 1016;

// Dots of the paper's grid at 100 dpi, from the top-left corner of the printable area.
using Dots = std::set<std::pair<int, int>>;

// The sample plotter at 100 dpi and a colour PCL printer at 100 dpi with the plotter's
// unprintable margins: the same paper for both.
void AddPrinters(const TempRoot& root, int timeout = 60) {
  const std::string dir = "/u/qx5/def_data/printers/";
  std::string cod = root.read(dir + "deskjet.cod");
  for (const auto& [from, to] :
       {std::pair<std::string, std::string>{"8LETTERUN 2  50 60", "8LETTERUN 2 50 50"},
        {"4A4UN     2  47 60", "4A4UN 2 47 50"}}) {
    const size_t at = cod.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    cod.replace(at, from.size(), to);
  }
  root.write(dir + "raster100.cod", cod);
  root.write(dir + "CONFIG",
             root.read(dir + "CONFIG") +
                 "\"pcl100\" HPPCL raster100.cod English Color Single 100 100 60 0\n"
                 "\"pen100\" HPGL hp7475a.cod English Color Single 100 100 " +
                 std::to_string(timeout) + " 0 6 1\n");
}

// A driver for `printer` on a FIFO device, attached, its start-up bytes dropped.
struct AttachedDriver {
  AttachedDriver(const TempRoot& root, const std::string& printer, int number = 0)
      : dev(root.path("/dev/lp")), drv(root, std::to_string(number), printer) {
    qx5::SrvMsg attach;
    EXPECT_TRUE(drv.receive(attach));
    dev.settle();
    dev.clear();
  }
  FifoDevice dev;
  Driver drv;
};

struct Result {
  int status = -1;
  std::string bytes;
  std::string output;
};

Result Plot(const TempRoot& root, const std::string& printer, const std::string& file, int pagetype,
            int number = 0) {
  AttachedDriver d(root, printer, number);
  FifoDevice& dev = d.dev;
  Driver& drv = d.drv;
  qx5::SrvMsg answer;
  Result r;
  qx5::SrvMsg req = qx5test::FileRequest(5, root.path(file), "v");
  req.pagetype = pagetype;
  EXPECT_TRUE(drv.request(req, answer, 120000));
  r.status = answer.status;
  dev.settle();
  r.bytes = dev.bytes();
  EXPECT_TRUE(drv.stop());
  r.output = drv.output();
  return r;
}

// The printable area in plotter units, for the paper printer `number` uses (2: A4, else letter).
std::pair<double, double> PrintableArea(const TempRoot&, int number = 0) {
  std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", "pen100");
  qx5::PrinterNumber = number;
  FILE* null = std::fopen("/dev/null", "w");
  qx5::lp = null;
  qx5::InitConfigure();
  qx5::ReadCodes("pen100");
  qx5::lp = nullptr;
  std::fclose(null);
  qx5::CloseSysgen();
  qx5::PrinterNumber = 0;
  return {(qx5::PAPERwIN - qx5::PAPERwun) * kPuPerInch,
          (qx5::PAPERhIN - qx5::PAPERhun) * kPuPerInch};
}

// The ink of the raster page across `width` dots (the raster width the code file declares
// is wider: the reader fills the rest of a row with black); with `index` >= 0 only the dots of
// that printer colour.
Dots RasterInk(const std::string& bytes, int width, int index = -1) {
  Dots ink;
  for (const qx5::PclPage& page : qx5::ReadPcl(bytes)) {
    for (int r = 0; r < static_cast<int>(page.rows.size()); ++r) {
      const qx5::PclRow& row = page.rows[static_cast<size_t>(r)];
      if (row.planes < 3) continue;
      // Dots beyond the bytes sent are not printed.
      const int dots = std::min(width, 8 * std::min({row.len[0], row.len[1], row.len[2]}));
      for (int x = 0; x < dots; ++x) {
        const int v = page.bit(r, 0, x) << 2 | page.bit(r, 1, x) << 1 | page.bit(r, 2, x);
        if (v != 7 && (index < 0 || v == index)) ink.insert({x, r});
      }
    }
  }
  return ink;
}

// The inked pixels of a PBM file.
std::vector<std::pair<int, int>> ReadPbm(const std::string& path, int& w, int& h) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  in >> magic >> w >> h;
  in.get();
  std::vector<std::pair<int, int>> ink;
  if (magic != "P4" || w <= 0 || h <= 0) return ink;
  const int bpl = (w + 7) / 8;
  std::vector<unsigned char> row(static_cast<size_t>(bpl));
  for (int y = 0; y < h && in.read(reinterpret_cast<char*>(row.data()), bpl); ++y)
    for (int x = 0; x < w; ++x)
      if (row[static_cast<size_t>(x / 8)] >> (7 - x % 8) & 1) ink.push_back({x, y});
  return ink;
}

// hp2xx renders HP-GL at 100 dpi for the plotter units 0..range, the pens on in `pens`
// (one digit per pen 1 to 8); its inked pixels.
std::vector<std::pair<int, int>> Render(const TempRoot& root, const std::string& hpgl,
                                        const std::string& pens, double range) {
  const std::string in = root.path("/u/tmp/r.hpgl"), out = root.path("/u/tmp/r.pbm");
  root.write("/u/tmp/r.hpgl", hpgl);
  const std::string r = std::to_string(static_cast<long>(range));
  const std::string cmd = "hp2xx -N -q -m pbm -d 100 -t -x 0 -X " + r + " -y 0 -Y " + r + " -c " +
                          pens + " -f " + out + " " + in + " >/dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  int w = 0, h = 0;
  return ReadPbm(out, w, h);
}

// Where hp2xx puts plotter units, found from two crosses it renders: pixel = a + b * units
// for each axis.
struct Calibration {
  double ax, bx, ay, by;
};

Calibration Calibrate(const TempRoot& root, double range) {
  const double p[2][2] = {{1016, 1016}, {5080, 8128}};
  std::string hpgl = "IN;SP1;";
  for (const auto& c : p) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "PU%.0f,%.0f;PD%.0f,%.0f;PU%.0f,%.0f;PD%.0f,%.0f;", c[0] - 40,
                  c[1], c[0] + 40, c[1], c[0], c[1] - 40, c[0], c[1] + 40);
    hpgl += buf;
  }
  const auto ink = Render(root, hpgl + "PU;SP0;", "11111111", range);
  double sum[2][3] = {};  // per cross: x, y, count
  for (const auto& [x, y] : ink) {
    const int c = x < 300 ? 0 : 1;  // the crosses lie near 100 and 500 at 100 dpi
    sum[c][0] += x;
    sum[c][1] += y;
    sum[c][2] += 1;
  }
  Calibration cal{};
  const double x0 = sum[0][0] / sum[0][2], y0 = sum[0][1] / sum[0][2];
  const double x1 = sum[1][0] / sum[1][2], y1 = sum[1][1] / sum[1][2];
  cal.bx = (x1 - x0) / (p[1][0] - p[0][0]);
  cal.ax = x0 - cal.bx * p[0][0];
  cal.by = (y1 - y0) / (p[1][1] - p[0][1]);
  cal.ay = y0 - cal.by * p[0][1];
  return cal;
}

// The pen plot on the paper's grid: pixels back to plotter units, then from the printable
// area's top-left corner at 100 dpi.
Dots PenInk(const TempRoot& root, const std::string& hpgl, const std::string& pens,
            const Calibration& cal, double range, double printable_height) {
  Dots ink;
  for (const auto& [px, py] : Render(root, hpgl, pens, range)) {
    const double ux = (px - cal.ax) / cal.bx, uy = (py - cal.ay) / cal.by;
    ink.insert({static_cast<int>(std::floor(ux * kDpi / kPuPerInch)),
                static_cast<int>(std::floor((printable_height - uy) * kDpi / kPuPerInch))});
  }
  return ink;
}

// The share of the dots of a that have a dot of b within 2 dots.
double Near(const Dots& a, const Dots& b) {
  if (a.empty()) return 0;
  size_t near = 0;
  for (const auto& [x, y] : a) {
    bool found = false;
    for (int dy = -2; dy <= 2 && !found; ++dy)
      for (int dx = -2; dx <= 2 && !found; ++dx)
        found = dx * dx + dy * dy <= 4 && b.count({x + dx, y + dy}) > 0;
    near += found;
  }
  return static_cast<double>(near) / static_cast<double>(a.size());
}

// The reference page: 2,000 lines in four colours, 200 circles, 100 labels, from a fixed seed.
std::string DensePage(bool labels) {
  long long seed = 20261208;
  const auto rnd = [&seed](double range) {
    seed = seed * 16807 % 2147483647;
    return static_cast<double>(seed) / 2147483647.0 * range;
  };
  std::string p = "WINDOW(1,0.0,0.0,8.0,10.0)\nPLOTSETUP(0,0,0)\nF(\"9x15\")\n";
  char line[160];
  for (int i = 0; i < 2000; ++i) {
    if (i % 500 == 0) p += "C(" + std::to_string(3 + i / 500) + ")\n";
    const double x1 = rnd(8), y1 = rnd(10), x2 = rnd(8), y2 = rnd(10);
    std::snprintf(line, sizeof line, "M(%.3f,%.3f)\nL(%.3f,%.3f)\n", x1, y1, x2, y2);
    p += line;
  }
  for (int i = 0; i < 200; ++i) {
    const double x = rnd(8), y = rnd(10), r = 0.05 + rnd(0.5);
    std::snprintf(line, sizeof line, "A(%.3f,%.3f,%.3f,0.0,360.0,0)\n", x, y, r);
    p += line;
  }
  for (int i = 0; i < 100; ++i) {
    const double x = rnd(7), y = rnd(10);
    std::snprintf(line, sizeof line, "S(%.3f,%.3f,\"label %d\")\n", x, y, i);
    if (labels) p += line;
  }
  return p;
}

// The plot without its text and bitmaps, which only the raster page draws alike.
std::string WithoutText(const std::string& plot) {
  std::string out;
  size_t at = 0;
  while (at < plot.size()) {
    size_t end = plot.find('\n', at);
    end = end == std::string::npos ? plot.size() : end + 1;
    const std::string line = plot.substr(at, end - at);
    if (line.rfind("S(", 0) != 0 && line.rfind("DRAWSTRING", 0) != 0 &&
        line.rfind("BITMAP", 0) != 0)
      out += line;
    at = end;
  }
  return out;
}

// A number from the driver's per-page line, after `label`.
double PageNumber(const std::string& output, const std::string& label) {
  const size_t line = output.find("plotter page:");
  const size_t at = output.find(label, line);
  if (line == std::string::npos || at == std::string::npos) return -1;
  return std::atof(output.c_str() + at + label.size());
}

TEST(E2eVectors, PenPlotLiesOnTheRasterPage) {
  qx5test::TestDisplay();
  struct Case {
    const char* name;
    bool dense;
    int pagetype;
    int number;  // the printer number: 2 takes A4, the others letter
  };
  for (const Case& c : {Case{"sample turned", false, 1, 0}, Case{"sample as drawn", false, 4, 0},
                        Case{"dense as drawn", true, 4, 0}, Case{"dense turned", true, 1, 0},
                        Case{"sample turned on A4", false, 1, 2}}) {
    SCOPED_TRACE(c.name);
    TempRoot root;
    AddPrinters(root);
    const std::string plot =
        c.dense ? DensePage(false) : WithoutText(root.read("/samples/demo.plt"));
    root.write("/u/tmp/p.plt", plot);
    const Result raster = Plot(root, "pcl100", "/u/tmp/p.plt", c.pagetype, c.number);
    const Result pen = Plot(root, "pen100", "/u/tmp/p.plt", c.pagetype, c.number);
    ASSERT_EQ(raster.status, 0) << raster.output;
    ASSERT_EQ(pen.status, 0) << pen.output;
    const auto [across, up] = PrintableArea(root, c.number);
    const double range = std::max(across, up) + 400;
    const Calibration cal = Calibrate(root, range);
    ASSERT_NEAR(cal.bx, kDpi / kPuPerInch, 0.001);
    // A raster row of the 100 dpi printer is 100 bytes: 8 inches, on A4 wider than the
    // printable area, whose right end a turned page is placed against.
    const int width = static_cast<int>(8 * kDpi);
    const Dots r = RasterInk(raster.bytes, width);
    const Dots p = PenInk(root, pen.bytes, "11111111", cal, range, up);
    ASSERT_GT(r.size(), 1000u);
    EXPECT_GE(Near(r, p), 0.98) << r.size() << " raster dots, " << p.size() << " pen dots";
    EXPECT_GE(Near(p, r), 0.98) << r.size() << " raster dots, " << p.size() << " pen dots";
    if (!c.dense) continue;
    // Each colour with its own pen: colours 3 to 6 take pens 3 to 6 of six; the raster page
    // prints them in the printer colours 0, 4, 2 and 1. Every dot of a colour lies on its
    // pen's strokes; a pen's strokes lie on dots of its colour or of a later one, which the
    // raster page draws over it where lines cross.
    const std::vector<std::pair<int, int>> colourOfPen = {{3, 0}, {4, 4}, {5, 2}, {6, 1}};
    for (size_t k = 0; k < colourOfPen.size(); ++k) {
      const int penNo = colourOfPen[k].first;
      SCOPED_TRACE(penNo);
      std::string pens = "00000000";
      pens[static_cast<size_t>(penNo - 1)] = '1';
      const Dots pp = PenInk(root, pen.bytes, pens, cal, range, up);
      const Dots rr = RasterInk(raster.bytes, width, colourOfPen[k].second);
      Dots later;
      for (size_t j = k; j < colourOfPen.size(); ++j)
        for (const auto& d : RasterInk(raster.bytes, width, colourOfPen[j].second)) later.insert(d);
      EXPECT_GE(Near(rr, pp), 0.98);
      EXPECT_GE(Near(pp, later), 0.98);
    }
  }
}

TEST(E2eVectors, DensePageTakesEachPenOnceAndHalvesTheTravel) {
  TempRoot root;
  AddPrinters(root);
  root.write("/u/tmp/dense.plt", DensePage(true));
  const Result r = Plot(root, "pen100", "/u/tmp/dense.plt", 4);
  ASSERT_EQ(r.status, 0) << r.output;
  // Colours 3 to 6 and pens 3 to 6: four pen selections, in pen order.
  EXPECT_EQ(PageNumber(r.output, "strokes, "), 4) << r.output;
  std::vector<size_t> sp;
  for (size_t at = r.bytes.find("SP"); at != std::string::npos; at = r.bytes.find("SP", at + 2))
    sp.push_back(at);
  std::string pens;
  for (size_t at : sp) pens += r.bytes.substr(at, 4);
  EXPECT_EQ(pens, "SP3;SP4;SP5;SP6;SP0;");
  const double up = PageNumber(r.output, "pen up ");
  const double drawn = PageNumber(r.output, "mm (");
  ASSERT_GT(up, 0) << r.output;
  EXPECT_LE(up, drawn / 2) << r.output;
  std::printf("dense page: %s", r.output.substr(r.output.find("pen100: plotter page")).c_str());
  // Every label of the page, with its size and direction once.
  size_t labels = 0;
  for (size_t at = r.bytes.find("LBlabel "); at != std::string::npos;
       at = r.bytes.find("LBlabel ", at + 1))
    ++labels;
  EXPECT_EQ(labels, 100u);
  EXPECT_NE(r.bytes.find("SI0.152,0.254;"), std::string::npos) << "9x15 at 100 dpi";
}

TEST(E2eVectors, NoXServerIsNeededAndChangesNothing) {
  TempRoot root;
  AddPrinters(root);
  root.write("/u/tmp/demo.plt", root.read("/samples/demo.plt") + "S(1.0,1.0,\"caf\xe9\")\n");
  const Result with = Plot(root, "pen100", "/samples/demo.plt", 1);
  const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  unsetenv("DISPLAY");
  const Result without = Plot(root, "pen100", "/samples/demo.plt", 1);
  const Result skipped = Plot(root, "pen100", "/u/tmp/demo.plt", 1);
  setenv("DISPLAY", display.c_str(), 1);
  EXPECT_EQ(with.status, 0) << with.output;
  EXPECT_EQ(without.status, 0) << without.output;
  EXPECT_EQ(with.bytes, without.bytes);
  EXPECT_NE(without.bytes.find("PD"), std::string::npos);
  // The bitmap and the text with a byte above 127 are skipped with a line each; the rest is
  // drawn.
  EXPECT_EQ(skipped.status, 0);
  EXPECT_NE(skipped.output.find("pen100: BITMAP skipped: a pen plotter draws no bitmaps\n"),
            std::string::npos);
  EXPECT_NE(
      skipped.output.find("pen100: DRAWSTRING skipped: a pen plotter draws only ASCII text\n"),
      std::string::npos);
  EXPECT_EQ(skipped.bytes, with.bytes);
}

// A page far larger than a part: 3,000 filled boxes in two colours from a file of 60 kB, some
// two million hatch strokes. It goes out in parts as it is drawn, in bounded memory, each part
// going on with the pen in hand, and the pen is put away once, at the end. A plot whose file
// fails after parts of it went out is answered 10 and has its pen put away before the next.
TEST(E2eVectors, LargePagesGoOutInPartsInBoundedMemory) {
  TempRoot root;
  AddPrinters(root);
  std::string boxes = "WINDOW(1,0.0,0.0,8.0,10.0)\nPLOTSETUP(1,1,1)\n";
  for (int i = 0; i < 3000; ++i)
    boxes += i % 2 ? "C(3)\nB(0.0,0.0,8.0,10.0,1)\n" : "C(4)\nB(0.0,0.0,8.0,10.0,1)\n";
  root.write("/u/tmp/boxes.plt", boxes);
  std::string broken = "WINDOW(1,0.0,0.0,8.0,10.0)\n";
  for (int i = 0; i < 25000; ++i) broken += "M(1.0," + std::to_string(i % 9) + ".5)\nL(7.0,5.0)\n";
  root.write("/u/tmp/broken.plt", broken + "MOVETO(1,2)\n");
  root.write("/u/tmp/small.plt", "WINDOW(1,0.0,0.0,8.0,10.0)\nM(1.0,1.0)\nL(2.0,2.0)\n");
  AttachedDriver d(root, "pen100");
  FifoDevice& dev = d.dev;
  Driver& drv = d.drv;
  qx5::SrvMsg answer;
  const long before_kb = qx5test::StatusKb(drv.pid(), "VmHWM");
  ASSERT_TRUE(
      drv.request(qx5test::FileRequest(5, root.path("/u/tmp/boxes.plt"), "boxes"), answer, 120000));
  EXPECT_EQ(answer.status, 0) << drv.output();
  const long after_kb = qx5test::StatusKb(drv.pid(), "VmHWM");
  ASSERT_GT(before_kb, 0);
  EXPECT_LT(after_kb - before_kb, 64 * 1024) << "held the whole page";
  dev.settle();
  std::string bytes = dev.bytes();
  const double strokes = PageNumber(drv.output(), "plotter page: ");
  EXPECT_GT(strokes, 1e6) << drv.output();
  const double parts = std::ceil(strokes / 20000);
  EXPECT_LE(PageNumber(drv.output(), "strokes, "), parts + 1) << drv.output();
  EXPECT_EQ(bytes.find("PU;SP0;"), bytes.rfind("PU;SP0;"));
  EXPECT_NE(bytes.find("PU;SP0;RO0;"), std::string::npos);
  dev.clear();

  ASSERT_TRUE(drv.request(qx5test::FileRequest(5, root.path("/u/tmp/broken.plt"), "broken"), answer,
                          120000));
  EXPECT_EQ(answer.status, 10) << drv.output();
  dev.settle();
  bytes = dev.bytes();
  EXPECT_NE(bytes.find("SP"), std::string::npos) << "parts went out before the failure";
  EXPECT_EQ(bytes.find("SP0;"), std::string::npos);
  dev.clear();
  ASSERT_TRUE(drv.request(qx5test::FileRequest(5, root.path("/u/tmp/small.plt"), "small"), answer));
  EXPECT_EQ(answer.status, 0) << drv.output();
  dev.settle();
  bytes = dev.bytes();
  EXPECT_EQ(bytes.compare(0, 7, "PU;SP0;"), 0) << bytes.substr(0, 40);
  EXPECT_TRUE(drv.stop());
}

TEST(E2eVectors, StalledPlotterIsAnswered10AndPutBackInOrder) {
  TempRoot root;
  AddPrinters(root, 30);
  // Far more HP-GL than the FIFO holds.
  std::string plot = "WINDOW(1,0.0,0.0,8.0,10.0)\n";
  for (int i = 0; i < 12000; ++i) {
    char line[80];
    std::snprintf(line, sizeof line, "M(%.3f,%.3f)\nL(%.3f,%.3f)\n", (i * 37 % 800) / 100.0,
                  (i * 91 % 1000) / 100.0, (i * 53 % 800) / 100.0, (i * 17 % 1000) / 100.0);
    plot += line;
  }
  root.write("/u/tmp/big.plt", plot);
  root.write("/u/tmp/small.plt", "WINDOW(1,0.0,0.0,8.0,10.0)\nM(1.0,1.0)\nL(2.0,2.0)\n");
  AttachedDriver d(root, "pen100");
  FifoDevice& dev = d.dev;
  Driver& drv = d.drv;
  qx5::SrvMsg answer;
  dev.pause();
  ASSERT_TRUE(
      drv.request(qx5test::FileRequest(5, root.path("/u/tmp/big.plt"), "big"), answer, 120000));
  EXPECT_EQ(answer.status, 10) << drv.output();
  EXPECT_TRUE(drv.wait_output("ERROR: pen100: Unable to plot\n"));
  dev.resume();
  EXPECT_TRUE(dev.wait_for(1, 5000));
  dev.settle(500);
  const std::string cut = dev.bytes();
  dev.clear();
  ASSERT_TRUE(drv.request(qx5test::FileRequest(5, root.path("/u/tmp/small.plt"), "small"), answer));
  EXPECT_EQ(answer.status, 0) << drv.output();
  dev.settle();
  const std::string next = dev.bytes();
  // First the rest of the command that was cut, then the pen lifted and put away, the end
  // codes (RO0;) and the next plot.
  const size_t order = next.find("PU;SP0;RO0;");
  ASSERT_NE(order, std::string::npos) << next.substr(0, 80);
  const std::string owed = next.substr(0, order);
  EXPECT_EQ(owed.find(';'), owed.empty() ? std::string::npos : owed.size() - 1) << owed;
  const std::string joined = cut + owed;
  ASSERT_FALSE(joined.empty());
  EXPECT_EQ(joined.back(), ';') << joined.substr(joined.size() - 20);
  EXPECT_NE(next.find("PD", order), std::string::npos);
  EXPECT_TRUE(drv.stop());
}

}  // namespace
