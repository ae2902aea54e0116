// Graphics start strings with flags, widths and percent signs, end to end: a real driver
// prints a plot on a printer whose code file has such strings, and the device receives them
// formatted.
#include <gtest/gtest.h>

#include <string>

#include "support/harness.hpp"

namespace {

using qx5test::Driver;
using qx5test::FifoDevice;
using qx5test::TempRoot;

const char kDir[] = "/u/qx5/def_data/printers/";

// A start string's line in a binary code file: the name as the table spells it ("7GRS[i]"),
// the count and the decimal bytes.
std::string CodeLine(const std::string& name, const std::string& bytes) {
  std::string line = "7" + name + " " + std::to_string(bytes.size());
  for (unsigned char c : bytes) line += " " + std::to_string(c);
  return line + "\n";
}

// The sample laser printer's code file with the start strings replaced: GRS[0] formatted with
// the resolution, GRS[1] with the raster width, GRS[2] sent as it is.
std::string CodeFile(const TempRoot& root, const std::string& grs0, const std::string& grs1) {
  std::string base = root.read(std::string(kDir) + "laserjet.cod");
  std::string out;
  size_t at = 0;
  while (at < base.size()) {
    size_t end = base.find('\n', at);
    if (end == std::string::npos) end = base.size();
    const std::string line = base.substr(at, end - at);
    if (line.rfind("7GRS[", 0) != 0) out += line + "\n";
    at = end + 1;
  }
  return out + "?BINARY\n" + CodeLine("GRS[0]", grs0) + CodeLine("GRS[1]", grs1) +
         CodeLine("GRS[2]", "\x1b*r1A%d");
}

TEST(E2eStartStrings, FormattedWithFlagsWidthAndPercentSignsOnTheDevice) {
  qx5test::TestDisplay();
  struct Case {
    const char* grs0;  // formatted with the resolution, 75
    const char* grs1;  // formatted with the raster width, 75 x 8.5 = 637
    const char* sent;  // the three start strings as the device gets them
  } cases[] = {
      {"\x1b*t%4dR", "\x1b*r%04iS", "\x1b*t  75R\x1b*r0637S\x1b*r1A%d"},
      {"\x1b*t%%%dR", "\x1b*r%d%dS", "\x1b*t%75R\x1b*r637%dS\x1b*r1A%d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.grs0);
    TempRoot root;
    root.write(std::string(kDir) + "fmt.cod", CodeFile(root, c.grs0, c.grs1));
    root.write(std::string(kDir) + "CONFIG",
               "\"fmt\" HPPCL fmt.cod English BW Single 75 75 60 0\n");
    root.write("/u/tmp/s.plt", "WINDOW(1,0.0,0.0,2.0,2.0)\nM(0.1,0.1)\nL(1.9,1.9)\n");
    FifoDevice dev(root.path("/dev/lp"));
    Driver drv(root, "0", "fmt");
    qx5::SrvMsg attach;
    ASSERT_TRUE(drv.receive(attach));
    dev.settle();
    dev.clear();
    qx5::SrvMsg req = qx5test::FileRequest(5, root.path("/u/tmp/s.plt"), "fmt");
    req.pagetype = 1;
    qx5::SrvMsg answer;
    ASSERT_TRUE(drv.request(req, answer, 60000));
    EXPECT_EQ(answer.status, 0) << drv.output();
    dev.settle();
    const std::string bytes = dev.bytes();
    const size_t start = bytes.find(c.sent);
    EXPECT_NE(start, std::string::npos) << qx5test::Hex(bytes.substr(0, 120));
    EXPECT_NE(bytes.find("\x1b*b", start), std::string::npos) << "the rows follow";
    ASSERT_TRUE(drv.stop());
  }
}

}  // namespace
