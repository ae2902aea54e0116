// Image capture: the drawn page read back in bands, only the planes the encoders read, with
// the leftmost pixel in the high bit.
#pragma once
// Xlib's XImage, declared without Xlib so that tests can include this before gtest.
struct _XImage;

namespace qx5 {

// Planes of the page pixmap that the encoders read: plane 0 of a black-and-white page, the
// low four of a colour one.
unsigned long PagePlanes(bool colour);
// Depth of the page pixmap; 0 when there is none.
int PixmapDepth();
// Reads the rectangle (x, y, w, h) of the page pixmap, the planes PagePlanes(colour) only, into
// image (which it replaces), leftmost pixel in the high bit, and prints the page's progress
// lines: called for the first band of a page. 1 when an image was captured, 0 when not.
int GetBits(int x, int y, int w, int h, bool colour);
// The same for the further bands of the page, without the progress lines.
int GetBand(int x, int y, int w, int h, bool colour);
// The page is read back through shared memory (MIT-SHM) where the server offers it on a local
// connection, else through the socket (XGetImage); both give the same bytes. false keeps to
// the socket (for the tests).
void UseSharedMemory(bool allowed);
// True when the last read-back went through shared memory.
bool LastReadShared();
// Reverses the order of the 8 bits of one byte in place.
void reverseBits(char* byte);
// When img's bit order is least-significant-bit first, every byte of every plane (scan-line
// filler included) is reversed once and img is marked most-significant-bit first.
void NormaliseBitOrder(_XImage* img);

}  // namespace qx5
