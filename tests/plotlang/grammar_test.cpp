#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
// Xlib comes after gtest: its macros break gtest's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <functional>
#include <string>

#include "driver/devout.hpp"
#include "driver/loop.hpp"
#include "driver/plotrequest.hpp"
#include "geometry/mapping.hpp"
#include "lib/message.hpp"
#include "lib/stop.hpp"
#include "plotlang/grammar.hpp"
#include "plotlang/lexer.hpp"
#include "printers/config.hpp"
#include "render/plotfonts.hpp"
#include "render/plottext.hpp"
#include "render/primitives.hpp"
#include "render/surface.hpp"
#include "support/harness.hpp"

namespace {

// Without a surface: the parser, and the statements whose effect is kept as state.
class Grammar : public ::testing::Test {
 protected:
  void SetUp() override {
    qx5::initialized = 0;
    qx5::InitValues();
    qx5::RW = 8;
    qx5::RH = 10;
    qx5::SETUPcolor = 1;
  }
  void TearDown() override {
    qx5::SETUPcolor = 0;
    qx5::InitValues();
  }
};

TEST_F(Grammar, EveryStatementParsesAndPassesItsArguments) {
  using qx5::Xpos, qx5::Ypos;
  static const std::string with_nul("SCALE(8.0,9.0)\0garbage\n", 24);
  const struct {
    const char* line;
    std::function<void()> check;
  } cases[] = {
      {"MOVETO(1.5,-2.5)\n",
       [] {
         EXPECT_EQ(Xpos, 1.5);
         EXPECT_EQ(Ypos, -2.5);
       }},
      {"M(3.0,4.0)\n",
       [] {
         EXPECT_EQ(Xpos, 3.0);
         EXPECT_EQ(Ypos, 4.0);
       }},
      {"LINETO(5.0,6.0)\n",
       [] {
         EXPECT_EQ(Xpos, 5.0);
         EXPECT_EQ(Ypos, 6.0);
       }},
      {"L(7.0,8.0)\n",
       [] {
         EXPECT_EQ(Xpos, 7.0);
         EXPECT_EQ(Ypos, 8.0);
       }},
      {"SETOFFSET(0.5,0.25)\n",
       [] {
         EXPECT_EQ(qx5::Xoff, 0.5);
         EXPECT_EQ(qx5::Yoff, 0.25);
       }},
      {"SETDATAOFFSET(-1.0,2.0)\n",
       [] {
         EXPECT_EQ(qx5::DxOff, -1.0);
         EXPECT_EQ(qx5::DyOff, 2.0);
       }},
      {"SCALE(2.0,3.0)\n",
       [] {
         EXPECT_EQ(qx5::xScale, 2.0);
         EXPECT_EQ(qx5::yScale, 3.0);
       }},
      {"SCALERANGE(2.0,6.0,1.0,3.0)\n",
       [] {
         EXPECT_EQ(qx5::xScale, 2.0);
         EXPECT_EQ(qx5::yScale, 5.0);
         EXPECT_EQ(qx5::Xoff, -2.0);
         EXPECT_EQ(qx5::Yoff, -1.0);
       }},
      // a rejected range still parses
      {"SCALERANGE(2.0,2.0,1.0,3.0)\n", [] { EXPECT_EQ(qx5::xScale, 1.0); }},
      {"PLOTSETUP(1,0,7)\n",
       [] {
         EXPECT_EQ(qx5::Psetup[0], 1);
         EXPECT_EQ(qx5::Psetup[1], 0);
         EXPECT_EQ(qx5::Psetup[2], 7);
       }},
      {"SETLINEWIDTH(3)\n", [] { EXPECT_EQ(qx5::Wide, 3); }},
      {"SETLINESTYLE(2)\n", [] { EXPECT_EQ(qx5::Style, 2); }},
      {"SETCOLOR(4)\n", [] { EXPECT_EQ(qx5::cpix, 4); }},
      {"C(5)\n", [] { EXPECT_EQ(qx5::cpix, 5); }},
      {"FONT(courier)\n", [] { EXPECT_STREQ(qx5::curfont, "courier"); }},
      {"F(\"courier\")\n", [] { EXPECT_STREQ(qx5::curfont, "courier"); }},
      {"FONT(\"MOVETO\")\n", [] { EXPECT_STREQ(qx5::curfont, "MOVETO"); }},
      {"FONT(IDENTIFIER)\n", [] { EXPECT_STREQ(qx5::curfont, "IDENTIFIER"); }},
      {"MARKER(3,2.0,-3.0,0,-1.0,-1.0)\n",
       [] {
         EXPECT_EQ(Xpos, 2.0);
         EXPECT_EQ(Ypos, -3.0);
       }},
      {"DRAWPARABOLA(1.0,2.0,0.0,3.0,0.0,90.0,0.0,0.0,1.0,2)\n", nullptr},
      {"P(1.0,2.0,0.0,3.0,0.0,90.0,0.0,0.0,-1.0,2)\n", nullptr},
      {"DRAWBOX(0.0,0.0,1.0,1.0,1)\n", nullptr},
      {"B(0.0,0.0,1.0,1.0,0)\n", nullptr},
      {"VIEWBOX(0.0,0.0,1.0,1.0,1)\n", nullptr},
      {"DRAWARC(1.0,1.0,0.5,0,360,1)\n", nullptr},
      {"DRAWARC2(1.0,1.0,0.5,0.0,90.5,0)\n", nullptr},
      {"A(1.0,1.0,0.5,-10.99,10.99,1)\n", nullptr},
      {"DRAWELLIPSE(1.0,1.0,2.0,1.0,0.0,360.0,0)\n", nullptr},
      {"E(1.0,1.0,2.0,1.0,0.0,360.0,1)\n", nullptr},
      {"DRAWSTRING(1.0,1.0,hello)\n", [] { EXPECT_STREQ(qx5::curfont, "9x15"); }},
      {"S(1.0,1.0,\"two words\")\n", nullptr},
      {"BITMAP(1.0,1.0,3,0,\"no such.xbm\")\n", nullptr},
      {"SETCLIP(0.0,0.0,4.0,4.0)\n", nullptr},
      {"PLOTSETUPSC(1,2,3)\n", nullptr},
      {"SCALEPIX(1.0,2.0)\n", nullptr},
      {"VERSION(3)\n", nullptr},
      {"WARP(1.0,2.0,3)\n", nullptr},
      // blanks and tabs between any two tokens, a final line without its newline
      {" \t SCALE ( 4.0 ,\t-4.0 ) \t\n",
       [] {
         EXPECT_EQ(qx5::xScale, 4.0);
         EXPECT_EQ(qx5::yScale, -4.0);
       }},
      {"SCALE(6.0,7.0)", [] { EXPECT_EQ(qx5::xScale, 6.0); }},
      // empty lines, and a malformed number read as the end of the line
      {"", nullptr},
      {" \t\n", nullptr},
      {"1.2.3\n", nullptr},
      {"SETCOLOR(6)1.2.3\n", [] { EXPECT_EQ(qx5::cpix, 6); }},
      {with_nul.c_str(), [] { EXPECT_EQ(qx5::xScale, 8.0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    SetUp();
    EXPECT_EQ(qx5::expr(c.line), 0);
    if (c.check) c.check();
  }
}

TEST_F(Grammar, SyntaxErrorsFailTheLineAfterAnyCompleteStatement) {
  const struct {
    const char* line;
    double xscale;  // xScale after the line: 2.0 when its statement ran
  } cases[] = {
      {"SCALE(2,2)\n", 1.0},  // integers where reals belong
      {"SCALE(2.0,2)\n", 1.0},
      {"SETCOLOR(2.0)\n", 1.0},
      {"DRAWARC(1.0,1.0,1.0,0.0,90.0,0)\n", 1.0},
      {"DRAWARC2(1.0,1.0,1.0,0,90,0)\n", 1.0},
      {"DRAWSTRING(1.0,1.0,MOVETO)\n", 1.0},  // a keyword is not a text
      {"FONT(1)\n", 1.0},
      {"FONT(9x15)\n", 1.0},  // an integer and a word: a font name like this needs quotes
      {"scale(2.0,2.0)\n", 1.0},
      {"foo(2.0,2.0)\n", 1.0},
      {"IDENTIFIER(2.0,2.0)\n", 1.0},
      {"\"SCALE\"(2.0,2.0)\n", 1.0},
      {"(2.0,2.0)\n", 1.0},
      {"2.0\n", 1.0},
      {"SCALE\n", 1.0},
      {"SCALE()\n", 1.0},
      {"SCALE(2.0)\n", 1.0},
      {"SCALE(2.0,2.0,2.0)\n", 1.0},
      {"SCALE(2.0 2.0)\n", 1.0},
      {"SCALE 2.0,2.0)\n", 1.0},
      {"SCALE(2.0,2.0\n", 1.0},
      {"SCALE(2.0,,2.0)\n", 1.0},
      {"SCALE(1.2.3,2.0)\n", 1.0},
      {"SCALE(2.0,1.2.3)\n", 1.0},
      {"SCALE(2.0,2.0\"\n", 1.0},
      {"FONT(\"open)\n", 1.0},  // the string runs to the end of the line
      {"SCALE(2.0,2.0) SCALE(3.0,3.0)\n", 2.0},
      {"SCALE(2.0,2.0);\n", 2.0},
      {"SCALE(2.0,2.0) # comment\n", 2.0},
      {"SCALE(2.0,2.0)\r\n", 2.0},
      {"SCALE(2.0,2.0))\n", 2.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    SetUp();
    EXPECT_EQ(qx5::expr(c.line), -1);
    EXPECT_EQ(qx5::xScale, c.xscale);
  }
}

class DrawPlotFile : public Grammar {
 protected:
  std::string Write(const std::string& content) {
    std::string path = root.dir() + "/plot" + std::to_string(n++) + ".plt";
    FILE* f = std::fopen(path.c_str(), "w");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    return path;
  }
  int Run(const std::string& path, std::string* out) {
    testing::internal::CaptureStdout();
    int r = qx5::DrawPlot(path.c_str());
    *out = testing::internal::GetCapturedStdout();
    return r;
  }
  qx5test::TempRoot root{false};
  int n = 0;
};

// The long-standing line with the text as read, then a line naming the file, the line number, the
// statement and what was wrong or expected.
TEST_F(DrawPlotFile, ResultsAndTheErrorMessage) {
  std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", "pl");
  const std::string long_blanks(500, ' ');
  const std::string long_statement = "SCALE(" + std::string(495, ' ') + "3.0,3.0)\n";
  const std::string reals = "real numbers expected (written with a decimal point: 1.0)";
  const struct {
    std::string content;
    int result;
    std::string output;  // "@" stands for "ERROR: pl: <path>:"
    double xscale;
  } cases[] = {
      {"", 0, "", 1.0},
      {"\n\n \t\n", 0, "", 1.0},
      {"SCALE(2.0,2.0)\nSCALE(4.0,4.0)", 0, "", 4.0},
      {"SCALE(2.0,2.0)\nbad line\nSCALE(4.0,4.0)\n", -3,
       "Getplot: error in bad line\n\n@2: bad line: bad is not a statement\n", 2.0},
      {"SCALE(2.0,2.0) SCALE(4.0,4.0)\nSCALE(5.0,5.0)\n", -3,
       "Getplot: error in SCALE(2.0,2.0) SCALE(4.0,4.0)\n\n@1: SCALE(2.0,2.0) SCALE(4.0,4.0): "
       "nothing but blanks may follow the statement\n",
       2.0},
      {"SCALE(2.0,2.0)\nMOVETO(1,2)\n", -3,
       "Getplot: error in MOVETO(1,2)\n\n@2: MOVETO(1,2): " + reals + "\n", 2.0},
      {"SCALE(2.0,2.0)\nlast", -3, "Getplot: error in last\n@2: last: last is not a statement\n",
       2.0},
      {"\n\nSETCOLOR(2.0)\n", -3,
       "Getplot: error in SETCOLOR(2.0)\n\n@3: SETCOLOR(2.0): an integer expected\n", 1.0},
      {"lineto(1.0,1.0)\r\n", -3,
       "Getplot: error in lineto(1.0,1.0)\r\n\n@1: lineto(1.0,1.0): lineto is not a statement: "
       "keywords are upper case (LINETO)\n",
       1.0},
      {"WINDOW(1.0,0.0,0.0,8.0,10.0)\n", -3,
       "Getplot: error in WINDOW(1.0,0.0,0.0,8.0,10.0)\n\n@1: WINDOW(1.0,0.0,0.0,8.0,10.0): "
       "argument 1: an integer expected: WINDOW(integer, real, real, real, real)\n",
       1.0},
      {"MOVETO(1.0)\n", -3,
       "Getplot: error in MOVETO(1.0)\n\n@1: MOVETO(1.0): too few arguments: MOVETO(real, "
       "real)\n",
       1.0},
      {"SCALE(1.0,1.0,1.0)\n", -3,
       "Getplot: error in SCALE(1.0,1.0,1.0)\n\n@1: SCALE(1.0,1.0,1.0): too many arguments: "
       "SCALE(real, real)\n",
       1.0},
      {"L 1.0,1.0\n", -3,
       "Getplot: error in L 1.0,1.0\n\n@1: L 1.0,1.0: \"(\" expected after LINETO\n", 1.0},
      {"M(1.2.3,1.0)\n", -3,
       "Getplot: error in M(1.2.3,1.0)\n\n@1: M(1.2.3,1.0): a number with two decimal points\n",
       1.0},
      {"#\n", -3, "Getplot: error in #\n\n@1: #: a statement keyword expected\n", 1.0},
      // a NUL ends the line for the parser
      {std::string("SCALE(2.0,2.0)\0junk\nSCALE(4.0,4.0)\n", 35), 0, "", 4.0},
      // lines are read in pieces of 499 characters, which share the line's number
      {"SCALE(2.0,2.0)" + long_blanks + "\n", 0, "", 2.0},
      {"\n" + long_statement, -3,
       "Getplot: error in " + long_statement.substr(0, 499) +
           "\n@2: " + long_statement.substr(0, 499) +
           ": the line ends before the statement does: SCALE(real, real)\n",
       1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content.substr(0, 60));
    SetUp();
    std::string out;
    const std::string path = Write(c.content);
    EXPECT_EQ(Run(path, &out), c.result);
    std::string want = c.output;
    const size_t at = want.find('@');
    if (at != std::string::npos) want.replace(at, 1, "ERROR: pl: " + path + ":");
    EXPECT_EQ(out, want);
    EXPECT_EQ(qx5::xScale, c.xscale);
  }
  // A file that cannot be opened is named with the reason.
  std::string out;
  EXPECT_EQ(Run("", &out), -2);
  EXPECT_EQ(out, "ERROR: pl: the plot request names no plot file\n");
  EXPECT_EQ(Run(root.dir() + "/missing.plt", &out), -1);
  EXPECT_EQ(out, "ERROR: pl: unable to open " + root.dir() + "/missing.plt\nERROR: pl: " +
                     root.dir() + "/missing.plt: No such file or directory\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::DrawPlot(nullptr), -2);
  testing::internal::GetCapturedStdout();
}

// A WINDOW statement whose surface cannot be made (no X server) is a correct statement: the
// line after the long-standing one says so, not that it does not parse.
TEST_F(DrawPlotFile, WindowWithoutASurfaceIsNotASyntaxError) {
  std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", "pl");
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display != nullptr ? display : "";
  setenv("DISPLAY", ":9871", 1);
  std::string out;
  const std::string path = Write("WINDOW(1,0.0,0.0,8.0,10.0)\nM(1.0,1.0)\n");
  EXPECT_EQ(Run(path, &out), -3);
  qx5::ClosePlot();
  if (display != nullptr)
    setenv("DISPLAY", saved.c_str(), 1);
  else
    unsetenv("DISPLAY");
  EXPECT_NE(out.find("Getplot: error in WINDOW(1,0.0,0.0,8.0,10.0)\n\n"), std::string::npos) << out;
  const std::string last = "ERROR: pl: " + path +
                           ":1: WINDOW(1,0.0,0.0,8.0,10.0): no plot surface could be made (the "
                           "line before \"Getplot\" says why); the statement itself is correct\n";
  ASSERT_GE(out.size(), last.size());
  EXPECT_EQ(out.substr(out.size() - last.size()), last) << out;
  EXPECT_EQ(out.find("expected"), std::string::npos) << out;
}

// A FIFO (without a writer), a device and a directory are refused at once, with the reason on
// the line after "unable to open"; nothing of them is read.
TEST_F(DrawPlotFile, OnlyRegularFilesAreRead) {
  std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", "pl");
  const std::string fifo = root.dir() + "/fifo.plt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path :
       {fifo, std::string("/dev/zero"), std::string("/dev/urandom"), root.dir()}) {
    auto t0 = std::chrono::steady_clock::now();
    std::string out;
    EXPECT_EQ(Run(path, &out), -1) << path;
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1)) << path;
    EXPECT_EQ(out, "ERROR: pl: unable to open " + path + "\nERROR: pl: " + path +
                       ": not a regular file\n");
  }
  // A link to a plot file is read like the file.
  const std::string link = root.dir() + "/link.plt";
  ASSERT_EQ(symlink(Write("SCALE(3.0,3.0)\n").c_str(), link.c_str()), 0);
  std::string out;
  EXPECT_EQ(Run(link, &out), 0);
  EXPECT_EQ(qx5::xScale, 3.0);
}

// A stop signal leaves the plot ALARM_SEC seconds: within them every line runs; once they are
// over the plot stops before its next line, without a message of its own.
TEST_F(DrawPlotFile, AStopSignalEndsThePlotBetweenLinesOnceItsGraceIsOver) {
  const int saved = qx5::ALARM_SEC;
  const std::string path = Write("SCALE(2.0,2.0)\nbad line\n");
  qx5::NoteStopSignal(SIGTERM);
  qx5::ALARM_SEC = 60;
  std::string out;
  EXPECT_EQ(Run(path, &out), -3);
  EXPECT_EQ(qx5::xScale, 2.0);
  SetUp();
  qx5::ALARM_SEC = 0;
  EXPECT_EQ(Run(path, &out), qx5::kPlotStopped);
  EXPECT_EQ(out, "");
  EXPECT_EQ(qx5::xScale, 1.0);  // not even the first line ran
  qx5::ClearStopSignal();
  qx5::ALARM_SEC = saved;
}

// With a surface on the test display: what the lines before a failing one drew stays drawn.
class DrawPlotOnSurface : public ::testing::Test {
 protected:
  void SetUp() override {
    std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", "pl");
    ASSERT_NE(qx5test::TestDisplay(), nullptr);
    qx5::SETUPcolor = 0;
    qx5::SetDevtype(1);
    qx5::rot = 0;
    qx5::GSF = 0;
  }
  void TearDown() override {
    qx5::ClosePlot();
    qx5::GSF = 1.0;
  }
  int Plot(const std::string& content) {
    std::string path = root.dir() + "/plot.plt";
    FILE* f = std::fopen(path.c_str(), "w");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    qx5::GSF = 0;
    testing::internal::CaptureStdout();
    int r = qx5::DrawPlot(path.c_str());
    output = testing::internal::GetCapturedStdout();
    return r;
  }
  // 1 when the dot at plot position (x, y) is inked.
  static unsigned long Dot(double x, double y) {
    XImage* im =
        XGetImage(qx5::display, qx5::drawable, qx5::Xcomp(x), qx5::Ycomp(y), 1, 1, 1, ZPixmap);
    if (im == nullptr) return 2;
    unsigned long p = XGetPixel(im, 0, 0);
    XDestroyImage(im);
    return p;
  }
  static std::string Image() {
    XImage* im =
        XGetImage(qx5::display, qx5::drawable, 0, 0, qx5::Width + 1, qx5::Height + 1, 1, XYPixmap);
    if (im == nullptr) return "";
    std::string bytes(im->data, im->bytes_per_line * im->height);
    XDestroyImage(im);
    return bytes;
  }
  qx5test::TempRoot root;
  std::string output;
};

TEST_F(DrawPlotOnSurface, StatementsBeforeTheFailingLineHaveDrawn) {
  const std::string window = "WINDOW(1,0.0,0.0,8.0,10.0)\n";
  ASSERT_EQ(Plot(window + "M(1.0,1.0)\nL(2.0,2.0)\n"), 0);
  ASSERT_EQ(qx5::initialized, 1);
  EXPECT_EQ(qx5::Width, 959u);  // the worked example of the default page
  EXPECT_EQ(Dot(1.5, 1.5), 1u);
  EXPECT_EQ(Dot(1.5, 2.5), 0u);
  qx5::ClosePlot();

  ASSERT_EQ(Plot(window + "M(1.0,1.0)\nL(2.0,1.0)\nL(3.0,1.0) L(4.0,1.0)\nL(5.0,1.0)\n"), -3);
  EXPECT_EQ(output, "Getplot: error in L(3.0,1.0) L(4.0,1.0)\n\nERROR: pl: " + root.dir() +
                        "/plot.plt:4: L(3.0,1.0) L(4.0,1.0): nothing but blanks may follow the "
                        "statement\n");
  EXPECT_EQ(Dot(1.5, 1.0), 1u);
  EXPECT_EQ(Dot(2.5, 1.0), 1u);  // the failing line's own statement ran
  EXPECT_EQ(Dot(3.5, 1.0), 0u);
  EXPECT_EQ(Dot(4.5, 1.0), 0u);
  qx5::ClosePlot();

  // A window that cannot be made fails its line; the fonts are not built.
  ASSERT_EQ(Plot("WINDOW(1,0.0,0.0,-8.0,10.0)\nM(1.0,1.0)\n"), -3);
  EXPECT_NE(output.find("Getplot: error in WINDOW(1,0.0,0.0,-8.0,10.0)\n\n"), std::string::npos);
  EXPECT_EQ(qx5::PFIinit, 0);
}

TEST_F(DrawPlotOnSurface, ViewboxDrawsAnOutlineWhateverItsInteger) {
  const std::string head = "WINDOW(1,0.0,0.0,8.0,10.0)\nPLOTSETUP(1,1,1)\n";
  ASSERT_EQ(Plot(head + "VIEWBOX(1.0,1.0,2.0,2.0,1)\n"), 0);
  const std::string viewbox = Image();
  EXPECT_EQ(Dot(1.0, 2.0), 1u);
  EXPECT_EQ(Dot(2.0, 2.0), 0u);
  qx5::ClosePlot();
  ASSERT_EQ(Plot(head + "DRAWBOX(1.0,1.0,2.0,2.0,0)\n"), 0);
  EXPECT_EQ(Image(), viewbox);
  qx5::ClosePlot();
  ASSERT_EQ(Plot(head + "B(1.0,1.0,2.0,2.0,1)\n"), 0);
  EXPECT_EQ(Dot(2.0, 2.0), 1u);  // filled
}

TEST_F(DrawPlotOnSurface, AFileWithEveryStatement) {
  ASSERT_EQ(Plot("WINDOW(1,0.0,0.0,8.0,10.0)\n"
                 "VERSION(1)\n"
                 "PLOTSETUPSC(0,0,0)\n"
                 "SCALEPIX(1.0,1.0)\n"
                 "WARP(1.0,1.0,0)\n"
                 "PLOTSETUP(1,1,1)\n"
                 "SETCLIP(0.0,0.0,8.0,10.0)\n"
                 "SETCOLOR(3)\n"
                 "SETLINEWIDTH(2)\n"
                 "SETLINESTYLE(1)\n"
                 "MOVETO(1.0,1.0)\n"
                 "LINETO(2.0,1.0)\n"
                 "SETLINESTYLE(0)\n"
                 "DRAWBOX(3.0,3.0,1.0,1.0,1)\n"
                 "VIEWBOX(3.0,3.0,1.5,1.5,1)\n"
                 "DRAWARC(5.0,5.0,0.5,0,360,1)\n"
                 "A(5.0,7.0,0.5,0.0,90.0,1)\n"
                 "DRAWELLIPSE(2.0,8.0,2.0,1.0,0.0,360.0,0)\n"
                 "P(6.0,2.0,0.0,1.0,0.0,180.0,0.0,0.0,1.0,2)\n"
                 "MARKER(7,1.0,9.0,0,-1.0,-1.0)\n"
                 "FONT(\"9x15\")\n"
                 "DRAWSTRING(1.0,6.0,\"Plot text\")\n"
                 "BITMAP(1.0,4.0,1,0,\"no such bitmap.xbm\")\n"
                 "SETOFFSET(0.5,0.5)\n"
                 "SETDATAOFFSET(0.1,0.1)\n"
                 "SCALE(1.0,1.0)\n"
                 "SCALERANGE(0.0,8.0,0.0,10.0)\n"),
            0)
      << output;
  EXPECT_EQ(output.find("Getplot"), std::string::npos) << output;
  EXPECT_EQ(Dot(3.5, 3.5), 1u);  // inside the filled box
  EXPECT_STREQ(qx5::curfont, "9x15");
}

}  // namespace
