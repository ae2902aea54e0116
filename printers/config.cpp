#include "printers/config.hpp"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
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
int DefinitionLoaded = 0;

namespace {

constexpr int kFields = 11;
constexpr int kNeeded = 9;
constexpr int kWordMax = kDefLineRead;  // a word of a line read 98 characters at a time
constexpr const char* kFieldNames[kNeeded] = {"driver",       "code file", "fonts",
                                              "colour",       "feed",      "x resolution",
                                              "y resolution", "time-out",  "serial pause"};

// Where the CONFIG line being taken was read ("path:line"), while DoSETUP runs; null when the
// text came from elsewhere.
const char* lineWhere = nullptr;

// " (path:line)" behind a message about the line being taken, or nothing.
std::string At() {
  return lineWhere != nullptr ? std::string(" (") + lineWhere + ")" : std::string();
}

// "path:line: " in front of a message about the line being taken, or nothing.
std::string WhereFirst() {
  return lineWhere != nullptr ? std::string(lineWhere) + ": " : std::string();
}

const char* BrandName(int brand) {
  return brand == 1 ? "HPPCL" : brand == 2 ? "HPGL" : "EPSON";
}

// The printer runs on without its definition: says how, and answers 0 for ReadCodes.
int NotLoaded() {
  DefinitionLoaded = 0;
  SayFinding(
      "%s: the printer's definition did not load: running as %s at %d x %d dpi without printer "
      "codes; plot requests are refused (status 10), text is printed without printer commands\n",
      XEQNAME, BrandName(SETUPbrand), SETUPxdpi, SETUPydpi);
  return 0;
}

// The quoted name of a CONFIG line, between its first two double quotes; false when it has none.
bool QuotedName(char* line, char** name, size_t* len, char** rest) {
  char* open = std::strchr(line, '"');
  char* close = open ? std::strchr(open + 1, '"') : nullptr;
  if (close == nullptr) return false;
  *name = open + 1;
  *len = static_cast<size_t>(close - open - 1);
  *rest = close + 1;
  return true;
}

// The same name but for case and blanks around it: what a typing mistake gives.
bool NearlySame(const char* quoted, size_t len, const char* name) {
  while (len > 0 && std::isspace(static_cast<unsigned char>(*quoted))) ++quoted, --len;
  while (len > 0 && std::isspace(static_cast<unsigned char>(quoted[len - 1]))) --len;
  return len > 0 && len == std::strlen(name) && strncasecmp(quoted, name, len) == 0;
}

// No line of the CONFIG file read carries the name: says which file was read, a line whose
// name differs only in case or blanks, and a default CONFIG that a user CONFIG hides.
void NoLineFor(const char* name, const std::string& used, int nearLine, const std::string& near) {
  std::string hint;
  if (nearLine > 0)
    hint = "; line " + std::to_string(nearLine) + " carries \"" + near +
           "\": names are compared with their case and blanks";
  const std::string user = DataFilePath("CONFIG", true);
  const std::string deflt = DataFilePath("CONFIG", false);
  if (used == user && ::access(deflt.c_str(), F_OK) == 0)
    hint += "; " + deflt + " is not read while " + user + " exists";
  SayFinding("%s: no line of %s carries the name \"%s\"%s\n", XEQNAME, used.c_str(), name,
             hint.c_str());
}

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
  SayFinding("%s: Unknown %s (%s) - Using %s%s\n", XEQNAME, what, word, fallback, At().c_str());
}

// The fields of a CONFIG line's text into the SETUP values; 0 when the line is refused.
int TakeSetup(const char* text);

}  // namespace

void CopyName(char* dst, size_t cap, const char* src) {
  if (dst == src) return;
  size_t n = strnlen(src, cap - 1);
  std::memmove(dst, src, n);
  dst[n] = '\0';
}

int ReadCodes(const char* name) {
  SetDefaults();
  DefinitionLoaded = 0;
  std::string used;
  FILE* f = OPENDATAFILE("CONFIG", &used);
  if (f == nullptr) return NotLoaded();
  char line[kDefLineRead + 1];
  const size_t nameLen = std::strlen(name);
  const char* text = nullptr;
  int nearLine = 0;
  std::string near;
  DefLines lines{f};
  while (lines.Next(line) != nullptr) {
    if (SkipDefLine(line)) continue;
    DropNewline(line);
    char* quoted = nullptr;
    size_t len = 0;
    char* rest = nullptr;
    if (!QuotedName(line, &quoted, &len, &rest)) continue;
    if (len == nameLen && std::memcmp(quoted, name, nameLen) == 0) {
      text = rest;
      break;
    }
    if (nearLine == 0 && NearlySame(quoted, len, name)) {
      nearLine = lines.lineno;
      near.assign(quoted, len);
    }
  }
  std::fclose(f);
  if (text == nullptr) {
    NoLineFor(name, used, nearLine, near);
    return NotLoaded();
  }
  const std::string where = Where(used.c_str(), lines.lineno);
  if (DoSETUP(text, where.c_str()) == 0) return NotLoaded();
  const int codes = ReadCodeFile(SETUPcode, line);
  GetPageSize(SETUPpaper, 0);
  SetPrinterCodes(line);
  if (codes == 0) return NotLoaded();
  DefinitionLoaded = 1;
  return 1;
}

int DoSETUP(const char* text, const char* where) {
  lineWhere = where;
  const int taken = TakeSetup(text);
  lineWhere = nullptr;
  return taken;
}

namespace {

int TakeSetup(const char* text) {
  char words[5][kWordMax];
  int nums[4] = {0, 0, 0, 0};
  char opt[2][kWordMax] = {"", ""};
  const char* p = text;
  int count = 0;
  while (count < 5 && ScanWord(&p, words[count], kWordMax) != 0) ++count;
  while (count >= 5 && count < 9 && ScanInt(&p, &nums[count - 5])) ++count;
  while (count >= 9 && count < kFields && ScanWord(&p, opt[count - 9], kWordMax) != 0) ++count;
  if (count < kNeeded) {
    SayFinding(
        "%s: Bad CONFIG line: %s\n%s: %sthe %s field is missing or not a number: a CONFIG line "
        "needs driver, code file, fonts, colour, feed, x and y resolution, time-out and serial "
        "pause; the line is not used\n",
        XEQNAME, text, XEQNAME, WhereFirst().c_str(), kFieldNames[count]);
    return 0;
  }
  const size_t codeLen = std::strlen(words[1]);
  if (codeLen >= sizeof SETUPcode) {
    SayFinding(
        "%s: %sthe code file name %s has %zu characters, at most %zu: the line is not used\n",
        XEQNAME, WhereFirst().c_str(), words[1], codeLen, sizeof SETUPcode - 1);
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

}  // namespace

int GetInt(int count, int index, const char* label, const char* text, int* out, int deflt) {
  if (count < index + 9 || text == nullptr) {
    SayFinding("%s: Missing %s - Using %d%s\n", XEQNAME, label, deflt, At().c_str());
    *out = deflt;
    return 1;
  }
  const char* p = text;
  if (!ScanInt(&p, out)) {
    SayFinding("%s: Unknown %s (%s) - Using %d%s\n", XEQNAME, label, text, deflt, At().c_str());
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
