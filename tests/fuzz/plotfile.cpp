// Arbitrary plot files through DrawPlot without a surface: with no X display every WINDOW
// fails, and the parser and the mapping see every other statement.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/plotrequest.hpp"
#include "plotlang/grammar.hpp"
#include "render/surface.hpp"

namespace {
std::string path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  unsetenv("DISPLAY");
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();  // the plots' messages
  char name[] = "/tmp/qx5-fuzz-plotXXXXXX";
  int fd = mkstemp(name);
  if (fd < 0) std::abort();
  close(fd);
  path = name;
  std::atexit([] { unlink(path.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  qx5::GSF = 0;
  int r = qx5::DrawPlot(path.c_str());
  if (r != 0 && r != -3) std::abort();
  qx5::ClosePlot();
  return 0;
}
