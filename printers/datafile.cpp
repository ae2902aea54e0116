#include "printers/datafile.hpp"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "lib/message.hpp"
#include "lib/paths.hpp"

namespace qx5 {

namespace {

constexpr size_t kDataPathMax = 80;  // a definition file's path holds at most 79 characters

FILE* OpenIn(const char* dir, const char* name) {
  char fixed[kDataPathMax];
  int n = std::snprintf(fixed, sizeof fixed, "%s%s", dir, name);
  if (n < 0 || static_cast<size_t>(n) >= sizeof fixed) return nullptr;  // would be cut: refuse
  return std::fopen(RootPath(fixed).c_str(), "r");
}

void SkipBlanks(const char** p) {
  while (**p != '\0' && std::isspace(static_cast<unsigned char>(**p))) ++*p;
}

}  // namespace

FILE* OPENDATAFILE(const char* name) {
  FILE* f = OpenIn("/u/qx5/usr_data/printers/", name);
  if (f == nullptr) f = OpenIn("/u/qx5/def_data/printers/", name);
  if (f == nullptr) {
    Say("%s: Could not open file: %s\n", XEQNAME, name);
  }
  return f;
}

int SkipDefLine(const char* line) {
  return line[0] == '!' || line[0] == '\n' || line[0] == '\r';
}

size_t ScanWord(const char** p, char* out, size_t cap) {
  SkipBlanks(p);
  const char* start = *p;
  while (**p != '\0' && !std::isspace(static_cast<unsigned char>(**p))) ++*p;
  size_t len = static_cast<size_t>(*p - start);
  if (len == 0) return 0;
  size_t kept = len < cap ? len : cap - 1;
  std::memcpy(out, start, kept);
  out[kept] = '\0';
  return len;
}

int ScanInt(const char** p, int* out) {
  SkipBlanks(p);
  const char* digits = *p + ((**p == '+' || **p == '-') ? 1 : 0);
  if (!std::isdigit(static_cast<unsigned char>(*digits))) return 0;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(*p, &end, 10);
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  *out = static_cast<int>(v);
  *p = end;
  return 1;
}

int ScanDouble(const char** p, double* out) {
  SkipBlanks(p);
  char* end = nullptr;
  double v = std::strtod(*p, &end);
  if (end == *p || !std::isfinite(v)) return 0;  // no number, or inf/nan: not a size
  *out = v;
  *p = end;
  return 1;
}

}  // namespace qx5
