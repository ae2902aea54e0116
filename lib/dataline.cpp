#include "lib/dataline.hpp"

#include <cstring>

namespace qx5 {

char* ReadDataLine(char* buf, int size, FILE* f) {
  if (std::fgets(buf, size, f) == nullptr) return nullptr;
  const size_t len = std::strlen(buf);
  if (len > 0 && buf[len - 1] != '\n' && len + 1 < static_cast<size_t>(size) && std::feof(f)) {
    buf[len] = '\n';
    buf[len + 1] = '\0';
  }
  return buf;
}

}  // namespace qx5
