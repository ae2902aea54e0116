#include <gtest/gtest.h>

#include "../printers/printer_fixture.hpp"
#include "driver/srvmsg.hpp"

using h2test::PrinterEnv;

namespace {

TEST(Recovery, FillsTheMissingRasterBytesThenEndsThePlot) {
  PrinterEnv env;
  env.OpenDevice();
  env.Codes("?BINARY\n6HASPCL 1 1\n5GREND 4 27 42 114 66\n2CR 1 13\n5MAPLF 1 77\n");
  qx5::SETUPbrand = 1;
  qx5::FFaft = 0;
  qx5::Pt = 1;
  struct Case {
    int missing;
    size_t blanks;
  } cases[] = {{10, 12}, {0, 0}, {4, 4}, {1, 4}};
  for (const Case& c : cases) {
    qx5::RecoverFromPlotnb = c.missing;
    EXPECT_EQ(qx5::RecoverFromPlotError(), 0);
    EXPECT_EQ(qx5::RecoverFromPlotnb, 0);
    const std::string end = "\x1b*rB\rM\n";
    env.ExpectSent(std::string(c.blanks, ' ') + end);
  }
  // A failed write keeps the count for the next try.
  std::fclose(qx5::lp);
  qx5::lp = nullptr;
  qx5::RecoverFromPlotnb = 8;
  EXPECT_EQ(qx5::RecoverFromPlotError(), 1);
  EXPECT_EQ(qx5::RecoverFromPlotnb, 8);
  // The end sequence failing is a failed recovery, with its status 10.
  qx5::RecoverFromPlotnb = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::RecoverFromPlotError(), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(qx5::smsgp.status, 10);
}

}  // namespace
