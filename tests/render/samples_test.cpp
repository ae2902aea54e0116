// The sample plot files of the installation tree parse and draw on the surface.
#include "plotlang/grammar.hpp"
#include "render/plot_fixture.hpp"

using namespace qx5;

namespace {

class SamplePlots : public h4test::PlotFixture {};

TEST_F(SamplePlots, EverySampleDrawsWithoutError) {
  for (const char* name : {"demo.plt", "millimetres.plt", "pixels.plt", "kanji.plt"}) {
    for (int colour : {0, 1}) {
      SETUPcolor = colour;
      GSF = 0;
      const std::string path = root().path(std::string("/samples/") + name);
      testing::internal::CaptureStdout();
      const int r = DrawPlot(path.c_str());
      const std::string out = testing::internal::GetCapturedStdout();
      EXPECT_EQ(r, 0) << name << ": " << out;
      EXPECT_GT(h4test::ReadPage().count(), 100) << name;
      EXPECT_EQ(SurfaceSync(), 0) << name << ": no X request was refused";
      ClosePlot();
    }
  }
}

TEST_F(SamplePlots, DemoUsesEveryStatement) {
  const std::string text = "\n" + qx5test::ReadFile(root().path("/samples/demo.plt"));
  for (const char* kw : {"WINDOW(",
                         "MOVETO(",
                         "M(",
                         "LINETO(",
                         "L(",
                         "SETOFFSET(",
                         "SETDATAOFFSET(",
                         "SCALE(",
                         "SCALERANGE(",
                         "DRAWBOX(",
                         "B(",
                         "VIEWBOX(",
                         "DRAWARC(",
                         "DRAWARC2(",
                         "A(",
                         "E(",
                         "P(",
                         "DRAWELLIPSE(",
                         "DRAWPARABOLA(",
                         "DRAWSTRING(",
                         "S(",
                         "BITMAP(",
                         "FONT(",
                         "F(",
                         "SETCOLOR(",
                         "C(",
                         "SETLINESTYLE(",
                         "SETLINEWIDTH(",
                         "SETCLIP(",
                         "PLOTSETUP(",
                         "MARKER(",
                         "PLOTSETUPSC(",
                         "SCALEPIX(",
                         "VERSION(",
                         "WARP("})
    EXPECT_NE(text.find(std::string("\n") + kw), std::string::npos) << kw;
}

}  // namespace
