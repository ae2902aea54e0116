#include "raster/capture.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "geometry/mapping.hpp"
#include "lib/message.hpp"
#include "render/surface.hpp"
#include "render/xwait.hpp"
// Xlib's hooks for extensions, last: its min and max macros would break the C++ headers.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace qx5 {

namespace {

bool HaveSurface() {
  return initialized && display != nullptr && drawable != 0 && !DisplayLost();
}

// Reading back through a shared memory segment (MIT-SHM) spares the page a copy through the
// socket. The segment belongs to the display connection: attached at the first read-back
// that fits it, grown when a band needs more, released when the connection closes.
constexpr size_t kSharedMax = size_t{16} << 20;  // larger reads go through the socket

struct Shared {
  XShmSegmentInfo info{};  // shmaddr null while there is no segment
  size_t size = 0;
  bool looked = false;   // the connection has been looked at
  bool refused = false;  // it cannot read back through shared memory
};
Shared shared;
bool sharedAllowed = true;
bool lastShared = false;

void DetachSegment() {
  if (shared.info.shmaddr != nullptr) shmdt(shared.info.shmaddr);
  shared.info = XShmSegmentInfo{};
  shared.size = 0;
}

// Xlib calls this as the connection closes: the server lets go of the segment by itself.
int ForgetShared(Display*, XExtCodes*) {
  DetachSegment();
  shared.looked = false;
  shared.refused = false;
  return 0;
}

// Only a connection through a local socket shares memory with its server.
bool LocalServer() {
  struct sockaddr_storage a {};
  socklen_t len = sizeof a;
  return getsockname(ConnectionNumber(display), reinterpret_cast<struct sockaddr*>(&a), &len) ==
             0 &&
         a.ss_family == AF_UNIX;
}

// A segment of at least bytes attached on both sides; false when the socket must do.
bool SegmentFor(size_t bytes) {
  if (!sharedAllowed || bytes > kSharedMax) return false;
  if (!shared.looked) {
    shared.looked = true;
    XExtCodes* codes = XAddExtension(display);
    if (codes != nullptr) XESetCloseDisplay(display, codes->extension, ForgetShared);
    XWait wait(display, "waiting for a round trip");
    shared.refused = codes == nullptr || !LocalServer() || !XShmQueryExtension(display);
  }
  if (shared.refused) return false;
  if (shared.size >= bytes) return true;
  if (shared.info.shmaddr != nullptr) XShmDetach(display, &shared.info);
  DetachSegment();
  if (SurfaceSync() < 0) return false;  // and earlier errors are not taken for the attach's
  const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (id < 0) return false;
  void* addr = shmat(id, nullptr, 0);
  if (addr != reinterpret_cast<void*>(-1)) {
    shared.info.shmid = id;
    shared.info.shmaddr = static_cast<char*>(addr);
    shared.info.readOnly = False;
    shared.size = bytes;
    XShmAttach(display, &shared.info);
  }
  // Once both sides are attached (or the attach failed) the segment may go: it lives until the
  // last detach.
  const bool attached = shared.info.shmaddr != nullptr && SurfaceSync() == 0;
  shmctl(id, IPC_RMID, nullptr);
  if (!attached) {
    DetachSegment();
    shared.refused = true;  // a server that cannot attach it will not later
  }
  return attached;
}

// An image whose data is not its own (the segment, the planes buffer): only the structure goes.
int DestroyStructOnly(XImage* img) {
  XFree(img);
  return 1;
}

// The rectangle as an image of the format and depth through shared memory; null when that
// path is not open or failed.
XImage* ReadShared(int x, int y, int w, int h, unsigned long planes, int format, int depth) {
  XImage* img = XShmCreateImage(display, DefaultVisual(display, screen), depth, format, nullptr,
                                &shared.info, static_cast<unsigned>(w), static_cast<unsigned>(h));
  if (img == nullptr) return nullptr;
  img->f.destroy_image = DestroyStructOnly;
  const size_t bytes = static_cast<size_t>(img->bytes_per_line) * static_cast<size_t>(h) *
                       static_cast<size_t>(format == XYPixmap ? depth : 1);
  if (!SegmentFor(bytes)) {
    XDestroyImage(img);
    return nullptr;
  }
  img->data = shared.info.shmaddr;
  XWait wait(display, "reading the page back");
  if (!XShmGetImage(display, drawable, img, x, y, planes)) {
    XDestroyImage(img);
    shared.refused = !DisplayLost();  // the socket will do for this connection
    return nullptr;
  }
  return img;
}

// The rectangle through shared memory where it can, else through the socket.
XImage* ReadImage(int x, int y, int w, int h, unsigned long planes, int format, int depth) {
  XImage* img = ReadShared(x, y, w, h, planes, format, depth);
  lastShared = img != nullptr;
  if (img == nullptr && !DisplayLost()) {
    XWait wait(display, "reading the page back");
    img = XGetImage(display, drawable, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h),
                    planes, format);
  }
  return img;
}

// The bits right of the rectangle in each line's last byte, and the filler bytes after it, are
// whatever the server left there (through shared memory, what the segment held before):
// cleared, so that a read-back is the same whichever way it came.
void ClearBeyondWidth(XImage* img) {
  if (img == nullptr || img->data == nullptr || img->width <= 0) return;
  const size_t used = (static_cast<size_t>(img->width) + 7) / 8;
  const size_t bpl = static_cast<size_t>(img->bytes_per_line);
  if (bpl < used) return;
  const unsigned char keep =
      static_cast<unsigned char>(0xFF00 >> (img->width % 8 ? img->width % 8 : 8));
  unsigned char* line = reinterpret_cast<unsigned char*>(img->data);
  const size_t lines = static_cast<size_t>(img->height) * static_cast<size_t>(img->depth);
  for (size_t i = 0; i < lines; ++i, line += bpl) {
    line[used - 1] &= keep;
    std::memset(line + used, 0, bpl - used);
  }
}

// The planes of a colour page on an 8-bit pixmap are split here from the dots as the server
// stores them (a ZPixmap read is a plain copy on its side); its own split into planes takes
// it several times longer. The planes stay in this buffer until the next band.
std::vector<unsigned char> planeData;
constexpr int kColourPlanes = 4;

// Bit p of eight dots (one a byte, the first in the lowest byte of x) as one byte, the first
// dot in the high bit: each bit moved to its place in the top byte by one multiplication.
inline unsigned char PlaneByte(uint64_t x, int p) {
  return static_cast<unsigned char>(((x >> p) & 0x0101010101010101ULL) * 0x8040201008040201ULL >>
                                    56);
}

// The low four planes of an image of one byte a dot, most significant plane first, as an
// XY image of depth 4 with lines padded to 32 bits; null when z is not such an image.
XImage* SplitPlanes(const XImage* z) {
  if (z == nullptr || z->data == nullptr || z->bits_per_pixel != 8 || z->width < 1) return nullptr;
  const int w = z->width, h = z->height;
  const size_t bpl = (static_cast<size_t>(w) + 31) / 32 * 4;
  const size_t plane = bpl * static_cast<size_t>(h);
  planeData.assign(plane * kColourPlanes, 0);
  for (int y = 0; y < h; ++y) {
    const unsigned char* in = reinterpret_cast<const unsigned char*>(z->data) +
                              static_cast<size_t>(y) * z->bytes_per_line;
    unsigned char* out = planeData.data() + static_cast<size_t>(y) * bpl;
    int x = 0;
    for (; x + 8 <= w; x += 8) {
      uint64_t dots;
      std::memcpy(&dots, in + x, 8);
      if constexpr (std::endian::native == std::endian::big) dots = __builtin_bswap64(dots);
      for (int p = 0; p < kColourPlanes; ++p)
        out[static_cast<size_t>(p) * plane + x / 8] = PlaneByte(dots, kColourPlanes - 1 - p);
    }
    for (; x < w; ++x)
      for (int p = 0; p < kColourPlanes; ++p)
        if ((in[x] >> (kColourPlanes - 1 - p)) & 1)
          out[static_cast<size_t>(p) * plane + x / 8] |= static_cast<unsigned char>(0x80 >> x % 8);
  }
  XImage* img = XCreateImage(display, DefaultVisual(display, screen), kColourPlanes, XYPixmap, 0,
                             reinterpret_cast<char*>(planeData.data()), static_cast<unsigned>(w),
                             static_cast<unsigned>(h), 32, static_cast<int>(bpl));
  if (img == nullptr) return nullptr;
  img->f.destroy_image = DestroyStructOnly;
  img->bitmap_bit_order = MSBFirst;
  return img;
}

// Replaces image by the rectangle's planes. The read is a round trip, so every drawing
// request still buffered reaches the server before it.
void ReadRect(int x, int y, int w, int h, bool colour) {
  if (image != nullptr) {
    XDestroyImage(image);
    image = nullptr;
  }
  if (!HaveSurface() || w < 1 || h < 1) return;
  if (colour && DefaultDepth(display, screen) == 8) {
    XImage* z = ReadImage(x, y, w, h, AllPlanes, ZPixmap, 8);
    image = SplitPlanes(z);
    if (z != nullptr) XDestroyImage(z);
    if (image != nullptr || DisplayLost()) return;
  }
  image = ReadImage(x, y, w, h, PagePlanes(colour), XYPixmap, colour ? kColourPlanes : 1);
  NormaliseBitOrder(image);
  ClearBeyondWidth(image);
}

// Bytes of one line of the whole page in the layout of img.
int PageBytesPerLine(const XImage* img) {
  const int pad = img->bitmap_pad > 0 ? img->bitmap_pad : 8;
  return (static_cast<int>(Width) + 1 + pad - 1) / pad * pad / 8;
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
  size_t i = 0;
  for (; i + 8 <= total; i += 8) {  // eight bytes at a time, each reversed in place
    uint64_t x;
    std::memcpy(&x, p + i, 8);
    x = (x >> 1 & 0x5555555555555555ULL) | (x & 0x5555555555555555ULL) << 1;
    x = (x >> 2 & 0x3333333333333333ULL) | (x & 0x3333333333333333ULL) << 2;
    x = (x >> 4 & 0x0F0F0F0F0F0F0F0FULL) | (x & 0x0F0F0F0F0F0F0F0FULL) << 4;
    std::memcpy(p + i, &x, 8);
  }
  for (; i < total; ++i) reverseBits(reinterpret_cast<char*>(p + i));
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
  XWait wait(display, "waiting for a round trip");
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
  // The page's size: the bands it is read in are an inner detail.
  Say("image->height, width, depth, bytes_per_line = %d, %d, %d, %d\n",
      static_cast<int>(Height) + 1, static_cast<int>(Width) + 1, image->depth,
      PageBytesPerLine(image));
  Say("......................\n");
  return 1;
}

int GetBand(int x, int y, int w, int h, bool colour) {
  ReadRect(x, y, w, h, colour);
  return image != nullptr ? 1 : 0;
}

void UseSharedMemory(bool allowed) {
  sharedAllowed = allowed;
}

bool LastReadShared() {
  return lastShared;
}

}  // namespace qx5
