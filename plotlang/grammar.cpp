#include "plotlang/grammar.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/devout.hpp"
#include "geometry/mapping.hpp"
#include "geometry/markers.hpp"
#include "lib/message.hpp"
#include "lib/regfile.hpp"
#include "lib/stop.hpp"
#include "plotlang/lexer.hpp"
#include "render/plotfonts.hpp"
#include "render/plottext.hpp"
#include "render/primitives.hpp"
#include "render/surface.hpp"

namespace qx5 {

namespace {

using Args = const YYSTYPE*;

// One statement of the plot language: its keyword token, the types of its arguments in order
// ('i' integer, 'r' real, 't' text) and the action run when its ")" has been read. A non-zero
// action result fails the line.
struct Statement {
  int keyword;
  const char* types;
  int (*action)(Args a);
};

constexpr int kMaxArgs = 10;

// Why the line being parsed failed, for the message after "Getplot: error in"; empty while
// it has not.
std::string lineError;

// The line fails: why says what was wrong or expected.
int Fail(const std::string& why) {
  if (lineError.empty()) lineError = why;
  return 1;
}

int Window(Args a) {
  SetUtype(a[0].ival);
  if (InitPlot(a[1].dval, a[2].dval, a[3].dval, a[4].dval) != 0) {
    if (SurfaceFailed())
      Fail(
          "no plot surface could be made (the line before \"Getplot\" says why); the statement "
          "itself is correct");
    else
      Fail("the window cannot be drawn (the line before \"Getplot\" says why)");
    return 1;
  }
  InitPlotFonts();
  return 0;
}

const Statement kStatements[] = {
    {TK_WINDOW, "irrrr", Window},
    {TK_MOVETO, "rr",
     [](Args a) {
       MoveTo(a[0].dval, a[1].dval);
       return 0;
     }},
    {TK_LINETO, "rr",
     [](Args a) {
       LineTo(a[0].dval, a[1].dval);
       return 0;
     }},
    {TK_SETOFFSET, "rr",
     [](Args a) {
       SetOffsets(a[0].dval, a[1].dval);
       return 0;
     }},
    {TK_SETDATAOFFSET, "rr",
     [](Args a) {
       SetDataOffsets(a[0].dval, a[1].dval);
       return 0;
     }},
    {TK_SCALE, "rr",
     [](Args a) {
       ScalePlot(a[0].dval, a[1].dval);
       return 0;
     }},
    // A rejected range changes nothing and is not a syntax error.
    {TK_SCALERANGE, "rrrr",
     [](Args a) {
       ScaleRange(a[0].dval, a[1].dval, a[2].dval, a[3].dval);
       return 0;
     }},
    {TK_DRAWBOX, "rrrri",
     [](Args a) {
       DrawRectangle(a[0].dval, a[1].dval, a[2].dval, a[3].dval, a[4].ival);
       return 0;
     }},
    {TK_VIEWBOX, "rrrri",
     [](Args a) {
       DrawRectangle(a[0].dval, a[1].dval, a[2].dval, a[3].dval, 0);
       return 0;
     }},
    {TK_DRAWARC, "rrriii",
     [](Args a) {
       DrawArc(a[0].dval, a[1].dval, a[2].dval, a[3].ival, a[4].ival, a[5].ival);
       return 0;
     }},
    {TK_DRAWARC2, "rrrrri",
     [](Args a) {
       DrawArc2(a[0].dval, a[1].dval, a[2].dval, a[3].dval, a[4].dval, a[5].ival);
       return 0;
     }},
    {TK_DRAWELLIPSE, "rrrrrri",
     [](Args a) {
       DrawEllipse(a[0].dval, a[1].dval, a[2].dval, a[3].dval, a[4].dval, a[5].dval, a[6].ival);
       return 0;
     }},
    {TK_DRAWPARABOLA, "rrrrrrrrri",
     [](Args a) {
       DrawParabola(a[0].dval, a[1].dval, a[2].dval, a[3].dval, a[4].dval, a[5].dval, a[6].dval,
                    a[7].dval, a[8].dval, a[9].ival);
       return 0;
     }},
    {TK_DRAWSTRING, "rrt",
     [](Args a) {
       DrawString(a[0].dval, a[1].dval, a[2].text);
       return 0;
     }},
    {TK_BITMAP, "rriit",
     [](Args a) {
       DrawBitmap(a[4].text, a[0].dval, a[1].dval, a[2].ival, a[3].ival);
       return 0;
     }},
    {TK_FONT, "t",
     [](Args a) {
       LoadSetFont(a[0].text);
       return 0;
     }},
    {TK_SETCOLOR, "i",
     [](Args a) {
       SetColor(a[0].ival);
       return 0;
     }},
    {TK_SETLINESTYLE, "i",
     [](Args a) {
       SetLineStyle(a[0].ival);
       return 0;
     }},
    {TK_SETLINEWIDTH, "i",
     [](Args a) {
       SetLineWidth(a[0].ival);
       return 0;
     }},
    {TK_SETCLIP, "rrrr",
     [](Args a) {
       SetClip(a[0].dval, a[1].dval, a[2].dval, a[3].dval);
       return 0;
     }},
    {TK_PLOTSETUP, "iii",
     [](Args a) {
       PlotSetup(a[0].ival, a[1].ival, a[2].ival);
       return 0;
     }},
    {TK_MARKER, "irrirr",
     [](Args a) {
       Symbol(a[0].ival, a[1].dval, a[2].dval, a[3].ival, a[4].dval, a[5].dval);
       return 0;
     }},
    // Accepted for compatibility; they have no effect.
    {TK_PLOTSETUPSC, "iii", [](Args) { return 0; }},
    {TK_SCALEPIX, "rr", [](Args) { return 0; }},
    {TK_VERSION, "i", [](Args) { return 0; }},
    {TK_WARP, "rri", [](Args) { return 0; }},
};

const Statement* FindStatement(int token) {
  for (const Statement& s : kStatements) {
    if (s.keyword == token) return &s;
  }
  return nullptr;
}

int TokenOfType(char type) {
  switch (type) {
    case 'i':
      return TK_INTEGER;
    case 'r':
      return TK_REAL;
    default:
      return TK_TEXT;
  }
}

// The keyword of a token as written in full (the longest of its names).
const char* KeywordName(int token) {
  const char* name = "?";
  for (const Keyword& k : ktable)
    if (k.code == token && std::strlen(k.name) > std::strlen(name)) name = k.name;
  return name;
}

const char* TypeName(char type) {
  switch (type) {
    case 'i':
      return "integer";
    case 'r':
      return "real";
    default:
      return "text";
  }
}

// The statement as it is written with its argument types: "WINDOW(integer, real, ...)".
std::string Signature(const Statement& s) {
  std::string sig = KeywordName(s.keyword);
  sig += "(";
  for (const char* t = s.types; *t != '\0'; ++t) {
    if (t != s.types) sig += ", ";
    sig += TypeName(*t);
  }
  return sig + ")";
}

// What argument n of s must be: "real numbers expected" when all of them are of one type,
// else the argument's type and the statement's signature.
std::string Expected(const Statement& s, int n) {
  const std::string types = s.types;
  const bool many = types.size() > 1;
  if (types.find_first_not_of(types[0]) == std::string::npos) {
    switch (types[0]) {
      case 'i':
        return many ? "integers expected" : "an integer expected";
      case 'r':
        return many ? "real numbers expected (written with a decimal point: 1.0)"
                    : "a real number expected (written with a decimal point: 1.0)";
      default:
        return "a text expected";
    }
  }
  return "argument " + std::to_string(n + 1) + ": " +
         (types[static_cast<size_t>(n)] == 'i'   ? "an integer"
          : types[static_cast<size_t>(n)] == 'r' ? "a real number"
                                                 : "a text") +
         " expected: " + Signature(s);
}

// Why a first token is no statement; a keyword written in small letters is named.
std::string NotAStatement(int token) {
  if (token != TK_TEXT) return "a statement keyword expected";
  std::string word = yylval.text;
  std::string upper = word;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper != word && iskwd(upper.c_str()) != TK_TEXT)
    return word + " is not a statement: keywords are upper case (" + upper + ")";
  return word + " is not a statement";
}

// The error rule: the line is abandoned at the first token that does not fit; why says what
// was expected there.
int SyntaxError(const std::string& why) {
  yyerror("syntax error");
  return Fail(why);
}

}  // namespace

// Parses one line: nothing, or one statement followed by the end of the line. Any negative
// token reads as the end of the line. The statement's action runs as soon as its ")" has been
// read, before the rest of the line is looked at.
int yyparse() {
  YYSTYPE args[kMaxArgs];
  int token = yylex();
  if (token <= 0) return 0;
  const Statement* s = FindStatement(token);
  if (s == nullptr) return SyntaxError(NotAStatement(token));
  if (yylex() != '(') return SyntaxError(std::string("\"(\" expected after ") + KeywordName(token));
  const std::string unended = "the line ends before the statement does: " + Signature(*s);
  int n = 0;
  for (const char* t = s->types; *t != '\0' && n < kMaxArgs; ++t) {
    if (n > 0) {
      token = yylex();
      if (token == 0) return SyntaxError(unended);
      if (token != ',')
        return SyntaxError((token == ')' ? "too few arguments: " : "\",\" expected: ") +
                           Signature(*s));
    }
    token = yylex();
    if (token == 0) return SyntaxError(unended);
    if (token == TK_BADNUMBER) return SyntaxError("a number with two decimal points");
    if (token != TokenOfType(*t)) return SyntaxError(Expected(*s, n));
    args[n++] = yylval;
  }
  token = yylex();
  if (token == 0) return SyntaxError(unended);
  if (token != ')')
    return SyntaxError((token == ',' ? "too many arguments: " : "\")\" expected: ") +
                       Signature(*s));
  if (s->action(args) != 0) return 1;
  if (yylex() > 0) return SyntaxError("nothing but blanks may follow the statement");
  return 0;
}

void yyerror(const char*) {}

int expr(const char* line) {
  _ExpressionString = line;
  _IPosition = 0;
  int result = yyparse();
  return result == 0 ? 0 : -result;
}

int DrawPlot(const char* path) {
  if (path == nullptr || path[0] == '\0') {
    Say("ERROR: %s: the plot request names no plot file\n", XEQNAME);
    return -2;
  }
  // Only a regular file is read: a FIFO or a device would block in open() or never end.
  int notRegular = 0;
  FILE* f = FopenRegular(path, &notRegular);
  if (f == nullptr) {
    SayUnableToOpen(path, notRegular);
    return -1;
  }
  char line[500];
  int lineno = 0;
  bool ended = true;  // the last piece read ended its line (a long line comes in pieces)
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (ended) ++lineno;
    const size_t len = std::strlen(line);
    ended = len > 0 && line[len - 1] == '\n';
    lineError.clear();
    // A stop signal leaves the plot ALARM_SEC seconds, checked between lines.
    if (StopGraceOver(ALARM_SEC)) {
      std::fclose(f);
      return kPlotStopped;
    }
    if (expr(line) != 0) {
      Say("Getplot: error in %s\n", line);
      const std::string text(line, line + std::strcspn(line, "\r\n"));
      Say("ERROR: %s: %s: %s: %s\n", XEQNAME, Where(path, lineno).c_str(), text.c_str(),
          lineError.empty() ? "the line does not parse" : lineError.c_str());
      std::fclose(f);
      return -3;
    }
  }
  std::fclose(f);
  return 0;
}

}  // namespace qx5
