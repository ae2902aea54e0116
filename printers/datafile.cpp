#include "printers/datafile.hpp"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "lib/dataline.hpp"
#include "lib/message.hpp"
#include "lib/paths.hpp"

namespace qx5 {

namespace {

constexpr size_t kDataPathMax = 80;  // a definition file's path holds at most 79 characters
constexpr const char* kUserDir = "/u/qx5/usr_data/printers/";
constexpr const char* kDefaultDir = "/u/qx5/def_data/printers/";

// Opens one of the two paths of a definition file; on failure *err is the reason.
FILE* OpenIn(const char* dir, const char* name, std::string* path, int* err) {
  char fixed[kDataPathMax];
  int n = std::snprintf(fixed, sizeof fixed, "%s%s", dir, name);
  *path = RootPath(std::string(dir) + name);
  if (n < 0 || static_cast<size_t>(n) >= sizeof fixed) {  // would be cut: refuse
    *err = ENAMETOOLONG;
    return nullptr;
  }
  FILE* f = std::fopen(path->c_str(), "r");
  *err = f == nullptr ? errno : 0;
  return f;
}

void SkipBlanks(const char** p) {
  while (**p != '\0' && std::isspace(static_cast<unsigned char>(**p))) ++*p;
}

}  // namespace

FILE* OPENDATAFILE(const char* name, std::string* used) {
  std::string userPath;
  std::string defaultPath;
  int userErr = 0;
  int defaultErr = 0;
  FILE* f = OpenIn(kUserDir, name, &userPath, &userErr);
  if (f != nullptr) {
    if (used != nullptr) *used = userPath;
    return f;
  }
  f = OpenIn(kDefaultDir, name, &defaultPath, &defaultErr);
  if (f != nullptr) {
    if (used != nullptr) *used = defaultPath;
    return f;
  }
  SayFinding("%s: Could not open file: %s\n%s: %s not found: %s: %s; %s: %s\n", XEQNAME, name,
             XEQNAME, name, userPath.c_str(), Reason(userErr), defaultPath.c_str(),
             Reason(defaultErr));
  return nullptr;
}

std::string DataFilePath(const char* name, bool user) {
  return RootPath(std::string(user ? kUserDir : kDefaultDir) + name);
}

char* DefLines::Next(char* line) {
  if (ReadDataLine(line, kDefLineRead, f) == nullptr) return nullptr;
  if (ended) ++lineno;
  const size_t len = std::strlen(line);
  ended = len > 0 && line[len - 1] == '\n';
  return line;
}

void DropNewline(char* line) {
  const size_t len = std::strlen(line);
  if (len > 0 && line[len - 1] == '\n') line[len - 1] = '\0';
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
