// Raster encoding: the page as PCL raster rows, black and white or three colour planes.
#pragma once
// Xlib's XImage, declared without Xlib so that tests can include this before gtest.
struct _XImage;

namespace qx5 {

// Largest raster row in bytes and largest image line or column in dots (54 inches at
// 600 dpi). A page that needs more fails before anything is sent.
constexpr int kRasterMax = 32768;

// The page turned a quarter turn clockwise (each image column a printed row) or as drawn,
// in black and white or colour by SETUPcolor, read back from the page pixmap in bands and
// compressed as the printer's code file asks. 0 when the whole page was sent, 1 otherwise.
int PrintBits();
int PrintBitsNR();
int PrintBitsBW();
int PrintBitsNRBW();
int PrintBitsCOLOR();
int PrintBitsNRCOLOR();
// Sends a page image already in memory (XY-pixmap, leftmost pixel in the high bit; colour
// reads its low four planes): rotated or as drawn, black and white or colour, with the rows
// in compression mode `mode` (0, 2 or 3).
int EncodePage(_XImage* img, bool colour, bool rotated, int mode = 0);
// Printer colour index 0..7 of a four-bit pixel value; every depth of 8 or more counts as 8.
int MapColor(unsigned char value, int depth);

}  // namespace qx5
