// Arbitrary bytes as one plot file line through the lexer: every token stays within the line
// and within its 199-character text.
#include "plotlang/lexer.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const int end = static_cast<int>(std::strlen(line.c_str()));
  qx5::_ExpressionString = line.c_str();
  qx5::_IPosition = 0;
  // Every token consumes at least one character, so the line ends within end + 1 tokens.
  for (int n = 0; n <= end + 1; ++n) {
    int token = qx5::yylex();
    if (qx5::_IPosition > end + 1) std::abort();
    if (token == qx5::TK_TEXT || (token > qx5::TK_TEXT && token < qx5::TK_INTEGER)) {
      if (std::strlen(qx5::yylval.text) > static_cast<size_t>(qx5::kTokenTextMax)) std::abort();
    }
    if (token <= 0) {
      // At the NUL the lexer stays there, however often it is called.
      if (token == 0 && qx5::_IPosition == end && (qx5::yylex() != 0 || qx5::_IPosition != end))
        std::abort();
      return 0;
    }
  }
  std::abort();  // the lexer did not reach the end of the line
}
