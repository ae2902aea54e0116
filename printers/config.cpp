#include "printers/config.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/devout.hpp"
#include "driver/loop.hpp"
#include "lib/alloc.hpp"
#include "lib/configman.hpp"
#include "lib/message.hpp"
#include "lib/paths.hpp"
#include "printers/codefile.hpp"
#include "printers/datafile.hpp"
#include "printers/paper.hpp"

namespace qx5 {
int SETUPbrand = 0;
char SETUPcode[16];
int SETUPlang = 'E';
int SETUPcolor = 0;
int SETUPfeed = 0;
int SETUPxdpi = 120;
int SETUPydpi = 72;
int SETUPserialnap = 0;
char SETUPpaper[16];
int SETUPpenct = 2;
int SETUPversion = 0;

namespace {

constexpr int kFields = 11;
constexpr int kWordMax = kDefLineRead;  // a word of a line read 98 characters at a time

void SetDefaults() {
  SETUPbrand = 0;
  SETUPlang = 'E';
  SETUPcolor = 0;
  SETUPfeed = 0;
  SETUPxdpi = 120;
  SETUPydpi = 72;
  SETUPeuc_filter[0] = '\0';
  SETUPfontSpacing[0] = '\0';
  SETUPfontSpacingLen = 0;
  PrCmdsCt = 0;
}

// The first letter of word, upper-cased in place.
int FirstLetter(char* word) {
  word[0] = static_cast<char>(DFtoupper(static_cast<unsigned char>(word[0])));
  return word[0];
}

void Unknown(const char* what, const char* word, const char* fallback) {
  Say("%s: Unknown %s (%s) - Using %s\n", XEQNAME, what, word, fallback);
}

}  // namespace

void CopyName(char* dst, size_t cap, const char* src) {
  if (dst == src) return;
  size_t n = strnlen(src, cap - 1);
  std::memmove(dst, src, n);
  dst[n] = '\0';
}

int ReadCodes(const char* name) {
  SetDefaults();
  FILE* f = OPENDATAFILE("CONFIG");
  if (f == nullptr) return 0;
  char line[kDefLineRead + 1];
  const size_t nameLen = std::strlen(name);
  const char* text = nullptr;
  while (std::fgets(line, kDefLineRead, f) != nullptr) {
    if (SkipDefLine(line)) continue;
    size_t len = std::strlen(line);
    if (len > 0) line[len - 1] = '\0';  // the newline, or the last character at end of file
    char* open = std::strchr(line, '"');
    char* close = open ? std::strchr(open + 1, '"') : nullptr;
    if (close == nullptr) continue;
    if (static_cast<size_t>(close - open - 1) == nameLen &&
        std::memcmp(open + 1, name, nameLen) == 0) {
      text = close + 1;
      break;
    }
  }
  std::fclose(f);
  if (text == nullptr || DoSETUP(text) == 0) return 0;
  ReadCodeFile(SETUPcode, line);
  GetPageSize(SETUPpaper, 0);
  SetPrinterCodes(line);
  return 1;
}

int DoSETUP(const char* text) {
  char words[5][kWordMax];
  int nums[4] = {0, 0, 0, 0};
  char opt[2][kWordMax] = {"", ""};
  const char* p = text;
  int count = 0;
  while (count < 5 && ScanWord(&p, words[count], kWordMax) != 0) ++count;
  while (count >= 5 && count < 9 && ScanInt(&p, &nums[count - 5])) ++count;
  while (count >= 9 && count < kFields && ScanWord(&p, opt[count - 9], kWordMax) != 0) ++count;
  if (count < 9) {
    Say("%s: Bad CONFIG line: %s\n", XEQNAME, text);
    return 0;
  }

  char* driver = words[0];
  for (char* c = driver; *c != '\0'; ++c)
    *c = static_cast<char>(DFtoupper(static_cast<unsigned char>(*c)));
  if (std::strcmp(driver, "HPPCL") == 0) {
    SETUPbrand = 1;
  } else if (std::strcmp(driver, "HPGL") == 0) {
    SETUPbrand = 2;
  } else {
    SETUPbrand = 0;
    if (std::strcmp(driver, "EPSON") != 0) Unknown("Driver", driver, "EPSON");
  }
  CopyName(SETUPcode, sizeof SETUPcode, words[1]);

  int fonts = FirstLetter(words[2]);
  SETUPlang = 'E';
  if (fonts == 'K')
    SETUPlang = 'K';
  else if (fonts != 'E')
    Unknown("Fonts", words[2], "English Fonts");
  int color = FirstLetter(words[3]);
  SETUPcolor = color == 'C' ? 1 : 0;
  if (color != 'C' && color != 'B') Unknown("Color", words[3], "Black & White");
  int feed = FirstLetter(words[4]);
  SETUPfeed = feed == 'T' ? 1 : 0;
  if (feed != 'T' && feed != 'S') Unknown("Feed", words[4], "Single Sheet Feed");

  SETUPxdpi = nums[0];
  SETUPydpi = nums[1];
  ALARM_SEC = nums[2] > 30 ? nums[2] : 30;
  SETUPserialnap = nums[3];

  const char* paper = TextConf(69 + 5 * PrinterNumber);
  CopyName(SETUPpaper, sizeof SETUPpaper, paper ? paper : "");

  SETUPversion = 0;
  SETUPpenct = 2;
  if (SETUPbrand == 2) {
    GetInt(count, 1, "Pen Count", opt[0], &SETUPpenct, 2);
    GetInt(count, 2, "HP-GL Version", opt[1], &SETUPversion, 0);
  }
  return 1;
}

int GetInt(int count, int index, const char* label, const char* text, int* out, int deflt) {
  if (count < index + 9 || text == nullptr) {
    Say("%s: Missing %s - Using %d\n", XEQNAME, label, deflt);
    *out = deflt;
    return 1;
  }
  const char* p = text;
  if (!ScanInt(&p, out)) {
    Say("%s: Unknown %s (%s) - Using %d\n", XEQNAME, label, text, deflt);
    *out = deflt;
  }
  return 0;
}

// The file is written whole into a new temporary file beside it and renamed into place: the
// create never follows a link another user planted, never opens an existing file, and
// readers always see a whole file. A link at the file's own name is replaced, not followed.
int WritePrinterSetupData() {
  char fixed[32];
  std::snprintf(fixed, sizeof fixed, "/u/tmp/P%d", PrinterNumber + 1);
  const std::string path = RootPath(fixed);
  std::string tmp = path + ".XXXXXX";
  const int fd = ::mkostemp(tmp.data(), O_CLOEXEC | O_NOFOLLOW);  // and O_CREAT | O_EXCL
  if (fd < 0) return 0;
  ::fchmod(fd, 0644);
  FILE* f = ::fdopen(fd, "w");
  if (f == nullptr) {
    ::close(fd);
    ::unlink(tmp.c_str());
    return 0;
  }
  std::fprintf(f, "%s\n", XEQNAME);
  std::fprintf(f, "%s %d %d %d\n", SETUPcode, SETUPbrand, SETUPlang, SETUPcolor);
  std::fprintf(f, "%s %d %d %d\n", SETUPpaper, SETUPxdpi, SETUPydpi, SETUPfeed);
  const bool written = std::fflush(f) == 0 && std::ferror(f) == 0;
  if (std::fclose(f) != 0 || !written || ::rename(tmp.c_str(), path.c_str()) != 0)
    ::unlink(tmp.c_str());
  return 0;
}

}  // namespace qx5
