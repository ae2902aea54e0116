#include "raster/capture.hpp"

#include <array>
#include <cstddef>
#include <cstdio>
#include <ctime>

#include "geometry/mapping.hpp"
#include "lib/message.hpp"
#include "render/surface.hpp"

namespace qx5 {

namespace {

// Every byte value with its bits reversed.
const std::array<unsigned char, 256> kReversed = [] {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) {
    char c = static_cast<char>(i);
    reverseBits(&c);
    t[static_cast<size_t>(i)] = static_cast<unsigned char>(c);
  }
  return t;
}();

bool HaveSurface() {
  return initialized && display != nullptr && drawable != 0 && !DisplayLost();
}

// Replaces image by the rectangle's planes. The read is a round trip, so every drawing
// request still buffered reaches the server before it.
void ReadRect(int x, int y, int w, int h, bool colour) {
  if (image != nullptr) {
    XDestroyImage(image);
    image = nullptr;
  }
  if (!HaveSurface() || w < 1 || h < 1) return;
  image = XGetImage(display, drawable, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h),
                    PagePlanes(colour), XYPixmap);
  NormaliseBitOrder(image);
}

}  // namespace

void reverseBits(char* byte) {
  unsigned char in = static_cast<unsigned char>(*byte);
  unsigned char out = 0;
  for (int i = 0; i < 8; ++i) {
    out = static_cast<unsigned char>((out << 1) | (in & 1));
    in = static_cast<unsigned char>(in >> 1);
  }
  *byte = static_cast<char>(out);
}

void NormaliseBitOrder(XImage* img) {
  if (img == nullptr || img->data == nullptr || img->bitmap_bit_order != LSBFirst) return;
  if (img->height <= 0 || img->depth <= 0 || img->bytes_per_line <= 0) return;
  size_t total = static_cast<size_t>(img->height) * static_cast<size_t>(img->depth) *
                 static_cast<size_t>(img->bytes_per_line);
  unsigned char* p = reinterpret_cast<unsigned char*>(img->data);
  for (size_t i = 0; i < total; ++i) p[i] = kReversed[p[i]];
  img->bitmap_bit_order = MSBFirst;
}

unsigned long PagePlanes(bool colour) {
  return colour ? 0xFUL : 0x1UL;
}

int PixmapDepth() {
  if (!HaveSurface()) return 0;
  Window root;
  int x, y;
  unsigned w, h, border, depth;
  if (!XGetGeometry(display, drawable, &root, &x, &y, &w, &h, &border, &depth)) return 0;
  return static_cast<int>(depth);
}

int GetBits(int x, int y, int w, int h, bool colour) {
  Say("XGetImage: Depending on color settings, the CPU may be at 100%% for up to 1 min.\n");
  time_t start = std::time(nullptr);
  ReadRect(x, y, w, h, colour);
  time_t end = std::time(nullptr);
  Say("XGetImage elapsed time = %d secs\n", static_cast<int>(end - start));
  Say("Done with XGetImage.\n");
  if (image == nullptr) {
    return 0;
  }
  Say("GetBits...............\n");
  Say("Width, Height, POFF, AllPlanes = %d, %d, %d %lu\n", static_cast<int>(Width),
      static_cast<int>(Height), XYPixmap, PagePlanes(colour));
  Say("image->height, width, depth, bytes_per_line = %d, %d, %d, %d\n", image->height, image->width,
      image->depth, image->bytes_per_line);
  Say("......................\n");
  return 1;
}

int GetBand(int x, int y, int w, int h, bool colour) {
  ReadRect(x, y, w, h, colour);
  return image != nullptr ? 1 : 0;
}

}  // namespace qx5
