#include "raster/compress.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

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

// Bit k of the result is set when byte k of the two words differs.
inline uint64_t ChangedBytes(uint64_t a, uint64_t b) {
  uint64_t x = a ^ b;
  x |= x >> 4;
  x |= x >> 2;
  x |= x >> 1;
  // Bit 8k moves to bit 56 + k; every product term lands on a bit of its own.
  return (x & kLowBits) * 0x0102040810204080ULL >> 56;
}

// The map of the changed bytes: bit j % 64 of word j / 64 is set when byte j of row and seed
// differ; the words up to (n + 63) / 64, and one more, are written, the bits from n on 0.
void ChangeMap(const unsigned char* row, const unsigned char* seed, size_t n, uint64_t* map) {
  const size_t words = (n + 63) / 64 + 1;
  for (size_t w = 0; w < words; ++w) map[w] = 0;
  size_t j = 0;
  for (; j + 8 <= n; j += 8) map[j / 64] |= ChangedBytes(Load(row + j), Load(seed + j)) << j % 64;
  for (; j < n; ++j)
    if (row[j] != seed[j]) map[j / 64] |= uint64_t{1} << j % 64;
}

}  // namespace

size_t DeltaRow(const unsigned char* row, const unsigned char* seed, size_t n, unsigned char* out) {
  thread_local std::vector<uint64_t> map;
  const size_t words = (n + 63) / 64;
  if (map.size() < words + 1) map.resize(words + 1);
  ChangeMap(row, seed, n, map.data());
  size_t o = 0, pos = 0;  // pos: the byte after the last replaced one
  size_t w = 0;
  uint64_t bits = map[0];  // the changes of word w not yet sent
  for (;;) {
    while (bits == 0) {
      if (++w >= words) return o;
      bits = map[w];
    }
    // A run: the changed bytes from the first one on, at most 8 (the map's last word is 0).
    const unsigned at = static_cast<unsigned>(std::countr_zero(bits));
    const size_t i = w * 64 + at;
    uint64_t run = bits >> at;
    if (at > 56) run |= map[w + 1] << (64 - at);
    const size_t k = std::min<size_t>(static_cast<size_t>(std::countr_one(run)), 8);
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
    // Eight bytes at once where the row has them: the encoded row never takes more than
    // n + n / 8 + 1 bytes, so the bytes beyond the run still lie in out, and the next command
    // overwrites them.
    if (i + 8 <= n)
      std::memcpy(out + o, row + i, 8);
    else
      std::memcpy(out + o, row + i, k);
    o += k;
    pos = i + k;
    if (pos / 64 == w) {
      bits &= ~uint64_t{0} << pos % 64;
    } else {
      w = pos / 64;
      bits = map[w] & ~uint64_t{0} << pos % 64;
    }
  }
}

}  // namespace qx5
