// Set-up mistakes an administrator makes, end to end: each broken installation is a copy of
// the sample tree with one mistake, served by the real driver through a real queue and a FIFO
// device. Each mistake is named (the file, the line, the reason and what the driver does
// instead), the request is answered as it must be, and nothing wrong reaches the printer.
// qx5lp --check says the same of every broken copy, and that the samples are ready.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "driver/srvmsg.hpp"
#include "raster/pclread.hpp"
#include "support/harness.hpp"

namespace {

using qx5test::Driver;
using qx5test::FifoDevice;
using qx5test::TempRoot;

const std::string kDef = "/u/qx5/def_data/printers/";
const std::string kUser = "/u/qx5/usr_data/printers/";
const std::string kSysgen = "/u/qx5/sys_data/files/sysgen.bin";
const std::string kLaserLine =
    "\"laser\"     HPPCL laserjet.cod English BW    Single  300 300  60 0";
const std::string kMissing = ": No such file or directory";
// The sample laser's letter page size, sent when its definition is read and at initialisation.
const std::string kLetter = "\x1b&l2A";
// What the sample laser is sent first (RESET, MAPLF, PORT) and before each text (INITLN).
const std::string kInit =
    "\x1b"
    "E"
    "\x1b&k2G"
    "\x1b&l0O";
const std::string kInitLine = "\x1b&l6D\x1b(s10H";

// Text with "@" standing for the root directory.
std::string At(const TempRoot& root, std::string text) {
  for (size_t at = 0; (at = text.find('@', at)) != std::string::npos; at += root.dir().size())
    text.replace(at, 1, root.dir());
  return text;
}

void Replace(const TempRoot& root, const std::string& fixed, const std::string& from,
             const std::string& to) {
  std::string content = root.read(fixed);
  const size_t at = content.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  content.replace(at, from.size(), to);
  root.write(fixed, content);
}

void Append(const TempRoot& root, const std::string& fixed, const std::string& text) {
  root.write(fixed, root.read(fixed) + text);
}

enum class Ask { kPlot, kLine, kPaper };

struct Mistake {
  const char* what;
  std::function<void(const TempRoot&)> make;
  std::vector<std::string> startup;  // lines said before the first request ("@" the root)
  std::string printer = "laser";
  std::string number = "0";
  Ask ask = Ask::kPlot;
  std::string arg = "/samples/demo.plt";  // the plot file (under the root), the line, the paper
  int status = 10;
  // Lines said for the request; none given for a plot: it is refused.
  std::vector<std::string> lines = {};
  std::string sent = "";  // exactly what the device gets ("-" anything but graphics)
};

const char kRefused[] =
    ": Unable to plot: the printer's definition did not load (see the start-up lines); raster "
    "rows without its graphics codes would print as garbage\n";

std::string NotLoaded(const std::string& name, const std::string& how) {
  return name + ": the printer's definition did not load: running as " + how +
         " without printer codes; plot requests are refused (status 10), text is printed without "
         "printer commands\n";
}

std::vector<Mistake> Mistakes() {
  const std::string config = "@" + kDef + "CONFIG";
  const std::string epson = "EPSON at 120 x 72 dpi";
  return {
      {.what = "a printer name in another case",
       .make =
           [](const TempRoot& r) {
             Append(r, kDef + "CONFIG",
                    "\"lj4\" HPPCL laserjet.cod English BW Single 300 300 60 0\n");
           },
       .startup = {"LJ4: no line of " + config +
                       " carries the name \"LJ4\"; line 22 carries \"lj4\": names are compared "
                       "with their case and blanks\n",
                   NotLoaded("LJ4", epson)},
       .printer = "LJ4"},
      {.what = "a CONFIG in the user directory hides the samples",
       .make =
           [](const TempRoot& r) {
             r.write(kUser + "CONFIG", "\"mine\" EPSON epsonfx.cod E B T 1 1 1 1\n");
           },
       .startup = {"laser: no line of @" + kUser + "CONFIG carries the name \"laser\"; " + config +
                       " is not read while @" + kUser + "CONFIG exists\n",
                   NotLoaded("laser", epson)}},
      {.what = "a missing code file",
       .make = [](const TempRoot& r) { Replace(r, kDef + "CONFIG", "laserjet.cod", "lj4.cod"); },
       .startup = {"laser: Could not open file: lj4.cod\nlaser: lj4.cod not found: @" + kUser +
                       "lj4.cod" + kMissing + "; @" + kDef + "lj4.cod" + kMissing + "\n",
                   NotLoaded("laser", "HPPCL at 300 x 300 dpi")}},
      {.what = "a code file name over 15 characters",
       .make =
           [](const TempRoot& r) {
             Replace(r, kDef + "CONFIG", "laserjet.cod", "laserjet-600dpi.cod");
           },
       .startup = {"laser: " + config +
                       ":17: the code file name laserjet-600dpi.cod has 19 characters, at most "
                       "15: the line is not used\n",
                   NotLoaded("laser", epson)}},
      {.what = "a CONFIG line with a missing field",
       .make =
           [](const TempRoot& r) {
             Replace(r, kDef + "CONFIG", kLaserLine,
                     "\"laser\" HPPCL laserjet.cod English BW Single 300");
           },
       .startup = {"laser: Bad CONFIG line:  HPPCL laserjet.cod English BW Single 300\nlaser: " +
                       config +
                       ":17: the y resolution field is missing or not a number: a CONFIG line "
                       "needs driver, code file, fonts, colour, feed, x and y resolution, "
                       "time-out and serial pause; the line is not used\n",
                   NotLoaded("laser", epson)}},
      {.what = "code file lines that are wrong",
       .make =
           [](const TempRoot& r) {
             Append(r, kDef + "laserjet.cod",
                    "?BINARY\n4BOLD 7 27 40 115 51 66\nUNDER 5 27 38 100 48 68\n4WIDE 2 27 ESC\n");
           },
       .startup = {"laser: @" + kDef +
                       "laserjet.cod:83: 4BOLD: the count is 7 but 5 code bytes are given: the "
                       "command stands for the 5 given\n",
                   "laser: @" + kDef +
                       "laserjet.cod:84: UNDER: the name does not begin with its length digit "
                       "(5UNDER): no escape reaches it\n",
                   "laser: @" + kDef +
                       "laserjet.cod:85: 4WIDE: ESC is not a byte value (0 to 255, in decimal): "
                       "the line is skipped\n"},
       .ask = Ask::kLine,
       .arg = "\\!4BOLDx\\!4WIDEy",
       .status = 0,
       // the page size, the initialisation, then the line: no NUL, no byte of a skipped line
       .sent = kLetter + kInit + kLetter + kInitLine + "\x1b(s3Bxy"},
      {.what = "a plot file that cannot be opened",
       .make = [](const TempRoot&) {},
       .startup = {},
       .arg = "/samples/nosuch.plt",
       .lines = {"ERROR: laser: unable to open @/samples/nosuch.plt\nERROR: laser: "
                 "@/samples/nosuch.plt" +
                 kMissing + "\nERROR: laser: error -1\n"},
       .sent = "-"},
      {.what = "a syntax error",
       .make =
           [](const TempRoot& r) {
             r.write("/samples/bad.plt", "WINDOW(1,0.0,0.0,8.0,10.0)\n\nMOVETO(1,2)\n");
           },
       .startup = {},
       .arg = "/samples/bad.plt",
       .lines = {"Getplot: error in MOVETO(1,2)\n\nERROR: laser: @/samples/bad.plt:3: "
                 "MOVETO(1,2): real numbers expected (written with a decimal point: 1.0)\n"
                 "ERROR: laser: error -3\n"},
       .sent = "-"},
      {.what = "no X server",
       .make = [](const TempRoot&) { setenv("DISPLAY", ":9871", 1); },
       .startup = {},
       .lines = {"Getplot: error in WINDOW(1,0.0,0.0,8.0,10.0)\n\nERROR: laser: "
                 "@/samples/demo.plt:2: WINDOW(1,0.0,0.0,8.0,10.0): no plot surface could be "
                 "made (the line before \"Getplot\" says why); the statement itself is "
                 "correct\nERROR: laser: error -3\n"},
       .sent = "-"},
      {.what = "a paper name in small letters",
       .make = [](const TempRoot&) {},
       .startup = {},
       .ask = Ask::kPaper,
       .arg = "a4",
       .status = 0,
       .lines = {"laser: Could not find paper size: a4\nlaser: paper names are upper case: "
                 "A4\nlaser: @" +
                 kDef + "PAPER has no paper a4: the paper stays LETTER\n"},
       // the initialisation with the letter page size, and no page size after it
       .sent = kLetter + kInit + kLetter},
      {.what = "a missing sysgen.bin",
       .make = [](const TempRoot& r) { ::unlink(r.path(kSysgen).c_str()); },
       .startup = {"laser: system configuration @" + kSysgen + kMissing +
                       ": the built-in values are used (English, paper A)\n",
                   "laser: Could not find paper size: A\nlaser: @" + kDef +
                       "PAPER has no paper A: the page stays at 8.5 x 11 inches\n"},
       .ask = Ask::kLine,
       .arg = "text",
       .status = 0,
       .sent = kInit + kInitLine + "text"},
  };
}

// The lines of the driver's output from the banner to the first request.
std::string StartupLines(const std::string& out) {
  const size_t from = out.find("QX5 PRINTER DRIVER");
  return from == std::string::npos ? out : out.substr(from);
}

TEST(E2eSetup, EveryMistakeIsNamedAndNothingWrongIsSent) {
  qx5test::TestDisplay();
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display != nullptr ? display : "";
  for (const Mistake& m : Mistakes()) {
    SCOPED_TRACE(m.what);
    TempRoot root;
    m.make(root);
    FifoDevice dev(root.path("/dev/lp"));
    Driver d(root, m.number, m.printer);
    setenv("DISPLAY", saved.c_str(), 1);
    qx5::SrvMsg attach, a;
    ASSERT_TRUE(d.receive(attach)) << d.output();
    qx5::SrvMsg req = qx5test::Request(qx5::CMD_CONTROL);
    if (m.ask == Ask::kPlot) {
      req = qx5test::FileRequest(5, root.path(m.arg));
      req.pagetype = 4;
    } else if (m.ask == Ask::kLine) {
      req = qx5test::Request(qx5::CMD_LINE);
      std::snprintf(req.name, sizeof req.name, "%s", m.arg.c_str());
    } else {
      qx5::SetBodyInt(req, qx5::kSubcmdOff, 1);
      std::snprintf(req.paper, sizeof req.paper, "%s", m.arg.c_str());
    }
    ASSERT_TRUE(d.request(req, a, 30000)) << d.output();
    EXPECT_EQ(a.status, m.status);
    ASSERT_TRUE(d.stop()) << d.output();
    const std::string out = d.output();
    const std::string startup = StartupLines(out);
    for (const std::string& line : m.startup)
      EXPECT_NE(startup.find(At(root, line)), std::string::npos) << At(root, line) << "\n" << out;
    const std::vector<std::string> lines =
        m.lines.empty() && m.ask == Ask::kPlot
            ? std::vector<std::string>{"ERROR: " + m.printer + kRefused}
            : m.lines;
    for (const std::string& line : lines)
      EXPECT_NE(out.find(At(root, line)), std::string::npos) << At(root, line) << "\n" << out;
    dev.settle(100);
    const std::string sent = dev.bytes();
    if (m.sent == "-") {
      EXPECT_EQ(sent.find("\x1b*r"), std::string::npos) << qx5test::Hex(sent);  // no graphics
      EXPECT_EQ(sent.find("\x1b*b"), std::string::npos) << qx5test::Hex(sent);  // no rows
    } else {
      EXPECT_EQ(qx5test::Hex(sent), qx5test::Hex(m.sent));
    }
  }
}

// A last line without its newline is read whole: "A4 MM 210 297" at the end of PAPER is a
// page of 297 mm, not 29 mm, and the CONFIG line at the end of CONFIG keeps its last field.
TEST(E2eSetup, DataFilesWithoutAFinalNewline) {
  qx5test::TestDisplay();
  TempRoot root;
  root.write(kDef + "PAPER", "LETTER IN 8.5 11\nA4 MM 210 297");
  root.write(kDef + "CONFIG", "\"laser\" HPPCL laserjet.cod English BW Single 300 300 60 0");
  root.write("/u/qx5/def_data/misc/eplotfonts",
             root.read("/u/qx5/def_data/misc/eplotfonts") + "-*-courier-bold-r-normal--34-*");
  FifoDevice dev(root.path("/dev/lp"));
  Driver d(root, "2", "laser");  // printer 2: paper A4
  qx5::SrvMsg attach, a;
  ASSERT_TRUE(d.receive(attach)) << d.output();
  qx5::SrvMsg plot = qx5test::FileRequest(5, root.path("/samples/demo.plt"));
  plot.pagetype = 4;
  ASSERT_TRUE(d.request(plot, a, 30000)) << d.output();
  EXPECT_EQ(a.status, 0) << d.output();
  ASSERT_TRUE(d.stop());
  EXPECT_EQ(root.read("/u/tmp/P3"), "laser\nlaserjet.cod 1 69 0\nA4 300 300 0\n");
  EXPECT_NE(d.output().find("Sending pagesize for A4: 27&l26A\n"), std::string::npos);
  EXPECT_EQ(d.output().find("Could not"), std::string::npos) << d.output();
  dev.settle(100);
  const std::vector<qx5::PclPage> pages = qx5::ReadPcl(dev.bytes());
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_GT(pages[0].rows.size(), 2900u);  // 297 mm at 300 dpi, less the margins
}

qx5test::CommandResult Check(const std::string& args) {
  return qx5test::RunCommand(QX5_BIN_DIR "/qx5lp --check " + args);
}

// Every sample printer is ready (0, one line); each kind of broken copy answers 1 with the
// finding's line; a wrong command line answers 2. Nothing is created and nothing is written.
TEST(E2eSetup, CheckSaysWhetherAPrinterIsReady) {
  const struct {
    const char* args;
    std::string ready;
  } samples[] = {
      {"laser", "laser: check: ready: HPPCL at 300 x 300 dpi, code file @" + kDef +
                    "laserjet.cod, paper LETTER\n"},
      {"inkjet --printer 1", "inkjet: check: ready: HPPCL at 300 x 300 dpi"},
      {"dotmatrix", "dotmatrix: check: ready: EPSON at 120 x 72 dpi"},
      {"plotter --printer 2", "plotter: check: ready: HPGL at 300 x 300 dpi, code file @" + kDef +
                                  "hp7475a.cod, paper A4\n"},
      {"kanji --printer 1 --device socket://printer.example:9100", "kanji: check: ready: HPPCL"},
      {"laser --device socket://[fd00::20]",
       "laser: device socket://[fd00::20]:9100: a network printer"},
      {"laser --device SOCKET://Printer", "laser: device socket://Printer:9100: a network printer"},
  };
  {
    TempRoot root;
    root.write("/dev/lp", "");
    for (const auto& s : samples) {
      SCOPED_TRACE(s.args);
      const qx5test::CommandResult r = Check(s.args);
      EXPECT_EQ(r.status, 0) << r.out;
      EXPECT_NE(r.out.find(At(root, s.ready)), std::string::npos) << r.out;
      EXPECT_EQ(r.out.find("Sending pagesize"), std::string::npos) << r.out;
    }
    EXPECT_EQ(root.read("/dev/lp"), "");
    EXPECT_FALSE(root.exists("/u/tmp/P1"));
    EXPECT_FALSE(root.exists("/usr/bin/XSRVR"));
  }

  const struct {
    const char* what;
    std::function<void(const TempRoot&)> make;
    std::string args;
    std::string line;
  } broken[] = {
      {"no CONFIG line", [](const TempRoot&) {}, "nosuch",
       "nosuch: no line of @" + kDef + "CONFIG carries the name \"nosuch\"\n"},
      {"a bad CONFIG line",
       [](const TempRoot& r) {
         Replace(r, kDef + "CONFIG", kLaserLine,
                 "\"laser\" HPPCL laserjet.cod English BW Single 300 300 60");
       },
       "laser", ":17: the serial pause field is missing or not a number"},
      {"an unknown colour word",
       [](const TempRoot& r) { Replace(r, kDef + "CONFIG", "English BW", "English Mono"); },
       "laser", "laser: Unknown Color (Mono) - Using Black & White (@" + kDef + "CONFIG:17)\n"},
      {"a missing code file",
       [](const TempRoot& r) { ::unlink(r.path(kDef + "laserjet.cod").c_str()); }, "laser",
       "laser: laserjet.cod not found: @" + kUser + "laserjet.cod" + kMissing},
      {"a bad code line",
       [](const TempRoot& r) { Append(r, kDef + "laserjet.cod", "?BINARY\n5RESET 2\n"); }, "laser",
       "laser: @" + kDef + "laserjet.cod:83: 5RESET: no code bytes after the count"},
      {"no graphics start",
       [](const TempRoot& r) { Replace(r, kDef + "laserjet.cod", "7GRS[0]", "!"); }, "laser",
       "laser: @" + kDef + "laserjet.cod: no 7GRS[0]: plots are sent without graphics start codes"},
      {"a paper not in PAPER",
       [](const TempRoot& r) { Replace(r, kDef + "PAPER", "LETTER ", "USLETTER "); }, "laser",
       "laser: Could not find paper size: LETTER\n"},
      {"a missing sysgen.bin", [](const TempRoot& r) { ::unlink(r.path(kSysgen).c_str()); },
       "laser", "laser: system configuration @" + kSysgen + kMissing},
      {"a missing device", [](const TempRoot& r) { ::unlink(r.path("/dev/lp").c_str()); }, "laser",
       "laser: device @/dev/lp" + kMissing +
           ": the driver ends at start-up (exit message status 9)\n"},
      {"a device that is a directory", [](const TempRoot&) {}, "laser --device /u/tmp",
       "laser: device @/u/tmp: not a character device, FIFO or file"},
      {"a bad network address", [](const TempRoot&) {}, "laser --device socket://:99999",
       "laser: device socket://:99999: not a network printer address"},
      {"an IPv6 address without brackets", [](const TempRoot&) {},
       "laser --device socket://fd00::20:9100",
       "laser: device socket://fd00::20:9100: not a network printer address"},
      {"a host name with a space", [](const TempRoot&) {}, "laser --device 'socket://a b'",
       "laser: device socket://a b: not a network printer address"},
      {"a device name too long", [](const TempRoot&) {},
       "laser --device /dev/" + std::string(5000, 'x'), "device name longer than 4095 bytes"},
      {"a missing plot fonts file",
       [](const TempRoot& r) { ::unlink(r.path("/u/qx5/def_data/misc/eplotfonts").c_str()); },
       "laser", "Missing plot fonts file: @/u/qx5/def_data/misc/eplotfonts\n"},
      {"a missing switch file",
       [](const TempRoot& r) { ::unlink(r.path("/u/qx5/database/DBswitch.data").c_str()); },
       "laser",
       "laser: Missing switch file: @/u/qx5/database/DBswitch.data (No such file or directory"},
      {"a language that is not installed",
       [](const TempRoot& r) {
         ::unlink(r.path("/u/qx5/database/kswitch.data").c_str());
         std::string sys = r.read(kSysgen);
         sys[0] = 6;
         r.write(kSysgen, sys);
       },
       "laser",
       "laser: @" + kSysgen +
           ": language 6 (key 0) is not installed: @/u/qx5/database/kswitch.data is missing or "
           "empty"},
      {"a Kanji printer without its FILTER",
       [](const TempRoot& r) {
         Replace(r, kDef + "ljkanji.cod", "6FILTER   9 nkf -E -j", "6FILTER   9 qx5nofilt");
       },
       "kanji --printer 1",
       "the FILTER program of \"qx5nofilt\" is not found: print requests are answered 9"},
      {"no /u/tmp",
       [](const TempRoot& r) { std::system(("rm -rf '" + r.path("/u/tmp") + "'").c_str()); },
       "laser", "laser: @/u/tmp" + kMissing + ": the setup data file P1 is not written\n"},
  };
  for (const auto& b : broken) {
    SCOPED_TRACE(b.what);
    TempRoot root;
    root.write("/dev/lp", "");
    b.make(root);
    const qx5test::CommandResult r = Check(b.args);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find(At(root, b.line)), std::string::npos) << At(root, b.line) << "\n" << r.out;
    EXPECT_NE(r.out.find(": check: a plot or a print would go wrong (the lines above say why)\n"),
              std::string::npos)
        << r.out;
  }

  for (const char* usage : {"", "laser --printer 3", "laser --printer", "laser extra", "--frob"}) {
    SCOPED_TRACE(usage);
    const qx5test::CommandResult r = Check(usage);
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("Usage: " QX5_BIN_DIR "/qx5lp --check NAME [--printer N] [--device ARG]"),
              std::string::npos)
        << r.out;
  }
}

}  // namespace
