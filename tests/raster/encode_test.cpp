// The four raster encoders on hand-built images, checked against an independent model of the
// rows they must send.
#include "raster/encode.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver/devout.hpp"
#include "driver/plotrequest.hpp"
#include "raster/capture.hpp"
#include "raster/pclread.hpp"
#include "raster/rowout.hpp"
#include "rastertest.hpp"
#include "render/surface.hpp"

using rastertest::Image;
using rastertest::LpScope;
using rastertest::Row;

namespace {

// The printer colour a four-bit value stands for, as a table independent of MapColor.
int ExpectedIndex(unsigned value, int depth) {
  switch (value) {
    case 0:
      return 7;
    case 9:
      return 4;
    case 10:
      return 2;
    case 12:
      return 1;
    case 15:
      return depth >= 8 ? 1 : 0;
    default:
      return 0;
  }
}

int PixelIndex(const Image& img, int x, int y, int depth) {
  return ExpectedIndex(static_cast<unsigned>(img.get(x, y) & 0xF), depth);
}

void Randomise(Image& img, uint32_t seed) {
  for (char& c : img.data()) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 16);
  }
}

void SetBit(std::string& row, int pos, bool on) {
  if (pos < 0 || pos / 8 >= static_cast<int>(row.size())) return;
  unsigned char& b = reinterpret_cast<unsigned char&>(row[static_cast<size_t>(pos / 8)]);
  unsigned char m = static_cast<unsigned char>(0x80 >> (pos % 8));
  b = on ? static_cast<unsigned char>(b | m) : static_cast<unsigned char>(b & ~m);
}

// What the rotated encoders must send for column x: the column from the bottom up, placed at
// the right end of the row; plane_bit 0 means black and white.
std::string TurnedRow(const Image& img, int x, int byte_wide, int depth, int plane_bit) {
  const XImage* xi = img.image();
  int H = xi->height;
  int hb = (H + 7) / 8;
  int offset = byte_wide - hb > 0 ? byte_wide - hb : 0;
  std::string row(static_cast<size_t>(byte_wide), plane_bit ? '\xff' : '\0');
  for (int k = 0; k < hb * 8; ++k) {
    bool on;
    if (k >= H) {
      on = plane_bit != 0;  // colour fill bits are 1, black and white ones 0
    } else if (plane_bit == 0) {
      on = img.get(x, H - 1 - k) & 1;
    } else {
      on = (PixelIndex(img, x, H - 1 - k, depth) & plane_bit) != 0;
    }
    SetBit(row, offset * 8 + k, on);
  }
  return row;
}

std::string DrawnRow(const Image& img, int y, int byte_wide, int depth, int plane_bit) {
  const XImage* xi = img.image();
  int W = xi->width;
  int nb = (W + 7) / 8;
  std::string row(static_cast<size_t>(byte_wide), plane_bit ? '\xff' : '\0');
  for (int x = 0; x < nb * 8; ++x) {
    bool on;
    if (x >= W)
      on = plane_bit != 0;
    else if (plane_bit == 0)
      on = img.get(x, y) & 1;
    else
      on = (PixelIndex(img, x, y, depth) & plane_bit) != 0;
    SetBit(row, x, on);
  }
  return row;
}

struct Case {
  int w, h, depth, byte_wide;
};

std::string Command(int count, char kind) {
  return "\x1b*b" + std::to_string(count) + kind;
}

TEST(Encoders, BlackAndWhiteTurnedMatchesTheModel) {
  // One pixel, heights that are and are not multiples of 8, a column longer than the row.
  const Case cases[] = {{1, 1, 1, 4},   {1, 10, 1, 4},  {8, 8, 1, 1},
                        {13, 17, 1, 2}, {16, 24, 1, 5}, {3, 9, 1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " BYTE_WIDE " << c.byte_wide);
    Image img(c.w, c.h, c.depth, 2);
    Randomise(img, static_cast<uint32_t>(c.w * 31 + c.h));
    LpScope scope;
    qx5::BYTE_WIDE = c.byte_wide;
    ASSERT_EQ(qx5::EncodePage(img.get(), false, true), 0);
    EXPECT_EQ(qx5::RecoverFromPlotnb, 0);
    std::vector<Row> rows;
    ASSERT_TRUE(rastertest::ParseRows(scope.dev.bytes(), rows));
    ASSERT_EQ(rows.size(), static_cast<size_t>(c.w));
    for (int x = 0; x < c.w; ++x) {
      EXPECT_EQ(rows[x].kind, 'W');
      EXPECT_EQ(rows[x].count, c.byte_wide);
      EXPECT_EQ(rows[x].bytes, TurnedRow(img, x, c.byte_wide, 1, 0)) << "column " << x;
    }
  }
}

TEST(Encoders, BlackAndWhiteTurnedExampleBytes) {
  // BYTE_WIDE 4, an image 10 high: two zero bytes, lines 9..2, then lines 1 and 0.
  Image img(1, 10, 1, 0);
  for (int y : {9, 2, 1, 0}) img.set(0, y, 1);
  LpScope scope;
  qx5::BYTE_WIDE = 4;
  ASSERT_EQ(qx5::EncodePage(img.get(), false, true), 0);
  EXPECT_EQ(scope.dev.bytes(), std::string("\x1b*b4W\x00\x00\x81\xc0", 9));
}

TEST(Encoders, BlackAndWhiteAsDrawnMasksAndCuts) {
  const Case cases[] = {{1, 1, 1, 4}, {10, 3, 1, 4}, {16, 2, 1, 8}, {21, 5, 1, 2}, {7, 9, 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " BYTE_WIDE " << c.byte_wide);
    Image img(c.w, c.h, 1, 1);
    Randomise(img, static_cast<uint32_t>(c.w * 7 + c.h));
    Image original = img;
    LpScope scope;
    qx5::BYTE_WIDE = c.byte_wide;
    ASSERT_EQ(qx5::EncodePage(img.get(), false, false), 0);
    int nb = (c.w + 7) / 8;
    int len = nb < c.byte_wide ? nb : c.byte_wide;
    std::vector<Row> rows;
    ASSERT_TRUE(rastertest::ParseRows(scope.dev.bytes(), rows));
    ASSERT_EQ(rows.size(), static_cast<size_t>(c.h));
    for (int y = 0; y < c.h; ++y) {
      EXPECT_EQ(rows[y].kind, 'W');
      EXPECT_EQ(rows[y].count, len);
      EXPECT_EQ(rows[y].bytes, DrawnRow(original, y, nb, 1, 0).substr(0, len)) << "line " << y;
    }
  }
  // Bits beyond the width go out as 0 although the image holds 1 there.
  Image img(10, 1, 1, 0);
  img.data()[0] = '\x80';
  img.data()[1] = '\x7f';
  LpScope scope;
  qx5::BYTE_WIDE = 4;
  ASSERT_EQ(qx5::EncodePage(img.get(), false, false), 0);
  EXPECT_EQ(scope.dev.bytes(), std::string("\x1b*b2W\x80\x40", 7));
}

TEST(Encoders, ColourTurnedMatchesTheModel) {
  const Case cases[] = {{1, 1, 4, 1},  {5, 10, 8, 4},  {9, 16, 4, 3},
                        {7, 7, 24, 2}, {12, 20, 8, 2}, {4, 13, 6, 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " depth " << c.depth);
    Image img(c.w, c.h, c.depth, 1);
    Randomise(img, static_cast<uint32_t>(c.w * 13 + c.h * 3 + c.depth));
    LpScope scope;
    qx5::BYTE_WIDE = c.byte_wide;
    ASSERT_EQ(qx5::EncodePage(img.get(), true, true), 0);
    EXPECT_EQ(qx5::RecoverFromPlotnb, 0);
    std::vector<Row> rows;
    ASSERT_TRUE(rastertest::ParseRows(scope.dev.bytes(), rows));
    ASSERT_EQ(rows.size(), static_cast<size_t>(3 * c.w));
    const int bits[3] = {4, 2, 1};
    for (int x = 0; x < c.w; ++x) {
      for (int p = 0; p < 3; ++p) {
        const Row& r = rows[static_cast<size_t>(3 * x + p)];
        EXPECT_EQ(r.kind, p == 2 ? 'W' : 'V');
        EXPECT_EQ(r.count, c.byte_wide);
        EXPECT_EQ(r.bytes, TurnedRow(img, x, c.byte_wide, c.depth, bits[p]))
            << "column " << x << " plane " << p;
      }
    }
  }
}

TEST(Encoders, ColourAsDrawnMatchesTheModel) {
  const Case cases[] = {{1, 1, 4, 1}, {5, 3, 8, 4}, {16, 4, 4, 2}, {13, 5, 24, 3}, {20, 2, 8, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " depth " << c.depth);
    Image img(c.w, c.h, c.depth, 1);
    Randomise(img, static_cast<uint32_t>(c.w * 5 + c.h * 11 + c.depth));
    LpScope scope;
    qx5::BYTE_WIDE = c.byte_wide;
    ASSERT_EQ(qx5::EncodePage(img.get(), true, false), 0);
    std::vector<Row> rows;
    ASSERT_TRUE(rastertest::ParseRows(scope.dev.bytes(), rows));
    ASSERT_EQ(rows.size(), static_cast<size_t>(3 * c.h));
    int nb = (c.w + 7) / 8;
    const int bits[3] = {4, 2, 1};
    for (int y = 0; y < c.h; ++y) {
      for (int p = 0; p < 3; ++p) {
        const Row& r = rows[static_cast<size_t>(3 * y + p)];
        EXPECT_EQ(r.kind, p == 2 ? 'W' : 'V');
        EXPECT_EQ(r.count, c.byte_wide);
        std::string want = DrawnRow(img, y, nb > c.byte_wide ? nb : c.byte_wide, c.depth, bits[p]);
        EXPECT_EQ(r.bytes, want.substr(0, static_cast<size_t>(c.byte_wide)))
            << "line " << y << " plane " << p;
      }
    }
  }
}

TEST(Encoders, ColourMappingOfEveryValue) {
  for (int depth : {4, 5, 8, 16, 24, 32}) {
    for (int v = 0; v < 256; ++v) {
      EXPECT_EQ(qx5::MapColor(static_cast<unsigned char>(v), depth),
                ExpectedIndex(static_cast<unsigned>(v), depth))
          << "value " << v << " depth " << depth;
    }
  }
  // The colour table's pixel values on an 8-bit and a 24-bit image, and the value 15 on a
  // 4-bit one: one pixel each, rotated, BYTE_WIDE 1.
  struct Pixel {
    int depth;
    unsigned long value;
    int index;
  };
  const Pixel pixels[] = {
      {8, 249, 4},       {8, 10, 2},        {8, 252, 1},        {8, 251, 0}, {8, 11, 0},
      {8, 254, 0},       {8, 255, 1},       {8, 0, 7},          {4, 15, 0},  {24, 0x0000F9, 4},
      {24, 0x0F0000, 7}, {24, 0xFF00FC, 1}, {32, 0xFFFFFF0A, 2}};
  for (const Pixel& px : pixels) {
    SCOPED_TRACE(testing::Message() << "pixel " << px.value << " depth " << px.depth);
    Image img(1, 1, px.depth, 0);
    img.set(0, 0, px.value);
    LpScope scope;
    qx5::BYTE_WIDE = 1;
    ASSERT_EQ(qx5::EncodePage(img.get(), true, true), 0);
    std::string want;
    for (int b : {4, 2, 1}) {
      want += Command(1, b == 1 ? 'W' : 'V');
      want += (px.index & b) ? '\xff' : '\x7f';
    }
    EXPECT_EQ(scope.dev.bytes(), want);
  }
}

// Row bytes a printer still waits for when it got only the first `got` bytes of a stream of
// rows: the rest of a row whose bytes were cut, the whole of a row whose command was cut.
int Waiting(const std::string& all, size_t got) {
  std::vector<Row> rows;
  EXPECT_TRUE(rastertest::ParseRows(all, rows));
  size_t pos = 0;
  for (const Row& r : rows) {
    size_t data = pos + Command(r.count, r.kind).size();
    size_t end = r.kind == 'M' ? data : data + static_cast<size_t>(r.count);
    if (got <= pos) return 0;
    if (got < data) return static_cast<int>(end - data);
    if (got < end) return static_cast<int>(end - got);
    pos = end;
  }
  return 0;
}

struct Encoder {
  const char* name;
  bool colour, rotated;
};
const Encoder kEncoders[] = {{"BW turned", false, true},
                             {"BW as drawn", false, false},
                             {"colour turned", true, true},
                             {"colour as drawn", true, false}};

TEST(Encoders, BlockSizeChangesNoByte) {
  // Every encoder sends the same bytes whatever the block size, and each write but the last
  // carries at least a block.
  for (const Encoder& e : kEncoders) {
    SCOPED_TRACE(e.name);
    Image img(37, 45, e.colour ? 8 : 1, 3);
    Randomise(img, 17);
    std::string first;
    for (int block : {65536, 1, 9, 100, 4096}) {
      SCOPED_TRACE(testing::Message() << "block " << block);
      qx5::RasterBlock = block;
      LpScope scope;
      qx5::BYTE_WIDE = 9;
      ASSERT_EQ(qx5::EncodePage(img.get(), e.colour, e.rotated), 0);
      if (first.empty()) first = scope.dev.bytes();
      EXPECT_EQ(scope.dev.bytes(), first);
      const std::vector<size_t>& sizes = scope.dev.sizes();
      for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_GE(sizes[i], static_cast<size_t>(block));
    }
    qx5::RasterBlock = qx5::kRasterBlockMax;
  }
}

TEST(Encoders, CutTransferLeavesWhatThePrinterWaitsFor) {
  // The device takes every possible number of bytes, with blocks that end at row boundaries
  // and in the middle of rows: the page fails there, and RecoverFromPlotnb holds the row
  // bytes the printer still waits for.
  for (const Encoder& e : kEncoders) {
    SCOPED_TRACE(e.name);
    Image img(6, 11, e.colour ? 8 : 1, 1);
    Randomise(img, 99);
    qx5::BYTE_WIDE = 3;
    for (int mode : {0, 3}) {
      std::string all;
      {
        LpScope scope;
        ASSERT_EQ(qx5::EncodePage(img.get(), e.colour, e.rotated, mode), 0);
        all = scope.dev.bytes();
      }
      for (int block : {65536, 8, 16, 30}) {
        qx5::RasterBlock = block;
        for (size_t cut = 0; cut < all.size(); ++cut) {
          SCOPED_TRACE(testing::Message()
                       << "mode " << mode << ", block " << block << ", cut at " << cut);
          LpScope scope;
          scope.dev.cut_at(cut);
          ASSERT_EQ(qx5::EncodePage(img.get(), e.colour, e.rotated, mode), 1);
          EXPECT_EQ(scope.dev.bytes(), all.substr(0, cut));
          EXPECT_EQ(qx5::RecoverFromPlotnb, Waiting(all, cut));
        }
      }
    }
    qx5::RasterBlock = qx5::kRasterBlockMax;
  }
  // A colour row cut in its second plane waits for that plane's rest only, not a page.
  Image img(4, 10, 8, 1);
  LpScope scope;
  qx5::BYTE_WIDE = 4;
  scope.dev.cut_at(9 + 5 + 1);  // the first plane row, the second's command and one byte
  EXPECT_EQ(qx5::EncodePage(img.get(), true, true), 1);
  EXPECT_EQ(qx5::RecoverFromPlotnb, 3);
  qx5::RecoverFromPlotnb = 0;
}

// The rows of a stream as a printer decodes them, each plane filled with zeros to n bytes.
std::vector<std::string> Decoded(const std::string& stream, size_t n) {
  std::vector<std::string> out;
  for (const qx5::PclPage& page : qx5::ReadPcl(stream)) {
    for (const qx5::PclRow& r : page.rows) {
      for (int p = 0; p < r.planes; ++p) {
        std::string row = page.bytes.substr(r.off[p], static_cast<size_t>(r.len[p]));
        if (row.size() < n) row.resize(n, '\0');
        out.push_back(row);
      }
    }
  }
  return out;
}

TEST(Encoders, CompressedRowsDecodeToTheRows) {
  // Pages of random dots, blank pages, lines of ink longer than 128 bytes and lines that repeat,
  // through every encoder in modes 2 and 3, decoded by the capture reader (which shares nothing
  // with the encoder): the same rows as sent uncompressed.
  const int kW = 2400, kH = 40;
  std::vector<Image> pages;
  pages.emplace_back(kW, kH, 8, 2);
  Randomise(pages.back(), 3);
  pages.emplace_back(kW, kH, 8, 2);  // blank
  pages.emplace_back(kW, kH, 8, 2);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (y / 4 % 2 == 0 || x % 1000 < 3) pages.back().set(x, y, y % 3 == 0 ? 0xF9 : 0xFF);
  for (const Encoder& e : kEncoders) {
    for (size_t n = 0; n < pages.size(); ++n) {
      SCOPED_TRACE(testing::Message() << e.name << ", page " << n);
      Image img = pages[n];
      Image bw(kW, kH, 1, 2);
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) bw.set(x, y, img.get(x, y) & 1);
      XImage* page = e.colour ? img.get() : bw.get();
      qx5::BYTE_WIDE = 300;
      std::string plain;
      {
        LpScope scope;
        ASSERT_EQ(qx5::EncodePage(page, e.colour, e.rotated), 0);
        plain = scope.dev.bytes();
      }
      for (int mode : {2, 3}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        LpScope scope;
        ASSERT_EQ(qx5::EncodePage(page, e.colour, e.rotated, mode), 0);
        const std::string& sent = scope.dev.bytes();
        EXPECT_EQ(sent.compare(0, 5, "\x1b*b" + std::to_string(mode) + "M"), 0);
        EXPECT_EQ(sent.find(sent.substr(0, 5), 5), std::string::npos);  // set once
        EXPECT_EQ(Decoded(sent, 300), Decoded(plain, 300));
        if (n != 0) {
          EXPECT_LT(sent.size(), plain.size());
        }
        // A blank black-and-white page in mode 3: every row repeats the zero seed, in 0 bytes.
        if (n == 1 && mode == 3 && !e.colour) {
          size_t rows = e.rotated ? kW : kH;
          EXPECT_EQ(
              sent, "\x1b*b3M" + [&] {
                std::string r;
                for (size_t i = 0; i < rows; ++i) r += "\x1b*b0W";
                return r;
              }());
        }
      }
    }
  }
}

TEST(Encoders, RefusedPagesSendNothing) {
  struct Refused {
    const char* what;
    int w, h, depth, byte_wide;
    bool colour, rotated;
  };
  const Refused cases[] = {
      {"colour needs depth 4", 4, 4, 1, 4, true, true},
      {"colour needs depth 4, as drawn", 4, 4, 3, 4, true, false},
      {"row wider than the buffer", 1, 1, 1, qx5::kRasterMax + 1, false, true},
      {"negative row width", 1, 1, 1, -1, false, false},
      {"column longer than the buffer", 1, qx5::kRasterMax + 1, 1, 4, false, true},
      {"colour column longer than the buffer", 1, qx5::kRasterMax + 1, 4, 4, true, true},
      {"colour line longer than the buffer", qx5::kRasterMax + 1, 1, 4, 4, true, false},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.what);
    Image img(c.w, c.h, c.depth, 0);
    LpScope scope;
    qx5::BYTE_WIDE = c.byte_wide;
    qx5::RecoverFromPlotnb = 0;
    EXPECT_EQ(qx5::EncodePage(img.get(), c.colour, c.rotated), 1);
    EXPECT_EQ(scope.dev.writes(), 0);
    EXPECT_EQ(qx5::RecoverFromPlotnb, 0);
  }
  // The largest row and a 600 dpi letter column (6600 dots) fit.
  Image tall(2, 6600, 8, 0);
  Randomise(tall, 5);
  for (int bw : {600, qx5::kRasterMax}) {
    LpScope scope;
    qx5::BYTE_WIDE = bw;
    EXPECT_EQ(qx5::EncodePage(tall.get(), true, true), 0);
    std::vector<Row> rows;
    ASSERT_TRUE(rastertest::ParseRows(scope.dev.bytes(), rows));
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[5].bytes, TurnedRow(tall, 1, bw, 8, 1));
  }
}

TEST(Encoders, NothingCapturedNothingSent) {
  qx5::initialized = 0;
  qx5::image = nullptr;
  LpScope scope;
  qx5::BYTE_WIDE = 4;
  for (auto encoder :
       {qx5::PrintBitsBW, qx5::PrintBitsNRBW, qx5::PrintBitsCOLOR, qx5::PrintBitsNRCOLOR}) {
    EXPECT_EQ(encoder(), 1);
  }
  EXPECT_EQ(scope.dev.writes(), 0);
  EXPECT_EQ(qx5::RecoverFromPlotnb, 0);
}

TEST(Capture, BitOrderIsNormalisedOnce) {
  EXPECT_EQ(
      [] {
        char c = 0x01;
        qx5::reverseBits(&c);
        return static_cast<unsigned char>(c);
      }(),
      0x80);
  char a = static_cast<char>(0xA0);
  qx5::reverseBits(&a);
  EXPECT_EQ(static_cast<unsigned char>(a), 0x05);

  for (int order : {LSBFirst, MSBFirst}) {
    Image img(11, 3, 2, 2);  // two filler bytes on every line of every plane
    for (size_t i = 0; i < img.data().size(); ++i) img.data()[i] = static_cast<char>(i * 37 + 1);
    std::vector<char> before = img.data();
    img.get()->bitmap_bit_order = order;
    qx5::NormaliseBitOrder(img.get());
    for (size_t i = 0; i < before.size(); ++i) {
      unsigned char in = static_cast<unsigned char>(before[i]);
      unsigned char want = 0;
      for (int b = 0; b < 8; ++b)
        if (in & (1 << b)) want = static_cast<unsigned char>(want | (0x80 >> b));
      if (order == MSBFirst) want = in;
      ASSERT_EQ(static_cast<unsigned char>(img.data()[i]), want) << "byte " << i;
    }
    EXPECT_EQ(img.get()->bitmap_bit_order, MSBFirst);
  }
}

}  // namespace
