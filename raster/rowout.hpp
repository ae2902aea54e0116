// Raster rows to the device in large blocks: each row command and its (possibly compressed)
// bytes are gathered and sent with one guarded WRITE per block, and a block cut off by the
// device time-out still tells the recovery how many row bytes the printer waits for.
#pragma once
#include <cstddef>

namespace qx5 {

// Bytes gathered before a block is written (one WRITE, one alarm each): 64 KiB. A test may
// lower it; values outside 1 .. kRasterBlockMax count as kRasterBlockMax.
constexpr int kRasterBlockMax = 65536;
extern int RasterBlock;

// Rows of one page. The planes of a row are compressed in the page's mode, each against
// its own seed row (the plane's last row, zero at the start of the page).
class RowOut {
 public:
  // mode: kModeNone, kModePackBits or kModeDelta. With a compression mode the mode command
  // ESC*b#M is sent before the first row.
  explicit RowOut(int mode);
  // One plane row: ESC*b, the byte count, then kind ('V' for a plane that another follows,
  // 'W' for the last one), then the row's n bytes (n at most 2 x 32768). plane: 0 to 2.
  // 0 when gathered or sent, 1 when a write failed: then RecoverFromPlotnb holds the bytes
  // of the row in flight that the printer did not get.
  int Row(int plane, char kind, const unsigned char* row, int n);
  // Writes what is gathered. 0, or 1 as for Row.
  int Flush();

 private:
  void Command(const char* text, size_t len, size_t data);
  int mode_;
};

}  // namespace qx5
