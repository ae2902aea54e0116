// Language letters and the database directory.
#pragma once

namespace qx5 {

extern const char LangNames[10][15];
extern char DbDir[200];

// The letter of a language code; codes without a letter (outside 0 to 8) give that of 0.
char LangLetter(int code);
// Replaces a leading "_" of name with the language letter: 1 when done, else 0.
int GetLang(char* name);
// Full path of a database file ("_" standing for the language letter), in DbDir.
const char* GetLangDb(const char* name);

}  // namespace qx5
