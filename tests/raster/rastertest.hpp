// Test helpers for the raster encoders: hand-built XY-pixmap images (no X server needed), an
// output device that records every write and can fail a chosen one, and a strict parser of
// the row commands the encoders send.
#pragma once
#include <gtest/gtest.h>
// Xlib after gtest.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <string>
#include <vector>

namespace rastertest {

// An XY-pixmap image of depth planes, the most significant plane first, leftmost pixel in
// the high bit; bytes_per_line may have filler beyond the pixels.
class Image {
 public:
  Image(int w, int h, int depth, int pad_bytes = 1);
  Image(const Image& other) : img_(other.img_), data_(other.data_) { img_.data = data_.data(); }
  Image& operator=(const Image&) = delete;
  XImage* get() { return &img_; }
  const XImage* image() const { return &img_; }
  void set(int x, int y, unsigned long value);
  unsigned long get(int x, int y) const;
  std::vector<char>& data() { return data_; }

 private:
  XImage img_{};
  std::vector<char> data_;
};

// A stream whose writes are recorded. cut_at n: the device takes n bytes in all, then the
// write in progress looks as if the device time-out fired during it, and every later write
// fails.
class Device {
 public:
  Device();
  ~Device();
  FILE* stream() { return f_; }
  void cut_at(size_t n) {
    cut_ = true;
    cut_at_ = n;
  }
  const std::string& bytes() const { return bytes_; }
  int writes() const { return static_cast<int>(sizes_.size()); }
  // The byte count of every write call.
  const std::vector<size_t>& sizes() const { return sizes_; }

 private:
  static ssize_t Write(void* cookie, const char* buf, size_t n);
  FILE* f_ = nullptr;
  std::string bytes_;
  std::vector<size_t> sizes_;
  bool cut_ = false;
  bool dead_ = false;
  size_t cut_at_ = 0;
};

// Installs a Device as qx5::lp for the life of the object and restores the old lp.
class LpScope {
 public:
  LpScope();
  ~LpScope();
  Device dev;

 private:
  FILE* old_;
};

struct Row {
  char kind;  // 'V' or 'W', or 'M' for the compression mode command (count the mode)
  int count;  // the byte count of the command
  std::string bytes;
};

// Parses ESC "*b" count kind, then count bytes (none after a mode command), up to the end; false
// (with a test failure) when anything else is found.
bool ParseRows(const std::string& bytes, std::vector<Row>& rows);

// Bit x (from the most significant bit of byte 0) of a row.
int RowBit(const std::string& row, int x);

}  // namespace rastertest
