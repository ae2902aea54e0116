// The code file reader, the code tables and the escape translation on arbitrary input.
#include "printers/codefile.hpp"

#include <cstring>

#include "printers/config.hpp"
#include "tests/printers/fuzz_root.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qx5fuzz::WriteDef("f.cod", data, size);
  std::strcpy(qx5::SETUPcode, "f.cod");
  qx5::SETUPlang = 'K';
  char line[100];
  qx5::ReadCodeFile("f.cod", line);
  qx5::SetPrinterCodes(line);
  // The input itself as text lines: a print line, a one-line text, a short buffer.
  char text[504];
  size_t n = size < 498 ? size : 498;
  std::memcpy(text, data, n);
  text[n] = '\0';
  char copy[504];
  std::memcpy(copy, text, sizeof copy);
  qx5::MapCodes(copy, 500, sizeof copy);
  std::memcpy(copy, text, 197);
  copy[196] = '\0';
  qx5::MapCodes(copy, 200, 197);
  std::memcpy(copy, text, 20);
  copy[19] = '\0';
  qx5::MapCodes(copy, 20, 8);
  // A print file's piece, NUL bytes and all, cut where no escape is cut in two.
  std::memcpy(copy, text, sizeof copy);
  qx5::MapBytes(copy, qx5::WholeEscapes(copy, n), sizeof copy);
  return 0;
}
