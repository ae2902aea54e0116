// The plot file grammar: reads a plot file line by line and runs each statement.
#pragma once

namespace qx5 {

// DrawPlot's result when a stop signal's grace ran out before the file was drawn.
constexpr int kPlotStopped = -4;

// 0 every line parsed and ran; -1 file not opened; -2 empty path; -3 a line failed;
// kPlotStopped.
int DrawPlot(const char* path);
int expr(const char* line);
int yyparse();
void yyerror(const char* message);

}  // namespace qx5
