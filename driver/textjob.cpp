#include "driver/textjob.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/devout.hpp"
#include "driver/jobctl.hpp"
#include "driver/loop.hpp"
#include "driver/srvmsg.hpp"
#include "lib/paths.hpp"
#include "printers/codefile.hpp"
#include "printers/config.hpp"

namespace qx5 {
char Str[504];
char s[100];

namespace {

constexpr int kPrintLineRead = 499;  // 498 characters and the NUL
constexpr int kPrintLineLimit = 500;
constexpr int kOneLineLimit = 200;

// A request failure: status 9 and its line.
void Fail(const char* what, const char* file = nullptr) {
  smsgp.status = ST_DEVICE;
  if (file != nullptr)
    std::printf("ERROR: %s: Unable to do %s for %s\n", XEQNAME, what, file);
  else
    std::printf("ERROR: %s: Unable to do %s\n", XEQNAME, what);
  std::fflush(stdout);
}

// This driver's own temporary file of the conversion: the fixed name and PrinterNumber + 1.
std::string TempPath(const char* base) {
  char fixed[32];
  std::snprintf(fixed, sizeof fixed, "%s%d", base, PrinterNumber + 1);
  return RootPath(fixed);
}

// path as one literal shell word.
std::string ShellQuote(const std::string& path) {
  std::string out = "'";
  for (char c : path) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

// Runs "FILTER 'in' >'out'" through the shell and waits for it; its result is not examined.
// A command line that does not fit s is not run: false and an error line.
bool RunFilter(const std::string& in, const std::string& out) {
  std::string cmd = std::string(SETUPeuc_filter) + " " + ShellQuote(in) + " >" + ShellQuote(out);
  if (cmd.size() >= sizeof s) {
    std::printf("ERROR: %s: FILTER command too long (%zu characters) for %s\n", XEQNAME, cmd.size(),
                in.c_str());
    std::fflush(stdout);
    return false;
  }
  std::memcpy(s, cmd.c_str(), cmd.size() + 1);
  std::fflush(stdout);
  if (std::system(s) == -1) {
    std::printf("ERROR: %s: unable to run %s\n", XEQNAME, s);
    std::fflush(stdout);
  }
  return true;
}

// The pending job-boundary eject, made before the first line that prints.
bool CountLine() {
  if (ffpending != 0 && didlines == 0) {
    if (Eject("PRINTER_BEGIN", 1)) {
      Fail("PRINTER_BEGIN");
      return false;
    }
    ffpending = 0;
  }
  ++didlines;
  return true;
}

}  // namespace

void JCFile(char* name, int size) {
  if (size <= 0 || name[0] == '\0') return;
  const std::string in(FieldText(name, static_cast<size_t>(size)));
  const std::string out = TempPath("/u/tmp/jis");
  if (out.size() >= static_cast<size_t>(size)) {
    std::printf("ERROR: %s: conversion file name too long: %s\n", XEQNAME, out.c_str());
    std::fflush(stdout);
    return;
  }
  if (!RunFilter(in, out)) return;
  std::memcpy(name, out.c_str(), out.size() + 1);
}

int JCLine(char* text, int size) {
  if (size <= 0) return 0;
  const size_t n = strnlen(text, static_cast<size_t>(size));
  if (n == 0) return 0;
  const std::string tmp = TempPath("/u/tmp/jistmp");
  const std::string out = TempPath("/u/tmp/jis");
  FILE* f = std::fopen(tmp.c_str(), "w");
  if (f == nullptr) return 0;
  std::fwrite(text, 1, n, f);
  std::fclose(f);
  if (!RunFilter(tmp, out)) return 0;
  const int len = CheckFileLen(out.c_str());
  if (len == 0) return 0;
  FILE* g = std::fopen(out.c_str(), "r");
  if (g == nullptr) return 0;
  // A converted text longer than the space for it is cut there.
  const size_t want = std::min(static_cast<size_t>(len), static_cast<size_t>(size) - 1);
  const size_t got = std::fread(text, 1, want, g);
  text[got] = '\0';
  std::fclose(g);
  return 0;
}

int CheckFileLen(const char* path) {
  struct stat st;
  if (::stat(path, &st) != 0) return 0;
  return st.st_size > INT_MAX ? INT_MAX : static_cast<int>(st.st_size);
}

void PrintRequest() {
  const std::string title(FieldText(rmsgp.title, sizeof rmsgp.title));
  std::printf("Start Print: %s on %s\n", title.c_str(), XEQNAME);
  std::fflush(stdout);
  if (SETUPlang == 'K') JCFile(rmsgp.name, sizeof rmsgp.name);
  const std::string name(FieldText(rmsgp.name, sizeof rmsgp.name));
  FILE* f = std::fopen(name.c_str(), "r");
  if (f == nullptr) {
    smsgp.status = ST_DEVICE;
    std::printf("ERROR: %s: unable to open %s\n", XEQNAME, name.c_str());
    std::fflush(stdout);
    return;
  }
  if (SETUPfontSpacingLen != 0 && WRITE(lp, SETUPfontSpacing, SETUPfontSpacingLen)) {
    Fail("FONTSPACING");
  } else if (INITLNct != 0 && FPUTS(INITLN, lp)) {
    Fail("INITLN");
  } else {
    while (std::fgets(Str, kPrintLineRead, f) != nullptr) {
      const int len = MapCodes(Str, kPrintLineLimit, sizeof Str);
      if (len != 0 && !CountLine()) break;
      if (WRITE(lp, Str, len)) {
        Fail("PRINTLINE", name.c_str());
        break;
      }
    }
  }
  std::fclose(f);
  ReopenDevice(false);
  std::printf("End Print: %s on %s\n", title.c_str(), XEQNAME);
  std::fflush(stdout);
}

void PrintLineRequest() {
  if (SETUPfontSpacingLen != 0 && WRITE(lp, SETUPfontSpacing, SETUPfontSpacingLen)) {
    Fail("FONTSPACING");
    return;
  }
  char* text = LineTextPtr(rmsgp);
  if (SETUPlang == 'K') JCLine(text, kLineTextMax);
  const std::string_view line = LineText(rmsgp);
  const bool reset = line == "\\!2FF" || line == "\\!5EJECT";
  int len = 0;
  if (reset) {
    if (lp != nullptr) {
      ReopenDevice(false);
      ffpending = 0;
      didlines = 0;
    }
  } else {
    // The translation works on a copy and comes back cut to the end of the request body
    // (a text that fills the body to its end has no NUL there, as it came).
    char buf[kLineTextMax + 1];
    std::memcpy(buf, line.data(), line.size());
    buf[line.size()] = '\0';
    len = MapCodes(buf, kOneLineLimit, sizeof buf);
    std::memcpy(text, buf, static_cast<size_t>(len) + (len < kLineTextMax ? 1 : 0));
    if (len != 0 && !CountLine()) return;
  }
  if (INITLNct != 0 && FPUTS(INITLN, lp)) {
    Fail("INITLN");
    return;
  }
  if (!reset && WRITE(lp, text, len)) Fail("PRINTLINE");
}

}  // namespace qx5
