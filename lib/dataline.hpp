// Reading the lines of the installation's text files (CONFIG, PAPER, code files, plot fonts,
// plot colours, ...).
#pragma once
#include <cstdio>

namespace qx5 {

// Reads one line as fgets(buf, size, f) does, except that a last line ending without a newline
// gets one (when the buffer has room for it): every reader sees that line as it sees the
// others, whole. Null at the end of the file.
char* ReadDataLine(char* buf, int size, FILE* f);

}  // namespace qx5
