#include "printers/codefile.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "lib/message.hpp"
#include "printers/config.hpp"
#include "printers/datafile.hpp"

namespace qx5 {
PrCmd PrCmds[kMaxCmds];
int PrCmdsCt = 0;
char HASPCL[kCodeMax];
int HASPCLct = 0;
char INITLN[kCodeMax];
int INITLNct = 0;
char MAPLF[kCodeMax];
int MAPLFct = 0;
char RESET[kCodeMax];
int RESETct = 0;
char EJECT[kCodeMax];
int EJECTct = 0;
char CR[kCodeMax];
int CRct = 0;
char FF[kCodeMax];
int FFct = 0;
char PORT[kCodeMax];
int PORTct = 0;
char GREND[kCodeMax];
int GRENDct = 0;
char GRS[10][kCodeMax];
int GRSct[10];
char GRSRW[kCodeMax];
int GRSRWct = 0;
char GRSDPI[kCodeMax];
int GRSDPIct = 0;
char GRSMOD[kCodeMax];
int GRSMODct = 0;
char GRSDIV[kCodeMax];
int GRSDIVct = 0;
char COMPRESS[kCodeMax];
int COMPRESSct = 0;
char VECTORS[kCodeMax];
int VECTORSct = 0;
char SETUPeuc_filter[80];
char SETUPfontSpacing[kCodeMax];
int SETUPfontSpacingLen = 0;

namespace {

constexpr char kReload[] = "ReadCodeFile";
constexpr size_t kReloadLen = sizeof kReload - 1;

// Where the code file line being read lies ("path:line").
std::string lineWhere;

// A line the reader refuses, with the reader's own words, the line itself and, on a line of
// its own, where it is and why.
void Complain(const char* what, const char* line, const char* why) {
  const size_t len = std::strlen(line);
  const char* end = len > 0 && line[len - 1] == '\n' ? "" : "\n";  // a piece of a long line
  SayFinding("%s: %s\n%s%s%s: %s: %s\n", XEQNAME, what, line, end, XEQNAME, lineWhere.c_str(), why);
}

// Something wrong with a line that is still used: where, what, and what is done instead.
void Warn(const char* name, const std::string& why) {
  SayFinding("%s: %s: %s: %s\n", XEQNAME, lineWhere.c_str(), name, why.c_str());
}

// The word at p that stopped a scan of byte values, for a message.
std::string BadWord(const char* p) {
  while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
  const char* end = p;
  while (*end != '\0' && !std::isspace(static_cast<unsigned char>(*end))) ++end;
  return std::string(p, static_cast<size_t>(end - p));
}

// Binary mode: decimal byte values up to the first word that is none (left at *p). A value
// outside 0 to 255 is stored as its low byte, and said.
int ScanBytes(const char** p, const char* name, unsigned char* codes) {
  int nc = 0;
  int v;
  while (nc < kCodeBytes && ScanInt(p, &v)) {
    if (v < 0 || v > 255)
      Warn(name, std::to_string(v) + " is not a byte value (0 to 255): its low byte " +
                     std::to_string(v & 0xFF) + " is used");
    codes[nc++] = static_cast<unsigned char>(v & 0xFF);
  }
  return nc;
}

// One command line of the code file: name, count, then the code bytes (decimal values in
// binary mode, the characters themselves in ASCII mode).
void ParseCmdLine(const char* line, bool binary) {
  const char* p = line;
  char word[kDefLineRead];
  size_t wlen = ScanWord(&p, word, sizeof word);
  int count = 0;
  unsigned char codes[kCodeBytes];
  int nc = 0;
  int n = 0;
  if (wlen != 0) {
    n = 1;
    if (ScanInt(&p, &count)) {
      n = 2;
      if (binary) {
        nc = ScanBytes(&p, word, codes);
      } else {
        while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
        while (nc < kCodeBytes && *p != '\0') codes[nc++] = static_cast<unsigned char>(*p++);
      }
      n += nc;
    }
  }
  if (n < 3) {
    std::string why = "no command name";
    if (n == 1) why = std::string(word) + ": no byte count after the name";
    if (n == 2 && binary && BadWord(p).empty())
      why = std::string(word) + ": no code bytes after the count";
    if (n == 2 && binary && !BadWord(p).empty())
      why = std::string(word) + ": " + BadWord(p) + " is not a byte value (0 to 255, in decimal)";
    if (n == 2 && !binary) why = std::string(word) + ": no code characters after the count";
    return Complain("Unknown String", line, (why + ": the line is skipped").c_str());
  }
  if (wlen >= sizeof PrCmds[0].name) {
    const std::string why = std::string(word) + " has " + std::to_string(wlen) +
                            " characters, at most 9: the line is skipped";
    return Complain("Cmd too long (9 characters max)", line, why.c_str());
  }
  if (count == 0) return;
  if (count < 0)
    return Warn(word,
                "the byte count " + std::to_string(count) + " is negative: the line is skipped");
  if (count > nc && binary && !BadWord(p).empty())
    return Warn(word,
                BadWord(p) + " is not a byte value (0 to 255, in decimal): the line is skipped");
  if (count > nc)
    Warn(word, "the count is " + std::to_string(count) + " but " + std::to_string(nc) +
                   (binary ? " code bytes are" : " code characters (the newline counted) are") +
                   " given: the command stands for the " + std::to_string(nc) + " given");
  if (!std::isdigit(static_cast<unsigned char>(word[0])))
    Warn(word, "the name does not begin with its length digit (" +
                   std::to_string(std::min<size_t>(wlen, 9)) + word + "): no escape reaches it");
  PrCmd& c = PrCmds[PrCmdsCt++];
  // A fresh entry, never left over from an earlier load; a command stands for no more bytes
  // than its line gives and its entry holds.
  std::memset(&c, 0, sizeof c);
  std::memcpy(c.name, word, wlen + 1);
  c.count = static_cast<unsigned char>(std::min({count, nc, kCodeBytes}));
  std::memcpy(c.codes, codes, static_cast<size_t>(nc));
}

// The first command whose name begins with the k characters of key (fewer when the line
// ended inside the escape).
const PrCmd* FindCmd(const char* key, size_t k) {
  for (int i = 0; i < PrCmdsCt; ++i)
    if (std::strncmp(key, PrCmds[i].name, k) == 0) return &PrCmds[i];
  return nullptr;
}

// The length of the escape that begins at p (a backslash, "!", a digit n, then n name
// characters: n + 3), or 0 when none begins there; avail bytes can be looked at.
size_t EscapeLength(const char* p, size_t avail) {
  if (avail < 3 || p[0] != '\\' || p[1] != '!' || !std::isdigit(static_cast<unsigned char>(p[2])))
    return 0;
  return static_cast<size_t>(p[2] - '0') + 3;
}

// The translation of MapCodes over len bytes of line (NUL bytes are text as well); reload says
// whether a line that becomes "ReadCodeFile" reloads the code file.
int Translate(char* line, size_t len, size_t cap, bool reload) {
  if (cap == 0) return 0;
  char work[kMapWork];
  const size_t limit = std::min(sizeof work, cap - 1);
  size_t out = 0;
  size_t pos = 0;
  while (pos < len && out < limit) {
    if (EscapeLength(line + pos, len - pos) != 0) {
      const size_t k = static_cast<size_t>(line[pos + 2] - '0') + 1;
      char key[11];
      const size_t avail = std::min(k, len - pos - 2);
      std::memcpy(key, line + pos + 2, avail);
      key[avail] = '\0';
      if (const PrCmd* c = FindCmd(key, k)) {
        const size_t take = std::min<size_t>(c->count, limit - out);
        std::memcpy(work + out, c->codes, take);
        out += take;
      }
      pos += k + 2;
    } else {
      work[out++] = line[pos++];
    }
  }
  std::memcpy(line, work, out);
  line[out] = '\0';
  if (reload && out == kReloadLen && std::memcmp(work, kReload, kReloadLen) == 0) {
    Say("Reading code file again: %s\n", SETUPcode);
    if (ReadCodeFile(SETUPcode, work) == 0) DefinitionLoaded = 0;
    SetPrinterCodes(work);
    line[0] = '\0';
    return 0;
  }
  return static_cast<int>(out);
}

}  // namespace

int ReadCodeFile(const char* name, char* line) {
  PrCmdsCt = 0;
  std::string used;
  FILE* f = OPENDATAFILE(name, &used);
  if (f == nullptr) return 0;
  bool binary = false;
  DefLines lines{f};
  while (lines.Next(line) != nullptr) {
    if (SkipDefLine(line)) continue;
    lineWhere = Where(used.c_str(), lines.lineno);
    if (std::strncmp(line, "?ASCII", 6) == 0) {
      binary = false;
      continue;
    }
    if (std::strncmp(line, "?BINARY", 7) == 0) {
      binary = true;
      continue;
    }
    if (PrCmdsCt >= kMaxCmds) {
      Complain("Too many cmds. This cmd to EOF will be ignored:", line,
               "the table holds 200 commands: the rest of the file is not read");
      break;
    }
    ParseCmdLine(line, binary);
  }
  std::fclose(f);
  return 1;
}

int MapCodes(char* line, int maxlen, size_t cap) {
  return Translate(line, maxlen > 0 ? strnlen(line, static_cast<size_t>(maxlen)) : 0, cap, true);
}

int MapBytes(char* line, size_t len, size_t cap) {
  return Translate(line, len, cap, true);
}

size_t WholeEscapes(const char* text, size_t len) {
  size_t pos = 0;
  while (pos < len) {
    if (text[pos] == '\\' && (pos + 1 == len || (text[pos + 1] == '!' && pos + 2 == len)))
      return pos;  // the first bytes of what may be an escape
    const size_t k = EscapeLength(text + pos, len - pos);
    if (k > len - pos) return pos;
    pos += k != 0 ? k : 1;
  }
  return len;
}

// The code that an escape stands for, into dst (cap bytes); never reloads.
static int LookUp(const char* escape, char* dst, int* len, size_t cap) {
  std::snprintf(dst, cap, "%s", escape);
  *len = Translate(dst, strnlen(dst, kCodeMax), cap, false);
  return *len;
}

int GetConstants(const char* name, char* dst, int* len, size_t cap) {
  char escape[kCodeMax];
  std::snprintf(escape, sizeof escape, "\\!%d%s", static_cast<int>(std::strlen(name)), name);
  return LookUp(escape, dst, len, cap);
}

int SetPrinterCodes(char* scratch) {
  struct Code {
    const char* name;
    char* dst;
    int* len;
  };
  const Code fixed[] = {{"HASPCL", HASPCL, &HASPCLct},
                        {"INITLN", INITLN, &INITLNct},
                        {"MAPLF", MAPLF, &MAPLFct},
                        {"RESET", RESET, &RESETct},
                        {"EJECT", EJECT, &EJECTct},
                        {"CR", CR, &CRct},
                        {"FF", FF, &FFct},
                        {"PORT", PORT, &PORTct},
                        {"GREND", GREND, &GRENDct}};
  for (const Code& c : fixed) GetConstants(c.name, c.dst, c.len);
  // The graphics start strings are used up to the first absent one.
  bool ended = false;
  for (int i = 0; i < 10; ++i) {
    if (!ended) {
      // Written as 7GRS[0] to 7GRS[9] in the code file: the lookup text ends after "]", so
      // the length digit one above the name's own length still matches.
      std::snprintf(scratch, kCodeMax, "\\!7GRS[%d]", i);
      ended = LookUp(scratch, GRS[i], &GRSct[i], kCodeMax) == 0;
    }
    if (ended) {
      GRSct[i] = 0;
      GRS[i][0] = '\0';
    }
  }
  const Code raster[] = {{"GRSRW", GRSRW, &GRSRWct},          {"GRSDPI", GRSDPI, &GRSDPIct},
                         {"GRSMOD", GRSMOD, &GRSMODct},       {"GRSDIV", GRSDIV, &GRSDIVct},
                         {"COMPRESS", COMPRESS, &COMPRESSct}, {"VECTORS", VECTORS, &VECTORSct}};
  for (const Code& c : raster) GetConstants(c.name, c.dst, c.len);
  if (COMPRESSct != 0 && CompressionMode() == 0) {
    Say("%s: 8COMPRESS takes one byte, 2 or 3: raster rows are sent uncompressed\n", XEQNAME);
  }
  if (SETUPlang == 'K') {
    int filterLen = 0;
    GetConstants("FILTER", SETUPeuc_filter, &filterLen, sizeof SETUPeuc_filter);
    GetConstants("FSPACE", SETUPfontSpacing, &SETUPfontSpacingLen);
  }
  return 1;
}

int CompressionMode() {
  if (COMPRESSct != 1) return 0;
  switch (COMPRESS[0]) {
    case 2:
    case '2':
      return 2;
    case 3:
    case '3':
      return 3;
    default:
      return 0;
  }
}

bool VectorPlots() {
  return SETUPbrand == 2 && VECTORSct == 1 && (VECTORS[0] == 1 || VECTORS[0] == '1');
}

}  // namespace qx5
