// The driver's memory does not grow with the page: a 600 dpi colour letter page and a
// 32767 x 32767 dot page, turned and as drawn, measured as the driver's peak resident size.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "raster/pclread.hpp"
#include "support/harness.hpp"

namespace {

using qx5test::Driver;
using qx5test::FifoDevice;
using qx5test::TempRoot;

// The page size the driver reported for its last page: the largest x and y dot.
void LastPage(const std::string& out, long& w, long& h) {
  const std::string key = "Width, Height, POFF, AllPlanes = ";
  size_t at = out.rfind(key);
  w = h = -1;
  if (at != std::string::npos) std::sscanf(out.c_str() + at + key.size(), "%ld, %ld", &w, &h);
}

// Plots `plot` on `printer` turned and as drawn: every column, or every line, of the page
// must come out as a row, and the page must be `side` dots a side when side is not 0.
// Returns the driver's peak resident size in kB.
long PlotBoth(TempRoot& root, const char* printer, const std::string& plot, long side) {
  root.write("/u/tmp/big.plt", plot);
  FifoDevice dev(root.path("/dev/lp"));
  Driver drv(root, "0", printer);
  qx5::SrvMsg attach;
  EXPECT_TRUE(drv.receive(attach));
  dev.settle();
  for (int pagetype : {1, 4}) {
    SCOPED_TRACE(testing::Message() << printer << " pagetype " << pagetype);
    dev.clear();
    qx5::SrvMsg req = qx5test::FileRequest(5, root.path("/u/tmp/big.plt"), "big");
    req.pagetype = pagetype;
    qx5::SrvMsg answer;
    EXPECT_TRUE(drv.request(req, answer, 240000));
    EXPECT_EQ(answer.status, 0) << drv.output();
    dev.settle();
    long w = 0, h = 0;
    LastPage(drv.output(), w, h);
    if (side != 0) {
      EXPECT_EQ(w + 1, side);
      EXPECT_EQ(h + 1, side);
    }
    size_t got = 0;
    for (const qx5::PclPage& p : qx5::ReadPcl(dev.bytes())) got += p.rows.size();
    EXPECT_EQ(got, static_cast<size_t>(pagetype == 1 ? w + 1 : h + 1));
  }
  long kb = qx5test::StatusKb(drv.pid(), "VmHWM");
  EXPECT_TRUE(drv.stop());
  std::printf("peak resident size of the driver, %s: %.1f MB\n", printer, kb / 1024.0);
  return kb;
}

TEST(E2eMemory, LargePagesRunInBoundedMemory) {
  qx5test::TestDisplay();
  TempRoot root;
  // A letter page that is 32766.33 dots wide (3943 dpi, 0.19 in. unprintable) and higher
  // than that on continuous paper: a square window fills 32767 x 32767 dots.
  std::string cod = root.read("/u/qx5/def_data/printers/laserjet.cod");
  size_t at = cod.find("8LETTERUN");
  ASSERT_NE(at, std::string::npos);
  cod.replace(at, cod.find('\n', at) - at, "8LETTERUN 2  19 0");
  root.write("/u/qx5/def_data/printers/big.cod", cod);
  std::string config = root.read("/u/qx5/def_data/printers/CONFIG");
  config += "\"big\" HPPCL big.cod English BW Tractor 3943 3000 60 0\n";
  config += "\"inkjet600\" HPPCL deskjet.cod English Color Single 600 600 60 0\n";
  root.write("/u/qx5/def_data/printers/CONFIG", config);

  const std::string big =
      "WINDOW(2,0.0,0.0,32765.0,32765.0)\nPLOTSETUP(1,1,1)\nB(100.0,100.0,32000.0,32000.0,0)\n"
      "M(0.0,0.0)\nL(32765.0,32765.0)\nDRAWARC(16000.0,16000.0,9000.0,0,360,1)\n";
  long kb = PlotBoth(root, "big", big, 32767);
  EXPECT_GT(kb, 0);
  EXPECT_LT(kb, 50 * 1024);

  const std::string letter =
      "WINDOW(1,0.0,0.0,8.0,10.0)\nPLOTSETUP(1,1,1)\nC(4)\nDRAWBOX(0.5,6.5,2.0,2.0,1)\nC(6)\n"
      "DRAWARC(6.5,7.5,1.0,0,360,1)\nC(5)\nB(3.0,1.0,2.0,3.0,0)\nM(0.2,0.2)\nL(7.7,9.7)\n";
  kb = PlotBoth(root, "inkjet600", letter, 0);
  EXPECT_GT(kb, 0);
  EXPECT_LT(kb, 20 * 1024);
}

}  // namespace
