#include "driver/textjob.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/devout.hpp"
#include "driver/jobctl.hpp"
#include "driver/loop.hpp"
#include "driver/srvmsg.hpp"
#include "lib/message.hpp"
#include "lib/paths.hpp"
#include "lib/regfile.hpp"
#include "lib/shellrun.hpp"
#include "printers/codefile.hpp"
#include "printers/config.hpp"

namespace qx5 {
char Str[504];
char s[kCommandMax];
char JCname[PATH_MAX];

namespace {

constexpr int kPrintLineRead = 499;  // 498 characters and the NUL
constexpr int kPrintLineLimit = 500;
constexpr int kOneLineLimit = 200;

// A request failure: status 9 and its line.
void Fail(const char* what, const char* file = nullptr) {
  smsgp.status = ST_DEVICE;
  if (file != nullptr)
    Say("ERROR: %s: Unable to do %s for %s\n", XEQNAME, what, file);
  else
    Say("ERROR: %s: Unable to do %s\n", XEQNAME, what);
}

// This driver's own temporary file of the conversion: the fixed name and PrinterNumber + 1.
std::string TempPath(const char* base) {
  char fixed[32];
  std::snprintf(fixed, sizeof fixed, "%s%d", base, PrinterNumber + 1);
  return RootPath(fixed);
}

// path as one literal shell word.
std::string ShellQuote(const std::string& path) {
  std::string out = "'";
  for (char c : path) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

// Creates path anew as this driver's own file (mode 0600): whatever was there, a stale file
// or a link another user planted, is removed first, and the create neither follows a link nor
// opens an existing file. A read-write descriptor, or -1 with a line.
int CreateOwnFile(const std::string& path) {
  ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) Say("ERROR: %s: unable to create %s\n", XEQNAME, path.c_str());
  return fd;
}

// The file at path is still the one fd was created as (the shell's ">" opened it, not
// something put in its place).
bool StillOwnFile(const std::string& path, int fd) {
  struct stat at, own;
  if (::lstat(path.c_str(), &at) == 0 && ::fstat(fd, &own) == 0 && S_ISREG(at.st_mode) &&
      at.st_dev == own.st_dev && at.st_ino == own.st_ino)
    return true;
  Say("ERROR: %s: %s was replaced during the conversion\n", XEQNAME, path.c_str());
  return false;
}

// Runs "FILTER 'in' >'out'" through the shell and waits for it, bounded by ALARM_SEC; its
// exit status is not examined. false, with a line, when it could not be run or did not end.
bool RunFilter(const std::string& in, const std::string& out) {
  // Without a filter the shell would run the input file itself as the command.
  if (SETUPeuc_filter[0] == '\0') {
    Say("ERROR: %s: no FILTER code to convert %s\n", XEQNAME, in.c_str());
    return false;
  }
  std::string cmd = std::string(SETUPeuc_filter) + " " + ShellQuote(in) + " >" + ShellQuote(out);
  if (in.size() >= PATH_MAX || out.size() >= PATH_MAX || cmd.size() >= sizeof s) {
    Say("ERROR: %s: FILTER command too long (%zu characters) for %s\n", XEQNAME, cmd.size(),
        in.c_str());
    return false;
  }
  std::memcpy(s, cmd.c_str(), cmd.size() + 1);
  switch (RunShell(s, ALARM_SEC)) {
    case kShellNotRun:
      Say("ERROR: %s: unable to run %s\n", XEQNAME, s);
      return false;
    case kShellTimedOut:
      Say("ERROR: %s: FILTER did not finish within %d seconds: %s\n", XEQNAME, ALARM_SEC, s);
      return false;
  }
  return true;
}

// Converts in into out, which is created anew as the driver's own file. The descriptor of the
// converted output (at its start), or -1 when the conversion failed (its line printed).
int Convert(const std::string& in, const std::string& out) {
  const int fd = CreateOwnFile(out);
  if (fd < 0) return -1;
  if (RunFilter(in, out) && StillOwnFile(out, fd)) return fd;
  ::close(fd);
  return -1;
}

off_t FileSize(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 ? st.st_size : 0;
}

// The pending job-boundary eject, made before the first line that prints.
bool CountLine() {
  if (ffpending != 0 && didlines == 0) {
    if (Eject("PRINTER_BEGIN", 1)) {
      Fail("PRINTER_BEGIN");
      return false;
    }
    ffpending = 0;
  }
  ++didlines;
  return true;
}

}  // namespace

FILE* JCFile(const char* name) {
  JCname[0] = '\0';
  if (name == nullptr || name[0] == '\0') return nullptr;
  const std::string out = TempPath("/u/tmp/jis");
  const int fd = Convert(name, out);
  if (fd < 0) return nullptr;
  // A filter that is missing, or fails at once, leaves the output empty: nothing of the file
  // would be printed, so the request fails. (Its exit status decides nothing: converters
  // report failure for a stray byte and still convert the rest.)
  if (FileSize(fd) == 0 && CheckFileLen(name) > 0) {
    Say("ERROR: %s: FILTER wrote nothing for %s\n", XEQNAME, name);
    ::close(fd);
    return nullptr;
  }
  FILE* f = ::fdopen(fd, "r");
  if (f == nullptr) {
    ::close(fd);
    return nullptr;
  }
  std::snprintf(JCname, sizeof JCname, "%s", out.c_str());
  return f;
}

int JCLine(char* text, int size) {
  if (size <= 0) return 0;
  const size_t n = strnlen(text, static_cast<size_t>(size));
  if (n == 0) return 0;
  const std::string tmp = TempPath("/u/tmp/jistmp");
  const int in = CreateOwnFile(tmp);
  if (in < 0) return 0;
  const bool written = ::write(in, text, n) == static_cast<ssize_t>(n);
  ::close(in);
  if (!written) return 0;
  const int fd = Convert(tmp, TempPath("/u/tmp/jis"));
  if (fd < 0) return 0;
  // A converted text longer than the space for it is cut there.
  const off_t len = FileSize(fd);
  const size_t want = std::min(static_cast<size_t>(len), static_cast<size_t>(size) - 1);
  if (want > 0) {
    const ssize_t got = ::read(fd, text, want);
    if (got > 0) text[got] = '\0';
  }
  ::close(fd);
  return 0;
}

int CheckFileLen(const char* path) {
  struct stat st;
  if (::stat(path, &st) != 0) return 0;
  return st.st_size > INT_MAX ? INT_MAX : static_cast<int>(st.st_size);
}

void PrintRequest() {
  const std::string title(FieldText(rmsgp.title, sizeof rmsgp.title));
  Say("Start Print: %s on %s\n", title.c_str(), XEQNAME);
  // The request's file is checked first, on every printer: only a regular file is read (a
  // FIFO or a device would block or never end), and the conversion runs only on one.
  const std::string name(FieldText(rmsgp.name, sizeof rmsgp.name));
  int notRegular = 0;
  FILE* f = FopenRegular(name.c_str(), &notRegular);
  if (f == nullptr) {
    smsgp.status = ST_DEVICE;
    SayUnableToOpen(name.c_str(), notRegular);
    return;
  }
  if (SETUPlang == 'K') {
    std::fclose(f);
    f = JCFile(name.c_str());
    if (f == nullptr) {
      smsgp.status = ST_DEVICE;  // its line is printed; nothing unconverted goes out
      return;
    }
  }
  if (SETUPfontSpacingLen != 0 && WRITE(lp, SETUPfontSpacing, SETUPfontSpacingLen)) {
    Fail("FONTSPACING");
  } else if (INITLNct != 0 && FPUTS(INITLN, lp)) {
    Fail("INITLN");
  } else {
    while (std::fgets(Str, kPrintLineRead, f) != nullptr) {
      const int len = MapCodes(Str, kPrintLineLimit, sizeof Str);
      if (len != 0 && !CountLine()) break;
      if (WRITE(lp, Str, len)) {
        Fail("PRINTLINE", name.c_str());
        break;
      }
    }
  }
  std::fclose(f);
  ReopenDevice(false);
  Say("End Print: %s on %s\n", title.c_str(), XEQNAME);
}

void PrintLineRequest() {
  if (SETUPfontSpacingLen != 0 && WRITE(lp, SETUPfontSpacing, SETUPfontSpacingLen)) {
    Fail("FONTSPACING");
    return;
  }
  char* text = LineTextPtr(rmsgp);
  if (SETUPlang == 'K') JCLine(text, kLineTextMax);
  const std::string_view line = LineText(rmsgp);
  const bool reset = line == "\\!2FF" || line == "\\!5EJECT";
  int len = 0;
  if (reset) {
    if (lp != nullptr) {
      ReopenDevice(false);
      ffpending = 0;
      didlines = 0;
    }
  } else {
    // The translation works on a copy and comes back cut to the end of the request body
    // (a text that fills the body to its end has no NUL there, as it came).
    char buf[kLineTextMax + 1];
    std::memcpy(buf, line.data(), line.size());
    buf[line.size()] = '\0';
    len = MapCodes(buf, kOneLineLimit, sizeof buf);
    std::memcpy(text, buf, static_cast<size_t>(len) + (len < kLineTextMax ? 1 : 0));
    if (len != 0 && !CountLine()) return;
  }
  if (INITLNct != 0 && FPUTS(INITLN, lp)) {
    Fail("INITLN");
    return;
  }
  if (!reset && WRITE(lp, text, len)) Fail("PRINTLINE");
}

}  // namespace qx5
