#include "render/fontsize.hpp"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace qx5 {

namespace {

constexpr FontDots kFixed = {13, 6};    // X's "fixed"
constexpr double kAdvanceOfSize = 0.6;  // a monospaced cell is about 0.6 of the size wide
constexpr double kDefaultResolution = 75;
constexpr int kPixelField = 7, kPointField = 8, kResYField = 10, kWidthField = 12;

// A positive decimal field, else 0.
double Positive(const std::string& field) {
  if (field.empty() || field.find_first_not_of("0123456789") != std::string::npos) return 0;
  const double v = std::strtod(field.c_str(), nullptr);
  return v > 0 && v < 10000 ? v : 0;
}

std::vector<std::string> Fields(const char* name) {
  std::vector<std::string> f(1);
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p == '-')
      f.emplace_back();
    else
      f.back() += *p;
  }
  return f;
}

}  // namespace

FontDots FontSizeOfName(const char* name) {
  if (name == nullptr) return kFixed;
  if (name[0] == '-') {
    const std::vector<std::string> f = Fields(name);
    const auto field = [&f](int i) { return i < static_cast<int>(f.size()) ? Positive(f[i]) : 0; };
    double pixels = field(kPixelField);
    if (pixels == 0 && field(kPointField) > 0) {
      const double res = field(kResYField) > 0 ? field(kResYField) : kDefaultResolution;
      pixels = field(kPointField) / 720.0 * res;
    }
    if (pixels == 0) return kFixed;
    const double width = field(kWidthField) / 10.0;
    return {pixels, width > 0 ? width : kAdvanceOfSize * pixels};
  }
  char* end = nullptr;
  const long w = std::strtol(name, &end, 10);
  if (end != name && (*end == 'x' || *end == 'X')) {
    const char* hstart = end + 1;
    const long h = std::strtol(hstart, &end, 10);
    if (end != hstart && w > 0 && h > 0 && w < 1000 && h < 1000)
      return {static_cast<double>(h), static_cast<double>(w)};
  }
  return kFixed;
}

}  // namespace qx5
