// Arbitrary sysgen.bin files through InitConfigure, IntConf and TextConf.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lib/configman.hpp"

namespace {

std::string SysgenPath() {
  static std::string path = [] {
    char tmpl[] = "/tmp/qx5fuzz.XXXXXX";
    const char* dir = mkdtemp(tmpl);
    std::string root = dir ? dir : "/tmp";
    setenv("QX5_ROOT", root.c_str(), 1);
    std::system(
        ("mkdir -p '" + root + "/u/qx5/sys_data/files' '" + root + "/u/qx5/database'").c_str());
    return root + "/u/qx5/sys_data/files/sysgen.bin";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = SysgenPath();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  if (qx5::InitConfigure() == 0) {
    for (int key = -2; key < qx5::MAXENTRY + 100 && key < 400; ++key) {
      volatile int v = qx5::IntConf(key);
      (void)v;
      const char* t = qx5::TextConf(key);
      if (t != nullptr && std::strlen(t) > static_cast<size_t>(qx5::kRecordSize)) __builtin_trap();
    }
  }
  qx5::CloseSysgen();
  return 0;
}
