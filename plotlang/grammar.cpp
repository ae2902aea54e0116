#include "plotlang/grammar.hpp"

#include <cstdio>

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

int Window(Args a) {
  SetUtype(a[0].ival);
  if (InitPlot(a[1].dval, a[2].dval, a[3].dval, a[4].dval) != 0) return 1;
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

// The error rule: the line is abandoned at the first token that does not fit.
int SyntaxError() {
  yyerror("syntax error");
  return 1;
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
  if (s == nullptr || yylex() != '(') return SyntaxError();
  int n = 0;
  for (const char* t = s->types; *t != '\0' && n < kMaxArgs; ++t) {
    if (n > 0 && yylex() != ',') return SyntaxError();
    if (yylex() != TokenOfType(*t)) return SyntaxError();
    args[n++] = yylval;
  }
  if (yylex() != ')') return SyntaxError();
  if (s->action(args) != 0) return 1;
  if (yylex() > 0) return SyntaxError();
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
  if (path == nullptr || path[0] == '\0') return -2;
  // Only a regular file is read: a FIFO or a device would block in open() or never end.
  int notRegular = 0;
  FILE* f = FopenRegular(path, &notRegular);
  if (f == nullptr) {
    if (notRegular) SayUnableToOpen(path, notRegular);
    return -1;
  }
  char line[500];
  while (std::fgets(line, sizeof line, f) != nullptr) {
    // A stop signal leaves the plot ALARM_SEC seconds, checked between lines.
    if (StopGraceOver(ALARM_SEC)) {
      std::fclose(f);
      return kPlotStopped;
    }
    if (expr(line) != 0) {
      Say("Getplot: error in %s\n", line);
      std::fclose(f);
      return -3;
    }
  }
  std::fclose(f);
  return 0;
}

}  // namespace qx5
