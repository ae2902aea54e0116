#include "raster/capture.hpp"

#include <cstddef>
#include <cstdio>
#include <ctime>

#include "geometry/mapping.hpp"
#include "render/surface.hpp"

namespace qx5 {

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
  for (size_t i = 0; i < total; ++i) reverseBits(img->data + i);
  img->bitmap_bit_order = MSBFirst;
}

int GetBits() {
  std::printf("XGetImage: Depending on color settings, the CPU may be at 100%% for up to 1 min.\n");
  time_t start = std::time(nullptr);
  // A page captured earlier in this plot is replaced, not leaked.
  if (image != nullptr) {
    XDestroyImage(image);
    image = nullptr;
  }
  // Without a surface (no WINDOW statement ran) or with the connection gone there is
  // nothing to read back.
  if (initialized && display != nullptr && drawable != 0 && !DisplayLost()) {
    image = XGetImage(display, drawable, 0, 0, Width + 1, Height + 1, AllPlanes, XYPixmap);
  }
  time_t end = std::time(nullptr);
  std::printf("XGetImage elapsed time = %d secs\n", static_cast<int>(end - start));
  std::printf("Done with XGetImage.\n");
  if (image == nullptr) {
    std::fflush(stdout);
    return 0;
  }
  std::printf("GetBits...............\n");
  std::printf("Width, Height, POFF, AllPlanes = %d, %d, %d %d\n", static_cast<int>(Width),
              static_cast<int>(Height), XYPixmap, -1);
  std::printf("image->height, width, depth, bytes_per_line = %d, %d, %d, %d\n", image->height,
              image->width, image->depth, image->bytes_per_line);
  std::printf("......................\n");
  std::fflush(stdout);
  NormaliseBitOrder(image);
  return 1;
}

}  // namespace qx5
