// libFuzzer target: the capture reader of pclview and the page colours it hands to libpng.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "raster/pclread.hpp"

// Keeps the reads of every dot from being optimised away.
volatile uint32_t g_sink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view capture(reinterpret_cast<const char*>(data), size);
  auto pages = qx5::ReadPcl(capture);
  uint32_t sum = 0;
  int number = 0;
  for (const auto& page : pages) {
    sum += static_cast<uint32_t>(qx5::PclSummary(page, ++number).size());
    // Every dot of every row, bounded so that one input cannot take minutes.
    long budget = 1L << 20;
    int width = page.dots();
    for (int y = 0; y < static_cast<int>(page.rows.size()) && budget > 0; ++y) {
      for (int x = -1; x <= width && budget > 0; ++x, --budget) sum += page.rgb(y, x);
    }
  }
  g_sink = sum;
  return 0;
}
