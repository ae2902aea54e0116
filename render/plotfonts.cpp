#include "render/plotfonts.hpp"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "lib/alloc.hpp"
#include "lib/configman.hpp"
#include "lib/dbswitch.hpp"
#include "lib/def_db.hpp"
#include "lib/message.hpp"
#include "render/surface.hpp"

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

XFontSet CreateFontSet(const char* name) {
  char** missing = nullptr;
  int count = 0;
  char* deflt = nullptr;
  XFontSet set = XCreateFontSet(display, name, &missing, &count, &deflt);
  if (set != nullptr && count > 0) {
    for (int i = 0; i < count; i++) Say(" Missing charset: %s\n", missing[i]);
    Say("Printer Default string for missing charsets is: %s\n", deflt ? deflt : "");
  }
  if (missing != nullptr) XFreeStringList(missing);
  return set;
}

bool Loaded(const PlotFontInfo& e) {
  return e.font != nullptr || e.fontset != nullptr;
}

// Loads the entry's font, else the language's default font in its place.
void LoadEntry(PlotFontInfo& e) {
  const char* const tries[] = {e.name, DefaultPtr};
  for (const char* name : tries) {
    if (QX5LANG == kKanji) {
      e.fontset = CreateFontSet(name);
    } else {
      e.font = XLoadQueryFont(display, name);
      if (e.font != nullptr) e.handle = e.font->fid;
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

void ClosePlotFonts() {
  const bool alive = display != nullptr && !DisplayLost();
  for (PlotFontInfo& e : PFI) {
    if (alive && e.fontset != nullptr) XFreeFontSet(display, e.fontset);
    if (alive && e.font != nullptr) XFreeFont(display, e.font);
    e.handle = 0;
    e.font = nullptr;
    e.fontset = nullptr;
    e.failed = 0;
  }
  PFIinit = 0;
}

}  // namespace qx5
