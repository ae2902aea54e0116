// Where the primitives draw. The plot statements and the geometry compute device dots once;
// the surface of the plot turns them into X requests on the pixmap of a raster page or into
// the strokes of a pen plotter's vector page. Nothing above this interface knows which.
#pragma once

namespace qx5 {

// Positions and sizes are device dots of the surface, x to the right and y downward from the
// top-left dot, as the coordinate mapping gives them. The drawing state (cpix, Style, Wide)
// is that of surface.hpp at the time of the call.
class DrawSurface {
 public:
  virtual ~DrawSurface() = default;
  // The line between two dots in the current style and width.
  virtual void Line(long long x1, long long y1, long long x2, long long y2) = 0;
  // The arc of the ellipse inscribed in the box w by h at (left, top): X angles in 64ths of a
  // degree, the start and the extent, counter-clockwise. Filled: the pie slice.
  virtual void Arc(long left, long top, long w, long h, int start, int extent, bool filled) = 0;
  // A box as X takes one: the outline covers w + 1 by h + 1 dots, the fill w by h. The sides
  // are not negative.
  virtual void Box(long left, long top, long w, long h, bool filled) = 0;
  // A string in the current font with the left end of its baseline at (x, y).
  virtual void Text(long x, long y, const char* text) = 0;
  // A bitmap file at the plot position (x, y), its colours fg and bg.
  virtual void Bitmap(const char* file, double x, double y, int fg, int bg) = 0;
  // The drawing state changed; the new value is in the globals already.
  virtual void Colour(int colour) = 0;
  virtual void LineStyle(int style) = 0;
  virtual void LineWidth(int width) = 0;
  // Drawing is limited to the w by h dots at (left, top); zero sides let nothing through.
  virtual void Clip(long left, long top, long w, long h) = 0;
};

// The X pixmap of a raster page. Its methods live beside the X code they use: the primitives
// in primitives.cpp, text in plottext.cpp, the drawing state in surface.cpp.
class XPixmap final : public DrawSurface {
 public:
  void Line(long long x1, long long y1, long long x2, long long y2) override;
  void Arc(long left, long top, long w, long h, int start, int extent, bool filled) override;
  void Box(long left, long top, long w, long h, bool filled) override;
  void Text(long x, long y, const char* text) override;
  void Bitmap(const char* file, double x, double y, int fg, int bg) override;
  void Colour(int colour) override;
  void LineStyle(int style) override;
  void LineWidth(int width) override;
  void Clip(long left, long top, long w, long h) override;
};

// The surface of the current plot: the vector page when one is open, else the X pixmap while
// it can be drawn on; null when there is none.
DrawSurface* Target();

}  // namespace qx5
