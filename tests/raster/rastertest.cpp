#include "rastertest.hpp"

#include <cstring>

#include "driver/devout.hpp"

namespace rastertest {

Image::Image(int w, int h, int depth, int pad_bytes) {
  int bpl = (w + 7) / 8 + pad_bytes;
  data_.assign(static_cast<size_t>(bpl) * static_cast<size_t>(h) * static_cast<size_t>(depth), 0);
  img_.width = w;
  img_.height = h;
  img_.depth = depth;
  img_.bytes_per_line = bpl;
  img_.format = XYPixmap;
  img_.bitmap_bit_order = MSBFirst;
  img_.byte_order = MSBFirst;
  img_.bitmap_unit = 8;
  img_.bitmap_pad = 8;
  img_.bits_per_pixel = 1;
  img_.data = data_.data();
}

void Image::set(int x, int y, unsigned long value) {
  size_t plane = static_cast<size_t>(img_.bytes_per_line) * static_cast<size_t>(img_.height);
  for (int p = 0; p < img_.depth; ++p) {
    char& byte = data_[static_cast<size_t>(p) * plane +
                       static_cast<size_t>(y) * static_cast<size_t>(img_.bytes_per_line) +
                       static_cast<size_t>(x / 8)];
    unsigned char bit = static_cast<unsigned char>(0x80 >> (x % 8));
    if ((value >> (img_.depth - 1 - p)) & 1)
      byte = static_cast<char>(byte | bit);
    else
      byte = static_cast<char>(byte & ~bit);
  }
}

unsigned long Image::get(int x, int y) const {
  size_t plane = static_cast<size_t>(img_.bytes_per_line) * static_cast<size_t>(img_.height);
  unsigned long v = 0;
  for (int p = 0; p < img_.depth; ++p) {
    unsigned char byte = static_cast<unsigned char>(
        data_[static_cast<size_t>(p) * plane +
              static_cast<size_t>(y) * static_cast<size_t>(img_.bytes_per_line) +
              static_cast<size_t>(x / 8)]);
    v = (v << 1) | ((byte >> (7 - x % 8)) & 1);
  }
  return v;
}

Device::Device() {
  cookie_io_functions_t io{};
  io.write = &Device::Write;
  f_ = fopencookie(this, "w", io);
  // Unbuffered like the real device: every WRITE reaches the device at once.
  if (f_ != nullptr) setvbuf(f_, nullptr, _IONBF, 0);
}

Device::~Device() {
  if (f_ != nullptr) std::fclose(f_);
}

ssize_t Device::Write(void* cookie, const char* buf, size_t n) {
  Device* d = static_cast<Device*>(cookie);
  if (d->dead_) return -1;
  d->sizes_.push_back(n);
  if (d->cut_ && d->bytes_.size() + n > d->cut_at_) {
    // What a device time-out during this write looks like: the device took k bytes, then
    // none for the time-out.
    size_t k = d->cut_at_ - d->bytes_.size();
    d->bytes_.append(buf, k);
    d->dead_ = true;
    qx5::SigAlarm = 1;
    return k > 0 ? static_cast<ssize_t>(k) : -1;
  }
  d->bytes_.append(buf, n);
  return static_cast<ssize_t>(n);
}

LpScope::LpScope() : old_(qx5::lp) {
  qx5::lp = dev.stream();
}

LpScope::~LpScope() {
  qx5::lp = old_;
}

bool ParseRows(const std::string& bytes, std::vector<Row>& rows) {
  size_t i = 0;
  while (i < bytes.size()) {
    if (bytes.compare(i, 3, "\x1b*b") != 0) {
      ADD_FAILURE() << "no row command at byte " << i;
      return false;
    }
    i += 3;
    int count = 0;
    size_t digits = 0;
    while (i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9') {
      count = count * 10 + (bytes[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || i >= bytes.size() ||
        (bytes[i] != 'V' && bytes[i] != 'W' && bytes[i] != 'M')) {
      ADD_FAILURE() << "bad row command at byte " << i;
      return false;
    }
    char kind = bytes[i++];
    if (kind == 'M') {  // the compression mode: no bytes follow
      rows.push_back({kind, count, ""});
      continue;
    }
    if (bytes.size() - i < static_cast<size_t>(count)) {
      ADD_FAILURE() << "row of " << count << " bytes cut short";
      return false;
    }
    rows.push_back({kind, count, bytes.substr(i, static_cast<size_t>(count))});
    i += static_cast<size_t>(count);
  }
  return true;
}

int RowBit(const std::string& row, int x) {
  if (x < 0 || static_cast<size_t>(x / 8) >= row.size()) return -1;
  return (static_cast<unsigned char>(row[static_cast<size_t>(x / 8)]) >> (7 - x % 8)) & 1;
}

}  // namespace rastertest
