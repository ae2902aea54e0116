#include "plotlang/lexer.hpp"

#include <cctype>
#include <charconv>
#include <climits>
#include <cstring>

namespace qx5 {

const char* _ExpressionString = nullptr;
int _IPosition = 0;
int _ch = 0;
YYSTYPE yylval;

const Keyword ktable[kKeywordCount] = {
    {"L", TK_LINETO},
    {"LINETO", TK_LINETO},
    {"S", TK_DRAWSTRING},
    {"DRAWSTRING", TK_DRAWSTRING},
    {"M", TK_MOVETO},
    {"MOVETO", TK_MOVETO},
    {"A", TK_DRAWARC2},
    {"DRAWARC2", TK_DRAWARC2},
    {"E", TK_DRAWELLIPSE},
    {"DRAWELLIPSE", TK_DRAWELLIPSE},
    {"P", TK_DRAWPARABOLA},
    {"DRAWPARABOLA", TK_DRAWPARABOLA},
    {"B", TK_DRAWBOX},
    {"DRAWBOX", TK_DRAWBOX},
    {"F", TK_FONT},
    {"FONT", TK_FONT},
    {"C", TK_SETCOLOR},
    {"SETCOLOR", TK_SETCOLOR},
    {"MARKER", TK_MARKER},
    {"IDENTIFIER", TK_TEXT},
    {"WINDOW", TK_WINDOW},
    {"SETLINESTYLE", TK_SETLINESTYLE},
    {"SETLINEWIDTH", TK_SETLINEWIDTH},
    {"SETOFFSET", TK_SETOFFSET},
    {"SETDATAOFFSET", TK_SETDATAOFFSET},
    {"SCALERANGE", TK_SCALERANGE},
    {"SCALE", TK_SCALE},
    {"SCALEPIX", TK_SCALEPIX},
    {"BITMAP", TK_BITMAP},
    {"PLOTSETUP", TK_PLOTSETUP},
    {"PLOTSETUPSC", TK_PLOTSETUPSC},
    {"DRAWARC", TK_DRAWARC},
    {"SETCLIP", TK_SETCLIP},
    {"VIEWBOX", TK_VIEWBOX},
    {"VERSION", TK_VERSION},
    {"WARP", TK_WARP},
    {"$EOT$", TK_TEXT},
};

int GetC() {
  int c = _ExpressionString ? static_cast<unsigned char>(_ExpressionString[_IPosition]) : 0;
  ++_IPosition;
  return c;
}

void UnGetC() {
  if (_IPosition > 0) --_IPosition;
}

int iskwd(const char* word) {
  for (const Keyword& k : ktable) {
    if (std::strcmp(k.name, "$EOT$") == 0 || std::strcmp(k.name, word) == 0) return k.code;
  }
  return TK_TEXT;
}

namespace {

// Appends c to a token text: past the limit every character lands on the last slot, which the
// terminating NUL overwrites, so only the first kTokenTextMax characters are kept.
void Store(char* text, int* n, int c) {
  text[*n] = static_cast<char>(c);
  if (*n < kTokenTextMax) ++*n;
}

bool IsWordChar(int c) {
  return std::isalnum(c) || c == '.' || c == '_';
}

int ScanNumber(int sign) {
  char text[kTokenTextMax + 1];
  int n = 0;
  bool real = _ch == '.';
  while (std::isdigit(_ch) || _ch == '.') {
    Store(text, &n, _ch);
    _ch = GetC();
    if (_ch == '.') {
      if (real) return TK_BADNUMBER;
      real = true;
    }
  }
  UnGetC();
  text[n] = '\0';
  if (real) {
    // A text without digits (".") reads as 0. from_chars ignores the locale, so a locale with
    // a decimal comma cannot change what a plot file means.
    double d = 0.0;
    std::from_chars(text, text + n, d);
    yylval.dval = d * sign;
    return TK_REAL;
  }
  // Digits beyond the 32-bit range saturate instead of overflowing.
  long long v = 0;
  if (std::from_chars(text, text + n, v).ec == std::errc::result_out_of_range) v = LLONG_MAX;
  v *= sign;
  yylval.ival = static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
  return TK_INTEGER;
}

int ScanWord() {
  int n = 0;
  while (IsWordChar(_ch)) {
    Store(yylval.text, &n, _ch);
    _ch = GetC();
  }
  UnGetC();
  yylval.text[n] = '\0';
  return iskwd(yylval.text);
}

// A quoted string; a backslash takes the next character literally. A string left open ends at
// the line's NUL, which is not consumed, so the next token is the end of the line.
int ScanString() {
  int n = 0;
  for (;;) {
    _ch = GetC();
    if (_ch == '"') break;
    if (_ch == '\\') _ch = GetC();
    if (_ch == '\0') {
      UnGetC();
      break;
    }
    Store(yylval.text, &n, _ch);
  }
  yylval.text[n] = '\0';
  return TK_TEXT;
}

}  // namespace

int yylex() {
  int sign = 1;
  _ch = GetC();
  while (_ch == ' ' || _ch == '\t') _ch = GetC();
  if (_ch == '\n') return 0;
  if (_ch == '-') {
    sign = -1;
    _ch = GetC();
  }
  if (std::isdigit(_ch) || _ch == '.') return ScanNumber(sign);
  if (std::isalpha(_ch)) return ScanWord();
  if (_ch == '"') return ScanString();
  // The cursor never moves past the line's NUL, however often the lexer is called.
  if (_ch == '\0') UnGetC();
  return _ch;
}

}  // namespace qx5
