// Reader of what the driver sent to a printer: the PCL raster rows, split into pages, with the
// raster, resolution and page commands that go with them. Everything else (other escape
// sequences, text, HP-GL) is skipped. Used by pclview and by the tests that read a print back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx5 {

// Planes kept per raster row; further planes of a row are counted but not kept.
constexpr int kPclMaxPlanes = 8;

struct PclRow {
  int planes = 0;                  // planes kept (ESC*b#V ones, then the ESC*b#W one)
  size_t off[kPclMaxPlanes] = {};  // where each plane's bytes start in PclPage::bytes
  int len[kPclMaxPlanes] = {};     // and how many there are
};

struct PclPage {
  std::vector<PclRow> rows;
  std::string bytes;  // the row data of the page
  int palette = 1;    // the ESC*r#U value in force: 1 black and white, 3 RGB, -3 CMY, -4 KCMY
  bool palette_set = false;
  int xdpi = 0;            // ESC*t#R, 0 when not given
  int width_dots = 0;      // ESC*r#S, 0 when not given
  int page_size = -1;      // ESC&l#A, -1 when not given
  size_t text_bytes = 0;   // printable characters outside escape sequences
  int max_planes = 0;      // most planes in one row
  int max_row_bytes = 0;   // longest plane row
  int min_row_bytes = 0;   // shortest plane row
  int dropped_planes = 0;  // planes beyond kPclMaxPlanes
  unsigned modes = 0;      // bit m set when rows in compression mode m (0 to 9) were met

  bool colour() const { return palette != 1 || max_planes > 1; }
  // Width of the page picture in dots: the longest row, cut to the raster width when given.
  int dots() const;
  // Bit of one plane at dot x of a row; 0 outside the data sent.
  int bit(int row, int plane, int x) const;
  // Ink of a black-and-white page.
  bool ink(int row, int x) const { return bit(row, 0, x) != 0; }
  // PCL palette index of a colour dot: plane 0 (the first sent) is the lowest bit.
  int index(int row, int x) const;
  // The dot's colour as 0xRRGGBB under the palette (RGB when the page set none).
  uint32_t rgb(int row, int x) const;
};

// Splits a capture into pages at form feeds and ESC&l0H. Pages with neither raster rows nor
// text are left out. Rows compressed in mode 2 (PackBits) or 3 (delta row, each plane against
// its own seed row, reset by ESC*r#A) are decoded as a printer does, at least as long as the
// raster width (ESC*r#S) when one was given; rows of other modes are kept as sent.
// Never reads outside the capture, whatever it holds.
std::vector<PclPage> ReadPcl(std::string_view capture);

// One-line summary of a page: rows, bytes per row, planes, and the compression modes of its
// rows when any was not 0.
std::string PclSummary(const PclPage& page, int number);

}  // namespace qx5
