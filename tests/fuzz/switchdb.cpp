// The switch-text database on arbitrary files: the input holds the text file, the index, the
// plot colours file and the paper file, separated by "@@@\n"; its first byte's lowest bit
// chooses French (with the same texts as the English ones) instead of English.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lib/configman.hpp"
#include "lib/dbswitch.hpp"

namespace {

std::string Root() {
  static std::string root = [] {
    char tmpl[] = "/tmp/qx5fuzz.XXXXXX";
    std::string dir = mkdtemp(tmpl);
    for (const char* sub :
         {"/u", "/u/qx5", "/u/qx5/database", "/u/qx5/def_data", "/u/qx5/def_data/misc",
          "/u/qx5/def_data/printers", "/u/qx5/sys_data", "/u/qx5/sys_data/files"})
      mkdir((dir + sub).c_str(), 0700);
    setenv("QX5_ROOT", dir.c_str(), 1);
    return dir;
  }();
  return root;
}

void Write(const std::string& fixed, const std::string& bytes) {
  FILE* f = std::fopen((Root() + fixed).c_str(), "wb");
  if (f == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string in(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; parts.size() < 3 && (at = in.find("@@@\n", start)) != std::string::npos;
       start = at + 4)
    parts.push_back(in.substr(start, at - start));
  parts.push_back(in.substr(start));
  parts.resize(4);
  const int language = size > 0 ? data[0] & 1 : 0;
  std::string sysgen(64, '\0');
  sysgen[0] = static_cast<char>(language);
  Write("/u/qx5/sys_data/files/sysgen.bin", sysgen);
  Write("/u/qx5/database/eswitch.data", parts[0]);
  Write("/u/qx5/database/fswitch.data", parts[0].empty() ? std::string("x") : parts[0]);
  Write("/u/qx5/database/DBswitch.data", parts[1]);
  Write("/u/qx5/def_data/misc/eplotcolors", parts[2]);
  Write("/u/qx5/def_data/misc/fplotcolors", parts[2]);
  Write("/u/qx5/def_data/printers/PAPER", parts[3]);
  qx5::InitConfigure();
  qx5::CloseSwitchDb();
  std::FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");  // the missing-file messages
  qx5::InitSwitchDb();
  std::fclose(stdout);
  stdout = saved;
  size_t total = 0;
  auto probe = [&total](int n) {
    total += std::strlen(qx5::GetSwitch(n)) + std::strlen(qx5::GetSwitchENG(n)) +
             std::strlen(qx5::GetSwitchANY(n));
  };
  for (int n = -2; n <= qx5::NumberSwitches + 2 && n < 5000; n++) probe(n);
  for (int n = 4999; n <= 5151; n++) probe(n);
  for (int n = 5999; n <= 6031; n++) probe(n);
  if (total > 3 * 24 * 100000u) std::abort();  // every text fits its record
  qx5::CloseSwitchDb();
  qx5::CloseSysgen();
  return 0;
}
