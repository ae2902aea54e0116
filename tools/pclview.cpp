// pclview: shows what the driver sent to a printer. Reads a capture of the device bytes,
// writes each page's raster as a PNG (1-bit black and white, or RGB for colour planes) and
// prints one summary line per page. Rows compressed in mode 2 (PackBits) or 3 (delta row) are
// decoded as a printer does; the summary line names the compression modes met.
//
//   pclview CAPTURE [PREFIX]     pages go to PREFIX-1.png, PREFIX-2.png, ... (PREFIX defaults
//                                to CAPTURE); CAPTURE "-" reads standard input.
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "raster/pclread.hpp"

namespace {

bool ReadAll(const char* path, std::string& out) {
  FILE* f = std::string(path) == "-" ? stdin : std::fopen(path, "rb");
  if (f == nullptr) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  bool ok = !std::ferror(f);
  if (f != stdin) std::fclose(f);
  return ok;
}

// Fills one PNG row of a page: RGB triples, or 1-bit grey where 1 is paper and 0 is ink.
void FillLine(const qx5::PclPage& page, int y, int width, bool colour, png_byte* line) {
  if (colour) {
    for (int x = 0; x < width; ++x) {
      uint32_t c = page.rgb(y, x);
      line[3 * static_cast<size_t>(x)] = static_cast<png_byte>(c >> 16);
      line[3 * static_cast<size_t>(x) + 1] = static_cast<png_byte>(c >> 8);
      line[3 * static_cast<size_t>(x) + 2] = static_cast<png_byte>(c);
    }
    return;
  }
  for (int i = 0; i < (width + 7) / 8; ++i) line[i] = 0xFF;
  for (int x = 0; x < width; ++x) {
    if (page.ink(y, x)) line[x / 8] &= static_cast<png_byte>(~(0x80 >> (x % 8)));
  }
}

// The libpng part of a page write. libpng reports errors by longjmp back here, so this
// function holds no C++ objects; line has room for one row.
bool EncodePng(FILE* f, const qx5::PclPage& page, int width, bool colour, png_byte* line) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  const int height = static_cast<int>(page.rows.size());
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
               colour ? 8 : 1, colour ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (page.xdpi > 0) {
    png_uint_32 per_metre = static_cast<png_uint_32>(page.xdpi / 0.0254 + 0.5);
    png_set_pHYs(png, info, per_metre, per_metre, PNG_RESOLUTION_METER);
  }
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    FillLine(page, y, width, colour, line);
    png_write_row(png, line);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

// Writes one page to path, a regular file opened as named (never through a symbolic link,
// never a FIFO that would hold the write). Empty on success, else why it failed.
std::string WritePng(const qx5::PclPage& page, const char* path) {
  const bool colour = page.colour();
  const int width = page.dots() > 0 ? page.dots() : 1;
  std::vector<png_byte> line(colour ? static_cast<size_t>(width) * 3
                                    : (static_cast<size_t>(width) + 7) / 8);
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0)
    return errno == ELOOP   ? "it is a symbolic link"
           : errno == ENXIO ? "it is not a regular file"
                            : std::strerror(errno);
  struct stat st;
  errno = 0;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ftruncate(fd, 0) != 0) {
    const std::string why = errno != 0 ? std::strerror(errno) : "it is not a regular file";
    ::close(fd);
    return why;
  }
  FILE* f = fdopen(fd, "wb");
  if (f == nullptr) {
    const std::string why = std::strerror(errno);
    ::close(fd);
    return why;
  }
  errno = 0;
  const bool encoded = EncodePng(f, page, width, colour, line.data());
  if (std::fclose(f) != 0 || !encoded)
    return errno != 0 ? std::strerror(errno) : "the PNG encoder failed";
  return "";
}

}  // namespace

constexpr const char* kUsage =
    "usage: %s CAPTURE [PREFIX]\n"
    "Writes the raster pages of CAPTURE (what a printer received; - reads standard input) as\n"
    "PREFIX-1.png, PREFIX-2.png, ... (PREFIX defaults to CAPTURE) and prints one line per page.\n";

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::printf(kUsage, argv[0]);
    return 0;
  }
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, kUsage, argv[0]);
    return 2;
  }
  std::string capture;
  if (!ReadAll(argv[1], capture)) {
    std::fprintf(stderr, "pclview: cannot read %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  std::string prefix = argc == 3 ? argv[2] : argv[1];
  if (prefix == "-") prefix = "page";
  std::vector<qx5::PclPage> pages = qx5::ReadPcl(capture);
  int status = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    int number = static_cast<int>(i) + 1;
    std::string line = qx5::PclSummary(pages[i], number);
    if (!pages[i].rows.empty()) {
      std::string path = prefix + "-" + std::to_string(number) + ".png";
      errno = 0;
      const std::string why = WritePng(pages[i], path.c_str());
      if (why.empty()) {
        line += " -> " + path;
      } else {
        line += ": cannot write " + path + ": " + why;
        status = 1;
      }
    }
    std::printf("%s\n", line.c_str());
  }
  if (pages.empty()) std::printf("no pages\n");
  return status;
}
