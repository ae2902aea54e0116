// The plot fonts file on arbitrary input, without a surface: the input up to the first
// "@@@\n" is the file, every line after it a font name looked up in the table.
#include "render/plotfonts.hpp"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lib/dbswitch.hpp"

namespace {

std::string Root() {
  static std::string root = [] {
    char tmpl[] = "/tmp/qx5fuzz.XXXXXX";
    std::string dir = mkdtemp(tmpl);
    for (const char* sub : {"/u", "/u/qx5", "/u/qx5/def_data", "/u/qx5/def_data/misc"})
      mkdir((dir + sub).c_str(), 0700);
    setenv("QX5_ROOT", dir.c_str(), 1);
    return dir;
  }();
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string in(reinterpret_cast<const char*>(data), size);
  const size_t sep = in.find("@@@\n");
  const std::string file = in.substr(0, sep);
  FILE* f = std::fopen((Root() + "/u/qx5/def_data/misc/eplotfonts").c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  std::FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");  // the missing-database messages
  qx5::ClosePlotFonts();
  qx5::InitPlotFonts();
  std::fclose(stdout);
  stdout = saved;
  for (const qx5::PlotFontInfo& e : qx5::PFI)
    if (strnlen(e.name, sizeof e.name) == sizeof e.name) std::abort();  // unterminated name
  if (sep != std::string::npos) {
    size_t start = sep + 4;
    while (start <= in.size()) {
      size_t end = in.find('\n', start);
      if (end == std::string::npos) end = in.size();
      const std::string name = in.substr(start, end - start);
      const int i = qx5::GetPFIindex(name.c_str());
      if (i < 0 || i >= 40) std::abort();
      qx5::CheckFontNames(name.c_str(), "9x15B", "9X15B");
      start = end + 1;
    }
  }
  qx5::ClosePlotFonts();
  qx5::CloseSwitchDb();
  return 0;
}
