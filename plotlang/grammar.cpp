#include "plotlang/grammar.hpp"

namespace qx5 {
// SCAFFOLD: implementation pending.
int DrawPlot(const char*) { return -1; }
int expr(const char*) { return -1; }
int yyparse() { return 1; }
void yyerror(const char*) {}
}  // namespace qx5
