// Plot requests end to end: the real driver draws a plot file and sends it to a FIFO device;
// the bytes are read back with pclview's reader and compared, dot for dot, with the pixmap
// the same plot file draws in this process.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/devout.hpp"
#include "driver/loop.hpp"
#include "driver/plotrequest.hpp"
#include "geometry/mapping.hpp"
#include "lib/configman.hpp"
#include "lib/message.hpp"
#include "plotlang/grammar.hpp"
#include "printers/config.hpp"
#include "raster/capture.hpp"
#include "raster/encode.hpp"
#include "raster/pclread.hpp"
#include "support/harness.hpp"
// Xlib after gtest.
#include "render/surface.hpp"

namespace {

using qx5test::Driver;
using qx5test::FifoDevice;
using qx5test::TempRoot;

const char kPlot[] =
    "WINDOW(1,0.0,0.0,8.0,10.0)\n"
    "PLOTSETUP(1,1,1)\n"
    "SETCOLOR(4)\n"
    "DRAWBOX(0.5,6.5,2.0,2.0,1)\n"
    "C(6)\n"
    "DRAWARC(6.5,7.5,1.0,0,360,1)\n"
    "C(5)\n"
    "B(3.0,1.0,2.0,3.0,0)\n"
    "SETLINEWIDTH(5)\n"
    "M(0.2,0.2)\n"
    "L(7.7,9.7)\n";

struct Drawn {
  int byte_wide = 0;
  int colour = 0;
  int depth = 0;  // of the page pixmap
  int rotated = 0;
  qx5::RasterKind raster = qx5::RasterKind::kNone;
};

// Draws the plot file in this process the way the plot request does on printer `name`;
// the page is left in qx5::image (release it with ClosePlot).
Drawn DrawHere(const std::string& name, int pagetype, const std::string& file) {
  std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", name.c_str());
  FILE* null = std::fopen("/dev/null", "w");
  qx5::lp = null;
  qx5::InitConfigure();
  qx5::ReadCodes(name.c_str());
  Drawn d;
  d.byte_wide = qx5::RasterWidthFor(qx5::SETUPbrand, 0);
  qx5::PlotPage page = qx5::PlotPageFor(qx5::SETUPbrand, pagetype);
  qx5::rot = page.rot;
  qx5::SetDevtype(page.devtype);
  qx5::GSF = 0;
  EXPECT_EQ(qx5::DrawPlot(file.c_str()), 0);
  qx5::GetBits(0, 0, static_cast<int>(qx5::Width) + 1, static_cast<int>(qx5::Height) + 1,
               qx5::SETUPcolor != 0);
  d.depth = qx5::PixmapDepth();
  qx5::lp = nullptr;
  std::fclose(null);
  d.colour = qx5::SETUPcolor;
  d.rotated = page.rot;
  d.raster = qx5::RasterFor(page.pt);
  return d;
}

int Bit(const XImage* img, int plane, int x, int y) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(img->data) +
                           static_cast<size_t>(plane) * img->bytes_per_line * img->height +
                           static_cast<size_t>(y) * img->bytes_per_line;
  return (p[x / 8] >> (7 - x % 8)) & 1;
}

// The printed value of a drawn dot: ink (black and white) or the printer colour index. The
// image holds the planes the encoders read: plane 0, or the low four of a pixmap of `depth`.
int Expected(const XImage* img, int x, int y, bool colour, int depth) {
  if (!colour) return Bit(img, 0, x, y);
  unsigned v = 0;
  for (int p = img->depth - 4; p < img->depth; ++p) v = (v << 1) | Bit(img, p, x, y);
  return qx5::MapColor(static_cast<unsigned char>(v), depth);
}

// The same from the page read back: the first plane carries the index's value 4.
int Printed(const qx5::PclPage& page, int row, int dot, bool colour) {
  if (!colour) return page.bit(row, 0, dot);
  return page.bit(row, 0, dot) << 2 | page.bit(row, 1, dot) << 1 | page.bit(row, 2, dot);
}

std::string Esc(const char* s) {
  return std::string("\x1b") + s;
}

// The sample plotter takes vectors: vector_e2e_test.cpp.
TEST(E2ePlot, EveryPrinterSendsThePixmap) {
  qx5test::TestDisplay();
  struct Case {
    const char* name;
    int pagetype;
  };
  const Case cases[] = {{"laser", 1},     {"laser", 4},     {"inkjet", 1}, {"inkjet", 4},
                        {"dotmatrix", 3}, {"dotmatrix", 1}, {"kanji", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " pagetype " << c.pagetype);
    TempRoot root;
    root.write("/u/tmp/e2e.plt", kPlot);
    std::string file = root.path("/u/tmp/e2e.plt");
    FifoDevice dev(root.path("/dev/lp"));
    Driver drv(root, "0", c.name);
    qx5::SrvMsg attach;
    ASSERT_TRUE(drv.receive(attach));
    dev.settle();
    dev.clear();
    qx5::SrvMsg answer;
    qx5::SrvMsg req = qx5test::FileRequest(5, file, "e2e");
    req.pagetype = c.pagetype;
    ASSERT_TRUE(drv.request(req, answer, 60000));
    EXPECT_EQ(answer.status, 0) << drv.output();
    dev.settle();
    std::string bytes = dev.bytes();
    EXPECT_TRUE(drv.wait_output("Start Plot: e2e on " + std::string(c.name)));
    EXPECT_TRUE(drv.wait_output("End plot: e2e on " + std::string(c.name)));
    ASSERT_TRUE(drv.stop());

    Drawn d = DrawHere(c.name, c.pagetype, file);
    const XImage* img = qx5::image;
    ASSERT_NE(img, nullptr);
    std::vector<qx5::PclPage> pages = qx5::ReadPcl(bytes);
    size_t rows_seen = 0;
    for (const auto& p : pages) rows_seen += p.rows.size();
    if (d.raster == qx5::RasterKind::kNone) {
      EXPECT_EQ(rows_seen, 0u);
      EXPECT_EQ(bytes.find("\x1b*b"), std::string::npos);
      qx5::ClosePlot();
      continue;
    }
    // The graphics start codes come before the first row and the end codes after the last.
    size_t first = bytes.find("\x1b*b");
    size_t last_end = bytes.rfind("\x1b*b");
    ASSERT_NE(first, std::string::npos);
    if (qx5::SETUPbrand == 1) {
      EXPECT_NE(bytes.rfind(Esc("*r1A"), first), std::string::npos);
      EXPECT_NE(bytes.find(Esc("*rB"), last_end), std::string::npos);
    }
    const bool turned = d.raster == qx5::RasterKind::kTurned;
    const int W = img->width, H = img->height;
    const int nb = (W + 7) / 8, hb = (H + 7) / 8;
    const int rows = turned ? W : H;
    int row_bytes = d.byte_wide;
    if (!turned && !d.colour && nb < d.byte_wide) row_bytes = nb;
    // All rows on one page, each with one command per plane and its bytes.
    const qx5::PclPage* page = nullptr;
    for (const auto& p : pages)
      if (!p.rows.empty()) page = &p;
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(rows_seen, static_cast<size_t>(rows));
    // The laser and the inkjet take delta-row compression: the mode command comes once,
    // right after the graphics start codes, and rows decode to at least the row's bytes.
    const bool compressed = std::string(c.name) == "laser" || std::string(c.name) == "inkjet";
    size_t mode = bytes.find(Esc("*r1A") + Esc("*b3M"));
    EXPECT_EQ(mode != std::string::npos, compressed);
    if (compressed) {
      EXPECT_EQ(mode + 5, first);  // the mode command is the first *b command
      EXPECT_EQ(page->modes, 1u << 3);
    } else {
      EXPECT_EQ(page->modes, 1u << 0);
    }
    for (const auto& r : page->rows) {
      ASSERT_EQ(r.planes, d.colour ? 3 : 1);
      for (int p = 0; p < r.planes; ++p) {
        if (compressed) {
          ASSERT_GE(r.len[p], row_bytes);
        } else {
          ASSERT_EQ(r.len[p], row_bytes);
        }
      }
    }
    // A colour printer is told the width its rows carry: dots beyond them would print black.
    if (d.colour) {
      EXPECT_EQ(page->width_dots, d.byte_wide * 8);
    }
    // Dot for dot: turned a quarter turn clockwise at the right end of the row, or as drawn.
    int offset = turned && d.byte_wide > hb ? d.byte_wide - hb : 0;
    long mismatches = 0;
    for (int x = 0; x < W; ++x) {
      for (int y = 0; y < H; ++y) {
        int row = turned ? x : y;
        int dot = turned ? offset * 8 + (H - 1 - y) : x;
        if (dot >= row_bytes * 8) continue;  // beyond the printer row: not printed
        if (Printed(*page, row, dot, d.colour) != Expected(img, x, y, d.colour, d.depth))
          ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0);
    // The fill: colour bits beyond the image are 1, black and white ones 0.
    int fill_dot = turned ? offset * 8 + H : W;
    if (fill_dot < row_bytes * 8 && fill_dot % 8 != 0) {
      EXPECT_EQ(page->bit(0, 0, fill_dot), d.colour ? 1 : 0);
    }
    qx5::ClosePlot();
  }
}

TEST(E2ePlot, FailedParseIsRecoveredAtTheNextRequest) {
  TempRoot root;
  root.write("/u/tmp/bad.plt", "WINDOW(1,0.0,0.0,8.0,10.0)\nNOSUCH(1)\n");
  FifoDevice dev(root.path("/dev/lp"));
  Driver drv(root, "0", "laser");
  qx5::SrvMsg attach;
  ASSERT_TRUE(drv.receive(attach));
  dev.settle();
  qx5::SrvMsg answer;
  ASSERT_TRUE(drv.request(qx5test::FileRequest(5, root.path("/u/tmp/bad.plt"), "bad"), answer));
  EXPECT_EQ(answer.status, 10);
  EXPECT_TRUE(drv.wait_output("ERROR: laser: error -3\n"));
  EXPECT_TRUE(drv.wait_output("End plot: bad on laser\n"));
  dev.settle();
  EXPECT_EQ(dev.bytes().find("\x1b*b"), std::string::npos);  // no graphics were started
  dev.clear();
  qx5::SrvMsg line = qx5test::Request(33);
  std::snprintf(line.name, sizeof line.name, "after");
  ASSERT_TRUE(drv.request(line, answer));
  EXPECT_EQ(answer.status, 0);
  dev.settle();
  // The recovery closes the graphics first (GREND, CR), then the line is printed.
  std::string bytes = dev.bytes();
  EXPECT_EQ(bytes.find(Esc("*rB") + "\r"), 0u) << qx5test::Hex(bytes);
  EXPECT_NE(bytes.find("after"), std::string::npos);
  EXPECT_TRUE(drv.stop());
}

// Row bytes the printer still waits for after receiving `got` of a page of uncompressed rows
// of byte_wide bytes: the rest of the last row begun (all of it when its command was cut).
size_t Waiting(const std::string& got, size_t byte_wide) {
  size_t at = got.rfind("\x1b*b");
  if (at == std::string::npos) return 0;
  size_t i = at + 3, count = 0;
  while (i < got.size() && got[i] >= '0' && got[i] <= '9') count = count * 10 + (got[i++] - '0');
  if (i >= got.size() || (got[i] != 'V' && got[i] != 'W')) return byte_wide;
  size_t have = got.size() - (i + 1);
  return have < count ? count - have : 0;
}

TEST(E2ePlot, InterruptedTransferIsPaddedBeforeTheNextRequest) {
  // Black and white and colour: the device stops reading in the middle of the page.
  struct Printer {
    const char* name;
    const char* codefile;
    const char* line;  // its CONFIG line with the shortest write time-out
  };
  const Printer printers[] = {
      {"laser", "laserjet.cod", "\"laser\" HPPCL laserjet.cod English BW Single 300 300 30 0"},
      {"inkjet", "deskjet.cod", "\"inkjet\" HPPCL deskjet.cod English Color Single 300 300 30 0"}};
  for (const Printer& p : printers) {
    const char* printer = p.name;
    SCOPED_TRACE(printer);
    TempRoot root;
    std::string config = root.read("/u/qx5/def_data/printers/CONFIG");
    size_t at = config.find(std::string("\"") + printer + "\"");
    ASSERT_NE(at, std::string::npos);
    config.replace(at, config.find('\n', at) - at, p.line);
    root.write("/u/qx5/def_data/printers/CONFIG", config);
    // Rows uncompressed, so that every row holds 300 bytes.
    const std::string codefile = p.codefile;
    std::string cod = root.read("/u/qx5/def_data/printers/" + codefile);
    size_t comp = cod.find("\n8COMPRESS");
    if (comp != std::string::npos) cod.erase(comp + 1, cod.find('\n', comp + 1) - comp);
    root.write("/u/qx5/def_data/printers/" + codefile, cod);
    root.write("/u/tmp/e2e.plt", kPlot);
    FifoDevice dev(root.path("/dev/lp"));
    Driver drv(root, "0", printer);
    qx5::SrvMsg attach;
    ASSERT_TRUE(drv.receive(attach));
    dev.settle();
    dev.clear();
    dev.pause();  // the device stops reading: the page fills the pipe and the writes block
    qx5::SrvMsg answer;
    qx5::SrvMsg req = qx5test::FileRequest(5, root.path("/u/tmp/e2e.plt"), "cut");
    req.pagetype = 1;
    ASSERT_TRUE(drv.request(req, answer, 120000));
    EXPECT_EQ(answer.status, 10) << drv.output();
    EXPECT_TRUE(drv.wait_output(std::string("ERROR: ") + printer + ": Unable to plot\n"));
    dev.resume();
    // What the pipe still held of the cut page drains first.
    EXPECT_TRUE(dev.wait_for(1, 5000));
    dev.settle(500);
    const size_t waiting = Waiting(dev.bytes(), 300);
    const size_t blanks = (waiting + 3) / 4 * 4;
    dev.clear();
    qx5::SrvMsg next = qx5test::Request(33);
    std::snprintf(next.name, sizeof next.name, "next");
    ASSERT_TRUE(drv.request(next, answer));
    EXPECT_EQ(answer.status, 0);
    dev.settle();
    // The rest of the row in flight as blanks (never a whole plane), then the end sequence,
    // then the line.
    std::string bytes = dev.bytes();
    EXPECT_LE(waiting, 300u);
    ASSERT_GE(bytes.size(), blanks + 5);
    EXPECT_EQ(bytes.compare(0, blanks, std::string(blanks, ' ')), 0) << qx5test::Hex(bytes);
    EXPECT_EQ(bytes.compare(blanks, 5, Esc("*rB") + "\r"), 0) << qx5test::Hex(bytes);
    EXPECT_NE(bytes.find("next"), std::string::npos);
    EXPECT_TRUE(drv.stop());
  }
}

}  // namespace
