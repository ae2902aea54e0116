#include "render/plottext.hpp"

#include <cstdio>
#include <cstring>

#include "geometry/mapping.hpp"
#include "lib/message.hpp"
#include "render/drawsurface.hpp"
#include "render/plotfonts.hpp"
#include "render/surface.hpp"

namespace qx5 {
char curfont[200];

namespace {
constexpr int kKanji = 6;
const char kDefaultFont[] = "9x15";
}  // namespace

void LoadSetFont(const char* name) {
  if (name == nullptr || std::strcmp(name, curfont) == 0) return;
  if (SurfaceReady() && QX5LANG != kKanji) {
    const PlotFontInfo* f = GetPlotFont(name);
    if (f != nullptr) XSetFont(display, gc, f->handle);
  }
  std::snprintf(curfont, sizeof curfont, "%s", name);
}

void DrawString(double x, double y, const char* text) {
  if (curfont[0] == '\0') LoadSetFont(kDefaultFont);
  DrawSurface* s = Target();
  if (s == nullptr || text == nullptr) return;
  s->Text(Xcomp(x), Ycomp(y), text);
}

// A font that could not be loaded draws nothing; the string is skipped.
void XPixmap::Text(long left, long base, const char* text) {
  const int length = static_cast<int>(std::strlen(text));
  const PlotFontInfo* f = GetPlotFont(curfont);
  const bool kanji = QX5LANG == kKanji;
  const bool usable = f != nullptr && (kanji ? f->fontset != nullptr : f->font != nullptr);
  if (usable && length > 0 && PointFits(left, base)) {
    if (kanji)
      XmbDrawString(display, drawable, f->fontset, gc, static_cast<int>(left),
                    static_cast<int>(base), text, length);
    else
      XDrawString(display, drawable, gc, static_cast<int>(left), static_cast<int>(base), text,
                  length);
  }
}

}  // namespace qx5
