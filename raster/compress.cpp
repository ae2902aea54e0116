#include "raster/compress.hpp"

#include <cstdint>
#include <cstring>

namespace qx5 {

size_t PackBitsRow(const unsigned char* row, size_t n, unsigned char* out) {
  size_t o = 0, i = 0, lit = 0;  // lit: start of the pending literal bytes
  auto flush_literals = [&](size_t end) {
    while (lit < end) {
      size_t k = end - lit > 128 ? 128 : end - lit;
      out[o++] = static_cast<unsigned char>(k - 1);
      for (size_t j = 0; j < k; ++j) out[o++] = row[lit + j];
      lit += k;
    }
  };
  while (i < n) {
    size_t run = 1;
    while (i + run < n && run < 128 && row[i + run] == row[i]) ++run;
    if (run >= 3) {
      flush_literals(i);
      out[o++] = static_cast<unsigned char>(257 - run);
      out[o++] = row[i];
      i += run;
      lit = i;
    } else {
      i += run;
    }
  }
  flush_literals(n);
  return o;
}

namespace {

// The first byte from i on where row and seed differ, n when none does; eight bytes a step.
size_t NextChange(const unsigned char* row, const unsigned char* seed, size_t i, size_t n) {
  for (; i + 8 <= n; i += 8) {
    uint64_t a, b;
    std::memcpy(&a, row + i, 8);
    std::memcpy(&b, seed + i, 8);
    if (a != b) break;
  }
  while (i < n && row[i] == seed[i]) ++i;
  return i;
}

}  // namespace

size_t DeltaRow(const unsigned char* row, const unsigned char* seed, size_t n, unsigned char* out) {
  size_t o = 0, i = 0, pos = 0;  // pos: the byte after the last replaced one
  while ((i = NextChange(row, seed, i, n)) < n) {
    size_t k = 1;
    while (k < 8 && i + k < n && row[i + k] != seed[i + k]) ++k;
    size_t offset = i - pos;
    out[o++] = static_cast<unsigned char>((k - 1) << 5 | (offset < 31 ? offset : 31));
    if (offset >= 31) {
      size_t rest = offset - 31;
      while (rest >= 255) {
        out[o++] = 255;
        rest -= 255;
      }
      out[o++] = static_cast<unsigned char>(rest);
    }
    for (size_t j = 0; j < k; ++j) out[o++] = row[i + j];
    i += k;
    pos = i;
  }
  return o;
}

}  // namespace qx5
