// Raster encoding: the page as PCL raster rows, black and white or three colour planes.
#pragma once
// Xlib's XImage, declared without Xlib so that tests can include this before gtest.
struct _XImage;

namespace qx5 {

// Size of the static row and line buffers: a raster row of up to kRasterMax bytes and an
// image line or column of up to kRasterMax dots (54 inches at 600 dpi). A page that needs
// more fails before anything is sent.
constexpr int kRasterMax = 32768;

extern char LasBytes[12];
extern const char* const hpjet_planes[3];
extern const unsigned char mask[8];
extern unsigned char to[kRasterMax];
extern unsigned char t[kRasterMax];

// The page turned a quarter turn clockwise (each image column a printed row) or as drawn,
// in black and white or colour by SETUPcolor. 0 when the whole page was sent, 1 otherwise.
int PrintBits();
int PrintBitsNR();
int PrintBitsBW();
int PrintBitsNRBW();
int PrintBitsCOLOR();
int PrintBitsNRCOLOR();
// Sends an already captured page image (XY-pixmap, leftmost pixel in the high bit):
// rotated (each column a printed row) or as drawn, black and white or colour.
// What the four PrintBits... encoders do after GetBits.
int EncodePage(_XImage* img, bool colour, bool rotated);
// Printer colour index 0..7 of a four-bit pixel value; every depth of 8 or more counts as 8.
int MapColor(unsigned char value, int depth);

}  // namespace qx5
