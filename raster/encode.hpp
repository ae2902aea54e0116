// Raster encoding: the page as PCL raster rows, black and white or three colour planes.
#pragma once

namespace qx5 {

int PrintBits();
int PrintBitsNR();
int PrintBitsBW();
int PrintBitsNRBW();
int PrintBitsCOLOR();
int PrintBitsNRCOLOR();
int MapColor(unsigned char value, int depth);

}  // namespace qx5
