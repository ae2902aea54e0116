// Test support: a temporary installation root, a FIFO device that captures every byte, a real
// qx5lp process attached to a real System V queue, and the X display of the test run.
#pragma once
#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/srvmsg.hpp"

struct _XDisplay;

namespace qx5test {

// A temporary QX5_ROOT; with copy_examples the sample installation tree is copied into it.
// Sets QX5_ROOT for this process (and so for the programs it starts) while it lives.
class TempRoot {
 public:
  explicit TempRoot(bool copy_examples = true);
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
  const std::string& dir() const { return dir_; }
  // The path of a fixed system path under this root, e.g. path("/dev/lp").
  std::string path(const std::string& fixed) const { return dir_ + fixed; }
  void write(const std::string& fixed, const std::string& content) const;
  std::string read(const std::string& fixed) const;
  bool exists(const std::string& fixed) const;

 private:
  std::string dir_;
  std::string old_root_;
  bool had_old_root_ = false;
};

// A printer on the loopback that answers no connection: its queue of connections is full, so
// a connect to it waits (as for a printer that is off), until the object goes.
class SilentPrinter {
 public:
  SilentPrinter();
  ~SilentPrinter();
  SilentPrinter(const SilentPrinter&) = delete;
  SilentPrinter& operator=(const SilentPrinter&) = delete;
  // socket://127.0.0.1:PORT
  std::string address() const;

 private:
  int listener_ = -1;
  int port_ = 0;
  std::vector<int> waiting_;  // connections never accepted
};

// $root/dev/lp as a FIFO, read by a thread into a buffer, so that every byte the driver sends
// is captured across its re-opens of the device. pause() stops reading (the pipe then fills
// and the driver's writes block), resume() goes on. A slow printer: set_pipe_size() shrinks
// the pipe, and read_rate() has the thread read at most bytes_per_second / 10 bytes every
// tenth of a second (0: as fast as it can).
class FifoDevice {
 public:
  explicit FifoDevice(const std::string& path);
  ~FifoDevice();
  std::string bytes();
  void clear();
  void pause() { paused_ = true; }
  void resume() { paused_ = false; }
  bool set_pipe_size(int bytes);
  void read_rate(long bytes_per_second) { rate_ = bytes_per_second; }
  // Waits until at least n bytes were read; false after timeout_ms.
  bool wait_for(size_t n, int timeout_ms);
  // Waits until no byte has arrived for quiet_ms, counted from the call at the earliest.
  void settle(int quiet_ms = 200);
  // The bytes that arrived since the last look, once the device has been quiet; then forgets
  // them.
  std::string drain();

 private:
  void run();
  std::string path_;
  std::mutex mu_;
  std::string data_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> paused_{false};
  std::atomic<long> rate_{0};
  std::atomic<long> last_ms_{0};
  int size_fd_ = -1;  // holds the pipe, and so its size
  std::thread reader_;
};

// What a command run through the shell printed (standard output and error) and its exit
// status (-1 when it did not exit).
struct CommandResult {
  int status = -1;
  std::string out;
};
CommandResult RunCommand(const std::string& command);

// A size in kB from /proc/PID/status (key "VmRSS", "VmHWM"); -1 when it cannot be read.
long StatusKb(pid_t pid, const std::string& key);

// Reads a whole file; empty when missing.
std::string ReadFile(const std::string& path);
std::string Hex(const std::string& bytes);

// A blank request record for cmd.
qx5::SrvMsg Request(int cmd);
// A request with its name field (and title) set.
qx5::SrvMsg FileRequest(int cmd, const std::string& name, const std::string& title = "job");
// A one-line request carrying text.
qx5::SrvMsg LineRequest(const std::string& text);

// Replaces the CONFIG line of printer `name` (in the default printers directory) by `line`.
void SetConfigLine(const TempRoot& root, const std::string& name, const std::string& line);
// A plot file of n lines crossing an 8 x 10 inch window: the more lines, the more raster bytes.
std::string CrossingLines(int n);
// A plot request for file with its page type.
qx5::SrvMsg PlotRequest(const std::string& file, int pagetype, const std::string& title = "plot");

// What the driver's standard output is: a pipe the harness reads (its output() and
// wait_output()), a pipe nobody reads until read_log() begins (its pipe holds only two
// pages), or closed (standard error is still read).
enum class Log { kRead, kUnread, kClosed };

// A qx5lp process started the way the spooler starts it, with its own queue under the root.
class Driver {
 public:
  Driver(const TempRoot& root, const std::string& printid, const std::string& name,
         const std::string& ps = "-", const std::string& ioctl = "0");
  // Starts the driver with exactly these arguments after the program name (for usage tests).
  Driver(const TempRoot& root, const std::vector<std::string>& args, Log log = Log::kRead);
  ~Driver();
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  pid_t pid() const { return child_; }
  int queue() const { return qid_; }
  long key() const { return key_; }
  // Next record the driver sent (mtype == key); false after timeout_ms.
  bool receive(qx5::SrvMsg& out, int timeout_ms = 10000);
  // Sends a request addressed to the driver (mtype = its pid).
  bool send(qx5::SrvMsg req);
  // send, then receive the answer.
  bool request(const qx5::SrvMsg& req, qx5::SrvMsg& answer, int timeout_ms = 20000);
  // Waits for the process to end; its exit status, or -1 after timeout_ms.
  int wait_exit(int timeout_ms = 10000);
  // Sends the stop request and waits for the exit message and the process end.
  bool stop(qx5::SrvMsg* exit_msg = nullptr);
  // Everything the driver printed on standard output so far.
  std::string output();
  // Waits until the output contains text; false after timeout_ms.
  bool wait_output(const std::string& text, int timeout_ms = 10000);
  // Log::kUnread: begins to read the log from now on.
  void read_log();
  // Leaves the queue in place at the end (another driver still uses it).
  void keep_queue() { keep_queue_ = true; }

 private:
  void start(const TempRoot& root, const std::vector<std::string>& args, Log log);
  void start_reader();
  bool keep_queue_ = false;
  int qid_ = -1;
  long key_ = 0;
  pid_t child_ = -1;
  bool reaped_ = false;
  int out_fd_ = -1;
  std::mutex mu_;
  std::string out_;
  std::thread out_reader_;
};

// The X display of the test run (DISPLAY); the calling test fails when there is none.
// (Declared without Xlib so that this header can come before gtest; Display is _XDisplay.)
_XDisplay* TestDisplay();

// Waits for the driver's attach message (the test fails without it).
void Attach(Driver& d);

}  // namespace qx5test
