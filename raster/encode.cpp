#include "raster/encode.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "driver/devout.hpp"
#include "driver/plotrequest.hpp"
#include "geometry/mapping.hpp"
#include "lib/message.hpp"
#include "printers/codefile.hpp"
#include "printers/config.hpp"
#include "raster/capture.hpp"
#include "raster/compress.hpp"
#include "raster/rowout.hpp"
#include "render/surface.hpp"

namespace qx5 {

namespace {

// Page data read back per band, about this many bytes: it bounds the memory a page needs.
constexpr size_t kBandBytes = size_t{1} << 20;
constexpr int kOutPlanes = 3;

// The rows being built: eight image columns of a turned page, or one line, per printed plane.
unsigned char rows[kOutPlanes][8][kRasterMax];

// What the encoders know of the page before reading it.
struct Shape {
  int W = 0;
  int H = 0;
  int depth = 0;  // of the page (the pixmap, or the image in memory)
  bool colour = false;
  int planes() const { return colour ? 4 : 1; }
};

// A strip of the page in memory: the planes the encoders read (plane 0 the most significant),
// line y counted from the strip's top, byte c from its left edge at
// data + p * plane + y * bpl + c.
struct View {
  const unsigned char* data = nullptr;
  size_t bpl = 0;
  size_t plane = 0;
};

void Fail(const char* what) {
  Say("ERROR: %s: %s\n", XEQNAME, what);
}

// Where the page comes from: an image already in memory, or the page pixmap, read in bands.
class Source {
 public:
  Source(XImage* img, bool colour) : img_(img), colour_(colour) {}

  // The page's shape; false (with a message) when there is no usable page.
  bool Load(Shape& pg) const {
    pg.colour = colour_;
    if (img_ != nullptr) {
      if (img_->data == nullptr) return Refuse("no page image was captured");
      pg.W = img_->width;
      pg.H = img_->height;
      pg.depth = img_->depth;
      if (img_->bytes_per_line < (pg.W + 7) / 8)
        return Refuse("the captured page image is unusable");
    } else {
      pg.depth = PixmapDepth();
      if (pg.depth == 0) return Refuse("no page image was captured");
      pg.W = static_cast<int>(Width) + 1;
      pg.H = static_cast<int>(Height) + 1;
    }
    if (pg.W < 1 || pg.H < 1 || pg.depth < 1) return Refuse("the captured page image is unusable");
    if (colour_ && pg.depth < 4) {
      char msg[100];
      std::snprintf(msg, sizeof msg, "a colour page needs an image of depth 4 or more, not %d",
                    pg.depth);
      return Refuse(msg);
    }
    return true;
  }

  // The strip of w columns from x (a multiple of 8) and h lines from y.
  bool Band(int x, int y, int w, int h, View& v) {
    if (img_ != nullptr) {
      v.bpl = static_cast<size_t>(img_->bytes_per_line);
      v.plane = v.bpl * static_cast<size_t>(img_->height);
      size_t first = colour_ ? static_cast<size_t>(img_->depth - 4) : 0;
      v.data = reinterpret_cast<const unsigned char*>(img_->data) + first * v.plane +
               static_cast<size_t>(y) * v.bpl + static_cast<size_t>(x / 8);
      return true;
    }
    int ok = first_ ? GetBits(x, y, w, h, colour_) : GetBand(x, y, w, h, colour_);
    first_ = false;
    if (!ok || image == nullptr || image->data == nullptr || image->width != w ||
        image->height != h || image->depth != (colour_ ? 4 : 1) ||
        image->bytes_per_line < (w + 7) / 8)
      return Refuse("no page image was captured");
    v.data = reinterpret_cast<const unsigned char*>(image->data);
    v.bpl = static_cast<size_t>(image->bytes_per_line);
    v.plane = v.bpl * static_cast<size_t>(h);
    return true;
  }

 private:
  static bool Refuse(const char* what) {
    Fail(what);
    return false;
  }
  XImage* img_;
  bool colour_;
  bool first_ = true;
};

// A row of BYTE_WIDE bytes and a line or column of `dots` dots must fit the row buffers.
bool Fits(int dots) {
  if (BYTE_WIDE >= 0 && BYTE_WIDE <= kRasterMax && dots <= kRasterMax) return true;
  char msg[160];
  std::snprintf(msg, sizeof msg,
                "page too large for the raster buffers (row of %d bytes, %d dots a line; at most "
                "%d)",
                BYTE_WIDE, dots, kRasterMax);
  Fail(msg);
  return false;
}

// The 8 x 8 bit block whose row i is byte i of x (byte 0 the most significant, bit 0 of a row
// its most significant bit), transposed: row m of the result is column m of x.
inline uint64_t Transpose8(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
  x ^= t ^ (t << 28);
  return x;
}

// The printer colour of many dots at once, from the bits of their four-bit values (a the
// value 8, d the value 1): the three printed planes, for colour index bits 4, 2 and 1.
// Value 0 is index 7, 9 is 4, 10 is 2, 12 is 1, 15 is 1 on a page of depth 8 or more,
// every other value 0 (MapColor).
template <typename T>
inline void MapBits(T a, T b, T c, T d, bool deep, T out[kOutPlanes]) {
  T paper = static_cast<T>(~(a | b | c | d));
  T ab = a & b, nab = a & static_cast<T>(~b);
  out[0] = paper | (nab & static_cast<T>(~c) & d);
  out[1] = paper | (nab & c & static_cast<T>(~d));
  out[2] = paper | (ab & static_cast<T>(~(c | d)));
  if (deep) out[2] |= ab & c & d;
}

// Eight lines of one byte column of a plane, from line `top` upwards (lines below 0 are 0),
// as the rows of an 8 x 8 bit block.
inline uint64_t Gather(const unsigned char* p, size_t bpl, int top) {
  uint64_t x = 0;
  if (top >= 7) {
    const unsigned char* q = p + static_cast<size_t>(top) * bpl;
    for (int i = 0; i < 8; ++i, q -= bpl) x = x << 8 | *q;
    return x;
  }
  for (int i = 0; i < 8; ++i) {
    int y = top - i;
    x = x << 8 | (y >= 0 ? p[static_cast<size_t>(y) * bpl] : 0u);
  }
  return x;
}

int SendPlanes(RowOut& out, int planes, int m, int len) {
  for (int i = 0; i < planes; ++i) {
    if (out.Row(i, i == planes - 1 ? 'W' : 'V', rows[i][m], len) != 0) return 1;
  }
  return 0;
}

// The turned page: each image column, read from the bottom line upwards, becomes one printed
// row per plane, placed at the right end of the row (offset fill bytes in front of it); eight
// columns at a time, by 8 x 8 bit-block transposes.
int SendTurned(Source& src, const Shape& pg, int mode) {
  if (!Fits(pg.H)) return 1;
  const int hb = (pg.H + 7) / 8;
  const int offset = BYTE_WIDE > hb ? BYTE_WIDE - hb : 0;
  const int limit = BYTE_WIDE - offset;  // column bytes that fit the row
  const int out_planes = pg.colour ? kOutPlanes : 1;
  const bool deep = pg.depth >= 8;
  for (int i = 0; i < out_planes; ++i)
    for (auto& row : rows[i]) std::memset(row, pg.colour ? 0xFF : 0, static_cast<size_t>(offset));
  size_t per_column = static_cast<size_t>(pg.H) * static_cast<size_t>(pg.planes());
  int band = static_cast<int>(kBandBytes * 8 / per_column) & ~7;
  if (band < 8) band = 8;
  RowOut out(mode);
  for (int x0 = 0; x0 < pg.W; x0 += band) {
    int w = pg.W - x0 < band ? pg.W - x0 : band;
    View v;
    if (!src.Band(x0, 0, w, pg.H, v)) return 1;
    for (int c = 0; c < (w + 7) / 8; ++c) {
      for (int j = 0; j < limit; ++j) {
        int top = pg.H - 1 - 8 * j;
        uint64_t bits[kOutPlanes];
        if (pg.colour) {
          uint64_t p[4];
          for (int k = 0; k < 4; ++k)
            p[k] = Transpose8(Gather(v.data + k * v.plane + c, v.bpl, top));
          MapBits<uint64_t>(p[0], p[1], p[2], p[3], deep, bits);
        } else {
          bits[0] = Transpose8(Gather(v.data + c, v.bpl, top));
        }
        for (int i = 0; i < out_planes; ++i)
          for (int m = 0; m < 8; ++m)
            rows[i][m][offset + j] = static_cast<unsigned char>(bits[i] >> (56 - 8 * m));
      }
      int columns = w - 8 * c < 8 ? w - 8 * c : 8;
      for (int m = 0; m < columns; ++m)
        if (SendPlanes(out, out_planes, m, BYTE_WIDE) != 0) return 1;
    }
  }
  return out.Flush();
}

// The colour planes of one line, eight bytes at a time where it can.
void MapLine(const View& v, const unsigned char* line, int n, bool deep) {
  int c = 0;
  for (; c + 8 <= n; c += 8) {
    uint64_t p[4], o[kOutPlanes];
    for (int k = 0; k < 4; ++k) std::memcpy(&p[k], line + k * v.plane + c, 8);
    MapBits<uint64_t>(p[0], p[1], p[2], p[3], deep, o);
    for (int i = 0; i < kOutPlanes; ++i) std::memcpy(rows[i][0] + c, &o[i], 8);
  }
  for (; c < n; ++c) {
    unsigned char o[kOutPlanes];
    MapBits<unsigned char>(line[c], line[v.plane + c], line[2 * v.plane + c], line[3 * v.plane + c],
                           deep, o);
    for (int i = 0; i < kOutPlanes; ++i) rows[i][0][c] = o[i];
  }
}

// The page as drawn: each line is one printed row (black and white, the image cut to the
// row and its bits beyond the width 0) or three plane rows (colour, the image at the left,
// every bit and byte beyond it 1).
int SendAsDrawn(Source& src, const Shape& pg, int mode) {
  const int nb = (pg.W + 7) / 8;
  const int r = pg.W % 8;
  const int used = nb < BYTE_WIDE ? nb : BYTE_WIDE;  // image bytes that reach the row
  const int len = pg.colour ? BYTE_WIDE : used;
  if (!Fits(pg.colour ? pg.W : 0)) return 1;  // len is at most BYTE_WIDE, which Fits bounds
  const int out_planes = pg.colour ? kOutPlanes : 1;
  const bool deep = pg.depth >= 8;
  if (pg.colour)
    for (int i = 0; i < kOutPlanes; ++i)
      std::memset(rows[i][0] + used, 0xFF, static_cast<size_t>(BYTE_WIDE - used));
  const bool cut_last = r != 0 && nb - 1 < used;
  const unsigned char keep = static_cast<unsigned char>(0xFF00 >> r);
  int band = static_cast<int>(kBandBytes / (static_cast<size_t>(nb) * pg.planes()));
  if (band < 1) band = 1;
  RowOut out(mode);
  for (int y0 = 0; y0 < pg.H; y0 += band) {
    int h = pg.H - y0 < band ? pg.H - y0 : band;
    View v;
    if (!src.Band(0, y0, pg.W, h, v)) return 1;
    for (int y = 0; y < h; ++y) {
      const unsigned char* line = v.data + static_cast<size_t>(y) * v.bpl;
      if (pg.colour) {
        MapLine(v, line, used, deep);
        if (cut_last)
          for (int i = 0; i < kOutPlanes; ++i)
            rows[i][0][nb - 1] |= static_cast<unsigned char>(~keep);
      } else {
        std::memcpy(rows[0][0], line, static_cast<size_t>(used));
        if (cut_last) rows[0][0][nb - 1] &= keep;
      }
      if (SendPlanes(out, out_planes, 0, len) != 0) return 1;
    }
  }
  return out.Flush();
}

int Encode(XImage* img, bool colour, bool rotated, int mode) {
  RecoverFromPlotnb = 0;
  Source src(img, colour);
  Shape pg;
  if (!src.Load(pg)) return 1;
  return rotated ? SendTurned(src, pg, mode) : SendAsDrawn(src, pg, mode);
}

}  // namespace

int MapColor(unsigned char value, int depth) {
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

int EncodePage(_XImage* img, bool colour, bool rotated, int mode) {
  if (img == nullptr) {
    RecoverFromPlotnb = 0;
    Fail("no page image was captured");
    return 1;
  }
  return Encode(img, colour, rotated, mode);
}

int PrintBitsBW() {
  return Encode(nullptr, false, true, CompressionMode());
}

int PrintBitsCOLOR() {
  return Encode(nullptr, true, true, CompressionMode());
}

int PrintBitsNRBW() {
  return Encode(nullptr, false, false, CompressionMode());
}

int PrintBitsNRCOLOR() {
  return Encode(nullptr, true, false, CompressionMode());
}

int PrintBits() {
  return SETUPcolor ? PrintBitsCOLOR() : PrintBitsBW();
}

int PrintBitsNR() {
  return SETUPcolor ? PrintBitsNRCOLOR() : PrintBitsNRBW();
}

}  // namespace qx5
