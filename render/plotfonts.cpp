#include "render/plotfonts.hpp"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lib/alloc.hpp"
#include "lib/configman.hpp"
#include "lib/dbswitch.hpp"
#include "lib/def_db.hpp"
#include "lib/message.hpp"
#include "render/surface.hpp"
#include "render/xwait.hpp"

namespace qx5 {
PlotFontInfo PFI[40];
int PFIinit = 0;
const char* DefaultFontE = "-*-courier-bold-o-normal-*-14-*-iso8859-1";
const char* DefaultFontK = "-*-fixed-medium-r-normal--14-*";
const char* DefaultPtr = DefaultFontE;

namespace {

constexpr int kKanji = 6;
constexpr int kEntries = sizeof PFI / sizeof PFI[0];
constexpr int kStandard = 24;       // entries 0 to 23; the rest are user fonts
constexpr int kAliasSwitch = 561;   // switch text of entry 0's alias
constexpr int kFontsFileLine = 99;  // lines are read with at most 98 characters
constexpr int kPatternMarks = 3;    // "-" or "*" characters that make an X font name

struct StandardName {
  int entry;
  const char* lower;
  const char* upper;
  bool exact;  // no "F" form
};

// In the order the names are tried.
const StandardName kNames[] = {
    {4, "9x15", "9X15", true},    {2, "8x13", "8X13", true},      {0, "6x10", "6X10", true},
    {1, "6x10S", "6X10S", false}, {3, "8x13S", "8X13S", false},   {5, "9x15S", "9X15S", false},
    {6, "9x15B", "9X15B", false}, {7, "9x15BS", "9X15BS", false}, {8, "18", "18", false},
    {9, "18S", "18S", false},     {10, "18B", "18B", false},      {11, "18BS", "18BS", false},
    {12, "20", "20", false},      {13, "20S", "20S", false},      {14, "20B", "20B", false},
    {15, "20BS", "20BS", false},  {16, "24", "24", false},        {17, "24S", "24S", false},
    {18, "24B", "24B", false},    {19, "24BS", "24BS", false},    {20, "34", "34", false},
    {21, "34S", "34S", false},    {22, "34B", "34B", false},      {23, "34BS", "34BS", false},
};

void ClearEntry(PlotFontInfo& e, const char* alias) {
  e.name[0] = '\0';
  e.alias = alias;
  e.handle = 0;
  e.font = nullptr;
  e.fontset = nullptr;
  e.failed = 0;
}

void SetName(PlotFontInfo& e, const char* name) {
  std::snprintf(e.name, sizeof e.name, "%s", name);
}

// Reads the names of the standard entries; the number of entries filled.
int ReadPlotFontsFile(char letter) {
  char file[16];
  std::snprintf(file, sizeof file, "%cplotfonts", letter);
  std::string tried;
  FILE* f = OpenUserOrDefault("misc", file, &tried);
  if (f == nullptr) {
    SayFinding("\nMissing plot fonts file: %s\nUsing default font: %s\n", tried.c_str(),
               DefaultPtr);
    return 0;
  }
  int n = 0;
  char line[kFontsFileLine];
  while (n < kStandard && ReadTextLine(f, line, sizeof line)) {
    if (line[0] == '!') continue;
    line[std::strcspn(line, "\n")] = '\0';
    SetName(PFI[n++], line);
  }
  DFfclose("InitPlotFonts", f);
  return n;
}

// Fonts and font sets loaded on the display connection, by name, kept for the plots that
// follow until the connection goes. A name that loads nothing is kept too, as a null.
struct CachedFont {
  std::string name;
  bool kanji;
  XFontStruct* font;
  XFontSet fontset;
  std::vector<std::string> missing;  // charsets the server lacks for the font set
  std::string missingDefault;        // what it draws for them
  unsigned long plot;                // the plot that used it last
};

constexpr size_t kCacheKept = 64;  // fonts kept from earlier plots, at most
std::vector<CachedFont> cache;
unsigned long plotNumber = 0;

void FreeCached(CachedFont& c) {
  if (c.fontset != nullptr) XFreeFontSet(display, c.fontset);
  if (c.font != nullptr) XFreeFont(display, c.font);
}

void CreateFontSet(CachedFont& c) {
  char** missing = nullptr;
  int count = 0;
  char* deflt = nullptr;
  {
    XWait wait(display, "loading a font");
    c.fontset = XCreateFontSet(display, c.name.c_str(), &missing, &count, &deflt);
  }
  if (c.fontset != nullptr)
    for (int i = 0; i < count; i++) c.missing.emplace_back(missing[i]);
  if (deflt != nullptr) c.missingDefault = deflt;
  if (missing != nullptr) XFreeStringList(missing);
}

CachedFont& Cached(const char* name) {
  const bool kanji = QX5LANG == kKanji;
  for (CachedFont& c : cache) {
    if (c.kanji == kanji && c.name == name) {
      c.plot = plotNumber;
      return c;
    }
  }
  cache.push_back({name, kanji, nullptr, nullptr, {}, {}, plotNumber});
  CachedFont& c = cache.back();
  if (kanji) {
    CreateFontSet(c);
  } else {
    XWait wait(display, "loading a font");
    c.font = XLoadQueryFont(display, name);
  }
  return c;
}

bool Loaded(const PlotFontInfo& e) {
  return e.font != nullptr || e.fontset != nullptr;
}

// Gives the entry its font, else the language's default font in its place.
void LoadEntry(PlotFontInfo& e) {
  const char* const tries[] = {e.name, DefaultPtr};
  for (const char* name : tries) {
    const CachedFont& c = Cached(name);
    e.font = c.font;
    e.fontset = c.fontset;
    if (c.font != nullptr) e.handle = c.font->fid;
    if (c.fontset != nullptr && !c.missing.empty()) {
      for (const std::string& m : c.missing) Say(" Missing charset: %s\n", m.c_str());
      Say("Printer Default string for missing charsets is: %s\n", c.missingDefault.c_str());
    }
    if (Loaded(e)) return;
  }
  e.failed = 1;
  Say("ERROR: %s: cannot load the plot font %s nor the default font %s\n", XEQNAME, e.name,
      DefaultPtr);
}

}  // namespace

void InitPlotFonts() {
  if (PFIinit) return;
  ++plotNumber;
  QX5LANG = IntConf(0);
  std::setlocale(LC_ALL, "english");
  if (QX5LANG == kKanji) {
    Say("%s: setlocale for KANJI\n", "InitPlotFonts");
    std::setlocale(LC_COLLATE, "ja_JP.EUC");
    if (std::setlocale(LC_CTYPE, "ja_JP.EUC") == nullptr)
      SayFinding("%s: the locale ja_JP.EUC is not installed: Kanji text is drawn as single bytes\n",
                 XEQNAME);
  }
  InitSwitchDb();
  for (int i = 0; i < kStandard; i++) ClearEntry(PFI[i], GetSwitchANY(kAliasSwitch + i));
  DefaultPtr = QX5LANG == kKanji ? DefaultFontK : DefaultFontE;
  for (int i = ReadPlotFontsFile(LangLetter(QX5LANG)); i < kStandard; i++)
    SetName(PFI[i], DefaultPtr);
  for (int i = kStandard; i < kEntries; i++) ClearEntry(PFI[i], PFI[i].name);
  PFIinit = 1;
}

int CheckFontNames(const char* name, const char* lower, const char* upper) {
  if (std::strcmp(name, lower) == 0 || std::strcmp(name, upper) == 0) return 1;
  if (name[0] == 'F' && (std::strcmp(name + 1, lower) == 0 || std::strcmp(name + 1, upper) == 0))
    return 1;
  return 0;
}

int GetPFIindex(const char* name) {
  if (name == nullptr) return 0;
  for (int i = 0; i < kEntries; i++) {
    if (PFI[i].alias != nullptr && std::strcmp(PFI[i].alias, name) == 0) return i;
  }
  for (const StandardName& s : kNames) {
    const bool match = s.exact ? std::strcmp(name, s.lower) == 0 || std::strcmp(name, s.upper) == 0
                               : CheckFontNames(name, s.lower, s.upper) != 0;
    if (match) return s.entry;
  }
  int marks = 0;
  for (const char* p = name; *p != '\0'; p++) marks += *p == '-' || *p == '*';
  // Fewer marks is no X font name; a longer name than the field holds is refused.
  if (marks < kPatternMarks || std::strlen(name) >= sizeof PFI[0].name) return 0;
  for (int i = kStandard; i < kEntries; i++) {
    if (PFI[i].name[0] == '\0') {
      SetName(PFI[i], name);
      PFI[i].alias = PFI[i].name;
      return i;
    }
  }
  return 0;
}

PlotFontInfo* GetPlotFont(const char* name) {
  if (!SurfaceReady()) return nullptr;
  PlotFontInfo& e = PFI[GetPFIindex(name)];
  if (!Loaded(e) && !e.failed) LoadEntry(e);
  return Loaded(e) ? &e : nullptr;
}

// The entries only point into the cache: the fonts stay loaded. Beyond kCacheKept fonts,
// those this plot did not use are freed.
void ClosePlotFonts() {
  for (PlotFontInfo& e : PFI) {
    e.handle = 0;
    e.font = nullptr;
    e.fontset = nullptr;
    e.failed = 0;
  }
  PFIinit = 0;
  if (cache.size() <= kCacheKept) return;
  std::erase_if(cache, [](CachedFont& c) {
    if (c.plot == plotNumber) return false;
    FreeCached(c);
    return true;
  });
}

void DropFontCache() {
  for (CachedFont& c : cache) FreeCached(c);
  cache.clear();
}

}  // namespace qx5
