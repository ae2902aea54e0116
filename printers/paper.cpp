#include "printers/paper.hpp"

#include <cstdio>
#include <cstring>

#include "driver/devout.hpp"
#include "lib/alloc.hpp"
#include "lib/message.hpp"
#include "printers/codefile.hpp"
#include "printers/config.hpp"
#include "printers/datafile.hpp"

namespace qx5 {
double PAPERwIN = 8.5;
double PAPERhIN = 11.0;
double PAPERwun = 0.5;
double PAPERhun = 1.0;

namespace {

constexpr size_t kNameMax = 12;  // paper name: at most 11 characters
constexpr size_t kUnitsMax = 8;  // units: at most 7 characters
constexpr int kPaperCodeLimit = 100;

void UpperCase(char* word) {
  for (char* c = word; *c != '\0'; ++c)
    *c = static_cast<char>(DFtoupper(static_cast<unsigned char>(*c)));
}

// One size line: name, units, width, height. False when a field is missing, a word is longer
// than its field or a dimension is not a positive number.
bool ParsePaperLine(const char* line, char* name, char* units, double* w, double* h) {
  const char* p = line;
  size_t n = ScanWord(&p, name, kNameMax);
  if (n == 0 || n >= kNameMax) return false;
  size_t u = ScanWord(&p, units, kUnitsMax);
  if (u == 0 || u >= kUnitsMax) return false;
  return ScanDouble(&p, w) && ScanDouble(&p, h) && *w > 0 && *h > 0;
}

}  // namespace

int PaperCode(const char* paper, const char* suffix, char* out, size_t cap) {
  size_t len = std::strlen(paper);
  if (len > kPaperCodeNameMax) return 0;
  std::snprintf(out, cap, "\\!%d%s%s", static_cast<int>(len + std::strlen(suffix)), paper, suffix);
  return MapCodes(out, kPaperCodeLimit, cap);
}

int GetPageSize(const char* name, int) {
  PAPERwIN = 8.5;
  PAPERhIN = 11.0;
  PAPERwun = 0.5;
  PAPERhun = 1.0;
  FILE* f = OPENDATAFILE("PAPER");
  if (f == nullptr) return 0;
  char line[kDefLineRead + 1];
  char found[kNameMax] = "";
  while (std::fgets(line, kDefLineRead, f) != nullptr) {
    if (SkipDefLine(line)) continue;
    size_t len = std::strlen(line);
    if (len > 0) line[len - 1] = '\0';
    char word[kNameMax];
    char units[kUnitsMax];
    double w = 0;
    double h = 0;
    if (!ParsePaperLine(line, word, units, &w, &h)) continue;
    UpperCase(word);
    UpperCase(units);
    if (std::strcmp(word, name) != 0) continue;
    PAPERwIN = w;
    PAPERhIN = h;
    if (std::strcmp(units, "MM") == 0) {
      PAPERwIN *= 1 / 25.4;
      PAPERhIN *= 1 / 25.4;
    } else if (std::strcmp(units, "IN") != 0) {
      Say("%s: Unknown units for PAPER width & height: %s\n", XEQNAME, units);
    }
    std::memcpy(found, word, sizeof found);
    break;
  }
  std::fclose(f);
  if (found[0] == '\0') {
    Say("%s: Could not find paper size: %s\n", XEQNAME, name);
    return 0;
  }
  CopyName(SETUPpaper, sizeof SETUPpaper, found);

  char code[kPaperCodeLimit];
  if (PaperCode(found, "UN", code, sizeof code) == 2) {
    PAPERwun = static_cast<unsigned char>(code[0]) * 0.01;
    PAPERhun = static_cast<unsigned char>(code[1]) * 0.01;
  }
  int n = PaperCode(found, "SZ", code, sizeof code);
  if (n > 0) {
    Say("Sending pagesize for %s: %d%s\n", found, static_cast<unsigned char>(code[0]), code + 1);
    WRITE(lp, code, n);
  }
  return 1;
}

}  // namespace qx5
