#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "lib/configman.hpp"
#include "lib/message.hpp"
#include "printer_fixture.hpp"

using h2test::PrinterEnv;

namespace {

std::string TakeLine(const char* text, int* result = nullptr) {
  testing::internal::CaptureStdout();
  int r = qx5::DoSETUP(text);
  if (result) *result = r;
  return testing::internal::GetCapturedStdout();
}

std::string TakeLineAt(const char* text, const char* where) {
  testing::internal::CaptureStdout();
  qx5::DoSETUP(text, where);
  return testing::internal::GetCapturedStdout();
}

TEST(Config, FieldRules) {
  PrinterEnv env;
  struct Case {
    const char* text;
    int brand, lang, color, feed, alarm;
    const char* messages;
  } cases[] = {
      {" HPPCL a.cod English BW Single 300 300 60 0", 1, 'E', 0, 0, 60, ""},
      {" hpgl a.cod English BW Single 300 300 60 0 4 1", 2, 'E', 0, 0, 60, ""},
      {" EPSON a.cod e b s 120 72 0 0", 0, 'E', 0, 0, 30, ""},
      {" PCL a.cod kanji color tractor 1 1 30 0", 0, 'K', 1, 1, 30,
       "tp: Unknown Driver (PCL) - Using EPSON\n"},
      {" HPPCL a.cod xx yy zz 1 1 31 0", 1, 'E', 0, 0, 31,
       "tp: Unknown Fonts (Xx) - Using English Fonts\n"
       "tp: Unknown Color (Yy) - Using Black & White\n"
       "tp: Unknown Feed (Zz) - Using Single Sheet Feed\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int r = 0;
    EXPECT_EQ(TakeLine(c.text, &r), c.messages);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(qx5::SETUPbrand, c.brand);
    EXPECT_EQ(qx5::SETUPlang, c.lang);
    EXPECT_EQ(qx5::SETUPcolor, c.color);
    EXPECT_EQ(qx5::SETUPfeed, c.feed);
    EXPECT_EQ(qx5::ALARM_SEC, c.alarm);
    EXPECT_STREQ(qx5::SETUPcode, "a.cod");
  }
  TakeLine(" HPPCL a.cod E B S 300 150 45 7");
  EXPECT_EQ(qx5::SETUPxdpi, 300);
  EXPECT_EQ(qx5::SETUPydpi, 150);
  EXPECT_EQ(qx5::ALARM_SEC, 45);
  EXPECT_EQ(qx5::SETUPserialnap, 7);
  // Fewer than nine fields (a non-number stops the count): nothing changes.
  int r = 1;
  EXPECT_EQ(TakeLine(" EPSON b.cod K C T 1 2 x 3", &r),
            "tp: Bad CONFIG line:  EPSON b.cod K C T 1 2 x 3\n"
            "tp: the time-out field is missing or not a number: a CONFIG line needs driver, code "
            "file, fonts, colour, feed, x and y resolution, time-out and serial pause; the line "
            "is not used\n");
  EXPECT_EQ(r, 0);
  EXPECT_STREQ(qx5::SETUPcode, "a.cod");
  EXPECT_EQ(qx5::SETUPxdpi, 300);
  // A code file name longer than 15 characters is refused, not cut into another name.
  EXPECT_EQ(TakeLine(" HPPCL abcdefghijklmnopqrstuvwxyz E B S 1 1 1 1", &r),
            "tp: the code file name abcdefghijklmnopqrstuvwxyz has 26 characters, at most 15: the "
            "line is not used\n");
  EXPECT_EQ(r, 0);
  EXPECT_STREQ(qx5::SETUPcode, "a.cod");
  // Read from a file, the messages name its line.
  EXPECT_EQ(TakeLineAt(" PCL a.cod E B S 1 1 30 0", "/x/CONFIG:4"),
            "tp: Unknown Driver (PCL) - Using EPSON (/x/CONFIG:4)\n");
  EXPECT_EQ(
      TakeLineAt(" EPSON a.cod E B S 1", "/x/CONFIG:5"),
      "tp: Bad CONFIG line:  EPSON a.cod E B S 1\ntp: /x/CONFIG:5: the y resolution field is "
      "missing or not a number: a CONFIG line needs driver, code file, fonts, colour, feed, x "
      "and y resolution, time-out and serial pause; the line is not used\n");
}

TEST(Config, HpglOptionalFields) {
  PrinterEnv env;
  EXPECT_EQ(TakeLine(" HPGL p E C S 300 300 60 0"),
            "tp: Missing Pen Count - Using 2\ntp: Missing HP-GL Version - Using 0\n");
  EXPECT_EQ(qx5::SETUPpenct, 2);
  EXPECT_EQ(TakeLine(" HPGL p E C S 300 300 60 0 8"), "tp: Missing HP-GL Version - Using 0\n");
  EXPECT_EQ(qx5::SETUPpenct, 8);
  EXPECT_EQ(TakeLine(" HPGL p E C S 300 300 60 0 six 2"),
            "tp: Unknown Pen Count (six) - Using 2\n");
  EXPECT_EQ(qx5::SETUPpenct, 2);
  EXPECT_EQ(qx5::SETUPversion, 2);
  // Only HPGL reads them; the defaults are set again on every line.
  EXPECT_EQ(TakeLine(" HPPCL p E C S 300 300 60 0 5 5"), "");
  EXPECT_EQ(qx5::SETUPpenct, 2);
  EXPECT_EQ(qx5::SETUPversion, 0);
}

TEST(Config, FindsTheExactName) {
  PrinterEnv env;
  env.Def("CONFIG",
          "! printers\n"
          "\"lj4\" HPPCL a.cod E B S 300 300 60 0\n"
          "\"LJ4 \" HPPCL b.cod E B S 300 300 60 0\n"
          "no quotes here\n"
          "x\"LJ4\" HPPCL c.cod K C T 150 150 60 12");  // last line: no newline
  env.Def("c.cod", "?BINARY\n2FF 1 12\n");
  qx5::SETUPeuc_filter[0] = 'x';
  qx5::SETUPfontSpacingLen = 3;
  EXPECT_EQ(qx5::ReadCodes("LJ4"), 1);
  EXPECT_STREQ(qx5::SETUPcode, "c.cod");
  EXPECT_EQ(qx5::SETUPserialnap, 12);  // the last line is whole without its newline
  EXPECT_EQ(qx5::DefinitionLoaded, 1);
  EXPECT_EQ(qx5::SETUPlang, 'K');
  EXPECT_EQ(qx5::FFct, 1);
  // Japanese codes are cleared when the configuration is read.
  EXPECT_STREQ(qx5::SETUPeuc_filter, "");
  EXPECT_EQ(qx5::SETUPfontSpacingLen, 0);
  // No line for the name: defaults, no codes, and a line saying which file was read, the line
  // whose name differs only in case or blanks, and how the printer runs.
  const std::string config = env.root().path("/u/qx5/def_data/printers/CONFIG");
  testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::ReadCodes("Lj4"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "tp: no line of " + config +
                " carries the name \"Lj4\"; line 2 carries \"lj4\": names are compared with their "
                "case and blanks\n"
                "tp: the printer's definition did not load: running as EPSON at 120 x 72 dpi "
                "without printer codes; plot requests are refused (status 10), text is printed "
                "without printer commands\n");
  EXPECT_EQ(qx5::DefinitionLoaded, 0);
  EXPECT_EQ(qx5::ReadCodes("lj"), 0);
  EXPECT_EQ(qx5::SETUPbrand, 0);
  EXPECT_EQ(qx5::SETUPxdpi, 120);
  EXPECT_EQ(qx5::SETUPydpi, 72);
  EXPECT_EQ(qx5::PrCmdsCt, 0);
}

TEST(Config, SetupDataFile) {
  PrinterEnv env(true);
  ASSERT_EQ(qx5::InitConfigure(), 0);
  env.OpenDevice();
  struct Case {
    int number;
    const char* printer;
    const char* file;
    const char* content;
  } cases[] = {
      {0, "laser", "/u/tmp/P1", "laser\nlaserjet.cod 1 69 0\nLETTER 300 300 0\n"},
      {1, "dotmatrix", "/u/tmp/P2", "dotmatrix\nepsonfx.cod 0 69 0\nLETTER 120 72 1\n"},
      {2, "kanji", "/u/tmp/P3", "kanji\nljkanji.cod 1 75 0\nA4 300 300 0\n"},
  };
  testing::internal::CaptureStdout();
  for (const Case& c : cases) {
    qx5::PrinterNumber = c.number;
    std::strcpy(qx5::XEQNAME, c.printer);
    EXPECT_EQ(qx5::ReadCodes(c.printer), 1);
    EXPECT_EQ(qx5::WritePrinterSetupData(), 0);
    EXPECT_EQ(env.root().read(c.file), c.content) << c.file;
  }
  testing::internal::GetCapturedStdout();
  // The page-size command of each configured paper went to the device at start-up.
  env.ExpectSent(
      "\x1b&l2A\x1b"
      "C\x42\x1b&l26A");
  qx5::CloseSysgen();
}

// The setup data file is replaced whole, never written through a link planted at its name or
// into a file that is not the driver's own.
TEST(Config, SetupDataFileNeverFollowsALink) {
  PrinterEnv env;
  std::strcpy(qx5::SETUPcode, "x.cod");
  std::strcpy(qx5::SETUPpaper, "A4");
  qx5::SETUPydpi = 72;
  qx5::SETUPcolor = 0;
  env.root().write("/victim", "precious\n");
  const std::string p1 = env.root().path("/u/tmp/P1");
  for (int round = 0; round < 2; ++round) {
    std::remove(p1.c_str());
    ASSERT_EQ(symlink(env.root().path("/victim").c_str(), p1.c_str()), 0);
    EXPECT_EQ(qx5::WritePrinterSetupData(), 0);
    EXPECT_EQ(env.root().read("/victim"), "precious\n");
    struct stat st;
    ASSERT_EQ(lstat(p1.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(env.root().read("/u/tmp/P1"), "tp\nx.cod 1 69 0\nA4 300 72 0\n");
  }
  // Written again over its own file; no temporary file is left behind.
  EXPECT_EQ(qx5::WritePrinterSetupData(), 0);
  EXPECT_EQ(env.root().read("/u/tmp/P1"), "tp\nx.cod 1 69 0\nA4 300 72 0\n");
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(env.root().path("/u/tmp")))
    entries += e.path().filename().string().rfind("P1", 0) == 0 ? 1 : 0;
  EXPECT_EQ(entries, 1);
  // A directory in the file's place: nothing is written, nothing is left behind.
  std::remove(p1.c_str());
  ASSERT_EQ(mkdir(p1.c_str(), 0755), 0);
  EXPECT_EQ(qx5::WritePrinterSetupData(), 0);
  entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(env.root().path("/u/tmp")))
    entries += e.path().filename().string().rfind("P1", 0) == 0 ? 1 : 0;
  EXPECT_EQ(entries, 1);
}

}  // namespace
