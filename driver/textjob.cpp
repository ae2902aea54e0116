#include "driver/textjob.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
#include "lib/stop.hpp"
#include "printers/codefile.hpp"
#include "printers/config.hpp"

namespace qx5 {
char Str[504];
char s[kCommandMax];
char JCname[PATH_MAX];

namespace {

constexpr size_t kPieceMax = 498;  // the longest piece of a print file's line
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
  if (fd < 0) Say("ERROR: %s: unable to create %s: %s\n", XEQNAME, path.c_str(), Reason(errno));
  return fd;
}

// Runs "FILTER 'in'" through the shell, its output written into out as it comes, bounded by
// ALARM_SEC (and by a stop signal's grace). false, with a line, when it could not be run, did
// not end, failed (a non-zero exit status) or its output could not be written.
bool RunFilter(const std::string& in, int out, const std::string& out_path) {
  // Without a filter the shell would run the input file itself as the command.
  if (SETUPeuc_filter[0] == '\0') {
    Say("ERROR: %s: no FILTER code to convert %s\n", XEQNAME, in.c_str());
    return false;
  }
  std::string cmd = std::string(SETUPeuc_filter) + " " + ShellQuote(in);
  if (in.size() >= PATH_MAX || cmd.size() >= sizeof s) {
    Say("ERROR: %s: FILTER command too long (%zu characters) for %s\n", XEQNAME, cmd.size(),
        in.c_str());
    return false;
  }
  std::memcpy(s, cmd.c_str(), cmd.size() + 1);
  const int limit_ms = StopGraceLeftMs(std::clamp(ALARM_SEC, 1, INT_MAX / 1000) * 1000, ALARM_SEC);
  int err = 0;
  const int result = RunShell(s, limit_ms, out, &err);
  switch (result) {
    case 0:
      return true;
    case kShellNotRun:
      Say("ERROR: %s: unable to run %s\n", XEQNAME, s);
      break;
    case kShellTimedOut:
      Say("ERROR: %s: FILTER did not finish within %d seconds: %s\n", XEQNAME,
          (limit_ms + 999) / 1000, s);
      break;
    case kShellWriteFailed:
      Say("ERROR: %s: unable to write %s: %s\n", XEQNAME, out_path.c_str(), Reason(err));
      break;
    default:
      Say("ERROR: %s: FILTER failed with exit status %d: %s\n", XEQNAME, result, s);
  }
  return false;
}

// Converts in into out, which is created anew as the driver's own file. The descriptor of the
// converted output (at its start), or -1 when the conversion failed (its line printed; out is
// removed).
int Convert(const std::string& in, const std::string& out) {
  const int fd = CreateOwnFile(out);
  if (fd < 0) return -1;
  if (RunFilter(in, fd, out) && ::lseek(fd, 0, SEEK_SET) == 0) return fd;
  ::close(fd);
  ::unlink(out.c_str());
  return -1;
}

off_t FileSize(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 ? st.st_size : 0;
}

// A conversion that wrote nothing for a non-empty text: nothing of the text would be printed.
bool WroteNothing(int fd, off_t in_size, const char* what) {
  if (FileSize(fd) != 0 || in_size == 0) return false;
  Say("ERROR: %s: FILTER wrote nothing for %s\n", XEQNAME, what);
  return true;
}

// Reads a text file in pieces: a line with its newline, or the first kPieceMax bytes of a
// longer one. NUL bytes are text like any other. A piece never ends inside a printer-command
// escape: the escape's first bytes are held back and begin the next piece.
class PieceReader {
 public:
  explicit PieceReader(FILE* f) : f_(f) {}
  // The next piece into buf (room for kPieceMax bytes and a NUL); its length, 0 at the end.
  size_t Next(char* buf) {
    size_t len = held_;
    std::memcpy(buf, hold_, held_);
    held_ = 0;
    int c;
    while (len < kPieceMax && (c = getc_unlocked(f_)) != EOF) {
      buf[len++] = static_cast<char>(c);
      if (c == '\n') return len;
    }
    if (len < kPieceMax) return len;  // the end of the file
    const size_t cut = WholeEscapes(buf, len);
    if (cut > 0 && len - cut <= sizeof hold_) {
      held_ = len - cut;
      std::memcpy(hold_, buf + cut, held_);
      len = cut;
    }
    return len;
  }

 private:
  FILE* f_;
  char hold_[16];  // an escape is at most 12 bytes
  size_t held_ = 0;
};

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
  FILE* f = WroteNothing(fd, CheckFileLen(name), name) ? nullptr : ::fdopen(fd, "r");
  if (f == nullptr) {
    ::close(fd);
    ::unlink(out.c_str());
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
  const std::string out = TempPath("/u/tmp/jis");
  const int in = CreateOwnFile(tmp);
  if (in < 0) return 1;
  const bool written = WriteAll(in, text, n);
  if (!written) Say("ERROR: %s: unable to write %s: %s\n", XEQNAME, tmp.c_str(), Reason(errno));
  ::close(in);
  const int fd = written ? Convert(tmp, out) : -1;
  if (fd < 0 || WroteNothing(fd, static_cast<off_t>(n), tmp.c_str())) {
    if (fd >= 0) ::close(fd);
    ::unlink(tmp.c_str());
    ::unlink(out.c_str());
    return 1;
  }
  // A converted text longer than the space for it is cut there.
  const size_t want = std::min(static_cast<size_t>(FileSize(fd)), static_cast<size_t>(size) - 1);
  const ssize_t got = ::read(fd, text, want);
  if (got >= 0) text[got] = '\0';
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
    PieceReader reader(f);
    while (const size_t piece = reader.Next(Str)) {
      const int len = MapBytes(Str, piece, sizeof Str);
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
  // The conversion comes first, so that a failed one sends nothing at all (the raw text would
  // be garbage on this printer); what the printer receives is the same either way.
  char* text = LineTextPtr(rmsgp);
  if (SETUPlang == 'K' && JCLine(text, kLineTextMax) != 0) {
    smsgp.status = ST_DEVICE;
    return;
  }
  if (SETUPfontSpacingLen != 0 && WRITE(lp, SETUPfontSpacing, SETUPfontSpacingLen)) {
    Fail("FONTSPACING");
    return;
  }
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
