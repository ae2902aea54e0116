// Image capture: the drawn page read back with the leftmost pixel in the high bit.
#pragma once
// Xlib's XImage, declared without Xlib so that tests can include this before gtest.
struct _XImage;

namespace qx5 {

// Reads the whole page pixmap into image (XY-pixmap, every plane) and puts each byte's
// leftmost pixel into its high bit. 1 when an image was captured, 0 when there was none.
int GetBits();
// Reverses the order of the 8 bits of one byte in place.
void reverseBits(char* byte);
// The bit-order normalisation of GetBits on one image: when its bit order is
// least-significant-bit first, every byte of every plane (scan-line filler included) is
// reversed once and the image is marked most-significant-bit first.
void NormaliseBitOrder(_XImage* img);

}  // namespace qx5
