// Shared by the printer definition fuzz targets: a private installation root (created once),
// the input written as one definition file, and standard output silenced.
#pragma once
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "lib/paths.hpp"

namespace qx5fuzz {

inline void WriteDef(const char* file, const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) {
    char tmpl[] = "/tmp/qx5fuzz-printers.XXXXXX";
    if (mkdtemp(tmpl) == nullptr) abort();
    setenv("QX5_ROOT", tmpl, 1);
    std::string dir = std::string(tmpl) + "/u/qx5/def_data/printers";
    std::string cmd = "mkdir -p '" + dir + "'";
    if (system(cmd.c_str()) != 0) abort();
    if (freopen("/dev/null", "w", stdout) == nullptr) abort();
    ready = true;
  }
  std::string path = qx5::RootPath(std::string("/u/qx5/def_data/printers/") + file);
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) abort();
  fwrite(data, 1, size, f);
  fclose(f);
}

}  // namespace qx5fuzz
