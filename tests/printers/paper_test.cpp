#include <gtest/gtest.h>

#include "printer_fixture.hpp"

using h2test::PrinterEnv;

namespace {

const char kPaper[] =
    "! sizes\n"
    "A4 MM 210 297\n"
    "letter in 8.5 11\n"
    "A4 IN 1 1\n"
    "ODD CM 10 20\n"
    "EXECUTIVE IN 7.25 10.5\n"
    "TWELVECHARSX IN 5 5\n"
    "INF IN inf 5\n"
    "NEG IN -1 5\n"
    "SHORT IN 5\n"
    "LAST IN 4 65";  // no newline: read whole all the same

struct Look {
  int found;
  std::string out;
};

Look Lookup(const char* name) {
  testing::internal::CaptureStdout();
  int r = qx5::GetPageSize(name, 0);
  return {r, testing::internal::GetCapturedStdout()};
}

TEST(Paper, Lookup) {
  PrinterEnv env;
  env.Def("PAPER", kPaper);
  env.Codes("?BINARY\n4A4UN 2 25 50\n4A4SZ 6 27 38 108 50 54 65\n8LETTERUN 1 7\n");
  env.OpenDevice();
  Look a4 = Lookup("A4");
  EXPECT_EQ(a4.found, 1);
  EXPECT_EQ(a4.out, "Sending pagesize for A4: 27&l26A\n");
  EXPECT_DOUBLE_EQ(qx5::PAPERwIN, 210 / 25.4);
  EXPECT_DOUBLE_EQ(qx5::PAPERhIN, 297 / 25.4);
  EXPECT_DOUBLE_EQ(qx5::PAPERwun, 0.25);
  EXPECT_DOUBLE_EQ(qx5::PAPERhun, 0.5);
  EXPECT_STREQ(qx5::SETUPpaper, "A4");
  env.ExpectSent("\x1b&l26A");

  // Names in the file are upper-cased; the one asked for is not. A name not found changes
  // nothing: the page and the paper in force stay, and the lines say so.
  const std::string paper = env.root().path("/u/qx5/def_data/printers/PAPER");
  Look lower = Lookup("letter");
  EXPECT_EQ(lower.found, 0);
  EXPECT_EQ(lower.out,
            "tp: Could not find paper size: letter\n"
            "tp: paper names are upper case: LETTER\n"
            "tp: " +
                paper + " has no paper letter: the paper stays A4\n");
  EXPECT_DOUBLE_EQ(qx5::PAPERwIN, 210 / 25.4);
  EXPECT_DOUBLE_EQ(qx5::PAPERhun, 0.5);
  EXPECT_STREQ(qx5::SETUPpaper, "A4");  // kept
  EXPECT_EQ(Lookup("B5").out, "tp: Could not find paper size: B5\ntp: " + paper +
                                  " has no paper B5: the paper stays A4\n");
  EXPECT_DOUBLE_EQ(qx5::PAPERhIN, 297 / 25.4);

  Look letter = Lookup("LETTER");
  EXPECT_EQ(letter.found, 1);
  EXPECT_EQ(letter.out, "");  // no page-size code: nothing sent, nothing said
  EXPECT_DOUBLE_EQ(qx5::PAPERwIN, 8.5);
  EXPECT_DOUBLE_EQ(qx5::PAPERwun, 0.5);  // a margin code of 1 byte is not taken

  Look odd = Lookup("ODD");
  EXPECT_EQ(odd.out, "tp: Unknown units for PAPER width & height: CM (" + paper + ":5)\n");
  EXPECT_DOUBLE_EQ(qx5::PAPERwIN, 10);
  EXPECT_DOUBLE_EQ(qx5::PAPERhIN, 20);

  // A long name is found, but has no codes; bad lines are skipped silently.
  EXPECT_EQ(Lookup("EXECUTIVE").found, 1);
  EXPECT_DOUBLE_EQ(qx5::PAPERhIN, 10.5);
  for (const char* bad : {"TWELVECHARSX", "INF", "NEG", "SHORT"}) EXPECT_EQ(Lookup(bad).found, 0);
  EXPECT_EQ(Lookup("LAST").found, 1);
  EXPECT_DOUBLE_EQ(qx5::PAPERhIN, 65);
  EXPECT_EQ(env.Sent(), "");
}

TEST(Paper, LongNamesHaveNoCodes) {
  PrinterEnv env;
  env.Def("PAPER", "ABCDEF IN 1 2\nABCDEFG IN 3 4\nABCDEFGHI IN 5 6\n");
  // A name of 8 or more characters would give a two-digit escape length, whose first digit is
  // read as the length and the rest passed through as text: nothing may be sent for it.
  env.Codes("?BINARY\n8ABCDEFSZ 1 65\n");
  env.OpenDevice();
  EXPECT_EQ(Lookup("ABCDEF").out, "Sending pagesize for ABCDEF: 65\n");
  EXPECT_EQ(Lookup("ABCDEFG").out, "");
  EXPECT_EQ(Lookup("ABCDEFGHI").out, "");
  env.ExpectSent("A");
}

TEST(Paper, MissingFile) {
  PrinterEnv env;
  qx5::PAPERwIN = 5;
  Look r = Lookup("A4");
  EXPECT_EQ(r.found, 0);
  EXPECT_EQ(r.out.rfind("tp: Could not open file: PAPER\ntp: PAPER not found: ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(": No such file or directory\ntp: the pa"),
            std::string::npos)  // "the paper stays" or "the page stays"
      << r.out;
  EXPECT_DOUBLE_EQ(qx5::PAPERwIN, 5);
}

TEST(Paper, SampleFile) {
  PrinterEnv env(true);
  for (const char* name : {"LETTER", "A4", "LEGAL"}) EXPECT_EQ(Lookup(name).found, 1) << name;
  EXPECT_DOUBLE_EQ(qx5::PAPERhIN, 14);
}

}  // namespace
