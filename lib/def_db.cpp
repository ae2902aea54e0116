#include "lib/def_db.hpp"

namespace qx5 {
const char LangNames[10][15] = {"eenglish", "ffrench",     "ggerman",  "hswedish", "iitalian",
                                "jspanish", "kkanji",      "lportuguese", "mchinese", ""};
char DbDir[200] = "/u/qx5/database/";
// SCAFFOLD: implementation pending.
int GetLang(char*) { return 0; }
const char* GetLangDb(const char*) { return DbDir; }
}  // namespace qx5
