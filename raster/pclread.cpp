#include "raster/pclread.hpp"

#include <cstdio>

namespace qx5 {

namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kFormFeed = 0x0C;
// Longest decoded row: a delta offset beyond it is taken as a broken row.
constexpr size_t kMaxRowBytes = 1 << 20;
// Widest raster a printer is told of (ESC*r#S): larger declarations count as this, so that a
// broken width never makes every compressed row huge.
constexpr int kMaxRasterDots = 65535;

bool IsParameterChar(unsigned char c) {
  return c >= '!' && c <= '/';
}
bool IsGroupChar(unsigned char c) {
  return c >= '`' && c <= '~';
}
bool IsLowerTerm(unsigned char c) {
  return c >= '`' && c <= '~';
}
bool IsUpperTerm(unsigned char c) {
  return c >= '@' && c <= '^';
}
bool IsTwoCharEscape(unsigned char c) {
  return c >= '0' && c <= '~';
}

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}

  std::vector<PclPage> Run() {
    while (pos_ < in_.size()) {
      unsigned char c = Byte(pos_);
      if (c == kEsc) {
        Escape();
      } else if (c == kFormFeed) {
        ++pos_;
        Break();
      } else {
        if (c > ' ' && c != 0x7F) ++page_.text_bytes;
        ++pos_;
      }
    }
    Break();
    return std::move(pages_);
  }

 private:
  unsigned char Byte(size_t i) const { return static_cast<unsigned char>(in_[i]); }

  // A value field: optional sign, digits, optional fraction. The integer part is kept,
  // bounded so that no digit string overflows it.
  int Value() {
    bool negative = false;
    if (pos_ < in_.size() && (Byte(pos_) == '+' || Byte(pos_) == '-')) {
      negative = Byte(pos_) == '-';
      ++pos_;
    }
    long v = 0;
    while (pos_ < in_.size() && Byte(pos_) >= '0' && Byte(pos_) <= '9') {
      if (v < 1000000000L) v = v * 10 + (Byte(pos_) - '0');
      ++pos_;
    }
    if (pos_ < in_.size() && Byte(pos_) == '.') {
      ++pos_;
      while (pos_ < in_.size() && Byte(pos_) >= '0' && Byte(pos_) <= '9') ++pos_;
    }
    return static_cast<int>(negative ? -v : v);
  }

  void Escape() {
    if (pos_ + 1 >= in_.size()) {
      pos_ = in_.size();
      return;
    }
    unsigned char p = Byte(pos_ + 1);
    if (!IsParameterChar(p)) {
      // ESC E (reset) and the other two-character escapes; a lone ESC is dropped.
      if (p == 'E') ResetModes();
      pos_ += IsTwoCharEscape(p) ? 2 : 1;
      return;
    }
    pos_ += 2;
    unsigned char g = 0;
    if (pos_ < in_.size() && IsGroupChar(Byte(pos_))) g = Byte(pos_++);
    for (;;) {
      int value = Value();
      if (pos_ >= in_.size()) return;
      unsigned char term = Byte(pos_);
      bool last = IsUpperTerm(term);
      if (!last && !IsLowerTerm(term)) {
        // Not a PCL sequence after all: the byte that broke it is read as ordinary data.
        return;
      }
      ++pos_;
      unsigned char cmd = last ? term : static_cast<unsigned char>(term - 0x20);
      Command(p, g, value, cmd);
      if (last) return;
    }
  }

  // Data bytes that follow a command: as many as announced, but no more than the capture has.
  std::string_view Data(int value) {
    size_t n = value > 0 ? static_cast<size_t>(value) : 0;
    if (n > in_.size() - pos_) n = in_.size() - pos_;
    std::string_view d = in_.substr(pos_, n);
    pos_ += n;
    return d;
  }

  void Command(unsigned char p, unsigned char g, int value, unsigned char cmd) {
    if (p == '*' && g == 'b' && (cmd == 'V' || cmd == 'W')) {
      Plane(Decode(Data(value)));
      if (cmd == 'W') EndRow();
    } else if (p == '*' && g == 'b' && cmd == 'M') {
      mode_ = value;
    } else if (p == '*' && g == 'r') {
      if (cmd == 'A' || cmd == 'B' || cmd == 'C') ClearSeeds();
      if (cmd == 'U') {
        page_.palette = value;
        page_.palette_set = true;
      } else if (cmd == 'S') {
        page_.width_dots = value > 0 ? (value < kMaxRasterDots ? value : kMaxRasterDots) : 0;
      } else if (cmd == 'B' || cmd == 'C') {
        if (row_.planes > 0) EndRow();
      }
    } else if (p == '*' && g == 't' && cmd == 'R') {
      page_.xdpi = value > 0 ? value : 0;
    } else if (p == '&' && g == 'l' && cmd == 'A') {
      page_.page_size = value;
    } else if (p == '&' && g == 'l' && cmd == 'H' && value == 0) {
      Break();
    } else if (cmd == 'W' || (p == '&' && g == 'p' && cmd == 'X')) {
      // Fonts, patterns, palettes, transparent data: a byte count and that many bytes.
      Data(value);
    }
  }

  // Row bytes of the current plane as the printer sees them in the current mode.
  std::string_view Decode(std::string_view d) {
    if (mode_ >= 0 && mode_ <= 9) page_.modes |= 1u << mode_;
    if (mode_ != 2 && mode_ != 3) return d;
    size_t plane = static_cast<size_t>(row_.planes < kPclMaxPlanes ? row_.planes : 0);
    std::string& row = seeds_[plane];
    size_t width = (static_cast<size_t>(page_.width_dots) + 7) / 8;
    if (mode_ == 2) {
      row.clear();
      UnpackBits(d, row);
    } else {
      ApplyDelta(d, row);
    }
    if (row.size() < width) row.resize(width, '\0');
    return row;
  }

  // PackBits: a control byte n, then n + 1 literal bytes (n 0 to 127) or one byte repeated
  // 257 - n times (n 129 to 255); 128 is a no-op.
  static void UnpackBits(std::string_view d, std::string& out) {
    size_t i = 0;
    while (i < d.size()) {
      unsigned n = static_cast<unsigned char>(d[i++]);
      if (n < 128) {
        size_t k = n + 1 < d.size() - i ? n + 1 : d.size() - i;
        out.append(d.substr(i, k));
        i += k;
      } else if (n > 128 && i < d.size()) {
        out.append(257 - n, d[i++]);
      }
    }
  }

  // Delta row: a command byte (count - 1 in the high 3 bits, the offset from the byte after
  // the last replaced one in the low 5; 31 means that offset bytes follow, added up to the
  // first below 255), then the replacement bytes, written over the seed.
  static void ApplyDelta(std::string_view d, std::string& seed) {
    size_t i = 0, pos = 0;
    while (i < d.size()) {
      unsigned c = static_cast<unsigned char>(d[i++]);
      size_t count = (c >> 5) + 1, offset = c & 31;
      if (offset == 31) {
        unsigned more = 255;
        while (more == 255 && i < d.size()) {
          more = static_cast<unsigned char>(d[i++]);
          offset += more;
        }
      }
      pos += offset;
      if (pos > kMaxRowBytes) return;
      for (size_t k = 0; k < count && i < d.size(); ++k, ++pos, ++i) {
        if (seed.size() <= pos) seed.resize(pos + 1, '\0');
        seed[pos] = d[i];
      }
    }
  }

  void ClearSeeds() {
    for (std::string& s : seeds_) s.clear();
  }

  void Plane(std::string_view d) {
    int len = static_cast<int>(d.size());
    if (row_.planes >= kPclMaxPlanes) {
      ++page_.dropped_planes;
      return;
    }
    row_.off[row_.planes] = page_.bytes.size();
    row_.len[row_.planes] = len;
    ++row_.planes;
    page_.bytes.append(d);
    if (len > page_.max_row_bytes) page_.max_row_bytes = len;
    if (!page_has_plane_ || len < page_.min_row_bytes) page_.min_row_bytes = len;
    page_has_plane_ = true;
  }

  void EndRow() {
    if (row_.planes > page_.max_planes) page_.max_planes = row_.planes;
    page_.rows.push_back(row_);
    row_ = PclRow{};
  }

  void ResetModes() {
    mode_ = 0;
    ClearSeeds();
    page_.palette = 1;
    page_.palette_set = false;
    page_.width_dots = 0;
  }

  // A page break: the page is kept when it holds anything; the modes carry on to the next.
  void Break() {
    if (row_.planes > 0) EndRow();
    PclPage next;
    next.palette = page_.palette;
    next.palette_set = page_.palette_set;
    next.xdpi = page_.xdpi;
    next.width_dots = page_.width_dots;
    next.page_size = page_.page_size;
    if (!page_.rows.empty() || page_.text_bytes > 0) pages_.push_back(std::move(page_));
    page_ = std::move(next);
    page_has_plane_ = false;
  }

  std::string_view in_;
  size_t pos_ = 0;
  PclPage page_;
  PclRow row_;
  bool page_has_plane_ = false;
  int mode_ = 0;                      // compression mode (ESC*b#M)
  std::string seeds_[kPclMaxPlanes];  // last row of each plane, for mode 3
  std::vector<PclPage> pages_;
};

}  // namespace

int PclPage::dots() const {
  long d = static_cast<long>(max_row_bytes) * 8;
  if (width_dots > 0 && width_dots < d) d = width_dots;
  return static_cast<int>(d);
}

int PclPage::bit(int row, int plane, int x) const {
  if (row < 0 || row >= static_cast<int>(rows.size()) || x < 0) return 0;
  const PclRow& r = rows[static_cast<size_t>(row)];
  if (plane < 0 || plane >= r.planes || x / 8 >= r.len[plane]) return 0;
  unsigned char b = static_cast<unsigned char>(bytes[r.off[plane] + static_cast<size_t>(x / 8)]);
  return (b >> (7 - x % 8)) & 1;
}

int PclPage::index(int row, int x) const {
  int v = 0;
  int planes = max_planes < kPclMaxPlanes ? max_planes : kPclMaxPlanes;
  for (int p = 0; p < planes; ++p) v |= bit(row, p, x) << p;
  return v;
}

uint32_t PclPage::rgb(int row, int x) const {
  auto level = [](int on) -> uint32_t { return on ? 0xFFu : 0u; };
  int b0 = bit(row, 0, x), b1 = bit(row, 1, x), b2 = bit(row, 2, x);
  if (!colour()) return ink(row, x) ? 0x000000u : 0xFFFFFFu;
  switch (palette) {
    case -3:  // cyan, magenta, yellow ink
      return level(!b0) << 16 | level(!b1) << 8 | level(!b2);
    case -4:  // black, then cyan, magenta, yellow ink
      if (b0) return 0x000000u;
      return level(!b1) << 16 | level(!b2) << 8 | level(!bit(row, 3, x));
    default:  // red, green, blue light
      return level(b0) << 16 | level(b1) << 8 | level(b2);
  }
}

std::vector<PclPage> ReadPcl(std::string_view capture) {
  return Reader(capture).Run();
}

std::string PclSummary(const PclPage& page, int number) {
  char line[200];
  if (page.rows.empty()) {
    std::snprintf(line, sizeof line, "page %d: no raster rows, %zu text characters", number,
                  page.text_bytes);
    return line;
  }
  int n = std::snprintf(line, sizeof line, "page %d: %zu rows, %d bytes per row, %d plane%s",
                        number, page.rows.size(), page.max_row_bytes, page.max_planes,
                        page.max_planes == 1 ? "" : "s");
  std::string out = line;
  if (n > 0 && page.min_row_bytes != page.max_row_bytes) {
    std::snprintf(line, sizeof line, " (rows of %d to %d bytes)", page.min_row_bytes,
                  page.max_row_bytes);
    out += line;
  }
  if ((page.modes & ~1u) != 0) {
    std::string list;
    int count = 0;
    for (int m = 0; m <= 9; ++m) {
      if ((page.modes >> m & 1) == 0) continue;
      if (!list.empty()) list += ", ";
      list += std::to_string(m);
      ++count;
    }
    out += (count == 1 ? ", compression mode " : ", compression modes ") + list;
  }
  return out;
}

}  // namespace qx5
