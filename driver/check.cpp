#include "driver/check.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/devout.hpp"
#include "driver/loop.hpp"
#include "lib/configman.hpp"
#include "lib/def_db.hpp"
#include "lib/message.hpp"
#include "lib/paths.hpp"
#include "printers/codefile.hpp"
#include "printers/config.hpp"
#include "printers/datafile.hpp"
#include "render/plotfonts.hpp"

namespace qx5 {

namespace {

constexpr const char* kUsage = "Usage: %s --check NAME [--printer N] [--device ARG]\n";
constexpr int kLastLanguage = 8;

struct CheckArgs {
  const char* name = nullptr;
  int printer = 0;
  std::string device = "/dev/lp";
};

// The command line after "--check"; false on a usage error.
bool ParseCheckArgs(int argc, char** argv, CheckArgs* a) {
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--printer" || arg == "--device") && i + 1 < argc) {
      const char* value = argv[++i];
      if (arg == "--device") {
        a->device = value;
        continue;
      }
      if (std::strlen(value) != 1 || value[0] < '0' || value[0] > '2') return false;
      a->printer = value[0] - '0';
    } else if (a->name == nullptr && !arg.empty() && arg[0] != '-') {
      a->name = argv[i];
    } else {
      return false;
    }
  }
  return a->name != nullptr;
}

// The output device, read as the driver reads its argument: a network printer (named, never
// connected to), or a path under the installation root, "/dev/lp" for any other word. A path
// must exist, be writable and be a device, FIFO or file.
void CheckDevice(const std::string& arg) {
  SetDevice(arg.c_str());
  const std::string problem = DeviceProblem();
  if (!problem.empty()) {
    SayFinding("%s: device %s: %s: the driver ends at start-up (exit message status 9)\n", XEQNAME,
               arg.c_str(), problem.c_str());
    return;
  }
  if (DeviceIsFresh()) {
    SayNote("%s: device %s: a network printer (the check does not connect to it)\n", XEQNAME,
            DeviceName().c_str());
    return;
  }
  const std::string path = DeviceName();
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    SayFinding("%s: device %s: %s: the driver ends at start-up (exit message status 9)\n", XEQNAME,
               path.c_str(), Reason(errno));
    return;
  }
  if (!S_ISCHR(st.st_mode) && !S_ISFIFO(st.st_mode) && !S_ISREG(st.st_mode)) {
    SayFinding(
        "%s: device %s: not a character device, FIFO or file: the driver ends at start-up "
        "(exit message status 9)\n",
        XEQNAME, path.c_str());
    return;
  }
  if (::access(path.c_str(), W_OK) != 0) {
    SayFinding(
        "%s: device %s: cannot be written: %s: the driver ends at start-up (exit message "
        "status 9)\n",
        XEQNAME, path.c_str(), Reason(errno));
  }
}

// The language of the system configuration, which counts only when its texts are installed.
void CheckLanguage() {
  if (conf == nullptr || MAXENTRY < 1) return;
  const int set =
      static_cast<int>(static_cast<unsigned>(conf[0]) | static_cast<unsigned>(conf[1]) << 8 |
                       static_cast<unsigned>(conf[2]) << 16 | static_cast<unsigned>(conf[3]) << 24);
  if (set == 0 || IntConf(0) == set) return;
  const std::string sysgen = RootPath("/u/qx5/sys_data/files/sysgen.bin");
  if (set < 0 || set > kLastLanguage) {
    SayFinding("%s: %s: language %d (key 0) is no language code (0 to 8): plots use English\n",
               XEQNAME, sysgen.c_str(), set);
    return;
  }
  char file[32];
  std::snprintf(file, sizeof file, "/u/qx5/database/%cswitch.data", LangLetter(set));
  SayFinding(
      "%s: %s: language %d (key 0) is not installed: %s is missing or empty: plots use "
      "English\n",
      XEQNAME, sysgen.c_str(), set, RootPath(file).c_str());
}

// The code file as the driver opened it: the user directory's when there is one.
std::string CodePath() {
  const std::string user = DataFilePath(SETUPcode, true);
  return ::access(user.c_str(), R_OK) == 0 ? user : DataFilePath(SETUPcode, false);
}

// True when the program a shell command starts with can be run.
bool ProgramFound(const char* command) {
  std::string prog(command);
  prog = prog.substr(0, prog.find_first_of(" \t"));
  if (prog.empty()) return false;
  if (prog.find('/') != std::string::npos) return ::access(prog.c_str(), X_OK) == 0;
  const char* env = std::getenv("PATH");
  const std::string path = env != nullptr ? env : "/usr/bin:/bin";
  for (size_t at = 0; at <= path.size();) {
    size_t end = path.find(':', at);
    if (end == std::string::npos) end = path.size();
    const std::string dir = end > at ? path.substr(at, end - at) : ".";
    if (::access((dir + "/" + prog).c_str(), X_OK) == 0) return true;
    at = end + 1;
  }
  return false;
}

// What the printer's codes must hold for its plots and its Japanese text.
void CheckCodes() {
  const std::string codes = CodePath();
  if (SETUPbrand == 1 && HASPCLct == 0)
    SayFinding(
        "%s: %s: no 6HASPCL: the printer is never initialised and its plots are never "
        "ended (no GREND)\n",
        XEQNAME, codes.c_str());
  if (SETUPbrand == 1 && GRSct[0] == 0)
    SayFinding(
        "%s: %s: no 7GRS[0]: plots are sent without graphics start codes and print as "
        "garbage\n",
        XEQNAME, codes.c_str());
  if (SETUPlang != 'K') return;
  if (SETUPeuc_filter[0] == '\0') {
    SayFinding("%s: %s: no 6FILTER for Kanji text: print requests are answered 9\n", XEQNAME,
               codes.c_str());
  } else if (!ProgramFound(SETUPeuc_filter)) {
    SayFinding("%s: %s: the FILTER program of \"%s\" is not found: print requests are answered 9\n",
               XEQNAME, codes.c_str(), SETUPeuc_filter);
  }
}

// The directory of the setup data file and of the Japanese conversion's files.
void CheckTmp() {
  const std::string tmp = RootPath("/u/tmp");
  if (::access(tmp.c_str(), W_OK | X_OK) == 0) return;
  SayFinding("%s: %s: %s: the setup data file P%d is not written%s\n", XEQNAME, tmp.c_str(),
             Reason(errno), PrinterNumber + 1,
             SETUPlang == 'K' ? " and Kanji text cannot be converted (answered 9)" : "");
}

const char* Brand() {
  return SETUPbrand == 1 ? "HPPCL" : SETUPbrand == 2 ? "HPGL" : "EPSON";
}

}  // namespace

int CheckMain(int argc, char** argv) {
  CheckArgs a;
  if (!ParseCheckArgs(argc, argv, &a)) {
    SayNote(kUsage, argv[0]);
    return 2;
  }
  PrinterNumber = a.printer;
  std::snprintf(XEQNAME, sizeof XEQNAME, "%s", a.name);
  SetFindingsOnly(true);  // the driver's other lines (the page-size command, ...) are not shown
  if (std::strlen(a.name) >= sizeof XEQNAME)
    SayFinding("%s: the name has %zu characters: the driver keeps the first %zu\n", XEQNAME,
               std::strlen(a.name), sizeof XEQNAME - 1);
  CheckDevice(a.device);
  InitConfigure();
  CheckLanguage();
  ReadCodes(XEQNAME);  // with no device open, the page-size command goes nowhere
  if (DefinitionLoaded) CheckCodes();
  InitPlotFonts();
  CheckTmp();
  ClosePlotFonts();
  CloseSysgen();
  SetFindingsOnly(false);
  if (FindingCount() > 0) {
    SayNote("%s: check: a plot or a print would go wrong (the lines above say why)\n", XEQNAME);
    return 1;
  }
  SayNote("%s: check: ready: %s at %d x %d dpi, code file %s, paper %s\n", XEQNAME, Brand(),
          SETUPxdpi, SETUPydpi, CodePath().c_str(), SETUPpaper);
  return 0;
}

}  // namespace qx5
