// The page-type table of the plot request for the three printer brands.
#include "driver/plotrequest.hpp"

#include <gtest/gtest.h>

#include "printers/config.hpp"
#include "printers/paper.hpp"

namespace {

struct Row {
  int brand, pt;
  int new_pt, rot, devtype;
  qx5::RasterKind raster;
};

TEST(PlotRequest, PageTypeTable) {
  using K = qx5::RasterKind;
  const Row rows[] = {
      // HPPCL
      {1, 1, 1, 1, 1, K::kTurned},
      {1, 3, 4, 0, 1, K::kAsDrawn},
      {1, 6, 4, 0, 1, K::kAsDrawn},
      {1, 4, 4, 0, 1, K::kAsDrawn},
      {1, 5, 1, 1, 1, K::kTurned},
      {1, 7, 1, 1, 1, K::kTurned},
      {1, 0, 0, 0, 0, K::kNone},
      {1, 2, 2, 0, 2, K::kNone},
      // EPSON
      {0, 1, 5, 1, 3, K::kAsDrawn},
      {0, 7, 5, 1, 3, K::kAsDrawn},
      {0, 4, 3, 0, 3, K::kTurned},
      {0, 6, 3, 0, 3, K::kTurned},
      {0, 5, 5, 1, 3, K::kAsDrawn},
      {0, 3, 3, 0, 3, K::kTurned},
      {0, 0, 0, 0, 0, K::kNone},
      {0, 2, 2, 0, 2, K::kNone},
      // HPGL: always page type 2, never a raster
      {2, 1, 2, 1, 2, K::kNone},
      {2, 5, 2, 1, 2, K::kNone},
      {2, 7, 2, 1, 2, K::kNone},
      {2, 3, 2, 0, 2, K::kNone},
      {2, 4, 2, 0, 2, K::kNone},
      {2, 0, 2, 0, 2, K::kNone},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "brand " << r.brand << " Pt " << r.pt);
    qx5::PlotPage p = qx5::PlotPageFor(r.brand, r.pt);
    EXPECT_EQ(p.pt, r.new_pt);
    EXPECT_EQ(p.rot, r.rot);
    EXPECT_EQ(p.devtype, r.devtype);
    EXPECT_EQ(qx5::RasterFor(p.pt), r.raster);
  }
}

TEST(PlotRequest, RasterWidthByBrand) {
  qx5::SETUPxdpi = 300;
  qx5::PAPERwIN = 8.5;
  qx5::PAPERwun = 0.25;
  EXPECT_EQ(qx5::RasterWidthFor(1, 7), 300);
  EXPECT_EQ(qx5::RasterWidthFor(0, 7), 2475);  // (8.5 - 0.25) x 300
  qx5::SETUPxdpi = 120;
  qx5::PAPERwun = 0.33;
  EXPECT_EQ(qx5::RasterWidthFor(0, 7), 980);  // 980.4 truncated
  EXPECT_EQ(qx5::RasterWidthFor(2, 7), 7);    // HPGL keeps the last value
}

}  // namespace
