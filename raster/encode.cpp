#include "raster/encode.hpp"

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "driver/devout.hpp"
#include "driver/loop.hpp"
#include "driver/plotrequest.hpp"
#include "printers/config.hpp"
#include "raster/capture.hpp"
#include "render/surface.hpp"

namespace qx5 {

char LasBytes[12] = "\x1b*b";
const char* const hpjet_planes[3] = {"\x1b*b%dV", "\x1b*b%dV", "\x1b*b%dW"};
const unsigned char mask[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};
unsigned char to[kRasterMax];
unsigned char t[kRasterMax];

namespace {

// The captured page as the encoders read it.
struct Page {
  int W = 0;
  int H = 0;
  int bpl = 0;
  int depth = 0;
  unsigned char* data = nullptr;
  size_t plane_size = 0;  // bpl * H
  int nb = 0;             // bytes of one scan line
  int hb = 0;             // bytes of one column
};

// The printed planes of a row: their commands, the colour-index bit each carries and the
// value of the bits and bytes that carry no pixel.
struct Planes {
  int count = 0;
  char cmd[3][16] = {};
  unsigned char bit[3] = {};
  unsigned char fill = 0;
};

void Fail(const char* what) {
  std::printf("ERROR: %s: %s\n", XEQNAME, what);
  std::fflush(stdout);
}

// Checks that the captured page can be encoded: an image of usable shape, depth 4 or
// more in colour, and a row of BYTE_WIDE bytes and a line of `dots` pixels that fit the
// static buffers. False (with a message, nothing sent) otherwise.
bool LoadPage(Page& pg, XImage* img, bool colour, bool rotated, bool uses_buffers) {
  if (img == nullptr || img->data == nullptr) {
    Fail("no page image was captured");
    return false;
  }
  pg.W = img->width;
  pg.H = img->height;
  pg.bpl = img->bytes_per_line;
  pg.depth = img->depth;
  pg.data = reinterpret_cast<unsigned char*>(img->data);
  if (pg.W < 1 || pg.H < 1 || pg.depth < 1 || pg.bpl < (pg.W + 7) / 8) {
    Fail("the captured page image is unusable");
    return false;
  }
  char msg[160];
  if (colour && pg.depth < 4) {
    std::snprintf(msg, sizeof msg, "a colour page needs an image of depth 4 or more, not %d",
                  pg.depth);
    Fail(msg);
    return false;
  }
  pg.plane_size = static_cast<size_t>(pg.bpl) * static_cast<size_t>(pg.H);
  pg.nb = (pg.W + 7) / 8;
  pg.hb = pg.H / 8 + (pg.H % 8 != 0 ? 1 : 0);
  // The rotated encoders hold a column (H dots, hb packed bytes) and the not rotated colour
  // encoder a scan line (W dots, nb packed bytes); every encoder that builds rows needs
  // BYTE_WIDE bytes of `to`.
  int dots = uses_buffers ? (rotated ? pg.H : pg.W) : 0;
  int row = uses_buffers ? BYTE_WIDE : 0;
  if (BYTE_WIDE < 0 || row > kRasterMax || dots > kRasterMax) {
    std::snprintf(msg, sizeof msg,
                  "page too large for the raster buffers (row of %d bytes, %d dots a line; "
                  "at most %d)",
                  BYTE_WIDE, dots, kRasterMax);
    Fail(msg);
    return false;
  }
  return true;
}

inline int Bit(const Page& pg, int plane, int x, int y) {
  const unsigned char* p =
      pg.data + static_cast<size_t>(plane) * pg.plane_size + static_cast<size_t>(y) * pg.bpl;
  return (p[x >> 3] & mask[x & 7]) != 0;
}

// The colour index of a pixel: the low four bits of its value (planes depth-4 .. depth-1,
// the first one the most significant), mapped to a printer colour.
inline unsigned char ColourIndex(const Page& pg, int x, int y) {
  unsigned value = 0;
  for (int p = pg.depth - 4; p < pg.depth; ++p) value = (value << 1) | Bit(pg, p, x, y);
  return static_cast<unsigned char>(MapColor(static_cast<unsigned char>(value), pg.depth));
}

// Packs n values of src into out, one bit each (set when value AND bit is non-zero), from the
// most significant bit of out[0]; the unused low bits of the last byte take fill's bits.
void PackBits(const unsigned char* src, int n, unsigned char bit, unsigned char fill,
              unsigned char* out) {
  int full = n / 8;
  for (int j = 0; j < full; ++j) {
    const unsigned char* s = src + j * 8;
    unsigned v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 1) | ((s[i] & bit) != 0);
    out[j] = static_cast<unsigned char>(v);
  }
  int r = n % 8;
  if (r != 0) {
    const unsigned char* s = src + full * 8;
    unsigned v = 0;
    for (int i = 0; i < r; ++i) v = (v << 1) | ((s[i] & bit) != 0);
    v <<= (8 - r);
    v |= fill & (0xFFu >> r);
    out[full] = static_cast<unsigned char>(v);
  }
}

// One printed row: the command text, then len bytes. 1 when a write failed.
int SendRow(const char* cmd, const unsigned char* bytes, int len) {
  if (WRITE(lp, cmd, static_cast<int>(std::strlen(cmd))) != 0) return 1;
  return WRITE(lp, bytes, len);
}

Planes MakePlanes(bool colour) {
  Planes pl;
  if (colour) {
    pl.count = 3;
    const unsigned char bits[3] = {4, 2, 1};
    for (int i = 0; i < 3; ++i) {
      std::snprintf(pl.cmd[i], sizeof pl.cmd[i], hpjet_planes[i], BYTE_WIDE);
      pl.bit[i] = bits[i];
    }
    pl.fill = 0xFF;
  } else {
    std::snprintf(LasBytes + 3, sizeof LasBytes - 3, "%dW", BYTE_WIDE);
    pl.count = 1;
    std::snprintf(pl.cmd[0], sizeof pl.cmd[0], "%s", LasBytes);
    pl.bit[0] = 1;
    pl.fill = 0x00;
  }
  return pl;
}

int ClampedCount(size_t n) {
  return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

// The rotated encoders: each image column, read from the bottom scan line upwards, becomes
// one printed row per plane, placed at the right end of the row.
int SendRotated(XImage* img, bool colour) {
  Page pg;
  if (!LoadPage(pg, img, colour, true, true)) return 1;
  int offset = BYTE_WIDE - pg.hb;
  if (offset < 0) offset = 0;
  Planes pl = MakePlanes(colour);
  std::memset(to, pl.fill, static_cast<size_t>(BYTE_WIDE));
  RecoverFromPlotnb = colour ? ClampedCount(pg.plane_size) : BYTE_WIDE;
  for (int x = 0; x < pg.W; ++x) {
    for (int k = 0; k < pg.H; ++k) {
      int y = pg.H - 1 - k;
      t[k] = colour ? ColourIndex(pg, x, y) : static_cast<unsigned char>(Bit(pg, 0, x, y));
    }
    for (int i = 0; i < pl.count; ++i) {
      PackBits(t, pg.H, pl.bit[i], pl.fill, to + offset);
      if (SendRow(pl.cmd[i], to, BYTE_WIDE) != 0) return 1;
    }
  }
  RecoverFromPlotnb = 0;
  return 0;
}

// The page as drawn in black and white: each scan line is sent straight from the image.
int SendAsDrawnBW(XImage* img) {
  Page pg;
  if (!LoadPage(pg, img, false, false, false)) return 1;
  int len = pg.nb < BYTE_WIDE ? pg.nb : BYTE_WIDE;
  int r = pg.W % 8;
  unsigned char keep = 0;
  for (int i = 0; i < r; ++i) keep = static_cast<unsigned char>(keep | mask[i]);
  std::snprintf(LasBytes + 3, sizeof LasBytes - 3, "%dW", len);
  RecoverFromPlotnb = len;
  for (int y = 0; y < pg.H; ++y) {
    unsigned char* line = pg.data + static_cast<size_t>(y) * pg.bpl;
    if (r != 0) line[pg.nb - 1] &= keep;
    if (SendRow(LasBytes, line, len) != 0) return 1;
  }
  RecoverFromPlotnb = 0;
  return 0;
}

// The page as drawn in colour: each scan line gives three plane rows, the image at the left.
int SendAsDrawnColour(XImage* img) {
  Page pg;
  if (!LoadPage(pg, img, true, false, true)) return 1;
  Planes pl = MakePlanes(true);
  RecoverFromPlotnb = ClampedCount(pg.plane_size);
  for (int y = 0; y < pg.H; ++y) {
    for (int x = 0; x < pg.W; ++x) t[x] = ColourIndex(pg, x, y);
    for (int i = 0; i < pl.count; ++i) {
      PackBits(t, pg.W, pl.bit[i], pl.fill, to);
      if (BYTE_WIDE > pg.nb) std::memset(to + pg.nb, 0xFF, static_cast<size_t>(BYTE_WIDE - pg.nb));
      if (SendRow(pl.cmd[i], to, BYTE_WIDE) != 0) return 1;
    }
  }
  RecoverFromPlotnb = 0;
  return 0;
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

int EncodePage(_XImage* img, bool colour, bool rotated) {
  if (rotated) return SendRotated(img, colour);
  return colour ? SendAsDrawnColour(img) : SendAsDrawnBW(img);
}

int PrintBitsBW() {
  GetBits();
  return EncodePage(image, false, true);
}

int PrintBitsCOLOR() {
  GetBits();
  return EncodePage(image, true, true);
}

int PrintBitsNRBW() {
  GetBits();
  return EncodePage(image, false, false);
}

int PrintBitsNRCOLOR() {
  GetBits();
  return EncodePage(image, true, false);
}

int PrintBits() {
  return SETUPcolor ? PrintBitsCOLOR() : PrintBitsBW();
}

int PrintBitsNR() {
  return SETUPcolor ? PrintBitsNRCOLOR() : PrintBitsNRBW();
}

}  // namespace qx5
