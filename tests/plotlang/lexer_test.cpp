#include "plotlang/lexer.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace qx5;

// An expected token: its code and, for literals and texts, its value.
struct Tok {
  int code;
  enum { kNone, kInt, kReal, kText } kind = kNone;
  long long ival = 0;
  double dval = 0;
  std::string text;
};
Tok I(long long v) {
  return {TK_INTEGER, Tok::kInt, v, 0, ""};
}
Tok R(double v) {
  return {TK_REAL, Tok::kReal, 0, v, ""};
}
Tok T(const std::string& s) {
  return {TK_TEXT, Tok::kText, 0, 0, s};
}
Tok K(int code, const std::string& s) {
  return {code, Tok::kText, 0, 0, s};
}
Tok C(int c) {
  return {c, Tok::kNone, 0, 0, ""};
}
const Tok kEnd = C(0);

// Lexes a line (which may hold NULs) until the end of the line or a negative token.
void ExpectTokens(const std::string& line, const std::vector<Tok>& want) {
  SCOPED_TRACE("line: " + line);
  _ExpressionString = line.c_str();
  _IPosition = 0;
  for (size_t i = 0; i < want.size(); ++i) {
    int code = yylex();
    ASSERT_EQ(code, want[i].code) << "token " << i;
    switch (want[i].kind) {
      case Tok::kInt:
        EXPECT_EQ(yylval.ival, want[i].ival) << "token " << i;
        break;
      case Tok::kReal:
        EXPECT_DOUBLE_EQ(yylval.dval, want[i].dval) << "token " << i;
        break;
      case Tok::kText:
        EXPECT_EQ(std::string(yylval.text), want[i].text) << "token " << i;
        break;
      case Tok::kNone:
        break;
    }
    ASSERT_LE(_IPosition, static_cast<int>(line.size()) + 1);
  }
}

TEST(Lexer, KeywordTableOrderAndLookup) {
  const char* names[] = {"L",
                         "LINETO",
                         "S",
                         "DRAWSTRING",
                         "M",
                         "MOVETO",
                         "A",
                         "DRAWARC2",
                         "E",
                         "DRAWELLIPSE",
                         "P",
                         "DRAWPARABOLA",
                         "B",
                         "DRAWBOX",
                         "F",
                         "FONT",
                         "C",
                         "SETCOLOR",
                         "MARKER",
                         "IDENTIFIER",
                         "WINDOW",
                         "SETLINESTYLE",
                         "SETLINEWIDTH",
                         "SETOFFSET",
                         "SETDATAOFFSET",
                         "SCALERANGE",
                         "SCALE",
                         "SCALEPIX",
                         "BITMAP",
                         "PLOTSETUP",
                         "PLOTSETUPSC",
                         "DRAWARC",
                         "SETCLIP",
                         "VIEWBOX",
                         "VERSION",
                         "WARP",
                         "$EOT$"};
  const int codes[] = {268, 268, 269, 269, 260, 260, 271, 271, 277, 277, 278, 278, 272,
                       272, 261, 261, 265, 265, 282, 257, 259, 266, 267, 263, 274, 264,
                       262, 258, 279, 280, 281, 270, 275, 273, 276, 283, 257};
  static_assert(std::size(names) == kKeywordCount && std::size(codes) == kKeywordCount);
  for (int i = 0; i < kKeywordCount; ++i) {
    EXPECT_STREQ(ktable[i].name, names[i]) << i;
    EXPECT_EQ(ktable[i].code, codes[i]) << i;
    EXPECT_EQ(iskwd(names[i]), codes[i]) << names[i];
    // The name field is NUL-padded to its 32 bytes.
    for (size_t j = std::strlen(ktable[i].name); j < sizeof ktable[i].name; ++j)
      EXPECT_EQ(ktable[i].name[j], '\0');
  }
  for (const char* w : {"lineto", "L1", "Moveto", "DRAW", "", "SCALEX", "X"})
    EXPECT_EQ(iskwd(w), TK_TEXT) << w;
}

TEST(Lexer, TokensOfLines) {
  std::setlocale(LC_CTYPE, "C");  // a plot may have left another locale behind
  const std::string w250(250, 'w'), w199(199, 'w');
  const struct {
    std::string line;
    std::vector<Tok> want;
  } cases[] = {
      // keywords, abbreviations and punctuation
      {"L(1.0,2.0)\n", {K(TK_LINETO, "L"), C('('), R(1), C(','), R(2), C(')'), kEnd}},
      {"LINETO(1.0,2.0)\n", {K(TK_LINETO, "LINETO"), C(40), R(1), C(44), R(2), C(41), kEnd}},
      {"lineto L1 IDENTIFIER\n", {T("lineto"), T("L1"), T("IDENTIFIER"), kEnd}},
      {"A DRAWARC DRAWARC2 E P B F C S M\n",
       {K(TK_DRAWARC2, "A"), K(TK_DRAWARC, "DRAWARC"), K(TK_DRAWARC2, "DRAWARC2"),
        K(TK_DRAWELLIPSE, "E"), K(TK_DRAWPARABOLA, "P"), K(TK_DRAWBOX, "B"), K(TK_FONT, "F"),
        K(TK_SETCOLOR, "C"), K(TK_DRAWSTRING, "S"), K(TK_MOVETO, "M"), kEnd}},
      {"a.b_c9 x", {T("a.b_c9"), T("x"), kEnd}},
      // numbers
      {"12 12. .5 -3 -.5 . 007", {I(12), R(12), R(0.5), I(-3), R(-0.5), R(0), I(7), kEnd}},
      {"1.2.3", {C(TK_BADNUMBER)}},
      {"..", {C(TK_BADNUMBER)}},
      {"-0 -0.0", {I(0), R(-0.0), kEnd}},
      {"2147483647 2147483648 -2147483648 -99999999999",
       {I(INT_MAX), I(INT_MAX), I(INT_MIN), I(INT_MIN), kEnd}},
      {"12abc", {I(12), T("abc"), kEnd}},
      {"1-2", {I(1), I(-2), kEnd}},
      // the minus sign consumes only itself
      {"- 3", {C(' '), I(3), kEnd}},
      {"-abc -( -\n", {T("abc"), C('('), C('\n')}},
      {"-", {kEnd}},
      // quoted strings
      {"\"a\\\"b\"", {T("a\"b"), kEnd}},
      {"\"a\\\\b\" \"\"", {T("a\\b"), T(""), kEnd}},
      {"courier \"courier\" \"MOVETO\"", {T("courier"), T("courier"), T("MOVETO"), kEnd}},
      {"\"two words, (and) 1.2.3\"", {T("two words, (and) 1.2.3"), kEnd}},
      {"\"open\n", {T("open\n"), kEnd, kEnd}},  // an open string ends at the NUL
      {"\"ab\\", {T("ab"), kEnd, kEnd}},
      // the 199-character cut; the rest of the token is still consumed
      {w250 + ")", {T(w199), C(')'), kEnd}},
      {"\"" + w250 + "\")", {T(w199), C(')'), kEnd}},
      {"." + std::string(197, '0') + "5)", {R(5e-198), C(')'), kEnd}},
      {"." + std::string(198, '0') + "5)", {R(0), C(')'), kEnd}},
      {std::string(198, '0') + "7)", {I(7), C(')'), kEnd}},
      {std::string(199, '0') + "7)", {I(0), C(')'), kEnd}},
      // white space and line ends
      {" \t \t\n", {kEnd}},
      {"", {kEnd, kEnd}},
      {"  M  ( 1.0\t, 2.0 )  \n", {K(TK_MOVETO, "M"), C('('), R(1), C(','), R(2), C(')'), kEnd}},
      {"M(1.0,2.0)\r\n", {K(TK_MOVETO, "M"), C('('), R(1), C(','), R(2), C(')'), C('\r'), kEnd}},
      {"; # $ \x01", {C(';'), C('#'), C('$'), C(1), kEnd}},
      {std::string("M(1.0\0,2.0)\n", 12), {K(TK_MOVETO, "M"), C('('), R(1), kEnd, kEnd, kEnd}},
      {"\xe9t\xe9", {C(0xe9), T("t"), C(0xe9), kEnd}},  // not letters in the C locale
  };
  for (const auto& c : cases) ExpectTokens(c.line, c.want);
}

TEST(Lexer, LetterClassesFollowTheLocale) {
  ASSERT_NE(std::setlocale(LC_CTYPE, "english"), nullptr) << "locale english missing";
  ExpectTokens("\xe9t\xe9 M", {T("\xe9t\xe9"), K(TK_MOVETO, "M"), kEnd});
  std::setlocale(LC_CTYPE, "C");
}

TEST(Lexer, CursorPrimitives) {
  const char* line = "ab";
  _ExpressionString = line;
  _IPosition = 0;
  UnGetC();  // at the start: no step back
  EXPECT_EQ(_IPosition, 0);
  EXPECT_EQ(GetC(), 'a');
  EXPECT_EQ(GetC(), 'b');
  EXPECT_EQ(_IPosition, 2);
  UnGetC();
  EXPECT_EQ(_IPosition, 1);
  // After the end of the line the lexer stays on the NUL however often it is asked.
  _IPosition = 0;
  while (yylex() > 0) {
  }
  for (int i = 0; i < 3; ++i) EXPECT_EQ(yylex(), 0);
  EXPECT_EQ(_IPosition, 2);
}

}  // namespace
