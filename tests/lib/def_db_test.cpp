#include "lib/def_db.hpp"

#include <gtest/gtest.h>

#include <cstring>

#include "render/switch_fixture.hpp"

using namespace qx5;

TEST(DefDb, LanguageLettersAndDatabasePaths) {
  qx5test::TempRoot root;
  // every language whose switch file is installed gets its letter; others count as English
  const struct {
    int code;
    char letter;
  } cases[] = {{0, 'e'}, {1, 'f'}, {2, 'g'}, {6, 'k'}, {8, 'm'}, {9, 'e'}, {10, 'e'}, {-1, 'e'}};
  for (const auto& c : cases) EXPECT_EQ(LangLetter(c.code), c.letter) << c.code;
  for (const int code : {0, 1, 6}) {
    const char letter = LangLetter(code);
    root.write(std::string("/u/qx5/database/") + letter + "switch.data", "x");
    h4test::SetLanguage(root, code);
    char name[] = "_plotcolors";
    EXPECT_EQ(GetLang(name), 1);
    EXPECT_EQ(name, std::string(1, letter) + "plotcolors");
    char plain[] = "plotcolors";
    EXPECT_EQ(GetLang(plain), 0);
    EXPECT_STREQ(plain, "plotcolors");
    EXPECT_EQ(GetLangDb("_switch.data"),
              "/u/qx5/database/" + std::string(1, letter) + "switch.data");
    EXPECT_STREQ(GetLangDb("DBswitch.data"), "/u/qx5/database/DBswitch.data");
  }
  // a name that does not fit the buffer is cut, never written past it
  const std::string longname(500, 'n');
  EXPECT_EQ(std::strlen(GetLangDb(longname.c_str())), sizeof DbDir - 1);
  EXPECT_EQ(std::string(GetLangDb("x")), "/u/qx5/database/x");
  CloseSysgen();
}
