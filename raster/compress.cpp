#include "raster/compress.hpp"

#include <bit>
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

constexpr uint64_t kLowBits = 0x0101010101010101ULL;

// Eight bytes as a word whose lowest byte is the first in memory.
inline uint64_t Load(const unsigned char* p) {
  uint64_t x;
  std::memcpy(&x, p, 8);
  if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
  return x;
}

// Bit 8k is set when byte k of the two words differs.
inline uint64_t ChangedBytes(uint64_t a, uint64_t b) {
  uint64_t x = a ^ b;
  x |= x >> 4;
  x |= x >> 2;
  x |= x >> 1;
  return x & kLowBits;
}

// The first byte from i on where row and seed differ, n when none does; eight bytes a step.
size_t NextChange(const unsigned char* row, const unsigned char* seed, size_t i, size_t n) {
  for (; i + 8 <= n; i += 8) {
    const uint64_t d = Load(row + i) ^ Load(seed + i);
    if (d != 0) return i + static_cast<size_t>(std::countr_zero(d)) / 8;
  }
  while (i < n && row[i] == seed[i]) ++i;
  return i;
}

// The changed bytes from i on (byte i is one), at most 8.
size_t ChangedRun(const unsigned char* row, const unsigned char* seed, size_t i, size_t n) {
  if (i + 8 <= n) {
    const uint64_t same = ~ChangedBytes(Load(row + i), Load(seed + i)) & kLowBits;
    return same == 0 ? 8 : static_cast<size_t>(std::countr_zero(same)) / 8;
  }
  size_t k = 1;
  while (k < 8 && i + k < n && row[i + k] != seed[i + k]) ++k;
  return k;
}

}  // namespace

size_t DeltaRow(const unsigned char* row, const unsigned char* seed, size_t n, unsigned char* out) {
  size_t o = 0, i = 0, pos = 0;  // pos: the byte after the last replaced one
  while ((i = NextChange(row, seed, i, n)) < n) {
    const size_t k = ChangedRun(row, seed, i, n);
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
    std::memcpy(out + o, row + i, k);
    o += k;
    i += k;
    pos = i;
  }
  return o;
}

}  // namespace qx5
