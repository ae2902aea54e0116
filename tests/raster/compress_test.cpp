// Delta rows made eight bytes at a time are the rows the plain byte-by-byte rule makes.
#include "raster/compress.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// The rule, byte by byte: each run of at most 8 changed bytes is a command byte (count - 1,
// offset from the end of the last run, 31 and offset bytes beyond) and the new bytes.
std::vector<unsigned char> Plain(const std::vector<unsigned char>& row,
                                 const std::vector<unsigned char>& seed) {
  std::vector<unsigned char> out;
  size_t i = 0, pos = 0;
  const size_t n = row.size();
  for (;;) {
    while (i < n && row[i] == seed[i]) ++i;
    if (i == n) return out;
    size_t k = 1;
    while (k < 8 && i + k < n && row[i + k] != seed[i + k]) ++k;
    const size_t offset = i - pos;
    out.push_back(static_cast<unsigned char>((k - 1) << 5 | (offset < 31 ? offset : 31)));
    if (offset >= 31) {
      size_t rest = offset - 31;
      for (; rest >= 255; rest -= 255) out.push_back(255);
      out.push_back(static_cast<unsigned char>(rest));
    }
    out.insert(out.end(), row.begin() + static_cast<long>(i),
               row.begin() + static_cast<long>(i + k));
    i += k;
    pos = i;
  }
}

TEST(DeltaRow, SameBytesAsThePlainRule) {
  std::mt19937 rng(18);
  // row length, chance in 1000 that a byte changes
  const int cases[][2] = {{0, 500},  {1, 1000}, {7, 500},   {8, 1000},  {9, 900},  {63, 50},
                          {64, 990}, {300, 3},  {600, 300}, {1021, 20}, {2000, 1}, {5000, 700}};
  for (const auto& c : cases) {
    for (int round = 0; round < 50; ++round) {
      const size_t n = static_cast<size_t>(c[0]);
      std::vector<unsigned char> seed(n), row(n);
      for (size_t i = 0; i < n; ++i) {
        seed[i] = static_cast<unsigned char>(rng());
        row[i] = static_cast<int>(rng() % 1000) < c[1]
                     ? static_cast<unsigned char>(seed[i] ^ (1 + rng() % 255))
                     : seed[i];
      }
      std::vector<unsigned char> out(qx5::CompressedMax(n));
      out.resize(qx5::DeltaRow(row.data(), seed.data(), n, out.data()));
      ASSERT_EQ(out, Plain(row, seed)) << n << " bytes, " << c[1] << " in 1000 changed";
    }
  }
}

}  // namespace
