// Compressed raster rows: PCL compression modes 2 (TIFF PackBits) and 3 (delta row).
#pragma once
#include <cstddef>

namespace qx5 {

// Compression modes of the PCL raster row command (ESC*b#M).
constexpr int kModeNone = 0;
constexpr int kModePackBits = 2;
constexpr int kModeDelta = 3;

// Bytes an encoded row of n bytes may take at most, whatever the mode.
constexpr size_t CompressedMax(size_t n) {
  return n + n / 8 + 16;
}

// Row as PackBits: runs of 3 to 128 equal bytes as a repeat, the rest as literals of at most
// 128 bytes. out holds CompressedMax(n) bytes; returns the encoded length.
size_t PackBitsRow(const unsigned char* row, size_t n, unsigned char* out);
// Row as the changes from seed (both n bytes): each run of at most 8 changed bytes is a
// command byte (count - 1 in the high 3 bits, the offset from the end of the last run in the
// low 5, 31 meaning that offset bytes follow) and the new bytes. A row equal to its seed
// gives 0 bytes. out holds CompressedMax(n) bytes; returns the encoded length.
size_t DeltaRow(const unsigned char* row, const unsigned char* seed, size_t n, unsigned char* out);

}  // namespace qx5
