#include "lib/dbswitch.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include "render/switch_fixture.hpp"

using namespace qx5;

namespace {

class SwitchDb : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseSwitchDb();
    InitConfigure();
  }
  void TearDown() override {
    CloseSwitchDb();
    CloseSysgen();
  }
  // Loads the database, returning what it printed.
  std::string Load() {
    CloseSwitchDb();
    testing::internal::CaptureStdout();
    EXPECT_EQ(InitSwitchDb(), 0);
    return testing::internal::GetCapturedStdout();
  }
  void Remove(const std::string& fixed) { ::unlink(root_.path(fixed).c_str()); }
  qx5test::TempRoot root_;
};

TEST_F(SwitchDb, EnglishTextsAndRanges) {
  EXPECT_EQ(Load(), "");
  EXPECT_EQ(iswitch, 1);
  EXPECT_STREQ(GetSwitch(561), "small");
  EXPECT_STREQ(GetSwitch(318), "default");
  EXPECT_STREQ(GetSwitchANY(562), "smallslant");
  for (int n : {0, -1, 1, 317, NumberSwitches + 1, 4999, 5009, 5999, 7000})
    EXPECT_STREQ(GetSwitch(n), "") << n;
  EXPECT_STREQ(GetSwitchENG(561), "") << "no English copy when the language is English";
  // the colour list: entry 0 is switch 318, then the names of eplotcolors, which are the
  // colours the sample inkjet prints colours 1 to 8 in
  const char* colours[] = {"default", "black", "black", "black", "red",
                           "green",   "blue",  "black", "black"};
  for (int i = 0; i < 9; i++) EXPECT_STREQ(GetSwitch(5000 + i), colours[i]) << i;
  EXPECT_EQ(PlotColorsCt, 9);
  EXPECT_EQ(InitSwitchDb(), 0) << "loaded once";
}

TEST_F(SwitchDb, UntranslatedTextsFallBackToEnglish) {
  h4test::SetLanguage(root_, 1);
  EXPECT_EQ(Load(), "");
  EXPECT_EQ(SWITCHCURRLANG, 1);
  EXPECT_STREQ(GetSwitch(319), "noir");
  EXPECT_STREQ(GetSwitch(562), ".");
  EXPECT_STREQ(GetSwitchANY(562), "smallslant");
  EXPECT_STREQ(GetSwitchANY(319), "noir");
  EXPECT_STREQ(GetSwitchENG(319), "black");
  EXPECT_STREQ(GetSwitch(5000), "defaut");
  EXPECT_STREQ(GetSwitch(5001), "noir");
  EXPECT_STREQ(GetSwitchENG(5000), "default");
  EXPECT_STREQ(GetSwitchENG(5001), "black");
  EXPECT_EQ(PaperSizeCt, PaperSizeCtENG);
  // in English a "." stays what it is
  root_.write("/u/qx5/database/eswitch.data", h4test::Records({".", ""}));
  root_.write("/u/qx5/database/DBswitch.data", h4test::Index({1, 2}));
  h4test::SetLanguage(root_, 0);
  Load();
  EXPECT_STREQ(GetSwitchANY(1), ".");
  EXPECT_STREQ(GetSwitchANY(2), "");
}

TEST_F(SwitchDb, UnsoundEntriesReadAsEmpty) {
  // three whole records and a piece of a fourth
  root_.write("/u/qx5/database/eswitch.data", h4test::Records({"one", "two", "three"}) + "part");
  std::string index = h4test::Index({1, 0, -5, 4, 5, 3, 32767});
  index.push_back('\x01');  // odd size: the last byte is no entry
  root_.write("/u/qx5/database/DBswitch.data", index);
  Load();
  EXPECT_EQ(NumberSwitches, 7);
  EXPECT_STREQ(GetSwitch(1), "one");
  EXPECT_STREQ(GetSwitch(2), "") << "entry 0";
  EXPECT_STREQ(GetSwitch(3), "") << "negative entry";
  EXPECT_STREQ(GetSwitch(4), "") << "the piece of a record after the whole ones";
  EXPECT_STREQ(GetSwitch(5), "") << "beyond the file";
  EXPECT_STREQ(GetSwitch(6), "three");
  EXPECT_STREQ(GetSwitch(7), "");
  EXPECT_STREQ(GetSwitch(8), "");
  // a text that fills its record without a NUL is cut to 24 characters; the next is intact
  root_.write("/u/qx5/database/eswitch.data", std::string(30, 'L') + std::string(20, '\0'));
  root_.write("/u/qx5/database/DBswitch.data", h4test::Index({1, 2}));
  Load();
  EXPECT_EQ(std::string(GetSwitch(1)), std::string(24, 'L'));
  EXPECT_STREQ(GetSwitch(2), "LLLLL");
}

TEST_F(SwitchDb, MissingFilesAreNamedAndLeaveTheirTextsEmpty) {
  Remove("/u/qx5/database/eswitch.data");
  std::string out = Load();
  EXPECT_NE(out.find("Missing switch file: " + root_.path("/u/qx5/database/eswitch.data")),
            std::string::npos)
      << out;
  EXPECT_STREQ(GetSwitch(561), "");
  EXPECT_EQ(iswitch, 1);
  EXPECT_STREQ(GetSwitch(5001), "black") << "the lists load all the same";

  Remove("/u/qx5/database/DBswitch.data");
  out = Load();
  EXPECT_NE(out.find("Missing switch file: " + root_.path("/u/qx5/database/DBswitch.data")),
            std::string::npos);
  EXPECT_EQ(NumberSwitches, 0);
  EXPECT_STREQ(GetSwitch(1), "");
}

TEST_F(SwitchDb, PlotColourLines) {
  std::string file = "! comment\n\n\r\n1 two words\n2 oneword\n3 " + std::string(30, 'c') +
                     " x\n4 " + std::string(300, 'z') + " x\n5 after long\n";
  root_.write("/u/qx5/usr_data/misc/eplotcolors", file);
  Load();
  EXPECT_EQ(PlotColorsCt, 4);
  EXPECT_STREQ(GetSwitch(5000), "default");
  EXPECT_STREQ(GetSwitch(5001), "two");
  EXPECT_EQ(std::string(GetSwitch(5002)), std::string(24, 'c')) << "names are cut to 24";
  EXPECT_STREQ(GetSwitch(5003), "after") << "the rest of a long line is no line of its own";

  file.clear();
  for (int i = 0; i < 200; i++) file += std::to_string(i) + " c" + std::to_string(i) + " x\n";
  root_.write("/u/qx5/usr_data/misc/eplotcolors", file);
  Load();
  EXPECT_EQ(PlotColorsCt, 150);
  EXPECT_STREQ(GetSwitch(5149), "c148");

  Remove("/u/qx5/usr_data/misc/eplotcolors");
  Remove("/u/qx5/def_data/misc/eplotcolors");
  Load();
  EXPECT_EQ(PlotColorsCt, 9);
  for (int i = 0; i < 9; i++) EXPECT_STREQ(GetSwitch(5000 + i), GetSwitch(318 + i)) << i;
}

TEST_F(SwitchDb, PaperSizeLines) {
  std::string file = "! sizes\nLETTER 8.5 11\n\nA4 8.27 11.69\n";
  root_.write("/u/qx5/usr_data/printers/PAPER", file);
  Load();
  EXPECT_EQ(PaperSizeCt, 2);
  EXPECT_STREQ(GetSwitch(6000), "LETTER");
  EXPECT_STREQ(GetSwitch(6001), "A4");
  EXPECT_STREQ(GetSwitch(6002), "");
  file.clear();
  for (int i = 0; i < 40; i++) file += "P" + std::to_string(i) + "\n";
  root_.write("/u/qx5/usr_data/printers/PAPER", file);
  Load();
  EXPECT_EQ(PaperSizeCt, 30);
  Remove("/u/qx5/usr_data/printers/PAPER");
  Remove("/u/qx5/def_data/printers/PAPER");
  Load();
  EXPECT_EQ(PaperSizeCt, 1);
  EXPECT_STREQ(GetSwitch(6000), "A");
}

}  // namespace
