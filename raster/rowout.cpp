#include "raster/rowout.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "driver/devout.hpp"
#include "raster/compress.hpp"
#include "raster/encode.hpp"

namespace qx5 {
int RasterBlock = kRasterBlockMax;

namespace {

constexpr int kPlanes = 3;
constexpr size_t kRowMax = 2 * static_cast<size_t>(kRasterMax);
constexpr size_t kCommandMax = 24;
// A block is written once it holds RasterBlock bytes, so it never holds more than that and
// one more row; a row takes 5 bytes or more (ESC*b0W).
constexpr size_t kBlockBytes = kRasterBlockMax + kCommandMax + CompressedMax(kRowMax);
constexpr size_t kSpans = kRasterBlockMax / 5 + 4;

// Where a row command and its bytes lie in the block.
struct Span {
  uint32_t command;
  uint32_t data;
  uint32_t end;
};

unsigned char block[kBlockBytes];
size_t used = 0;
Span spans[kSpans];
size_t span_count = 0;
unsigned char seed[kPlanes][kRowMax];
unsigned char work[CompressedMax(kRowMax)];

size_t BlockLimit() {
  return RasterBlock >= 1 && RasterBlock <= kRasterBlockMax ? static_cast<size_t>(RasterBlock)
                                                            : kRasterBlockMax;
}

// Row bytes the printer still waits for when only `sent` bytes of the block got out: the rest
// of the row whose bytes were cut, all of a row whose command was cut, none at a row's end.
int Outstanding(size_t sent) {
  for (size_t i = 0; i < span_count; ++i) {
    const Span& s = spans[i];
    if (sent >= s.end) continue;
    if (sent <= s.command) return 0;
    if (sent < s.data) return static_cast<int>(s.end - s.data);
    return static_cast<int>(s.end - sent);
  }
  return 0;
}

}  // namespace

RowOut::RowOut(int mode) : mode_(mode) {
  used = 0;
  span_count = 0;
  std::memset(seed, 0, sizeof seed);
  if (mode_ != kModeNone) {
    char text[kCommandMax];
    int len = std::snprintf(text, sizeof text, "\x1b*b%dM", mode_);
    Command(text, static_cast<size_t>(len), 0);
  }
}

// Appends a command and its reserved data room to the block; the data is copied by the caller.
void RowOut::Command(const char* text, size_t len, size_t data) {
  Span& s = spans[span_count++];
  s.command = static_cast<uint32_t>(used);
  std::memcpy(block + used, text, len);
  used += len;
  s.data = static_cast<uint32_t>(used);
  s.end = static_cast<uint32_t>(used + data);
}

int RowOut::Row(int plane, char kind, const unsigned char* row, int n) {
  if (plane < 0 || plane >= kPlanes || n < 0 || static_cast<size_t>(n) > kRowMax) return 1;
  size_t len = static_cast<size_t>(n);
  const unsigned char* data = row;
  if (mode_ == kModePackBits) {
    len = PackBitsRow(row, len, work);
    data = work;
  } else if (mode_ == kModeDelta) {
    len = DeltaRow(row, seed[plane], len, work);
    std::memcpy(seed[plane], row, static_cast<size_t>(n));
    data = work;
  }
  char text[kCommandMax];
  int tlen = std::snprintf(text, sizeof text, "\x1b*b%zu%c", len, kind);
  Command(text, static_cast<size_t>(tlen), len);
  std::memcpy(block + used, data, len);
  used += len;
  if (used >= BlockLimit() || span_count == kSpans) return Flush();
  return 0;
}

int RowOut::Flush() {
  if (used == 0) return 0;
  int failed = WRITE(lp, block, static_cast<int>(used));
  if (failed) {
    size_t sent = WRITEsent > 0 ? static_cast<size_t>(WRITEsent) : 0;
    RecoverFromPlotnb = Outstanding(sent);
  }
  used = 0;
  span_count = 0;
  return failed ? 1 : 0;
}

}  // namespace qx5
