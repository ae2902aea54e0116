#include "lib/def_db.hpp"

#include <cstdio>
#include <cstring>

#include "lib/configman.hpp"

namespace qx5 {
const char LangNames[10][15] = {"eenglish", "ffrench", "ggerman",     "hswedish", "iitalian",
                                "jspanish", "kkanji",  "lportuguese", "mchinese", ""};
char DbDir[200] = "/u/qx5/database/";

namespace {
constexpr size_t kDbDirLen = 16;  // length of "/u/qx5/database/"
}

// Record 9 has no letter: a NUL there would cut the file name short, so it counts as 0 too.
char LangLetter(int code) {
  if (code < 0 || code >= 10 || LangNames[code][0] == '\0') code = 0;
  return LangNames[code][0];
}

int GetLang(char* name) {
  if (name == nullptr || name[0] != '_') return 0;
  name[0] = LangLetter(IntConf(0));
  return 1;
}

const char* GetLangDb(const char* name) {
  DbDir[kDbDirLen] = '\0';
  if (name == nullptr) return DbDir;
  char* tail = DbDir + kDbDirLen;
  const size_t room = sizeof DbDir - kDbDirLen;
  if (name[0] == '_')
    std::snprintf(tail, room, "%c%s", LangLetter(IntConf(0)), name + 1);
  else
    std::snprintf(tail, room, "%s", name);
  return DbDir;
}

}  // namespace qx5
