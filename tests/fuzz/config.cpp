// The CONFIG reader and the configuration text on arbitrary input.
#include "printers/config.hpp"

#include <cstring>

#include "driver/loop.hpp"
#include "lib/message.hpp"
#include "tests/printers/fuzz_root.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qx5fuzz::WriteDef("CONFIG", data, size);
  std::strcpy(qx5::XEQNAME, "P");
  qx5::ReadCodes("P");
  char text[200];
  size_t n = size < sizeof text - 1 ? size : sizeof text - 1;
  std::memcpy(text, data, n);
  text[n] = '\0';
  qx5::DoSETUP(text);
  return 0;
}
