#include <cstring>

#include "lib/message.hpp"
#include "render/plot_fixture.hpp"

using namespace qx5;
using h4test::Page;
using h4test::ReadPage;

namespace {

class PlotText : public h4test::PlotFixture {
 protected:
  struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  };
  static Box InkBox(const Page& p) {
    Box b;
    for (int y = 0; y < p.h; y++)
      for (int x = 0; x < p.w; x++)
        if (p.ink(x, y)) {
          b.left = std::min(b.left, x);
          b.right = std::max(b.right, x);
          b.top = std::min(b.top, y);
          b.bottom = std::max(b.bottom, y);
        }
    return b;
  }
  // The ink box that X's own metrics give for text at (x, baseline) in a font.
  static Box MetricBox(const char* font, const char* text, int x, int baseline) {
    XFontStruct* f = XLoadQueryFont(display, font);
    EXPECT_NE(f, nullptr) << font;
    Box b;
    if (f == nullptr) return b;
    int dir, ascent, descent;
    XCharStruct m;
    XTextExtents(f, text, static_cast<int>(std::strlen(text)), &dir, &ascent, &descent, &m);
    b = {x + m.lbearing, baseline - m.ascent, x + m.rbearing - 1, baseline + m.descent - 1};
    XFreeFont(display, f);
    return b;
  }
  static void ExpectBox(const Box& got, const Box& want) {
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    EXPECT_EQ(got.right, want.right);
    EXPECT_EQ(got.bottom, want.bottom);
  }
};

TEST_F(PlotText, StringsBeforeAnyFontUse9x15WithTheirBaselineAtYcomp) {
  DotWindow();
  DrawString(100.0, 50.0, "Hg");
  EXPECT_STREQ(curfont, "9x15");
  ExpectBox(InkBox(ReadPage()), MetricBox("9x15", "Hg", 100, 50));

  GSF = 0;
  ASSERT_EQ(Window(1, 7.0, 9.0), 0);
  DrawString(1.0, 2.0, "HH");
  ExpectBox(InkBox(ReadPage()), MetricBox("9x15", "HH", Xcomp(1.0), Ycomp(2.0)));
}

TEST_F(PlotText, FontStatementsSelectTheFontAndAreResetByTheWindow) {
  LoadSetFont("18B");
  EXPECT_STREQ(curfont, "18B");
  DotWindow();
  EXPECT_STREQ(curfont, "") << "creating the surface forgets the font";
  LoadSetFont("F18B");
  DrawString(50.0, 100.0, "Ab");
  ExpectBox(InkBox(ReadPage()), MetricBox(PFI[10].name, "Ab", 50, 100));
}

TEST_F(PlotText, EmptyStringsDrawNothing) {
  DotWindow();
  DrawString(50.0, 50.0, "");
  EXPECT_EQ(ReadPage().count(), 0);
}

TEST_F(PlotText, UnknownFontsFallBackToTheDefaultFont) {
  DotWindow();
  LoadSetFont("-nosuch-font-medium-r-normal--14-*-*-*-*-*-*-*");
  DrawString(50.0, 100.0, "Ab");
  ExpectBox(InkBox(ReadPage()), MetricBox(DefaultFontE, "Ab", 50, 100));
  EXPECT_EQ(SurfaceSync(), 0);
}

TEST_F(PlotText, WithoutAnyLoadableFontStringsAreSkipped) {
  const char* saved = DefaultFontE;
  DefaultFontE = "-nosuch-default-font-*-*-*";
  DotWindow();
  testing::internal::CaptureStdout();
  LoadSetFont("-nosuch-font-*-*-*");
  DrawString(50.0, 100.0, "Ab");
  const std::string out = testing::internal::GetCapturedStdout();
  DefaultFontE = saved;
  EXPECT_EQ(ReadPage().count(), 0);
  EXPECT_NE(out.find("ERROR: tp: cannot load the plot font"), std::string::npos) << out;
  // The next font that loads draws again.
  LoadSetFont("9x15");
  DrawString(50.0, 100.0, "Ab");
  EXPECT_GT(ReadPage().count(), 0);
}

TEST_F(PlotText, KanjiStringsAreDrawnThroughAFontSet) {
  root().write("/u/qx5/database/kswitch.data", root().read("/u/qx5/database/eswitch.data"));
  h4test::SetLanguage(root(), 6);
  testing::internal::CaptureStdout();
  DotWindow();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("InitPlotFonts: setlocale for KANJI\n"), std::string::npos) << out;
  EXPECT_EQ(QX5LANG, 6);
  EXPECT_STREQ(DefaultPtr, DefaultFontK);
  // "nihongo" in EUC-JP
  const char text[] = "\xc6\xfc\xcb\xdc\xb8\xec";
  LoadSetFont("F18B");
  DrawString(50.0, 100.0, text);
  const PlotFontInfo* f = GetPlotFont("F18B");
  ASSERT_NE(f, nullptr);
  ASSERT_NE(f->fontset, nullptr);
  XRectangle ink, logical;
  XmbTextExtents(f->fontset, text, static_cast<int>(std::strlen(text)), &ink, &logical);
  const Box got = InkBox(ReadPage());
  EXPECT_GE(got.left, 50 + ink.x);
  EXPECT_LE(got.right, 50 + ink.x + ink.width - 1);
  EXPECT_GE(got.top, 100 + ink.y);
  EXPECT_LE(got.bottom, 100 + ink.y + ink.height - 1);
  EXPECT_GT(got.right - got.left, 2 * 16) << "three 16-dot Kanji";
  h4test::SetLanguage(root(), 0);
  ClosePlot();
  QX5LANG = 0;
}

}  // namespace
