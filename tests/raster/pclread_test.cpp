// The capture reader behind pclview: rows, planes, page breaks and the escapes it must skip.
#include "raster/pclread.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Esc(const std::string& s) {
  return "\x1b" + s;
}

TEST(PclRead, RowsPlanesAndPageBreaks) {
  std::string cap = Esc("E") + Esc("&l2A") + Esc("*t300R") + Esc("*r2550S") + Esc("*r0A") +
                    Esc("*b2W") + std::string("\x80\x01", 2) + Esc("*b1W") + "\xff" + Esc("*rB") +
                    "\r\x0c";
  // Colour page: RGB palette, one row of three planes sent chained (v, v, then W), each
  // plane's data right after its terminator. Dot 0 white, 1 black, 3 red, 6 green, 7 blue.
  cap += Esc("*r3U") + Esc("*b1v") + "\x90" + "1v\x82" + "1W\x81" + Esc("&l0H");
  // Text only, then an empty page (two breaks in a row) that is left out.
  cap += "Hello\x0c\x0c";
  auto pages = qx5::ReadPcl(cap);
  ASSERT_EQ(pages.size(), 3u);

  const qx5::PclPage& bw = pages[0];
  ASSERT_EQ(bw.rows.size(), 2u);
  EXPECT_FALSE(bw.colour());
  EXPECT_EQ(bw.xdpi, 300);
  EXPECT_EQ(bw.width_dots, 2550);
  EXPECT_EQ(bw.page_size, 2);
  EXPECT_EQ(bw.dots(), 16);
  EXPECT_TRUE(bw.ink(0, 0));
  EXPECT_FALSE(bw.ink(0, 1));
  EXPECT_TRUE(bw.ink(0, 15));
  EXPECT_TRUE(bw.ink(1, 7));
  EXPECT_FALSE(bw.ink(1, 8));  // beyond the data of a short row
  EXPECT_EQ(bw.rgb(0, 0), 0x000000u);
  EXPECT_EQ(bw.rgb(0, 1), 0xFFFFFFu);
  EXPECT_EQ(qx5::PclSummary(bw, 1),
            "page 1: 2 rows, 2 bytes per row, 1 plane (rows of 1 to 2 bytes)");

  const qx5::PclPage& col = pages[1];
  ASSERT_EQ(col.rows.size(), 1u);
  EXPECT_TRUE(col.colour());
  EXPECT_EQ(col.max_planes, 3);
  // dot 0: planes 1,1,1 = index 7 white; dot 3: 1,0,0 = index 1 red; dot 7: 0,0,0 black.
  EXPECT_EQ(col.index(0, 0), 7);
  EXPECT_EQ(col.rgb(0, 0), 0xFFFFFFu);
  EXPECT_EQ(col.index(0, 1), 0);
  EXPECT_EQ(col.rgb(0, 1), 0x000000u);
  EXPECT_EQ(col.index(0, 3), 1);
  EXPECT_EQ(col.rgb(0, 3), 0xFF0000u);
  EXPECT_EQ(col.index(0, 6), 2);
  EXPECT_EQ(col.rgb(0, 6), 0x00FF00u);
  EXPECT_EQ(col.index(0, 7), 4);
  EXPECT_EQ(col.rgb(0, 7), 0x0000FFu);
  EXPECT_EQ(qx5::PclSummary(col, 2), "page 2: 1 rows, 1 bytes per row, 3 planes");

  EXPECT_TRUE(pages[2].rows.empty());
  EXPECT_EQ(pages[2].text_bytes, 5u);
  EXPECT_EQ(qx5::PclSummary(pages[2], 3), "page 3: no raster rows, 5 text characters");
}

TEST(PclRead, PalettesOfTheSimpleColourModes) {
  // One dot with planes 1, 0, 0, 1 under CMY and KCMY, 1, 0, 0 with no palette command.
  struct Case {
    std::string setup;
    int planes;
    uint32_t rgb;
  };
  const Case cases[] = {{Esc("*r-3U"), 3, 0x00FFFFu},  // cyan ink
                        {Esc("*r-4U"), 4, 0x000000u},  // black ink
                        {"", 3, 0xFF0000u}};           // three planes read as RGB
  for (const Case& c : cases) {
    std::string cap = c.setup;
    for (int p = 0; p < c.planes; ++p)
      cap += Esc(std::string("*b1") + (p + 1 == c.planes ? "W" : "V")) +
             ((p == 0 || p == 3) ? "\x80" : std::string(1, '\0'));
    auto pages = qx5::ReadPcl(cap);
    ASSERT_EQ(pages.size(), 1u) << c.setup;
    EXPECT_EQ(pages[0].rgb(0, 0), c.rgb) << c.setup;
  }
}

TEST(PclRead, MalformedInputIsSkippedSafely) {
  const std::string cases[] = {
      Esc("*b999W") + "ab",                        // count beyond the end: takes what is there
      Esc("*b-5W") + "x",                          // negative count: no bytes
      Esc("*b99999999999999999999W"),              // huge value
      Esc("(s12W") + "\x1b*b1W\x80",               // font data holding an escape: skipped whole
      Esc("*b1") + "\x01" + Esc("*b1W") + "\x80",  // broken sequence, then a real row
      "\x1b",                                      // lone escape at the end
      Esc("*"),                                    // cut after the parameter character
      Esc("&p3X") + "\x0c\x0c\x0c",                // transparent data is not a page break
      Esc("%-12345X") + "@PJL\r\n",                // UEL and PJL text
      std::string(1, '\0') + Esc("*b0W"),          // empty row
  };
  const size_t rows[] = {1, 1, 1, 0, 1, 0, 0, 0, 0, 1};
  for (size_t i = 0; i < std::size(cases); ++i) {
    auto pages = qx5::ReadPcl(cases[i]);
    size_t n = 0;
    for (const auto& p : pages) n += p.rows.size();
    EXPECT_EQ(n, rows[i]) << "case " << i;
    for (const auto& p : pages)
      for (int r = 0; r < static_cast<int>(p.rows.size()); ++r)
        for (int x = -1; x <= p.dots(); ++x) (void)p.rgb(r, x);
  }
  auto pages = qx5::ReadPcl(cases[0]);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].max_row_bytes, 2);
  // A huge declared raster width fills compressed rows only to the widest raster a printer
  // takes (65535 dots), never to gigabytes.
  pages = qx5::ReadPcl(Esc("*r2099999999S") + Esc("*b3M") + Esc("*b2W") +
                       std::string("\x00\x01", 2) + Esc("*b0W"));
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_EQ(pages[0].rows.size(), 2u);
  EXPECT_EQ(pages[0].max_row_bytes, (65535 + 7) / 8);
  EXPECT_EQ(pages[0].dots(), 65535);
}

// The bytes of one plane row as decoded.
std::string RowBytes(const qx5::PclPage& page, int row, int plane) {
  const qx5::PclRow& r = page.rows[static_cast<size_t>(row)];
  return page.bytes.substr(r.off[plane], static_cast<size_t>(r.len[plane]));
}

TEST(PclRead, CompressedRowsDecodeAsAPrinterDoes) {
  // Worked by hand: PackBits, then delta rows against the last row, a zero-length delta row
  // (the seed again), an offset carried in extra bytes, and seeds cleared by a raster start.
  std::string cap = Esc("*r16S") + Esc("*r1A") + Esc("*b2M");
  cap += Esc("*b4W") + std::string("\xfe\xaa\x00\x55", 4);        // AA AA AA, then the literal 55
  cap += Esc("*b3M") + Esc("*b2W") + std::string("\x01\x11", 2);  // byte 1 becomes 11
  cap += Esc("*b0W");
  cap += Esc("*b5W") + std::string("\x3f\xff\x02\x01\x02", 5);  // 2 bytes at 31 + 255 + 2
  cap += Esc("*r1A") + Esc("*b2W") + std::string("\x00\x77", 2);
  cap += Esc("*b0M") + Esc("*b1W") + "\x42";
  auto pages = qx5::ReadPcl(cap);
  ASSERT_EQ(pages.size(), 1u);
  const qx5::PclPage& p = pages[0];
  ASSERT_EQ(p.rows.size(), 6u);
  EXPECT_EQ(RowBytes(p, 0, 0), "\xaa\xaa\xaa\x55");
  EXPECT_EQ(RowBytes(p, 1, 0), "\xaa\x11\xaa\x55");
  EXPECT_EQ(RowBytes(p, 2, 0), "\xaa\x11\xaa\x55");
  std::string far = std::string("\xaa\x11\xaa\x55", 4) + std::string(284, '\0') + "\x01\x02";
  EXPECT_EQ(RowBytes(p, 3, 0), far);
  EXPECT_EQ(RowBytes(p, 4, 0), std::string("\x77\x00", 2));  // filled to the raster width
  EXPECT_EQ(RowBytes(p, 5, 0), "\x42");
  EXPECT_EQ(p.modes, 1u << 0 | 1u << 2 | 1u << 3);
  EXPECT_EQ(qx5::PclSummary(p, 1),
            "page 1: 6 rows, 290 bytes per row, 1 plane (rows of 1 to 290 bytes), compression "
            "modes 0, 2, 3");
  // Each colour plane has its own seed; a page in one mode names it.
  cap = Esc("*r3U") + Esc("*b3M") + Esc("*b2V") + std::string("\x00\x01", 2) + Esc("*b2V") +
        std::string("\x00\x02", 2) + Esc("*b2W") + std::string("\x00\x03", 2) + Esc("*b0V") +
        Esc("*b2V") + std::string("\x00\x05", 2) + Esc("*b0W");
  pages = qx5::ReadPcl(cap);
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_EQ(pages[0].rows.size(), 2u);
  EXPECT_EQ(RowBytes(pages[0], 1, 0), "\x01");
  EXPECT_EQ(RowBytes(pages[0], 1, 1), "\x05");
  EXPECT_EQ(RowBytes(pages[0], 1, 2), "\x03");
  EXPECT_EQ(qx5::PclSummary(pages[0], 1),
            "page 1: 2 rows, 1 bytes per row, 3 planes, compression mode 3");
}

}  // namespace
