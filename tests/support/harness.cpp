#include "harness.hpp"

#include <gtest/gtest.h>
// Xlib after gtest: its macros would break gtest's templates.
#include <X11/Xlib.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace qx5test {
namespace {

long NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int Run(const std::string& cmd) {
  return std::system(cmd.c_str());
}

}  // namespace

TempRoot::TempRoot(bool copy_examples) {
  char tmpl[] = "/tmp/qx5t.XXXXXX";
  const char* d = mkdtemp(tmpl);
  if (d == nullptr) ADD_FAILURE() << "mkdtemp failed";
  dir_ = d ? d : "/tmp";
  if (copy_examples) {
    Run("cp -a '" QX5_SOURCE_DIR "/examples/root/.' '" + dir_ + "/'");
  }
  Run("mkdir -p '" + dir_ + "/dev' '" + dir_ + "/usr/bin' '" + dir_ + "/u/tmp'");
  const char* old = std::getenv("QX5_ROOT");
  had_old_root_ = old != nullptr;
  if (old) old_root_ = old;
  setenv("QX5_ROOT", dir_.c_str(), 1);
}

TempRoot::~TempRoot() {
  if (had_old_root_)
    setenv("QX5_ROOT", old_root_.c_str(), 1);
  else
    unsetenv("QX5_ROOT");
  if (!std::getenv("QX5_KEEP_ROOT")) Run("rm -rf '" + dir_ + "'");
}

void TempRoot::write(const std::string& fixed, const std::string& content) const {
  std::string p = path(fixed);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(p).parent_path(), ec);
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f << content;
}

std::string TempRoot::read(const std::string& fixed) const {
  return ReadFile(path(fixed));
}

bool TempRoot::exists(const std::string& fixed) const {
  struct stat st;
  return ::stat(path(fixed).c_str(), &st) == 0;
}

CommandResult RunCommand(const std::string& command) {
  CommandResult r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

long StatusKb(pid_t pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string word;
  while (in >> word) {
    if (word == key + ":") {
      long kb = -1;
      in >> kb;
      return kb;
    }
    in.ignore(1 << 16, '\n');
  }
  return -1;
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[8];
  for (unsigned char c : bytes) {
    if (c >= 32 && c < 127 && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    }
  }
  return out;
}

SilentPrinter::SilentPrinter() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&a), len), 0);
  EXPECT_EQ(::listen(listener_, 0), 0);
  EXPECT_EQ(::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len), 0);
  port_ = ntohs(a.sin_port);
  // Connections that are never accepted, until the queue holds no more.
  for (int i = 0; i < 16; ++i) {
    waiting_.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    ::connect(waiting_.back(), reinterpret_cast<sockaddr*>(&a), len);
  }
}

SilentPrinter::~SilentPrinter() {
  for (int fd : waiting_) ::close(fd);
  ::close(listener_);
}

std::string SilentPrinter::address() const {
  return "socket://127.0.0.1:" + std::to_string(port_);
}

FifoDevice::FifoDevice(const std::string& path) : path_(path) {
  ::unlink(path.c_str());
  if (mkfifo(path.c_str(), 0600) != 0)
    ADD_FAILURE() << "mkfifo " << path << ": " << strerror(errno);
  last_ms_ = NowMs();
  reader_ = std::thread([this] { run(); });
}

FifoDevice::~FifoDevice() {
  if (size_fd_ >= 0) ::close(size_fd_);
  stop_ = true;
  // Unblock a reader waiting in open() for a writer.
  int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
  if (fd >= 0) ::close(fd);
  reader_.join();
}

void FifoDevice::run() {
  // Held open for writing as well, so that reads never see end-of-file between the driver's
  // re-opens and the thread can poll without blocking.
  int fd = ::open(path_.c_str(), O_RDWR | O_NONBLOCK);
  if (fd < 0) return;
  char buf[65536];
  while (!stop_) {
    if (paused_) {
      Sleep(5);
      continue;
    }
    const long rate = rate_;
    const size_t want = rate > 0 ? std::clamp<size_t>(rate / 10, 1, sizeof buf) : sizeof buf;
    ssize_t n = ::read(fd, buf, want);
    if (n > 0) {
      std::lock_guard<std::mutex> lock(mu_);
      data_.append(buf, static_cast<size_t>(n));
      last_ms_ = NowMs();
    }
    if (rate > 0)
      Sleep(100);
    else if (n <= 0)
      Sleep(2);
  }
  ::close(fd);
}

bool FifoDevice::set_pipe_size(int bytes) {
  if (size_fd_ < 0) size_fd_ = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  return size_fd_ >= 0 && fcntl(size_fd_, F_SETPIPE_SZ, bytes) >= bytes;
}

std::string FifoDevice::bytes() {
  std::lock_guard<std::mutex> lock(mu_);
  return data_;
}

void FifoDevice::clear() {
  std::lock_guard<std::mutex> lock(mu_);
  data_.clear();
}

bool FifoDevice::wait_for(size_t n, int timeout_ms) {
  long end = NowMs() + timeout_ms;
  while (NowMs() < end) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (data_.size() >= n) return true;
    }
    Sleep(5);
  }
  return false;
}

void FifoDevice::settle(int quiet_ms) {
  // Quiet counted from this call on as well: bytes already in the pipe but not yet read must
  // not pass for silence.
  const long start = NowMs();
  while (NowMs() - std::max(start, last_ms_.load()) < quiet_ms) Sleep(10);
}

std::string FifoDevice::drain() {
  settle(200);
  std::lock_guard<std::mutex> lock(mu_);
  std::string b;
  b.swap(data_);
  return b;
}

qx5::SrvMsg Request(int cmd) {
  qx5::SrvMsg m;
  std::memset(&m, 0, sizeof m);
  m.cmd = cmd;
  return m;
}

qx5::SrvMsg FileRequest(int cmd, const std::string& name, const std::string& title) {
  qx5::SrvMsg m = Request(cmd);
  std::snprintf(m.name, sizeof m.name, "%s", name.c_str());
  std::snprintf(m.title, sizeof m.title, "%s", title.c_str());
  return m;
}

qx5::SrvMsg LineRequest(const std::string& text) {
  qx5::SrvMsg m = Request(qx5::CMD_LINE);
  std::snprintf(m.name, sizeof m.name, "%s", text.c_str());
  return m;
}

qx5::SrvMsg PlotRequest(const std::string& file, int pagetype, const std::string& title) {
  qx5::SrvMsg m = FileRequest(5, file, title);
  m.pagetype = pagetype;
  return m;
}

void SetConfigLine(const TempRoot& root, const std::string& name, const std::string& line) {
  const std::string config = "/u/qx5/def_data/printers/CONFIG";
  std::string text = root.read(config);
  const size_t at = text.find("\"" + name + "\"");
  ASSERT_NE(at, std::string::npos) << name;
  text.replace(at, text.find('\n', at) - at, line);
  root.write(config, text);
}

std::string CrossingLines(int n) {
  std::string plot = "WINDOW(1,0.0,0.0,8.0,10.0)\n";
  char line[80];
  for (int i = 0; i < n; ++i) {
    std::snprintf(line, sizeof line, "M(%.3f,0.2)\nL(%.3f,9.8)\n", 0.1 + i * 7.8 / n,
                  7.9 - i * 7.8 / n);
    plot += line;
  }
  return plot;
}

Driver::Driver(const TempRoot& root, const std::string& printid, const std::string& name,
               const std::string& ps, const std::string& ioctl) {
  start(root, {printid, "/dev/lp", ps, ioctl, name}, Log::kRead);
}

Driver::Driver(const TempRoot& root, const std::vector<std::string>& args, Log log) {
  start(root, args, log);
}

void Driver::start(const TempRoot& root, const std::vector<std::string>& args, Log log) {
  std::string keyfile = root.path("/usr/bin/XSRVR");
  if (!root.exists("/usr/bin/XSRVR")) root.write("/usr/bin/XSRVR", "");
  key_ = ftok(keyfile.c_str(), 113);
  qid_ = msgget(static_cast<key_t>(key_), IPC_CREAT | 0600);
  if (qid_ < 0) ADD_FAILURE() << "msgget: " << strerror(errno);
  // Drop records left over from an earlier queue of the same key.
  qx5::SrvMsg junk;
  while (msgrcv(qid_, &junk, qx5::kBodySize, 0, IPC_NOWAIT) >= 0) {
  }

  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) ADD_FAILURE() << "pipe";
  if (log == Log::kUnread && fcntl(pipefd[0], F_SETPIPE_SZ, 8192) < 0)
    ADD_FAILURE() << "F_SETPIPE_SZ: " << strerror(errno);
  child_ = fork();
  if (child_ == 0) {
    if (log == Log::kClosed)
      close(1);
    else
      dup2(pipefd[1], 1);
    dup2(pipefd[1], 2);
    std::vector<char*> argv;
    std::string prog = QX5_BIN_DIR "/qx5lp";
    argv.push_back(prog.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(prog.c_str(), argv.data());
    _exit(127);
  }
  close(pipefd[1]);
  out_fd_ = pipefd[0];
  if (log != Log::kUnread) start_reader();
}

void Driver::read_log() {
  if (!out_reader_.joinable()) start_reader();
}

void Driver::start_reader() {
  out_reader_ = std::thread([this] {
    char buf[4096];
    for (;;) {
      ssize_t n = ::read(out_fd_, buf, sizeof buf);
      if (n <= 0) break;
      std::lock_guard<std::mutex> lock(mu_);
      out_.append(buf, static_cast<size_t>(n));
    }
  });
}

Driver::~Driver() {
  if (!reaped_ && child_ > 0) {
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
  if (out_reader_.joinable()) out_reader_.join();
  if (out_fd_ >= 0) close(out_fd_);
  if (qid_ >= 0 && !keep_queue_) msgctl(qid_, IPC_RMID, nullptr);
}

bool Driver::receive(qx5::SrvMsg& out, int timeout_ms) {
  long end = NowMs() + timeout_ms;
  do {
    if (msgrcv(qid_, &out, qx5::kBodySize, key_, IPC_NOWAIT) >= 0) return true;
    Sleep(5);
  } while (NowMs() < end);
  return false;
}

bool Driver::send(qx5::SrvMsg req) {
  req.mtype = child_;
  return msgsnd(qid_, &req, qx5::kBodySize, IPC_NOWAIT) == 0;
}

bool Driver::request(const qx5::SrvMsg& req, qx5::SrvMsg& answer, int timeout_ms) {
  return send(req) && receive(answer, timeout_ms);
}

int Driver::wait_exit(int timeout_ms) {
  if (reaped_) return 0;
  long end = NowMs() + timeout_ms;
  do {
    int status = 0;
    pid_t r = waitpid(child_, &status, WNOHANG);
    if (r == child_) {
      reaped_ = true;
      if (out_reader_.joinable()) out_reader_.join();
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    Sleep(5);
  } while (NowMs() < end);
  return -1;
}

bool Driver::stop(qx5::SrvMsg* exit_msg) {
  qx5::SrvMsg msg;
  if (!send(Request(qx5::CMD_STOP))) return false;
  if (!receive(msg)) return false;
  if (exit_msg) *exit_msg = msg;
  return wait_exit() == 0;
}

std::string Driver::output() {
  std::lock_guard<std::mutex> lock(mu_);
  return out_;
}

bool Driver::wait_output(const std::string& text, int timeout_ms) {
  long end = NowMs() + timeout_ms;
  do {
    if (output().find(text) != std::string::npos) return true;
    Sleep(5);
  } while (NowMs() < end);
  return false;
}

_XDisplay* TestDisplay() {
  static Display* d = nullptr;
  if (d == nullptr) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
      ADD_FAILURE() << "no X display: run the tests through ./run-tests.sh";
      return nullptr;
    }
    d = XOpenDisplay(nullptr);
    if (d == nullptr) ADD_FAILURE() << "cannot open X display " << name;
  }
  return d;
}

void Attach(Driver& d) {
  qx5::SrvMsg attach;
  ASSERT_TRUE(d.receive(attach)) << d.output();
}

}  // namespace qx5test
