#include "lib/configman.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "lib/alloc.hpp"
#include "lib/message.hpp"
#include "lib/paths.hpp"

namespace qx5 {
unsigned char* conf = nullptr;
int st_size = 0;
int MAXENTRY = 0;
char AnyTextConf[40];
const char* NullString = "";
char LongTextConf[kRecordSize + 1];

namespace {

constexpr const char* kSysgen = "/u/qx5/sys_data/files/sysgen.bin";
constexpr int kLanguageKey = 0;
constexpr int kLastLanguage = 8;

struct IntDefault {
  int key;
  int value;
};
constexpr IntDefault kIntDefaults[] = {
    {53, 4}, {54, 0}, {57, 0}, {58, 4}, {59, 1}, {60, 2}, {61, 0}, {62, 0}, {63, 0}, {64, 0},
    {65, 1}, {66, 0}, {67, 2}, {68, 2}, {70, 0}, {71, 0}, {72, 2}, {73, 2}, {75, 0}, {76, 0},
    {77, 2}, {78, 2}, {80, 0}, {81, 1}, {82, 1}, {83, 1}, {84, 2}, {85, 2}, {86, 0}, {95, 1},
};

struct TextDefault {
  int key;
  const char* text;
};
constexpr TextDefault kTextDefaults[] = {
    {56, "14"},    {69, "A"},      {74, "A"},         {79, "A"},     {87, "BLACK"},
    {88, "WHITE"}, {89, "GREEN"},  {90, "RED"},       {91, "GREEN"}, {92, "WHITE"},
    {93, "RED"},   {94, "YELLOW"}, {96, "colors.RI"},
};

unsigned char* Record(int key) {
  return conf + static_cast<size_t>(key) * kRecordSize;
}

bool HasRecord(int key) {
  return conf != nullptr && key >= 0 && key < MAXENTRY;
}

// A language other than English counts only when its switch-text file is installed.
bool LanguageInstalled(int code) {
  if (code < 1 || code > kLastLanguage) return false;
  char fixed[64];
  std::snprintf(fixed, sizeof fixed, "/u/qx5/database/%cswitch.data", 'e' + code);
  struct stat st;
  return ::stat(RootPath(fixed).c_str(), &st) == 0 && st.st_size > 0;
}

// The configuration did not load: says why, and that the built-in values stand in.
int NotLoaded(const std::string& path, const char* why) {
  SayFinding("%s: system configuration %s: %s: the built-in values are used (English, paper A)\n",
             XEQNAME, path.c_str(), why);
  return -240;
}

void Unload(const char* caller) {
  DFfree(caller, "conf", conf);
  conf = nullptr;
  st_size = 0;
  MAXENTRY = 0;
}

}  // namespace

int InitConfigure() {
  const std::string path = RootPath(kSysgen);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return NotLoaded(path, Reason(errno));
  if (st.st_size <= 0) return NotLoaded(path, "the file is empty");
  if (st.st_size > INT_MAX) return NotLoaded(path, "the file is too large");
  const int size = static_cast<int>(st.st_size);
  if (conf != nullptr && st_size != size) Unload("InitConfigure");
  st_size = size;
  if (conf == nullptr) {
    conf = static_cast<unsigned char*>(DFmalloc("InitConfigure", "conf", size));
    if (conf == nullptr) {
      st_size = 0;
      MAXENTRY = 0;
      return -22;
    }
  }
  // The file may have gone or shrunk since its status was taken: then nothing stays loaded.
  FILE* f = DFfopen("InitConfigure", path.c_str(), "rb");
  const int openErr = f == nullptr ? errno : 0;
  size_t got = 0;
  if (f != nullptr) {
    got = std::fread(conf, 1, static_cast<size_t>(size), f);
    DFfclose("InitConfigure", f);
  }
  if (got != static_cast<size_t>(size)) {
    Unload("InitConfigure");
    return NotLoaded(path, f == nullptr ? Reason(openErr) : "the file could not be read whole");
  }
  MAXENTRY = size / kRecordSize;
  return 0;
}

void CloseSysgen() {
  if (conf != nullptr) Unload("CloseSysgen");
}

int IntConf(int key) {
  if (HasRecord(key)) {
    const unsigned char* r = Record(key);
    const uint32_t bits = static_cast<uint32_t>(r[0]) | static_cast<uint32_t>(r[1]) << 8 |
                          static_cast<uint32_t>(r[2]) << 16 | static_cast<uint32_t>(r[3]) << 24;
    const int value = static_cast<int32_t>(bits);
    if (key == kLanguageKey && value != 0 && !LanguageInstalled(value)) return 0;
    return value;
  }
  for (const IntDefault& d : kIntDefaults)
    if (d.key == key) return d.value;
  return 0;
}

const char* TextConf(int key) {
  if (HasRecord(key)) {
    char* text = reinterpret_cast<char*>(Record(key));
    size_t len = strnlen(text, kRecordSize);
    while (len > 1 && text[len - 1] == ' ') text[--len] = '\0';
    if (len == 0) return NullString;
    if (len < static_cast<size_t>(kRecordSize)) return text;
    // A record without its NUL: its 64 bytes, terminated outside the record.
    std::memcpy(LongTextConf, text, kRecordSize);
    LongTextConf[kRecordSize] = '\0';
    return LongTextConf;
  }
  for (const TextDefault& d : kTextDefaults) {
    if (d.key == key) {
      std::snprintf(AnyTextConf, sizeof AnyTextConf, "%s", d.text);
      return AnyTextConf;
    }
  }
  return nullptr;
}

}  // namespace qx5
