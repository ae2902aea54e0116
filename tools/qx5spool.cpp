// qx5spool: a small spooler peer for qx5lp. It creates the server's message queue, starts the
// driver, sends it the requests given on the command line one after another, prints every
// record it gets back, stops the driver and removes the queue.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "driver/devout.hpp"
#include "driver/netprinter.hpp"
#include "driver/srvmsg.hpp"
#include "lib/paths.hpp"

namespace {

using qx5::SrvMsg;

constexpr const char* kHelp = R"(Usage: qx5spool [options] [request...]

Stands in for the QX5 spooler server: creates the server's message queue (key from
"/usr/bin/XSRVR" and 113, under $QX5_ROOT when set), starts qx5lp, sends it the requests
one after another and prints one line per record the driver sends back. At the end it sends
the stop request, prints the exit message, reaps the driver and removes the queue.

Without QX5_ROOT, qx5spool creates nothing and starts no driver unless --system is given:
the driver would then take the real /usr/bin/XSRVR, /dev/lp and /u/ of this machine. To try
a printer, point QX5_ROOT at a private copy of the sample installation tree.

Options:
      --system        use the real system paths when QX5_ROOT is not set
  -p, --printer N     printer number 0, 1 or 2 (default 0)
  -n, --name NAME     printer name, the key of its CONFIG line (default "laser")
  -d, --device WORD   device argument handed to the driver (default "/dev/lp"): a path
                      such as /dev/lp1 or /dev/usb/lp0, or a network printer
                      socket://HOST[:PORT] (port 9100 when omitted)
  -s, --serial N      serial line: passes "S" and the setting N (default "-" and 0)
      --ps WORD       the ps argument as given ("S" for a serial line)
      --ioctl N       the serial setting argument as given
  -t, --timeout SEC   time to wait for each record of the driver (default 90)
      --driver PATH   the qx5lp program (default: qx5lp beside qx5spool)
      --capture FILE  make the device (the --device path, else /dev/lp, under $QX5_ROOT)
                      a FIFO and copy every byte the driver sends into FILE, until the
                      driver has exited; the device must be missing, an empty file or a
                      FIFO (reached through no symbolic link), and is left as it was found
      --capture-net FILE
                      the same through a network printer: listen on a free loopback
                      port, hand the driver socket://127.0.0.1:PORT as its device (so
                      not with --device) and copy what every connection brings into FILE
                      (with either option FILE is written as named, never through a
                      symbolic link)
  -h, --help          this text

Requests (cmd codes of the server protocol):
  plot FILE                    plot a plot file (cmd 5)
  print FILE [--cmd N]         print a text file (cmd 9, or 10, 57, 59)
  line TEXT                    print one line (cmd 33)
  jobbegin [--ff]              job boundary, a job begins (cmd 60, subcmd 0)
  jobend [--ff]                job boundary, a job ends; --ff asks for a page eject
  settings [--paper P] [--ffflags N] [--reinit]
                               form-feed and paper settings (cmd 60, subcmd 1)
  raw N                        a bare request with command code N (for testing)
Each request may be followed by --title T, --pagetype N (plots: default 1, turned a
quarter turn; 4 prints the plot as drawn) and --remove (delete the file once the request
is done).

A control request whose page eject fails is not answered: qx5spool says so after the
time-out and goes on. When the driver ends on its own, the requests left are not sent.
SIGINT, SIGTERM or SIGHUP sends no more requests, stops the driver with the same signal
(killing it when it has not ended within 10 s) and cleans up as at a normal end.
The exit status is 0 when every request was answered with status 0 and the driver stopped
cleanly, 1 otherwise, 2 for a usage error or a capture that cannot be set up (then no
driver runs and nothing is made).
)";

struct Request {
  SrvMsg msg{};
  std::string what;  // for the lines printed
};

struct Options {
  std::string printer = "0";
  std::string name = "laser";
  std::string device = "/dev/lp";
  bool device_given = false;
  std::string ps = "-";
  std::string ioctl = "0";
  int timeout_sec = 90;
  std::string driver;
  std::string capture;
  std::string capture_net;
  bool system = false;
  std::vector<Request> requests;
};

long NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Waits block instead of polling: a blocking call ends when its event comes, when the driver
// ends (SIGCHLD: it ends msgrcv, which is never restarted, while other calls such as the
// writes of the progress lines are) or at its time-out (SIGALRM, armed only around a wait,
// restarts nothing).
void Wake(int) {}

// A stop signal (SIGINT, SIGTERM, SIGHUP) ends the wait as well: no more requests are sent,
// the driver is stopped, and the capture and the queue are cleaned up as at a normal end.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t stop_signal = 0;

void StopWake(int sig) {
  stop_signal = sig;
}

void InstallWakeups() {
  struct sigaction sa {};
  sa.sa_handler = Wake;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGCHLD, &sa, nullptr);
  sa.sa_flags = 0;
  sigaction(SIGALRM, &sa, nullptr);
  sa.sa_handler = StopWake;
  for (int sig : kStopSignals) sigaction(sig, &sa, nullptr);
}

// The alarm at the deadline, then every 200 ms: a wait that began just after the driver
// ended still ends soon.
void ArmDeadline(long ms) {
  struct itimerval t {};
  t.it_value.tv_sec = ms / 1000;
  t.it_value.tv_usec = ms % 1000 * 1000 + 1;
  t.it_interval.tv_usec = 200000;
  setitimer(ITIMER_REAL, &t, nullptr);
}

void DisarmDeadline() {
  struct itimerval off {};
  setitimer(ITIMER_REAL, &off, nullptr);
}

[[noreturn]] void UsageError(const std::string& why) {
  std::fprintf(stderr, "qx5spool: %s (see qx5spool --help)\n", why.c_str());
  std::exit(2);
}

int Number(const std::string& text, const char* what) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || errno != 0 || v < INT_MIN || v > INT_MAX)
    UsageError(std::string("bad number for ") + what + ": " + text);
  return static_cast<int>(v);
}

// Copies text into a fixed field, refusing what does not fit with its NUL.
void SetText(char* field, size_t width, const std::string& text, const char* what) {
  if (text.size() >= width)
    UsageError(std::string(what) + " longer than " + std::to_string(width - 1) + " bytes");
  std::memcpy(field, text.c_str(), text.size() + 1);
}

// Plot and print files go as absolute paths: the driver opens them as named.
std::string Absolute(const std::string& file) {
  if (!file.empty() && file[0] == '/') return file;
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) == nullptr) return file;
  return std::string(cwd) + "/" + file;
}

// Parses one request at args[i]; advances i past it and its options.
Request ParseRequest(const std::vector<std::string>& args, size_t& i) {
  auto value = [&](const char* what) -> const std::string& {
    if (i + 1 >= args.size()) UsageError(std::string(what) + " needs a value");
    return args[++i];
  };
  Request r;
  const std::string kind = args[i];
  r.what = kind;
  if (kind == "plot" || kind == "print") {
    const std::string file = Absolute(value(kind.c_str()));
    r.msg.cmd = kind == "plot" ? 5 : 9;
    // A plot is printed turned a quarter turn unless --pagetype says otherwise; page type 0
    // would draw the plot and send no raster at all.
    if (kind == "plot") r.msg.pagetype = 1;
    SetText(r.msg.name, sizeof r.msg.name, file, "file name");
    r.what += " " + file;
  } else if (kind == "line") {
    const std::string& text = value("line");
    r.msg.cmd = qx5::CMD_LINE;
    SetText(qx5::LineTextPtr(r.msg), qx5::kLineTextMax, text, "line text");
  } else if (kind == "jobbegin" || kind == "jobend") {
    r.msg.cmd = qx5::CMD_CONTROL;
    qx5::SetBodyInt(r.msg, qx5::kJobendOff, kind == "jobend" ? 1 : 0);
  } else if (kind == "settings") {
    r.msg.cmd = qx5::CMD_CONTROL;
    qx5::SetBodyInt(r.msg, qx5::kSubcmdOff, 1);
  } else if (kind == "raw") {
    r.msg.cmd = Number(value("raw"), "raw");
  } else {
    UsageError("unknown request: " + kind);
  }
  const bool control = r.msg.cmd == qx5::CMD_CONTROL;
  while (i + 1 < args.size() && args[i + 1].rfind("--", 0) == 0) {
    const std::string opt = args[++i];
    if (opt == "--title") {
      if (control) UsageError("--title does not go with a control request");
      SetText(r.msg.title, sizeof r.msg.title, value("--title"), "title");
    } else if (opt == "--pagetype") {
      r.msg.pagetype = Number(value("--pagetype"), "--pagetype");
    } else if (opt == "--remove") {
      r.msg.remove = 1;
    } else if (opt == "--cmd" && kind == "print") {
      r.msg.cmd = Number(value("--cmd"), "--cmd");
    } else if (opt == "--ff" && (kind == "jobbegin" || kind == "jobend")) {
      qx5::SetBodyInt(r.msg, qx5::kFormfeedOff, 1);
    } else if (opt == "--paper" && kind == "settings") {
      SetText(r.msg.paper, sizeof r.msg.paper, value("--paper"), "paper name");
    } else if (opt == "--ffflags" && kind == "settings") {
      qx5::SetBodyInt(r.msg, qx5::kFfflagsOff, Number(value("--ffflags"), "--ffflags"));
    } else if (opt == "--reinit" && kind == "settings") {
      qx5::SetBodyInt(r.msg, qx5::kReinitOff, 1);
    } else {
      UsageError("option " + opt + " does not go with " + kind);
    }
  }
  return r;
}

Options ParseArgs(int argc, char** argv) {
  Options o;
  std::vector<std::string> args(argv + 1, argv + argc);
  size_t i = 0;
  auto value = [&](const std::string& opt) -> const std::string& {
    if (i + 1 >= args.size()) UsageError(opt + " needs a value");
    return args[++i];
  };
  for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kHelp, stdout);
      std::exit(0);
    } else if (a == "--system") {
      o.system = true;
    } else if (a == "-p" || a == "--printer") {
      o.printer = value(a);
      if (o.printer != "0" && o.printer != "1" && o.printer != "2")
        UsageError("--printer takes 0, 1 or 2, not " + o.printer);
    } else if (a == "-n" || a == "--name") {
      o.name = value(a);
    } else if (a == "-d" || a == "--device") {
      o.device = value(a);
      o.device_given = true;
    } else if (a == "-s" || a == "--serial") {
      o.ps = "S";
      o.ioctl = value(a);
    } else if (a == "--ps") {
      o.ps = value(a);
    } else if (a == "--ioctl") {
      o.ioctl = value(a);
    } else if (a == "-t" || a == "--timeout") {
      o.timeout_sec = Number(value(a), "--timeout");
      if (o.timeout_sec <= 0) UsageError("--timeout must be positive");
    } else if (a == "--driver") {
      o.driver = value(a);
    } else if (a == "--capture") {
      o.capture = value(a);
    } else if (a == "--capture-net") {
      o.capture_net = value(a);
    } else {
      UsageError("unknown option " + a);
    }
  }
  if (!o.capture.empty() && !o.capture_net.empty())
    UsageError("--capture and --capture-net do not go together");
  if (!o.capture_net.empty() && o.device_given)
    UsageError("--capture-net hands the driver a device of its own; it does not go with --device");
  qx5::NetAddress net;
  if (!o.capture.empty() && qx5::ParseNetAddress(o.device, net) != qx5::NetParse::kNotNetwork)
    UsageError("--capture needs a device path, not " + o.device +
               " (--capture-net tries a network printer)");
  for (; i < args.size(); ++i) o.requests.push_back(ParseRequest(args, i));
  const char* root = std::getenv("QX5_ROOT");
  if ((root == nullptr || *root == '\0') && !o.system)
    UsageError(
        "QX5_ROOT is not set: this would create /usr/bin/XSRVR and start the driver on the real "
        "/dev/lp; set QX5_ROOT to a private root, or give --system");
  return o;
}

std::string DefaultDriver() {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "qx5lp";
  std::string dir(self, static_cast<size_t>(n));
  return dir.substr(0, dir.rfind('/') + 1) + "qx5lp";
}

// Copies every byte the driver sends to its device into a file, until the driver has exited.
// The FIFO form makes the device a FIFO, held open for reading and writing, so that the
// driver's opens never block and its re-opens never end the copy; the device is left as it
// was found (none, an empty file or a FIFO) once the copy ends. The network form is a printer
// on a free loopback port that takes one connection at a time, as such printers do. The start
// functions print why they refuse and change nothing then.
class Capture {
 public:
  // device is the path the driver will open; top is the installation root ("/" without one),
  // below which the device is reached without following a symbolic link.
  bool start_fifo(const std::string& top, const std::string& device, const std::string& file) {
    if (!OpenOutput(file) || !OpenDeviceDir(top, device)) return false;
    struct stat st;
    if (fstatat(dir_, leaf_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return Fail(device, std::strerror(errno));
      found_ = Found::kNothing;
    } else if (st.st_dev == out_dev_ && st.st_ino == out_ino_) {
      return Fail(file, "is the device itself; write the capture to another file");
    } else if (S_ISFIFO(st.st_mode)) {
      found_ = Found::kFifo;
    } else if (S_ISREG(st.st_mode) && st.st_size == 0) {
      found_ = Found::kEmptyFile;
      found_mode_ = st.st_mode & 07777;
    } else {
      return Fail(device, S_ISREG(st.st_mode) ? "holds " + std::to_string(st.st_size) +
                                                    " bytes that the capture would replace; "
                                                    "move them away first"
                                              : "is " + Kind(st.st_mode) +
                                                    "; the capture takes the place of a "
                                                    "missing or empty device file or a FIFO");
    }
    if (found_ == Found::kEmptyFile && unlinkat(dir_, leaf_.c_str(), 0) != 0)
      return Fail(device, std::string("cannot replace it: ") + std::strerror(errno));
    if (found_ != Found::kFifo && mkfifoat(dir_, leaf_.c_str(), 0600) != 0)
      return Fail(device, std::string("cannot make a FIFO: ") + std::strerror(errno));
    made_ = found_ != Found::kFifo;
    fd_ = openat(dir_, leaf_.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0 || fstat(fd_, &st) != 0 || !S_ISFIFO(st.st_mode))
      return Fail(device, std::string("cannot open the FIFO: ") + std::strerror(errno));
    fifo_dev_ = st.st_dev;
    fifo_ino_ = st.st_ino;
    return Begin();
  }
  // The device argument that reaches the capture is put in device.
  bool start_net(const std::string& file, std::string& device) {
    if (!OpenOutput(file)) return false;
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    struct sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_, 4) != 0 ||
        getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return Fail("listen on the loopback", std::strerror(errno));
    device = "socket://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    return Begin();
  }
  // Called once the driver has exited: copies what is left, ends, and puts back what was at
  // the device.
  void finish() {
    if (thread_.joinable()) {
      char stop = 1;
      if (::write(wake_[1], &stop, 1) != 1) std::printf("qx5spool: capture: cannot stop\n");
      thread_.join();
    }
    if (out_ != nullptr) std::fclose(out_);
    out_ = nullptr;
    if (out_fd_ >= 0 && created_out_ && !kept_out_) unlinkat(AT_FDCWD, out_path_.c_str(), 0);
    RestoreDevice();
    for (int* fd : {&fd_, &listen_, &wake_[0], &wake_[1], &dir_, &out_fd_}) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
  }
  ~Capture() { finish(); }

 private:
  enum class Found { kNothing, kEmptyFile, kFifo };

  static std::string Kind(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device node";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
  }
  bool Fail(const std::string& what, const std::string& why) {
    std::printf("qx5spool: capture: %s: %s\n", what.c_str(), why.c_str());
    return false;
  }
  // The capture file, opened as named (never through a symbolic link) before anything else
  // is changed, and emptied once it is known not to be the device.
  bool OpenOutput(const std::string& file) {
    out_path_ = file;
    out_fd_ = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    created_out_ = out_fd_ >= 0;
    if (out_fd_ < 0 && errno == EEXIST)
      out_fd_ = ::open(file.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (out_fd_ < 0)
      return Fail(file, errno == ELOOP   ? "is a symbolic link; name the file itself"
                        : errno == ENXIO ? "is a FIFO that nothing reads"
                                         : std::strerror(errno));
    struct stat st;
    if (fstat(out_fd_, &st) != 0) return Fail(file, std::strerror(errno));
    if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode))
      return Fail(file, "is " + Kind(st.st_mode) + ", not a file the capture can be written to");
    out_dev_ = st.st_dev;
    out_ino_ = st.st_ino;
    return true;
  }
  // Opens the directory that holds the device, from top down one name at a time, never
  // through a symbolic link and never above top; leaf_ is the device's own name.
  bool OpenDeviceDir(const std::string& top, const std::string& device) {
    if (device.compare(0, top.size(), top) != 0)
      return Fail(device, "not a device path the driver takes");
    std::vector<std::string> names;
    for (size_t at = top.size(); at < device.size();) {
      const size_t slash = std::min(device.find('/', at), device.size());
      const std::string name = device.substr(at, slash - at);
      if (name == "..") return Fail(device, "leaves the installation root");
      if (!name.empty() && name != ".") names.push_back(name);
      at = slash + 1;
    }
    if (names.empty() || device.back() == '/') return Fail(device, "is a directory");
    leaf_ = names.back();
    names.pop_back();
    dir_ = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_ < 0) return Fail(top, std::strerror(errno));
    std::string at = top;
    for (const std::string& name : names) {
      at += (at.back() == '/' ? "" : "/") + name;
      const int next = openat(dir_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next < 0) {
        struct stat st;
        const bool link =
            fstatat(dir_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
        return Fail(
            at, link ? "is a symbolic link; the capture does not follow it" : std::strerror(errno));
      }
      ::close(dir_);
      dir_ = next;
    }
    return true;
  }
  // The FIFO goes again where it was made; an empty file that was there is made again.
  void RestoreDevice() {
    if (dir_ < 0 || !made_) return;
    made_ = false;
    struct stat st;
    if (fstatat(dir_, leaf_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_dev != fifo_dev_ ||
        st.st_ino != fifo_ino_ || unlinkat(dir_, leaf_.c_str(), 0) != 0)
      return;
    if (found_ != Found::kEmptyFile) return;
    const int fd = openat(dir_, leaf_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          found_mode_);
    if (fd < 0)
      Fail(leaf_, std::string("cannot put the empty device file back: ") + std::strerror(errno));
    else
      ::close(fd);
  }
  bool Begin() {
    if (ftruncate(out_fd_, 0) != 0 && errno != EINVAL) return Fail(out_path_, std::strerror(errno));
    const int fd = fcntl(out_fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0 || fcntl(fd, F_SETFL, 0) != 0 || (out_ = fdopen(fd, "wb")) == nullptr) {
      if (fd >= 0) ::close(fd);
      return Fail(out_path_, std::strerror(errno));
    }
    kept_out_ = true;
    if (pipe(wake_) != 0) return Fail("pipe", std::strerror(errno));
    thread_ = std::thread([this] {
      sigset_t wakeups;
      sigemptyset(&wakeups);
      sigaddset(&wakeups, SIGCHLD);
      sigaddset(&wakeups, SIGALRM);
      for (int sig : kStopSignals) sigaddset(&wakeups, sig);
      pthread_sigmask(SIG_BLOCK, &wakeups, nullptr);  // they are for the main thread's waits
      if (listen_ >= 0)
        RunNet();
      else
        RunFifo();
    });
    return true;
  }
  // Copies what fd holds now; false at its end (or when it failed).
  bool Copy(int fd) {
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) std::fwrite(buf, 1, static_cast<size_t>(n), out_);
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
  }
  // Copies as soon as bytes arrive; a byte on the wake pipe says that the driver has ended,
  // and what the FIFO still holds is copied before the copy ends.
  void RunFifo() {
    for (;;) {
      struct pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (poll(p, 2, -1) < 0 && errno != EINTR) return;
      Copy(fd_);
      if (p[1].revents != 0) return;
    }
  }
  // One connection at a time, copied to its end. Once the driver has ended (it closed its
  // connection on the way out), a connection still open or waiting is copied until it has
  // been quiet for a second.
  void RunNet() {
    bool ended = false;
    for (;;) {
      const int source = fd_ >= 0 ? fd_ : listen_;
      struct pollfd p[2] = {{source, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      const int ready = poll(p, ended ? 1 : 2, ended ? 1000 : -1);
      if (ready < 0 && errno != EINTR) return;
      if (!ended && p[1].revents != 0) ended = true;
      if (fd_ < 0) {
        fd_ = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd_ < 0 && ended && ready <= 1 && p[0].revents == 0) return;
      } else if (!Copy(fd_)) {
        ::close(fd_);
        fd_ = -1;
      } else if (ended && ready == 0) {
        return;
      }
    }
  }
  int fd_ = -1;  // the FIFO, or the connection being copied
  int listen_ = -1;
  int wake_[2] = {-1, -1};
  int dir_ = -1;      // the directory of the FIFO device
  std::string leaf_;  // the device's name in it
  Found found_ = Found::kNothing;
  mode_t found_mode_ = 0600;
  bool made_ = false;  // the FIFO was made here and goes again at the end
  dev_t fifo_dev_ = 0;
  ino_t fifo_ino_ = 0;
  std::string out_path_;
  int out_fd_ = -1;
  bool created_out_ = false;  // the capture file did not exist before
  bool kept_out_ = false;     // the copy began: the file stays
  dev_t out_dev_ = 0;
  ino_t out_ino_ = 0;
  FILE* out_ = nullptr;
  std::thread thread_;
};

class Spooler {
 public:
  explicit Spooler(const Options& o) : o_(o), device_(o.device) {}

  int run() {
    InstallWakeups();
    // A capture that cannot work is refused before anything is created or started.
    if (!StartCapture()) {
      capture_.finish();
      return 2;
    }
    if (!CreateQueue()) {
      capture_.finish();
      return 1;
    }
    bool ok = StartDriver() && Attach();
    if (ok) {
      size_t sent = 0;
      for (; sent < o_.requests.size() && !exit_seen_ && stop_signal == 0 && !Reaped(); ++sent)
        ok = Send(o_.requests[sent]) && ok;
      if (stop_signal != 0)
        std::printf("qx5spool: stopped by SIG%s; %zu request%s not sent\n",
                    sigabbrev_np(stop_signal), o_.requests.size() - sent,
                    o_.requests.size() - sent == 1 ? "" : "s");
      else if (sent < o_.requests.size())
        std::printf("qx5spool: the driver has ended; %zu request%s not sent\n",
                    o_.requests.size() - sent, o_.requests.size() - sent == 1 ? "" : "s");
    }
    ok = Stop() && ok;
    capture_.finish();
    RemoveQueue();
    return ok ? 0 : 1;
  }

 private:
  bool CreateQueue() {
    const std::string keyfile = qx5::RootPath("/usr/bin/XSRVR");
    const int fd = ::open(keyfile.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0) {
      std::printf("qx5spool: cannot create the key file %s: %s\n", keyfile.c_str(),
                  std::strerror(errno));
      return false;
    }
    ::close(fd);
    key_ = ftok(keyfile.c_str(), 113);
    qid_ = key_ == static_cast<key_t>(-1) ? -1 : msgget(key_, IPC_CREAT | IPC_EXCL | 0600);
    if (qid_ < 0) {
      std::printf("qx5spool: cannot create the queue of %s: %s%s\n", keyfile.c_str(),
                  std::strerror(errno),
                  errno == EEXIST ? " (another spooler running? else remove it with ipcrm)" : "");
      return false;
    }
    return true;
  }

  void RemoveQueue() {
    if (qid_ >= 0) msgctl(qid_, IPC_RMID, nullptr);
    qid_ = -1;
  }

  // The FIFO capture at the device the driver will open (its device argument, as the driver
  // reads it), or the network capture, whose address becomes the device argument.
  bool StartCapture() {
    if (!o_.capture_net.empty()) return capture_.start_net(o_.capture_net, device_);
    if (o_.capture.empty()) return true;
    qx5::SetDevice(device_.c_str());
    return capture_.start_fifo(qx5::RootPath("/"), qx5::DeviceName(), o_.capture);
  }

  bool StartDriver() {
    const std::string prog = o_.driver.empty() ? DefaultDriver() : o_.driver;
    std::vector<std::string> args = {prog, o_.printer, device_, o_.ps, o_.ioctl, o_.name};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    child_ = fork();
    if (child_ == 0) {
      execv(prog.c_str(), argv.data());
      std::printf("qx5spool: cannot run %s: %s\n", prog.c_str(), std::strerror(errno));
      std::fflush(stdout);
      _exit(127);
    }
    if (child_ < 0) {
      std::printf("qx5spool: fork: %s\n", std::strerror(errno));
      return false;
    }
    std::printf("qx5spool: started %s %s %s %s %s \"%s\" (pid %d)\n", prog.c_str(),
                o_.printer.c_str(), device_.c_str(), o_.ps.c_str(), o_.ioctl.c_str(),
                o_.name.c_str(), static_cast<int>(child_));
    std::fflush(stdout);
    return true;
  }

  // Reaps the driver when it has ended; true once it is gone. With flags 0 it waits for the
  // end until a signal comes.
  bool Reaped(int flags = WNOHANG) {
    if (child_ <= 0) return true;
    int status = 0;
    if (waitpid(child_, &status, flags) != child_) return false;
    child_ = -1;
    exited_cleanly_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (WIFSIGNALED(status))
      std::printf("qx5spool: the driver was killed by signal %d (%s)\n", WTERMSIG(status),
                  strsignal(WTERMSIG(status)));
    else if (!exited_cleanly_)
      std::printf("qx5spool: the driver ended with exit status %d\n", WEXITSTATUS(status));
    return true;
  }

  // The next record from the driver, false after the time-out or when the driver is gone.
  bool Receive(SrvMsg& m) {
    const long end = NowMs() + o_.timeout_sec * 1000L;
    ArmDeadline(o_.timeout_sec * 1000L);
    bool got = false;
    while (!got) {
      if (msgrcv(qid_, &m, qx5::kBodySize, key_, IPC_NOWAIT) >= 0) {
        got = true;
      } else if (Reaped()) {
        got = msgrcv(qid_, &m, qx5::kBodySize, key_, IPC_NOWAIT) >= 0;
        break;
      } else if (NowMs() >= end || stop_signal != 0) {
        break;
      } else {
        got = msgrcv(qid_, &m, qx5::kBodySize, key_, 0) >= 0;
      }
    }
    DisarmDeadline();
    if (got && m.cmd == qx5::ExitKind(std::atoi(o_.printer.c_str()))) exit_seen_ = true;
    return got && Print(m);
  }

  // What a message from the driver is, by the kinds of the three printer numbers.
  static const char* KindName(int cmd) {
    if (cmd == qx5::CMD_CONTROL_ANSWER) return "control-answer";
    for (int printer = 0; printer <= 2; ++printer) {
      if (cmd == qx5::AttachKind(printer)) return "attach";
      if (cmd == qx5::AnswerKind(printer)) return "answer";
      if (cmd == qx5::ExitKind(printer)) return "exit";
    }
    return "record";
  }

  static bool Print(const SrvMsg& m) {
    std::printf("qx5spool: %s cmd=%d status=%d", KindName(m.cmd), m.cmd, m.status);
    if (m.cmd == qx5::CMD_CONTROL_ANSWER) {
      std::printf(" subcmd=%d dstpid=%d", qx5::BodyInt(m, qx5::kSubcmdOff), m.dstpid);
    } else {
      const std::string name(qx5::FieldText(m.name, sizeof m.name));
      const std::string title(qx5::FieldText(m.title, sizeof m.title));
      std::printf(" srcpid=%d", m.srcpid);
      if (!name.empty()) std::printf(" name=\"%s\"", name.c_str());
      if (!title.empty()) std::printf(" title=\"%s\"", title.c_str());
    }
    std::printf("\n");
    std::fflush(stdout);
    return true;
  }

  bool Attach() {
    SrvMsg m;
    if (!Receive(m)) {
      std::printf("qx5spool: no attach message from the driver\n");
      return false;
    }
    if (std::strcmp(KindName(m.cmd), "attach") != 0 || m.srcpid != child_) {
      std::printf("qx5spool: the driver did not attach\n");
      return false;
    }
    return true;
  }

  bool Send(const Request& r) {
    SrvMsg m = r.msg;
    m.mtype = child_;
    if (m.cmd == qx5::CMD_CONTROL) m.srcpid = static_cast<int32_t>(getpid());
    std::printf("qx5spool: request %s (cmd %d)\n", r.what.c_str(), m.cmd);
    std::fflush(stdout);
    if (msgsnd(qid_, &m, qx5::kBodySize, IPC_NOWAIT) != 0) {
      std::printf("qx5spool: msgsnd: %s\n", std::strerror(errno));
      return false;
    }
    SrvMsg a;
    if (!Receive(a)) {
      if (stop_signal != 0) return false;  // said once the requests end
      if (child_ <= 0)
        std::printf("qx5spool: the driver ended without an answer\n");
      else if (m.cmd == qx5::CMD_CONTROL)
        std::printf("qx5spool: no answer to the control request (its page eject failed)\n");
      else
        std::printf("qx5spool: no answer within %d s\n", o_.timeout_sec);
      return false;
    }
    return a.status == qx5::ST_DONE;
  }

  bool Stop() {
    bool ok = true;
    if (exit_seen_) {
      ok = false;  // the driver ended on its own, and said so
    } else if (stop_signal != 0 && child_ > 0 && !Reaped()) {
      // Stopped: the driver is stopped by the same signal, and its exit message printed.
      std::printf("qx5spool: stopping the driver with SIG%s\n", sigabbrev_np(stop_signal));
      std::fflush(stdout);
      kill(child_, stop_signal);
      ok = false;
    } else if (child_ > 0 && !Reaped()) {
      SrvMsg m{};
      m.mtype = child_;
      m.cmd = qx5::CMD_STOP;
      std::printf("qx5spool: request stop (cmd 2)\n");
      std::fflush(stdout);
      SrvMsg e;
      ok = msgsnd(qid_, &m, qx5::kBodySize, IPC_NOWAIT) == 0 && Receive(e) &&
           std::strcmp(KindName(e.cmd), "exit") == 0;
      if (!ok) std::printf("qx5spool: no exit message from the driver\n");
      // A driver that ended on its own (a start-up failure) says so in its exit status.
      if (ok && e.status != qx5::ST_DONE) ok = false;
    } else {
      // The driver ended on its own: its exit message, if any, is still queued.
      SrvMsg e;
      while (msgrcv(qid_, &e, qx5::kBodySize, key_, IPC_NOWAIT) >= 0) Print(e);
      ok = false;
    }
    const long end = NowMs() + 10000;
    ArmDeadline(10000);
    while (!Reaped(0) && NowMs() < end) continue;
    DisarmDeadline();
    if (stop_signal != 0) {
      SrvMsg e;
      while (msgrcv(qid_, &e, qx5::kBodySize, key_, IPC_NOWAIT) >= 0) Print(e);
    }
    if (child_ > 0) {
      std::printf("qx5spool: the driver did not end; killing it\n");
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
      child_ = -1;
      return false;
    }
    return ok && exited_cleanly_;
  }

  const Options& o_;
  std::string device_;  // the device argument handed to the driver
  key_t key_ = -1;
  int qid_ = -1;
  pid_t child_ = -1;
  bool exited_cleanly_ = false;
  bool exit_seen_ = false;  // the driver's exit message came
  Capture capture_;
};

}  // namespace

int main(int argc, char** argv) {
  const Options o = ParseArgs(argc, argv);
  return Spooler(o).run();
}
