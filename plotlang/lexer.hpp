// The plot file lexer: turns one line of a plot file into tokens for the grammar.
#pragma once
#include <cstdint>

namespace qx5 {

// Token codes. A single character that starts no other token is returned as its own code (1 to
// 255); 0 is the end of the line; -1 a number with a second decimal point.
enum Token : int {
  TK_TEXT = 257,  // bare word that is not a keyword, or a quoted string
  TK_SCALEPIX = 258,
  TK_WINDOW = 259,
  TK_MOVETO = 260,
  TK_FONT = 261,
  TK_SCALE = 262,
  TK_SETOFFSET = 263,
  TK_SCALERANGE = 264,
  TK_SETCOLOR = 265,
  TK_SETLINESTYLE = 266,
  TK_SETLINEWIDTH = 267,
  TK_LINETO = 268,
  TK_DRAWSTRING = 269,
  TK_DRAWARC = 270,
  TK_DRAWARC2 = 271,
  TK_DRAWBOX = 272,
  TK_VIEWBOX = 273,
  TK_SETDATAOFFSET = 274,
  TK_SETCLIP = 275,
  TK_VERSION = 276,
  TK_DRAWELLIPSE = 277,
  TK_DRAWPARABOLA = 278,
  TK_BITMAP = 279,
  TK_PLOTSETUP = 280,
  TK_PLOTSETUPSC = 281,
  TK_MARKER = 282,
  TK_WARP = 283,
  TK_INTEGER = 284,
  TK_REAL = 285,
  TK_BADNUMBER = -1,
};

// Longest text a token keeps; further characters are scanned but dropped.
constexpr int kTokenTextMax = 199;

// The value of a token: an integer literal, a real literal or a text (word or string).
union YYSTYPE {
  int32_t ival;
  double dval;
  char text[kTokenTextMax + 1];
};
static_assert(sizeof(YYSTYPE) == 200);

struct Keyword {
  char name[32];
  int32_t code;
};

constexpr int kKeywordCount = 37;

extern const char* _ExpressionString;  // the line being read, NUL-terminated
extern int _IPosition;                 // index of the next character to read
extern int _ch;                        // the character being looked at, 0 to 255
extern YYSTYPE yylval;
extern const Keyword ktable[kKeywordCount];  // search order; last entry is the "$EOT$" marker

int GetC();
void UnGetC();
int iskwd(const char* word);
int yylex();

}  // namespace qx5
