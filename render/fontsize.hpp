// The size of an X font from its name alone, so that a pen plotter's labels take the size the
// raster page prints the font in without asking an X server.
#pragma once

namespace qx5 {

// In the font's pixels, which the raster page prints as printer dots.
struct FontDots {
  double height;   // pixel size: ascent and descent together
  double advance;  // width of one character cell
};

// From an X font name: the pixel size field of an XLFD name (or its point size at its
// resolution), its average width; "WxH" names such as 9x15; X's "fixed" (6x13) otherwise.
FontDots FontSizeOfName(const char* name);

}  // namespace qx5
