// mksysgen: writes the system configuration file (sysgen.bin) from its readable source.
//
// Source lines: "KEY int VALUE" or "KEY text VALUE"; "#" starts a comment line; blank lines
// are skipped. A text value runs to the end of the line (surrounding blanks removed; put it in
// double quotes to keep blanks) and holds at most 63 bytes. Records are 64 bytes; the file
// holds records 0 to the highest key given, and the records not given are all zero.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "lib/configman.hpp"

namespace {

constexpr int kMaxKey = 9999;

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  const size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

bool Fail(const char* src, int line, const std::string& why) {
  std::fprintf(stderr, "mksysgen: %s:%d: %s\n", src, line, why.c_str());
  return false;
}

bool ParseInt(const std::string& text, long lo, long hi, long* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// Fills record `key` of `out` from one source line.
bool Compile(const char* src, int lineno, const std::string& line,
             std::vector<unsigned char>& out) {
  const size_t sp1 = line.find_first_of(" \t");
  const std::string keytext = line.substr(0, sp1);
  long key = 0;
  if (sp1 == std::string::npos || !ParseInt(keytext, 0, kMaxKey, &key))
    return Fail(src, lineno, "expected \"KEY int VALUE\" or \"KEY text VALUE\"");
  const std::string rest = Trim(line.substr(sp1));
  const size_t sp2 = rest.find_first_of(" \t");
  const std::string type = rest.substr(0, sp2);
  std::string value = sp2 == std::string::npos ? "" : Trim(rest.substr(sp2));

  const size_t at = static_cast<size_t>(key) * qx5::kRecordSize;
  if (out.size() < at + qx5::kRecordSize) out.resize(at + qx5::kRecordSize, 0);
  unsigned char* rec = out.data() + at;
  if (type == "int") {
    long v = 0;
    if (!ParseInt(value, INT32_MIN, INT32_MAX, &v)) return Fail(src, lineno, "bad integer");
    const uint32_t bits = static_cast<uint32_t>(static_cast<int32_t>(v));
    for (int i = 0; i < 4; ++i) rec[i] = static_cast<unsigned char>(bits >> (8 * i));
    return true;
  }
  if (type == "text") {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.size() >= static_cast<size_t>(qx5::kRecordSize))
      return Fail(src, lineno, "text longer than 63 bytes");
    std::memcpy(rec, value.data(), value.size());
    return true;
  }
  return Fail(src, lineno, "type must be int or text");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "Usage: mksysgen SOURCE.txt OUTPUT.bin\n");
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::fprintf(stderr, "mksysgen: cannot read %s\n", argv[1]);
    return 1;
  }
  std::vector<unsigned char> out;
  std::string line;
  int lineno = 0;
  bool ok = true;
  while (std::getline(in, line)) {
    ++lineno;
    const std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    ok = Compile(argv[1], lineno, t, out) && ok;
  }
  if (!ok) return 1;
  if (out.empty()) {
    std::fprintf(stderr, "mksysgen: %s holds no records\n", argv[1]);
    return 1;
  }
  FILE* f = std::fopen(argv[2], "wb");
  if (f == nullptr || std::fwrite(out.data(), 1, out.size(), f) != out.size() ||
      std::fclose(f) != 0) {
    std::fprintf(stderr, "mksysgen: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
