#include "printers/paper.hpp"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>

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

// The paper last found; empty while the page is the built-in one.
char inForce[kNameMax] = "";

// What a lookup that finds nothing leaves: the page as it was.
std::string PaperKept() {
  char text[96];
  if (inForce[0] != '\0')
    std::snprintf(text, sizeof text, "the paper stays %s", inForce);
  else
    std::snprintf(text, sizeof text, "the page stays at %g x %g inches", PAPERwIN, PAPERhIN);
  return text;
}

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

int GetPageSize(const char* name, int, int* writeFailed) {
  if (writeFailed != nullptr) *writeFailed = 0;
  std::string used;
  FILE* f = OPENDATAFILE("PAPER", &used);
  if (f == nullptr) {
    SayFinding("%s: %s\n", XEQNAME, PaperKept().c_str());
    return 0;
  }
  char line[kDefLineRead + 1];
  char found[kNameMax] = "";
  char otherCase[kNameMax] = "";
  double w = 0;
  double h = 0;
  DefLines lines{f};
  while (lines.Next(line) != nullptr) {
    if (SkipDefLine(line)) continue;
    DropNewline(line);
    char word[kNameMax];
    char units[kUnitsMax];
    if (!ParsePaperLine(line, word, units, &w, &h)) continue;
    UpperCase(word);
    UpperCase(units);
    if (std::strcmp(word, name) != 0) {
      if (otherCase[0] == '\0' && strcasecmp(word, name) == 0) CopyName(otherCase, kNameMax, word);
      continue;
    }
    if (std::strcmp(units, "MM") == 0) {
      w *= 1 / 25.4;
      h *= 1 / 25.4;
    } else if (std::strcmp(units, "IN") != 0) {
      SayFinding("%s: Unknown units for PAPER width & height: %s (%s)\n", XEQNAME, units,
                 Where(used.c_str(), lines.lineno).c_str());
    }
    std::memcpy(found, word, sizeof found);
    break;
  }
  std::fclose(f);
  if (found[0] == '\0') {
    const std::string hint =
        otherCase[0] != '\0'
            ? std::string(XEQNAME) + ": paper names are upper case: " + otherCase + "\n"
            : std::string();
    SayFinding("%s: Could not find paper size: %s\n%s%s: %s has no paper %s: %s\n", XEQNAME, name,
               hint.c_str(), XEQNAME, used.c_str(), name, PaperKept().c_str());
    return 0;
  }
  PAPERwIN = w;
  PAPERhIN = h;
  PAPERwun = 0.5;
  PAPERhun = 1.0;
  CopyName(inForce, sizeof inForce, found);
  CopyName(SETUPpaper, sizeof SETUPpaper, found);

  char code[kPaperCodeLimit];
  if (PaperCode(found, "UN", code, sizeof code) == 2) {
    PAPERwun = static_cast<unsigned char>(code[0]) * 0.01;
    PAPERhun = static_cast<unsigned char>(code[1]) * 0.01;
  }
  int n = PaperCode(found, "SZ", code, sizeof code);
  // A network printer without a connection gets the size with the initialisation of its next
  // connection: nothing connects to it before a request has bytes for it.
  if (n > 0 && !DeviceIsFresh()) {
    Say("Sending pagesize for %s: %d%s\n", found, static_cast<unsigned char>(code[0]), code + 1);
    if (WRITE(lp, code, n) != 0 && writeFailed != nullptr) *writeFailed = 1;
  }
  return 1;
}

}  // namespace qx5
