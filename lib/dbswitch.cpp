#include "lib/dbswitch.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "lib/alloc.hpp"
#include "lib/configman.hpp"
#include "lib/dataline.hpp"
#include "lib/def_db.hpp"
#include "lib/message.hpp"
#include "lib/paths.hpp"

namespace qx5 {
char* swtext = nullptr;
char* swtextENG = nullptr;
char* sw = nullptr;
int NumberSwitches = 0;
int SWITCHCURRLANG = 0;
int iswitch = 0;
char* PlotColors = nullptr;
int PlotColorsCt = 0;
char* PlotColorsENG = nullptr;
int PlotColorsCtENG = 0;
char* PaperSize = nullptr;
int PaperSizeCt = 0;
char* PaperSizeENG = nullptr;
int PaperSizeCtENG = 0;
char PlotName[100];
char jtext[200];
const char Empty[1] = "";

namespace {

constexpr int kRecord = 25;  // one text: at most 24 characters and the NUL
constexpr int kNoMemory = -22;
constexpr int kColorsFirst = 5000;
constexpr int kPapersFirst = 6000;
constexpr int kColorSwitch = 318;  // first of the 9 default colour names
constexpr int kDefaultColors = 9;
constexpr int kMaxColors = 150;
constexpr int kMaxPapers = 30;
constexpr int kListLine = 199;  // list lines are read with at most 198 characters
// The 16-bit index addresses at most 32767 text records; more of a text file is never read.
constexpr int kMaxTextBytes = 32767 * kRecord;
constexpr int kMaxIndexBytes = 1 << 20;
const char kEnglishFile[] = "/u/qx5/database/eswitch.data";

int swtextSize = 0;
int swtextENGSize = 0;

// Reads a whole database file (at most max bytes of it) into a new block. 0 when read or
// missing (a message names a missing file; the block stays null), -22 when no memory.
int LoadDbFile(const char* fixed, const char* tag, int max, char** block, int* size) {
  *block = nullptr;
  *size = 0;
  const std::string path = RootPath(fixed);
  struct stat st;
  FILE* f = nullptr;
  if (::stat(path.c_str(), &st) == 0) f = DFfopen("InitSwitchDb", path.c_str(), "r");
  if (f == nullptr) {
    SayFinding("%s: Missing switch file: %s (%s: its texts are empty)\n", XEQNAME, path.c_str(),
               Reason(errno));
    return 0;
  }
  const int want = st.st_size < max ? static_cast<int>(st.st_size) : max;
  if (want > 0) {
    *block = static_cast<char*>(DFmalloc("InitSwitchDb", tag, want));
    if (*block == nullptr) {
      DFfclose("InitSwitchDb", f);
      return kNoMemory;
    }
    *size = static_cast<int>(std::fread(*block, 1, static_cast<size_t>(want), f));
  }
  DFfclose("InitSwitchDb", f);
  return 0;
}

// Each text ends within its record, however long the text in the file.
void TerminateRecords(char* text, int size) {
  for (int end = kRecord; end <= size; end += kRecord) text[end - 1] = '\0';
}

// Text record k (from 1) of a text file, or Empty when the file has no such record.
const char* TextRecord(const char* text, int size, int k) {
  if (text == nullptr || k < 1 || k > size / kRecord) return Empty;
  return text + kRecord * (k - 1);
}

// Entry i of the index: a 16-bit signed little-endian record number.
int IndexEntry(int i) {
  const auto* p = reinterpret_cast<const unsigned char*>(sw) + 2 * i;
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

const char* Lookup(int n, const char* text, int size, const char* colors, int colorsCt,
                   const char* papers, int papersCt) {
  if (n >= 1 && n <= NumberSwitches) return TextRecord(text, size, IndexEntry(n - 1));
  if (colors != nullptr && n >= kColorsFirst && n < kColorsFirst + colorsCt)
    return colors + kRecord * (n - kColorsFirst);
  if (papers != nullptr && n >= kPapersFirst && n < kPapersFirst + papersCt)
    return papers + kRecord * (n - kPapersFirst);
  return Empty;
}

// List names are cut to the 24 characters of their record.
void StoreName(char* list, int entry, const char* name) {
  char* record = list + kRecord * entry;
  const size_t len = strnlen(name, kRecord - 1);
  std::memcpy(record, name, len);
  record[len] = '\0';
}

bool SkippedListLine(const char* line) {
  return line[0] == '!' || line[0] == '\n' || line[0] == '\r';
}

void FreeList(char** list, int* count) {
  DFfree("CloseSwitchDb", "*PC", *list);
  *list = nullptr;
  *count = 0;
}

// The language code, where codes without a language letter count as English.
int CurrentLanguage() {
  const int code = IntConf(0);
  return LangLetter(code) == LangLetter(0) ? 0 : code;
}

}  // namespace

FILE* OpenUserOrDefault(const char* dir, const char* name, std::string* tried) {
  static const char* const kTrees[] = {"/u/qx5/usr_data/", "/u/qx5/def_data/"};
  for (const char* tree : kTrees) {
    *tried = RootPath(std::string(tree) + dir + "/" + name);
    FILE* f = DFfopen("OpenUserOrDefault", tried->c_str(), "r");
    if (f != nullptr) return f;
  }
  return nullptr;
}

int ReadTextLine(FILE* f, char* buf, int size) {
  if (ReadDataLine(buf, size, f) == nullptr) return 0;
  const size_t len = std::strlen(buf);
  if (len > 0 && len + 1 == static_cast<size_t>(size) && buf[len - 1] != '\n') {
    int c;
    while ((c = std::fgetc(f)) != EOF && c != '\n') {
    }
  }
  return 1;
}

void CloseSwitchDb() {
  DFfree("CloseSwitchDb", "swtext", swtext);
  DFfree("CloseSwitchDb", "swtextENG", swtextENG);
  DFfree("CloseSwitchDb", "sw", sw);
  swtext = swtextENG = sw = nullptr;
  swtextSize = swtextENGSize = 0;
  NumberSwitches = 0;
  FreeList(&PlotColors, &PlotColorsCt);
  FreeList(&PlotColorsENG, &PlotColorsCtENG);
  FreeList(&PaperSize, &PaperSizeCt);
  FreeList(&PaperSizeENG, &PaperSizeCtENG);
  SWITCHCURRLANG = 0;
  iswitch = 0;
}

int InitSwitchDb() {
  if (iswitch) return 0;
  CloseSwitchDb();
  int indexSize = 0;
  if (LoadDbFile(GetLangDb("_switch.data"), "swtext", kMaxTextBytes, &swtext, &swtextSize) != 0 ||
      LoadDbFile(GetLangDb("DBswitch.data"), "sw", kMaxIndexBytes, &sw, &indexSize) != 0) {
    CloseSwitchDb();
    return kNoMemory;
  }
  TerminateRecords(swtext, swtextSize);
  NumberSwitches = indexSize / 2;
  SWITCHCURRLANG = CurrentLanguage();
  if (SWITCHCURRLANG != 0) {
    if (LoadDbFile(kEnglishFile, "swtextENG", kMaxTextBytes, &swtextENG, &swtextENGSize) != 0) {
      CloseSwitchDb();
      return kNoMemory;
    }
    TerminateRecords(swtextENG, swtextENGSize);
  }

  std::snprintf(PlotName, sizeof PlotName, "_plotcolors");
  GetLang(PlotName);
  ReadPlotColorSwitches(&PlotColors, &PlotColorsCt, 1);
  if (SWITCHCURRLANG != 0) {
    std::snprintf(PlotName, sizeof PlotName, "eplotcolors");
    ReadPlotColorSwitches(&PlotColorsENG, &PlotColorsCtENG, 0);
  }
  ReadPaperSizeSwitches(&PaperSize, &PaperSizeCt);
  if (SWITCHCURRLANG != 0) ReadPaperSizeSwitches(&PaperSizeENG, &PaperSizeCtENG);
  iswitch = 1;
  return 0;
}

const char* GetSwitch(int n) {
  return Lookup(n, swtext, swtextSize, PlotColors, PlotColorsCt, PaperSize, PaperSizeCt);
}

const char* GetSwitchENG(int n) {
  if (SWITCHCURRLANG == 0) return Empty;
  return Lookup(n, swtextENG, swtextENGSize, PlotColorsENG, PlotColorsCtENG, PaperSizeENG,
                PaperSizeCtENG);
}

const char* GetSwitchANY(int n) {
  const char* t = GetSwitch(n);
  if ((t[0] == '\0' || std::strcmp(t, ".") == 0) && SWITCHCURRLANG != 0) return GetSwitchENG(n);
  return t;
}

void ReadPlotColorSwitches(char** list, int* count, int current) {
  *list = nullptr;
  *count = 0;
  std::string tried;
  FILE* f = OpenUserOrDefault("misc", PlotName, &tried);
  if (f == nullptr) {
    *list = static_cast<char*>(DFmalloc("ReadPlotColorSwitches", "*PC", kDefaultColors * kRecord));
    if (*list == nullptr) return;
    for (int i = 0; i < kDefaultColors; i++) StoreName(*list, i, GetSwitch(kColorSwitch + i));
    *count = kDefaultColors;
    return;
  }
  *list = static_cast<char*>(DFmalloc("ReadPlotColorSwitches", "*PC", kMaxColors * kRecord));
  if (*list == nullptr) {
    DFfclose("ReadPlotColorSwitches", f);
    return;
  }
  StoreName(*list, 0, current ? GetSwitch(kColorSwitch) : GetSwitchENG(kColorSwitch));
  int n = 1;
  char name[kListLine];
  char third[kListLine];
  int number;
  while (n < kMaxColors && ReadTextLine(f, jtext, kListLine)) {
    if (SkippedListLine(jtext)) continue;
    if (std::sscanf(jtext, "%d %198s %198s", &number, name, third) != 3) continue;
    StoreName(*list, n++, name);
  }
  DFfclose("ReadPlotColorSwitches", f);
  *count = n;
}

void ReadPaperSizeSwitches(char** list, int* count) {
  *list = nullptr;
  *count = 0;
  std::string tried;
  FILE* f = OpenUserOrDefault("printers", "PAPER", &tried);
  if (f == nullptr) {
    *list = static_cast<char*>(DFmalloc("ReadPaperSizeSwitches", "*PC", kRecord));
    if (*list == nullptr) return;
    StoreName(*list, 0, "A");
    *count = 1;
    return;
  }
  *list = static_cast<char*>(DFmalloc("ReadPaperSizeSwitches", "*PC", kMaxPapers * kRecord));
  if (*list == nullptr) {
    DFfclose("ReadPaperSizeSwitches", f);
    return;
  }
  int n = 0;
  char name[kListLine];
  while (n < kMaxPapers && ReadTextLine(f, jtext, kListLine)) {
    if (SkippedListLine(jtext)) continue;
    if (std::sscanf(jtext, "%198s", name) != 1) continue;
    StoreName(*list, n++, name);
  }
  DFfclose("ReadPaperSizeSwitches", f);
  *count = n;
}

}  // namespace qx5
