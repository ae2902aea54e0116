// Lines drawn by the driver against X's own drawing of the same request on a pixmap of the
// same size on the same server, dot for dot.
#include <cmath>
#include <numeric>
#include <random>

#include "render/plot_fixture.hpp"

using namespace qx5;

namespace {

struct Seg {
  long long x1, y1, x2, y2;
};

struct LineGc {
  int width = 0;
  int dashOffset = -1;  // -1: solid
  char dashes[2] = {2, 4};
};

class Lines : public h4test::PlotFixture {
 protected:
  void SetUp() override {
    PlotFixture::SetUp();
    DotWindow();  // 801 x 601 dots, plot positions are dots
    w_ = static_cast<int>(Width) + 1;
    h_ = static_cast<int>(Height) + 1;
  }
  // The driver's page after drawing the lines on a fresh surface.
  std::vector<char> DriverDraws(const std::vector<Seg>& segs, int style, int width) {
    GSF = 0;
    EXPECT_EQ(Window(2, 400.0, 300.0), 0);
    SetLineStyle(style);
    SetLineWidth(width);
    for (const Seg& s : segs) {
      MoveTo(static_cast<double>(s.x1), static_cast<double>(s.y1));
      LineTo(static_cast<double>(s.x2), static_cast<double>(s.y2));
    }
    return Dots(drawable);
  }
  // X's own drawing of the requests on a pixmap of the page's size; mirror_x, mirror_y read
  // it back mirrored (for lines drawn mirrored so that their ends fit the request).
  std::vector<char> XDraws(const std::vector<Seg>& segs, const LineGc& lgc, bool mirror_x = false,
                           bool mirror_y = false) {
    Pixmap pm =
        XCreatePixmap(display, drawable, static_cast<unsigned>(w_), static_cast<unsigned>(h_), 1);
    GC g = XCreateGC(display, pm, 0, nullptr);
    XSetForeground(display, g, 0);
    XFillRectangle(display, pm, g, 0, 0, static_cast<unsigned>(w_), static_cast<unsigned>(h_));
    XSetForeground(display, g, 1);
    XSetLineAttributes(display, g, static_cast<unsigned>(lgc.width),
                       lgc.dashOffset < 0 ? LineSolid : LineOnOffDash, CapButt, JoinMiter);
    if (lgc.dashOffset >= 0) XSetDashes(display, g, lgc.dashOffset, lgc.dashes, 2);
    for (const Seg& s : segs) {
      EXPECT_TRUE(CoordFits(s.x1, s.y1) && CoordFits(s.x2, s.y2));
      XDrawLine(display, pm, g, static_cast<int>(s.x1), static_cast<int>(s.y1),
                static_cast<int>(s.x2), static_cast<int>(s.y2));
    }
    std::vector<char> dots = Dots(pm);
    XFreeGC(display, g);
    XFreePixmap(display, pm);
    if (!mirror_x && !mirror_y) return dots;
    std::vector<char> m(dots.size());
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x)
        m[At(x, y)] = dots[At(mirror_x ? w_ - 1 - x : x, mirror_y ? h_ - 1 - y : y)];
    return m;
  }
  std::vector<char> Dots(Drawable d) {
    std::vector<char> out(static_cast<size_t>(w_) * static_cast<size_t>(h_));
    XImage* im = XGetImage(display, d, 0, 0, static_cast<unsigned>(w_), static_cast<unsigned>(h_),
                           AllPlanes, ZPixmap);
    if (im == nullptr) return {};
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x) out[At(x, y)] = XGetPixel(im, x, y) != 0;
    XDestroyImage(im);
    return out;
  }
  // Number of dots that differ; ink counts the dots of the reference.
  long Differ(const std::vector<char>& a, const std::vector<char>& b, long* ink = nullptr) {
    long n = 0;
    if (a.size() != b.size()) return -1;
    for (size_t i = 0; i < a.size(); ++i) {
      n += a[i] != b[i];
      if (ink != nullptr) *ink += b[i];
    }
    return n;
  }
  size_t At(int x, int y) const {
    return static_cast<size_t>(y) * static_cast<size_t>(w_) + static_cast<size_t>(x);
  }
  int w_ = 0, h_ = 0;
};

// Random lines with ends up to 32767 dots off the page on every side, thin, dashed and wide:
// the same dots as X's drawing of the same request. Lines with an end beyond the request
// range are drawn by X mirrored so that they fit (thin lines step alike in every octant, wide
// ones are polygons mirrored with them), the page read back mirrored again.
TEST_F(Lines, RandomLinesFarOffThePageAreTheDotsXDraws) {
  std::mt19937 rng(12);
  std::uniform_int_distribution<long long> ux(-32767, w_ - 1 + 32767);
  std::uniform_int_distribution<long long> uy(-32767, h_ - 1 + 32767);
  std::uniform_int_distribution<long long> px(0, w_ - 1), py(0, h_ - 1);
  std::uniform_real_distribution<double> ur(0.0, 1.0);
  const LineGc solid;
  LineGc dashed;
  dashed.dashOffset = 1;  // the first dash style: 2 on, 4 off from offset 1
  long ink = 0;
  long beyond = 0;
  long wideMiss = 0;
  long wideInk = 0;
  for (int batch = 0; batch < 16; ++batch) {
    // Four groups: ends that fit, and ends beyond the range on the right, the bottom, or both.
    std::vector<Seg> groups[4];
    while (groups[0].size() + groups[1].size() + groups[2].size() + groups[3].size() < 60) {
      // Every line passes through a dot of the page: one end anywhere, the other beyond the
      // page dot at up to the same distance.
      const long long x1 = ux(rng), y1 = uy(rng), cx = px(rng), cy = py(rng);
      const double u = ur(rng);
      const Seg s = {x1, y1, cx + std::llround(u * static_cast<double>(cx - x1)),
                     cy + std::llround(u * static_cast<double>(cy - y1))};
      if (s.x2 < ux.min() || s.x2 > ux.max() || s.y2 < uy.min() || s.y2 > uy.max()) continue;
      const bool bx = s.x1 > kCoordMax || s.x2 > kCoordMax;
      const bool by = s.y1 > kCoordMax || s.y2 > kCoordMax;
      const Seg m = {bx ? w_ - 1 - s.x1 : s.x1, by ? h_ - 1 - s.y1 : s.y1,
                     bx ? w_ - 1 - s.x2 : s.x2, by ? h_ - 1 - s.y2 : s.y2};
      if (!CoordFits(m.x1, m.y1) || !CoordFits(m.x2, m.y2)) continue;
      if (groups[(bx ? 1 : 0) + (by ? 2 : 0)].size() >= 15) continue;
      groups[(bx ? 1 : 0) + (by ? 2 : 0)].push_back(s);
    }
    // Solid thin lines; dashed thin lines (style 1, then width 0); dashed lines of width 1,
    // which X draws as polygons (style 1 alone sets the GC's width to 1); solid lines of
    // width 3, also polygons.
    const int mode = batch % 4;
    for (int g = 0; g < 4; ++g) {
      SCOPED_TRACE(testing::Message() << "batch " << batch << " group " << g);
      // Wide dashed lines beyond the range start their dashes at the cut: not compared.
      if (mode == 2 && g != 0) continue;
      std::vector<Seg> mirrored;
      for (const Seg& s : groups[g])
        mirrored.push_back({g & 1 ? w_ - 1 - s.x1 : s.x1, g & 2 ? h_ - 1 - s.y1 : s.y1,
                            g & 1 ? w_ - 1 - s.x2 : s.x2, g & 2 ? h_ - 1 - s.y2 : s.y2});
      const int widths[] = {1, 0, 1, 3};
      const std::vector<char> page =
          DriverDraws(groups[g], mode == 1 || mode == 2 ? 1 : 0, widths[mode]);
      LineGc lgc = mode == 1 || mode == 2 ? dashed : solid;
      lgc.width = mode == 0 ? 0 : widths[mode];
      if (g != 0) beyond += static_cast<long>(groups[g].size());
      if (mode == 3 && g != 0) {  // cut along their course: see the count below
        wideMiss += Differ(page, XDraws(mirrored, lgc, g & 1, g & 2), &wideInk);
        continue;
      }
      EXPECT_EQ(Differ(page, XDraws(mirrored, lgc, g & 1, g & 2), &ink), 0);
    }
  }
  EXPECT_GT(ink, 100000) << "the lines cross the page";
  // Wide lines beyond the range: the cut ends lie on dots next to the course, so a dot whose
  // centre lies on the very edge of the line may differ; at most one in ten thousand.
  EXPECT_GT(wideInk, 20000);
  EXPECT_LE(wideMiss * 10000, wideInk) << wideMiss << " of " << wideInk;
  EXPECT_GT(beyond, 50) << "lines with ends beyond the request range were drawn";
}

// Lines of every slope through the page with ends far beyond the request range (up to a
// million dots) agree with the same lines shortened along their own course to the range: X
// draws the shortened line from a dot that lies exactly on the long one.
TEST_F(Lines, LinesBeyondTheRangeAgreeWithTheLinesShortenedAlongTheirCourse) {
  long ink = 0;
  int lines = 0;
  for (int a = -9; a <= 9; ++a) {
    for (int b = -9; b <= 9; ++b) {
      if (std::gcd(a, b) != 1) continue;
      const long long step = std::max(std::abs(a), std::abs(b));
      const long long cx = 400 + a * 7, cy = 300 - b * 5;
      // The long line: far ends at different distances, so that its first end decides.
      const long long k1 = 1000000 / step, k2 = 40000 / step + 3;
      const Seg far = {cx - k1 * a, cy - k1 * b, cx + k2 * a, cy + k2 * b};
      ASSERT_FALSE(CoordFits(far.x1, far.y1) && CoordFits(far.x2, far.y2));
      const long long s1 = 31000 / step, s2 = 31000 / step;
      const Seg near = {cx - s1 * a, cy - s1 * b, cx + s2 * a, cy + s2 * b};
      for (const bool dash : {false, true}) {
        SCOPED_TRACE(testing::Message() << a << "," << b << (dash ? " dashed" : ""));
        const std::vector<char> page = DriverDraws({far}, dash ? 1 : 0, 0);
        LineGc lgc;
        // The shortened line starts (k1 - s1) * step dots later in the dash pattern.
        if (dash) lgc.dashOffset = static_cast<int>((1 + (k1 - s1) * step) % 6);
        EXPECT_EQ(Differ(page, XDraws({near}, lgc), &ink), 0);
        EXPECT_EQ(SurfaceSync(), 0);
        ++lines;
      }
    }
  }
  EXPECT_GT(lines, 200);
  EXPECT_GT(ink, 100000);
}

// Wide lines beyond the range are cut to it along their course; where the cut falls on a dot
// of the line (straight and diagonal lines) they are the dots of the shortened line.
TEST_F(Lines, WideLinesBeyondTheRangeDrawAlongTheirCourse) {
  const int dirs[][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1}, {-1, 0}, {0, -1}};
  long ink = 0;
  for (const auto& d : dirs) {
    for (const int width : {2, 3, 5}) {
      SCOPED_TRACE(testing::Message() << d[0] << "," << d[1] << " width " << width);
      const Seg far = {400 - 900000LL * d[0], 300 - 900000LL * d[1], 400 + 70000LL * d[0],
                       300 + 70000LL * d[1]};
      const std::vector<char> page = DriverDraws({far}, 0, width);
      EXPECT_EQ(SurfaceSync(), 0);
      LineGc lgc;
      lgc.width = width;
      const Seg near = {400 - 32000LL * d[0], 300 - 32000LL * d[1], 400 + 32000LL * d[0],
                        300 + 32000LL * d[1]};
      EXPECT_EQ(Differ(page, XDraws({near}, lgc), &ink), 0);
    }
  }
  EXPECT_GT(ink, 1000);
}

// The rasterisation of thin lines, on its own: both ends included, halves rounded away from
// the first end, and only the dots inside the box.
TEST(LineDots, StepsAlongTheMajorAxisAndKeepOnlyTheBox) {
  std::vector<XPoint> dots = ZeroLineDots(0, 0, 4, 2, 10, 10, {});
  std::vector<std::pair<int, int>> got;
  for (const XPoint& p : dots) got.emplace_back(p.x, p.y);
  // k * 2 / 4 = 0, 0.5, 1, 1.5, 2: halves go up
  EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}));
  got.clear();
  for (const XPoint& p : ZeroLineDots(4, 2, 0, 0, 10, 10, {})) got.emplace_back(p.x, p.y);
  // reversed: halves go toward the other end, so the line is not the same set of dots
  EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{4, 2}, {3, 1}, {2, 1}, {1, 0}, {0, 0}}));
  EXPECT_EQ(ZeroLineDots(-5, -5, -1, 3, 10, 10, {}).size(), 0u);
  EXPECT_EQ(ZeroLineDots(3, 3, 3, 3, 10, 10, {}).size(), 1u);
  // A line across ±2^31 stays exact: the dots at the page are those of its course.
  dots = ZeroLineDots(-2147483648LL, 5, 2147483647LL, 5, 8, 8, {});
  EXPECT_EQ(dots.size(), 8u);
  DashPattern dash{1, {2, 4}};
  got.clear();
  for (const XPoint& p : ZeroLineDots(0, 0, 9, 0, 10, 1, dash)) got.emplace_back(p.x, p.y);
  // offset 1: steps 0 on, 1-4 off, 5-6 on, 7-9 off
  EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{0, 0}, {5, 0}, {6, 0}}));
}

TEST(LineDots, CutToCoordRangeKeepsTheCourseAcrossThePage) {
  // Slope 1/2: every even x is a dot of the course; the cut ends are the outermost such dots.
  long long x1 = -100000, y1 = -50000, x2 = 100000, y2 = 50000;
  ASSERT_TRUE(CutToCoordRange(x1, y1, x2, y2, 100, 100, 5));
  EXPECT_EQ(x1, kCoordMin);
  EXPECT_EQ(y1, -16384);
  EXPECT_EQ(x2, kCoordMax - 1);  // 32767 would be half a dot off the course
  EXPECT_EQ(y2, 16383);
  // A course through no dot in range, of a slope far from simple fractions (about 0.618):
  // the cut ends lie within a thousandth of a dot of it.
  x1 = -1000003, y1 = -618034, x2 = 1000000, y2 = 618035;
  const long long dx = x2 - x1, dy = y2 - y1;
  const long long ox = x1, oy = y1;
  ASSERT_TRUE(CutToCoordRange(x1, y1, x2, y2, 100, 100, 5));
  for (const auto& [x, y] : {std::pair{x1, y1}, {x2, y2}}) {
    EXPECT_TRUE(CoordFits(x, y));
    const double off = static_cast<double>((x - ox) * dy - (y - oy) * dx) / std::hypot(dx, dy);
    EXPECT_LT(std::fabs(off), 1e-3) << x << "," << y;
    EXPECT_TRUE(x < -5 || x > 104 || y < -5 || y > 104) << "the end stays off the page";
  }
  // Lines that never come near the page are not drawn at all.
  x1 = 40000, y1 = 0, x2 = 50000, y2 = 10;
  EXPECT_FALSE(CutToCoordRange(x1, y1, x2, y2, 100, 100, 5));
  x1 = -100000, y1 = 200, x2 = 100000, y2 = 200;
  EXPECT_FALSE(CutToCoordRange(x1, y1, x2, y2, 100, 100, 5));
}

}  // namespace
