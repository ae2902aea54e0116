#include <cstring>

#include "lib/message.hpp"
#include "render/plot_fixture.hpp"

using namespace qx5;

namespace {

class PlotFonts : public h4test::PlotFixture {
 protected:
  void TearDown() override {
    ClosePlotFonts();
    PlotFixture::TearDown();
  }
  // Builds the table from a plot fonts file in the default data tree.
  std::string Build(const std::string& fontsfile) {
    root().write("/u/qx5/def_data/misc/eplotfonts", fontsfile);
    ClosePlotFonts();
    testing::internal::CaptureStdout();
    InitPlotFonts();
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(PlotFonts, CheckFontNamesTakesEitherFormWithOrWithoutF) {
  const struct {
    const char* name;
    int want;
  } cases[] = {{"9x15B", 1},  {"9X15B", 1},   {"F9x15B", 1}, {"F9X15B", 1},
               {"f9x15B", 0}, {"FF9x15B", 0}, {"9x15b", 0},  {"", 0}};
  for (const auto& c : cases) EXPECT_EQ(CheckFontNames(c.name, "9x15B", "9X15B"), c.want) << c.name;
}

TEST_F(PlotFonts, NamesSelectTheirEntries) {
  InitPlotFonts();
  const struct {
    const char* name;
    int entry;
  } cases[] = {
      {"6x10", 0},  {"6X10", 0},        {"F6x10", 0},
      {"6x10S", 1}, {"F6X10S", 1},      {"8x13", 2},
      {"F8x13", 0}, {"8X13S", 3},       {"9x15", 4},
      {"9X15", 4},  {"F9x15", 0},       {"9x15S", 5},
      {"9x15B", 6}, {"F9x15BS", 7},     {"18", 8},
      {"F18S", 9},  {"18B", 10},        {"F18B", 10},
      {"18BS", 11}, {"20", 12},         {"20BS", 15},
      {"24", 16},   {"F24S", 17},       {"24B", 18},
      {"24BS", 19}, {"34", 20},         {"34S", 21},
      {"F34B", 22}, {"34BS", 23},       {"nonsense", 0},
      {"small", 0}, {"text18bold", 10}, {"title34boldslant", 23},
      {"a-b-", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(GetPFIindex(c.name), c.entry) << c.name;
}

TEST_F(PlotFonts, AliasesComeBeforeStandardNames) {
  // a database whose alias of entry 5 is "18B", the standard name of entry 10
  std::vector<std::string> texts(24);
  for (int i = 0; i < 24; i++) texts[i] = "alias" + std::to_string(i);
  texts[5] = "18B";
  root().write("/u/qx5/database/eswitch.data", h4test::Records(texts));
  root().write("/u/qx5/database/DBswitch.data", h4test::IndexFrom(561, 24));
  CloseSwitchDb();
  InitPlotFonts();
  EXPECT_EQ(GetPFIindex("18B"), 5);
  EXPECT_EQ(GetPFIindex("F18B"), 10);
  EXPECT_EQ(GetPFIindex("alias17"), 17);
}

TEST_F(PlotFonts, FrenchAliasesFallBackToEnglish) {
  h4test::SetLanguage(root(), 1);
  InitPlotFonts();
  EXPECT_STREQ(PFI[0].alias, "petit");
  EXPECT_STREQ(PFI[1].alias, "smallslant") << "\".\" in French takes the English text";
  EXPECT_EQ(GetPFIindex("courantgras"), 6);
  EXPECT_EQ(GetPFIindex("normalbold"), 0) << "the English alias is not the French one";
}

TEST_F(PlotFonts, XFontNamesTakeTheUserSlots) {
  InitPlotFonts();
  EXPECT_EQ(GetPFIindex("-a-b-c"), 24);
  EXPECT_EQ(GetPFIindex("*-x*"), 25);
  EXPECT_EQ(GetPFIindex("-a-b-c"), 24) << "found again by its name";
  for (int i = 26; i < 40; i++)
    EXPECT_EQ(GetPFIindex(("-u-" + std::to_string(i) + "-").c_str()), i);
  EXPECT_EQ(GetPFIindex("-one-too-many-"), 0);
  ClosePlotFonts();
  InitPlotFonts();
  EXPECT_EQ(GetPFIindex("-one-too-many-"), 24) << "every build empties the user slots";
  const std::string longname = "-" + std::string(98, 'x') + "-*";  // 100 characters
  EXPECT_EQ(GetPFIindex(longname.c_str()), 0);
  const std::string fits = "-" + std::string(96, 'x') + "-*";  // 99 characters
  EXPECT_EQ(GetPFIindex(fits.c_str()), 25);
  EXPECT_EQ(PFI[25].name, fits);
}

TEST_F(PlotFonts, PlotFontsFileFillsTheStandardEntriesInOrder) {
  Build("! one\n! two\nfont0\n! three\nfont1\n\nfont3\nfont4");
  EXPECT_STREQ(PFI[0].name, "font0");
  EXPECT_STREQ(PFI[1].name, "font1");
  EXPECT_STREQ(PFI[2].name, "") << "an empty line is an empty name";
  EXPECT_STREQ(PFI[3].name, "font3");
  EXPECT_STREQ(PFI[4].name, "font4") << "a last line without newline keeps its last character";
  for (int i = 5; i < 24; i++) EXPECT_STREQ(PFI[i].name, DefaultFontE) << i;
  for (int i = 24; i < 40; i++) EXPECT_STREQ(PFI[i].name, "") << i;
  EXPECT_EQ(PFIinit, 1);
}

TEST_F(PlotFonts, LongLinesAreCutAndStayOneEntry) {
  const std::string longline(150, 'a');
  std::string file = longline + "\nsecond\n";
  for (int i = 0; i < 30; i++) file += "more" + std::to_string(i) + "\n";
  Build(file);
  EXPECT_EQ(std::string(PFI[0].name), std::string(98, 'a'));
  EXPECT_STREQ(PFI[1].name, "second");
  EXPECT_STREQ(PFI[23].name, "more21") << "reading stops after 24 names";
}

TEST_F(PlotFonts, UserFontsFileComesFirstAndAMissingFileIsReported) {
  root().write("/u/qx5/usr_data/misc/eplotfonts", "userfont\n");
  Build("deffont\n");
  EXPECT_STREQ(PFI[0].name, "userfont");
  ::unlink(root().path("/u/qx5/usr_data/misc/eplotfonts").c_str());
  ::unlink(root().path("/u/qx5/def_data/misc/eplotfonts").c_str());
  ClosePlotFonts();
  testing::internal::CaptureStdout();
  InitPlotFonts();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "\nMissing plot fonts file: " + root().path("/u/qx5/def_data/misc/eplotfonts") +
                     "\nUsing default font: " + DefaultFontE + "\n");
  for (int i = 0; i < 24; i++) EXPECT_STREQ(PFI[i].name, DefaultFontE) << i;
}

TEST_F(PlotFonts, FontsLoadOnFirstUseAndAreReleasedWithTheSurface) {
  DotWindow();
  EXPECT_EQ(PFI[4].font, nullptr);
  PlotFontInfo* f = GetPlotFont("9x15");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f, &PFI[4]);
  ASSERT_NE(f->font, nullptr);
  EXPECT_EQ(f->handle, f->font->fid);
  EXPECT_EQ(GetPlotFont("9X15"), f);
  ClosePlot();
  EXPECT_EQ(PFI[4].font, nullptr);
  EXPECT_EQ(PFI[4].handle, 0u);
  EXPECT_EQ(PFIinit, 0);
}

TEST_F(PlotFonts, KanjiHandlesAreFontSets) {
  root().write("/u/qx5/database/kswitch.data", root().read("/u/qx5/database/eswitch.data"));
  h4test::SetLanguage(root(), 6);
  testing::internal::CaptureStdout();
  DotWindow();
  testing::internal::GetCapturedStdout();
  EXPECT_STREQ(DefaultPtr, "-*-fixed-medium-r-normal--14-*");
  EXPECT_STREQ(PFI[0].name, "-*-fixed-medium-r-normal--14-*") << "from kplotfonts";
  EXPECT_STREQ(PFI[23].name, "-*-fixed-medium-r-normal--24-*");
  for (const char* name : {"6x10", "F18B", "34BS", "-nosuch-font-*-*"}) {
    const PlotFontInfo* f = GetPlotFont(name);
    ASSERT_NE(f, nullptr) << name;
    EXPECT_NE(f->fontset, nullptr) << name;
    EXPECT_EQ(f->font, nullptr) << name;
  }
  ClosePlot();
  h4test::SetLanguage(root(), 0);
  QX5LANG = 0;
}

}  // namespace
