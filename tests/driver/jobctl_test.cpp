#include <gtest/gtest.h>

#include "../printers/printer_fixture.hpp"
#include "driver/plotrequest.hpp"
#include "driver/srvmsg.hpp"
#include "queue_fixture.hpp"

using h2test::PrinterEnv;

namespace {

const char kPcl[] =
    "?BINARY\n6HASPCL 1 1\n5RESET 2 27 69\n5MAPLF 5 27 38 107 50 71\n4PORT 5 27 38 108 48 79\n"
    "2CR 1 13\n2FF 1 12\n5EJECT 5 27 38 108 48 72\n5GREND 4 27 42 114 66\n"
    "8LETTERSZ 5 27 38 108 50 65\n4A4SZ 6 27 38 108 50 54 65\n";
const std::string kReset =
                      "\x1b"
                      "E",
                  kMaplf = "\x1b&k2G", kPort = "\x1b&l0O";
const std::string kEject = "\x1b&l0H", kGrend = "\x1b*rB", kLetter = "\x1b&l2A";

TEST(JobCtl, InitPrinter) {
  PrinterEnv env;
  env.OpenDevice();
  env.Codes(kPcl);
  std::strcpy(qx5::SETUPpaper, "LETTER");
  EXPECT_EQ(qx5::InitPrinter(), 0);
  env.ExpectSent(kReset + kMaplf + kPort + kLetter);
  // Without MAPLF: RESET, PORT, page size.
  env.Codes("?BINARY\n6HASPCL 1 1\n5RESET 2 27 69\n4PORT 5 27 38 108 48 79\n8LETTERSZ 1 65\n");
  EXPECT_EQ(qx5::InitPrinter(), 0);
  env.ExpectSent(kReset + kPort + "A");
  // An EPSON printer, or one without HASPCL, is never initialised.
  qx5::SETUPbrand = 0;
  env.Codes(kPcl);
  EXPECT_EQ(qx5::InitPrinter(), 0);
  qx5::SETUPbrand = 1;
  env.Codes("?BINARY\n5RESET 2 27 69\n");
  EXPECT_EQ(qx5::InitPrinter(), 0);
  EXPECT_EQ(env.Sent(), "");
  // A write that fails ends it with 1.
  env.Codes(kPcl);
  std::fclose(qx5::lp);
  qx5::lp = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::InitPrinter(), 1);
  testing::internal::GetCapturedStdout();
}

TEST(JobCtl, Eject) {
  PrinterEnv env;
  env.OpenDevice();
  env.Codes(kPcl);
  EXPECT_EQ(qx5::Eject("x", 0), 0);
  EXPECT_EQ(qx5::Eject("x", 1), 0);
  env.ExpectSent(kEject);
  env.Codes("?BINARY\n2FF 1 12\n");
  EXPECT_EQ(qx5::Eject("x", 1), 0);
  env.Codes("");
  EXPECT_EQ(qx5::Eject("x", 1), 0);
  env.ExpectSent("\x0c");
}

TEST(JobCtl, FormatCodeFormatsOneIntegerConversionAndNothingElse) {
  struct Case {
    const char* code;
    int value;
    const char* out;
  } cases[] = {
      {"\x1b*r%dS", 2550, "\x1b*r2550S"},
      {"%i", -5, "-5"},
      {"%4d", 42, "  42"},
      {"%04i", 42, "0042"},
      {"%+d", 7, "+7"},
      {"%-5dX", 7, "7    X"},
      {"% d", 7, " 7"},
      {"%.3d", 7, "007"},
      {"%+08.4d", -12, "   -0012"},
      {"%%%d", 9, "%9"},
      {"%d%d", 3, "3%d"},              // only the first integer conversion is formatted
      {"%s%n%x%d%d", 7, "%s%n%x7%d"},  // other conversions are sent as they stand
      {"%%d", 1, "%d"},                // "%%" is a percent sign, so no conversion follows
      {"%ld%#d%*d", 1, "%ld%#d%*d"},   // length modifiers, "#" and "*" are no conversions
      {"100%", 1, "100%"},
      {"plain", 3, "plain"},
      {"di%d", 4, "di4"},
  };
  for (const Case& c : cases) {
    char out[40];
    qx5::FormatCode(c.code, c.value, out, sizeof out);
    EXPECT_STREQ(out, c.out) << c.code;
  }
  char small[6];
  EXPECT_EQ(qx5::FormatCode("AB%dCD", 123456, small, sizeof small), 5);
  EXPECT_STREQ(small, "AB123");
  // A huge width is capped and cut at the buffer, never written past it.
  char big[300];
  const int n = qx5::FormatCode("%99999999999d|", 5, big, sizeof big);
  EXPECT_EQ(n, 256);
  EXPECT_EQ(std::string(big).substr(250), "    5|");
}

TEST(JobCtl, StartPlotSendsAWideFormattedStartStringWhole) {
  PrinterEnv env;
  env.OpenDevice();
  qx5::FFbef = 0;
  // ESC*r%200dS: the width of 200 must reach the printer whole, not cut at a code's size.
  env.Codes(std::string(kPcl) + "7GRS[0] 9 27 42 114 37 50 48 48 100 83\n5GRSRW 1 0\n");
  EXPECT_EQ(qx5::StartPlot(), 0);
  env.ExpectSent("\x1b*r" + std::string(196, ' ') + "2550S");
}

TEST(JobCtl, StartPlot) {
  PrinterEnv env;
  env.OpenDevice();
  qx5::FFbef = 1;
  env.Codes(std::string(kPcl) +
            "7GRS[0] 6 27 42 116 37 100 82\n7GRS[1] 6 27 42 114 37 100 83\n"
            "7GRS[2] 4 37 115 37 110\n6GRSDPI 1 0\n5GRSRW 1 1\n");
  EXPECT_EQ(qx5::StartPlot(), 0);
  env.ExpectSent(kEject + "\x1b*t300R\x1b*r2550S%s%n");
  // HPGL sends nothing; EPSON patches the row width into GRS[0] and sends nothing.
  qx5::SETUPbrand = 2;
  EXPECT_EQ(qx5::StartPlot(), 0);
  qx5::SETUPbrand = 0;
  qx5::FFbef = 0;
  qx5::BYTE_WIDE = 960;
  env.Codes("?BINARY\n7GRS[0] 4 27 76 0 0\n6GRSMOD 1 2\n6GRSDIV 1 3\n");
  EXPECT_EQ(qx5::StartPlot(), 0);
  EXPECT_EQ(h2test::Code(qx5::GRS[0], 4), std::string("\x1bL\xc0\x03", 4));
  // Positions beyond the string are not written.
  env.Codes("?BINARY\n7GRS[0] 2 27 76\n6GRSMOD 1 2\n6GRSDIV 1 1\n");
  qx5::GRS[0][2] = 'z';
  EXPECT_EQ(qx5::StartPlot(), 0);
  EXPECT_EQ(qx5::GRS[0][2], 'z');
  EXPECT_EQ(env.Sent(), "");
}

TEST(JobCtl, EndPlot) {
  PrinterEnv env;
  env.OpenDevice();
  env.Codes(kPcl);
  struct Case {
    int brand, ffaft, pt;
    std::string sent;
  } cases[] = {
      {1, 0, 1, kGrend + "\r" + kMaplf + "\n"},
      {1, 1, 1, kGrend + "\r" + kEject + kMaplf},
      {1, 1, 2, kGrend + "\r" + kEject},
      {2, 1, 1, kMaplf + kPort},
      {0, 0, 1, "\n"},
      {0, 1, 1, kEject},
  };
  for (const Case& c : cases) {
    qx5::SETUPbrand = c.brand;
    qx5::FFaft = c.ffaft;
    qx5::Pt = c.pt;
    qx5::smsgp.status = 3;
    EXPECT_EQ(qx5::EndPlot(), 0);
    EXPECT_EQ(qx5::smsgp.status, 0);
    env.ExpectSent(c.sent);
  }
  // Without HASPCL an HPGL or PCL printer sends nothing.
  env.Codes("?BINARY\n5GREND 1 65\n4PORT 1 66\n");
  for (int brand : {1, 2}) {
    qx5::SETUPbrand = brand;
    EXPECT_EQ(qx5::EndPlot(), 0);
  }
  EXPECT_EQ(env.Sent(), "");
  // A failed write leaves status 10.
  env.Codes(kPcl);
  qx5::SETUPbrand = 1;
  std::fclose(qx5::lp);
  qx5::lp = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::EndPlot(), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(qx5::smsgp.status, 10);
}

struct Control {
  int subcmd = 0, jobend = 0, formfeed = 0, ffflags = 0, reinit = 0;
  const char* paper = "";
};

// Runs one control request; its answer, if one was sent.
bool RunControl(qx5test::PrivateQueue& q, const Control& c, qx5::SrvMsg& answer) {
  qx5::SrvMsg req{};
  req.cmd = qx5::CMD_CONTROL;
  req.srcpid = 4711;
  req.dstpid = 99;
  std::memcpy(req.paper, c.paper, std::min(std::strlen(c.paper), sizeof req.paper));
  std::strcpy(req.title, "kept");  // bytes the driver does not set travel back
  qx5::SetBodyInt(req, qx5::kSubcmdOff, c.subcmd);
  qx5::SetBodyInt(req, qx5::kJobendOff, c.jobend);
  qx5::SetBodyInt(req, qx5::kFormfeedOff, c.formfeed);
  qx5::SetBodyInt(req, qx5::kFfflagsOff, c.ffflags);
  qx5::SetBodyInt(req, qx5::kReinitOff, c.reinit);
  qx5::rmsgp = req;
  qx5::smsgp = req;
  EXPECT_EQ(qx5::ProcessCMDTO(), 1);
  return q.Receive(answer);
}

TEST(JobCtl, ControlRequests) {
  PrinterEnv env;
  qx5test::PrivateQueue q;
  env.OpenDevice();
  env.Codes(kPcl);
  qx5::SrvMsg a;
  // Job begin with form feed and nothing printed: the eject stays pending.
  ASSERT_TRUE(RunControl(q, {0, 0, 1}, a));
  EXPECT_EQ(a.cmd, 61);
  EXPECT_EQ(a.dstpid, 4711);
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(qx5::BodyInt(a, qx5::kSubcmdOff), 0);
  EXPECT_STREQ(a.title, "kept");
  EXPECT_EQ(qx5::ffpending, 1);
  EXPECT_EQ(env.Sent(), "");
  // Job begin after printed lines: ejected now.
  qx5::didlines = 3;
  ASSERT_TRUE(RunControl(q, {0, 0, 1}, a));
  EXPECT_EQ(qx5::ffpending, 0);
  EXPECT_EQ(qx5::didlines, 0);
  env.ExpectSent(kEject);
  // Job end after printed lines: ejected, the device re-opened.
  qx5::didlines = 3;
  ASSERT_TRUE(RunControl(q, {0, 1, 1}, a));
  env.ExpectSent(kEject);
  EXPECT_NE(qx5::lp, nullptr);
  EXPECT_EQ(qx5::ffpending, 0);
  // Job end without form feed: nothing sent.
  qx5::didlines = 2;
  ASSERT_TRUE(RunControl(q, {0, 1, 0}, a));
  EXPECT_EQ(env.Sent(), "");
  // A failed eject: no answer.
  qx5::didlines = 1;
  std::fclose(qx5::lp);
  qx5::lp = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(RunControl(q, {0, 1, 1}, a));
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(qx5::OpenDevice(), 0);
  // Other sub-commands: only the answer, with subcmd 1.
  ASSERT_TRUE(RunControl(q, {7}, a));
  EXPECT_EQ(qx5::BodyInt(a, qx5::kSubcmdOff), 1);
}

TEST(JobCtl, SettingsRequests) {
  PrinterEnv env(true);
  qx5test::PrivateQueue q;
  env.OpenDevice();
  env.Codes(kPcl);
  struct Case {
    int flags, feed, bef, aft;
  } cases[] = {
      {0x05, 0, 0, 0}, {0x13, 0, 0, 1}, {0x11, 1, 0, 1}, {0x11, 0, 1, 1},
      {0x03, 1, 1, 1}, {0x2c, 0, 1, 0}, {0x24, 1, 1, 0}, {0x0c, 1, 1, 1},
  };
  qx5::SrvMsg a;
  for (const Case& c : cases) {
    qx5::FFbef = qx5::FFaft = 1;
    qx5::SETUPfeed = c.feed;
    ASSERT_TRUE(RunControl(q, {1, 0, 0, c.flags}, a));
    EXPECT_EQ(qx5::FFbef, c.bef) << std::hex << c.flags << " feed " << c.feed;
    EXPECT_EQ(qx5::FFaft, c.aft) << std::hex << c.flags << " feed " << c.feed;
    EXPECT_EQ(qx5::BodyInt(a, qx5::kSubcmdOff), 1);
  }
  // A paper name (8 bytes, no NUL needed) sends its page-size command; reinit asks for
  // the initialisation again.
  qx5::DidInit = 1;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(RunControl(q, {1, 0, 0, 0, 1, "A4"}, a));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Sending pagesize for A4: 27&l26A\n");
  env.ExpectSent("\x1b&l26A");
  EXPECT_EQ(qx5::DidInit, 0);
  EXPECT_STREQ(qx5::SETUPpaper, "A4");
  // An unknown paper changes nothing and says so; the answer is 0.
  testing::internal::CaptureStdout();
  ASSERT_TRUE(RunControl(q, {1, 0, 0, 0, 0, "ABCDEFGHIJ"}, a));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "tp: Could not find paper size: ABCDEFGH\ntp: " +
                env.root().path("/u/qx5/def_data/printers/PAPER") +
                " has no paper ABCDEFGH: the paper stays A4\n");
  EXPECT_STREQ(qx5::SETUPpaper, "A4");
  EXPECT_DOUBLE_EQ(qx5::PAPERwIN, 210 / 25.4);
  EXPECT_EQ(a.status, 0);
  // A page-size command that cannot be written is answered 9.
  std::fclose(qx5::lp);
  qx5::lp = nullptr;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(RunControl(q, {1, 0, 0, 0, 0, "A4"}, a));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Sending pagesize for A4: 27&l26A\nERROR: tp: Unable to send the page size of A4\n");
  EXPECT_EQ(a.status, 9);
  EXPECT_EQ(a.cmd, qx5::CMD_CONTROL_ANSWER);
}

}  // namespace
