// The PAPER reader, with margin and page-size codes for its names, on arbitrary input.
#include "printers/paper.hpp"

#include <cstring>

#include "printers/codefile.hpp"
#include "printers/config.hpp"
#include "tests/printers/fuzz_root.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool codes = false;
  if (!codes) {
    const char cod[] = "?BINARY\n4A4UN 2 25 50\n4A4SZ 2 27 65\n3XUN 2 1 2\n3XSZ 1 66\n";
    qx5fuzz::WriteDef("p.cod", reinterpret_cast<const uint8_t*>(cod), sizeof cod - 1);
    char line[100];
    qx5::ReadCodeFile("p.cod", line);
    codes = true;
  }
  qx5fuzz::WriteDef("PAPER", data, size);
  qx5::GetPageSize("A4", 0);
  qx5::GetPageSize("X", 0);
  // The first word of the input as the name asked for.
  char name[16] = "";
  size_t n = 0;
  while (n < size && n < sizeof name - 1 && data[n] > ' ') {
    name[n] = static_cast<char>(data[n]);
    ++n;
  }
  name[n] = '\0';
  qx5::GetPageSize(name, 0);
  return 0;
}
