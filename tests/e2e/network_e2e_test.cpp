// Network printers end to end: the real driver, through a real queue, prints to a printer on
// the loopback written here, which takes one connection at a time and can refuse, stall, cut
// the connection or talk back.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/srvmsg.hpp"
#include "support/harness.hpp"

namespace {

using qx5test::Attach;
using qx5test::Driver;
using qx5test::TempRoot;

long long NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A printer on 127.0.0.1. Each connection is served to its end before the next is accepted,
// the way serve() last said. Its receive buffer is small, so that a page does not fit into
// the buffers of the connection.
class LoopbackPrinter {
 public:
  enum class Way {
    kReads,       // reads every byte until the driver ends the connection
    kNeverReads,  // accepts and reads nothing
    kCutsAfter,   // reads `amount` bytes, then closes the connection
    kTalks,       // sends `amount` bytes back before it reads the page
  };
  struct Conn {
    std::string bytes;
    long long ended_ms = -1;  // when the driver ended the connection (end of data or reset)
  };

  explicit LoopbackPrinter(int port = 0) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1, small = 16384;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof a;
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << strerror(errno);
    EXPECT_EQ(::listen(fd_, 4), 0);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    EXPECT_EQ(pipe2(stop_, O_CLOEXEC), 0);
    thread_ = std::thread([this] { Run(); });
  }
  ~LoopbackPrinter() {
    const char c = 1;
    EXPECT_EQ(::write(stop_[1], &c, 1), 1);
    thread_.join();
    for (int fd : {fd_, stop_[0], stop_[1]}) ::close(fd);
  }
  int port() const { return port_; }
  std::string address() const { return "socket://127.0.0.1:" + std::to_string(port_); }
  void serve(Way way, size_t amount = 0) {
    way_ = way;
    amount_ = amount;
  }
  std::vector<Conn> connections() {
    std::lock_guard<std::mutex> lock(mu_);
    return conns_;
  }
  // Waits until n connections have ended.
  bool wait_ended(size_t n, int timeout_ms) {
    for (const long long end = NowMs() + timeout_ms; NowMs() < end;) {
      {
        std::lock_guard<std::mutex> lock(mu_);
        size_t ended = 0;
        for (const Conn& c : conns_) ended += c.ended_ms >= 0 ? 1 : 0;
        if (ended >= n) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

 private:
  // Waits for events on fd or the stop pipe; false once the printer is told to stop.
  bool Wait(int fd, short events) {
    pollfd p[2] = {{fd, events, 0}, {stop_[0], POLLIN, 0}};
    while (poll(p, 2, -1) < 0) {
    }
    return p[1].revents == 0;
  }
  void Append(const char* buf, ssize_t n) {
    std::lock_guard<std::mutex> lock(mu_);
    conns_.back().bytes.append(buf, static_cast<size_t>(n));
  }
  void Ended() {
    std::lock_guard<std::mutex> lock(mu_);
    conns_.back().ended_ms = NowMs();
  }
  // Reads until the end of the data, or until `limit` bytes came.
  void ReadAll(int c, size_t limit) {
    char buf[65536];
    size_t got = 0;
    while (got < limit && Wait(c, POLLIN)) {
      const ssize_t n = ::recv(c, buf, std::min(sizeof buf, limit - got), MSG_DONTWAIT);
      if (n > 0) {
        Append(buf, n);
        got += static_cast<size_t>(n);
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        Ended();
        return;
      }
    }
  }
  void Talk(int c, size_t amount) {
    const std::string chunk(65536, 'S');
    for (size_t sent = 0; sent < amount && Wait(c, POLLOUT);) {
      const ssize_t n = ::send(c, chunk.data(), std::min(chunk.size(), amount - sent),
                               MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n > 0) sent += static_cast<size_t>(n);
    }
  }
  void Serve(int c) {
    switch (way_.load()) {
      case Way::kReads:
        ReadAll(c, SIZE_MAX);
        break;
      case Way::kNeverReads:
        // Only a reset ends it (poll reports it without any event asked for).
        if (Wait(c, 0)) Ended();
        break;
      case Way::kCutsAfter:
        ReadAll(c, amount_);
        Ended();
        break;
      case Way::kTalks:
        Talk(c, amount_);
        ReadAll(c, SIZE_MAX);
        break;
    }
  }
  void Run() {
    while (Wait(fd_, POLLIN)) {
      const int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      {
        std::lock_guard<std::mutex> lock(mu_);
        conns_.emplace_back();
      }
      Serve(c);
      ::close(c);
    }
  }

  int fd_ = -1;
  int port_ = 0;
  int stop_[2] = {-1, -1};
  std::atomic<Way> way_{Way::kReads};
  std::atomic<size_t> amount_{0};
  std::mutex mu_;
  std::vector<Conn> conns_;
  std::thread thread_;
};

// A loopback port on which nothing listens.
int RefusingPort() {
  LoopbackPrinter p;
  return p.port();
}

using qx5test::LineRequest;

const std::string kPlot = qx5test::CrossingLines(12);

qx5::SrvMsg Plot(const std::string& file) {
  qx5::SrvMsg m = qx5test::FileRequest(5, file, "net");
  m.pagetype = 1;
  return m;
}

qx5::SrvMsg JobEnd() {
  qx5::SrvMsg m = qx5test::Request(qx5::CMD_CONTROL);
  qx5::SetBodyInt(m, qx5::kJobendOff, 1);
  qx5::SetBodyInt(m, qx5::kFormfeedOff, 1);
  return m;
}

// A text job of about a megabyte.
std::string BigText() {
  std::string text;
  for (int i = 0; text.size() < 1000000; ++i) text += "line " + std::to_string(i) + " of a text\n";
  return text;
}

// The laser with the shortest write time-out, 30 seconds.
void ShortTimeOut(const TempRoot& root) {
  qx5test::SetConfigLine(root, "laser",
                         "\"laser\" HPPCL laserjet.cod English BW Single 300 300 30 0");
}

}  // namespace

// A job to the network printer: the printer gets byte for byte what the FIFO device gets for
// the job (nothing connects at the start); the connection is closed within a second of the
// job's end, and the next job comes on a new connection that begins with the printer's
// initialisation and is released after five idle seconds. The end of that job, after the
// release, connects to nothing: the printer ended the page with the connection.
TEST(E2eNetwork, PrinterGetsWhatTheFifoGetsAndIsReleased) {
  qx5test::TestDisplay();
  TempRoot root;
  root.write("/u/tmp/p.plt", kPlot);
  root.write("/u/tmp/t.txt", "text\n\\!4BOLD bold\n");
  const std::vector<qx5::SrvMsg> job = {Plot(root.path("/u/tmp/p.plt")), LineRequest("a line"),
                                        qx5test::FileRequest(9, root.path("/u/tmp/t.txt")),
                                        JobEnd()};
  std::string fifo_bytes;
  {
    qx5test::FifoDevice dev(root.path("/dev/lp"));
    Driver d(root, "0", "laser");
    Attach(d);
    dev.settle();
    dev.clear();  // the page size sent at the start
    qx5::SrvMsg a;
    for (const qx5::SrvMsg& req : job) {
      ASSERT_TRUE(d.request(req, a));
      EXPECT_EQ(a.status, 0);
    }
    dev.settle(300);
    fifo_bytes = dev.bytes();
    EXPECT_TRUE(d.stop());
  }
  LoopbackPrinter printer;
  Driver d(root, {"0", printer.address(), "-", "0", "laser"});
  Attach(d);
  EXPECT_TRUE(d.wait_output("QX5 PRINTER DRIVER: \"laser\" at " + printer.address() + "\n"));
  qx5::SrvMsg a;
  for (const qx5::SrvMsg& req : job) {
    ASSERT_TRUE(d.request(req, a));
    EXPECT_EQ(a.status, 0);
  }
  const long long job_end = NowMs();
  ASSERT_TRUE(printer.wait_ended(1, 5000));
  std::vector<LoopbackPrinter::Conn> conns = printer.connections();
  ASSERT_EQ(conns.size(), 1u);
  EXPECT_LE(conns[0].ended_ms, job_end + 1000);
  EXPECT_EQ(qx5test::Hex(conns[0].bytes), qx5test::Hex(fifo_bytes));
  EXPECT_TRUE(d.wait_output("laser: " + printer.address() + ": connection closed, " +
                            std::to_string(fifo_bytes.size()) + " bytes sent, 0 bytes received\n"))
      << d.output();

  ASSERT_TRUE(d.request(LineRequest("next job"), a));
  EXPECT_EQ(a.status, 0);
  const long long last_request = NowMs();
  ASSERT_TRUE(printer.wait_ended(2, 8000));
  conns = printer.connections();
  ASSERT_EQ(conns.size(), 2u);
  EXPECT_GE(conns[1].ended_ms, last_request + 4000);
  EXPECT_LE(conns[1].ended_ms, last_request + 6000);
  // The laser's initialisation: RESET, MAPLF, PORT and the page size of its paper.
  const std::string init =
      "\x1b"
      "E\x1b&k2G\x1b&l0O\x1b&l2A";
  EXPECT_NE(fifo_bytes.find(init), std::string::npos);
  EXPECT_EQ(conns[1].bytes.compare(0, init.size(), init), 0) << qx5test::Hex(conns[1].bytes);
  EXPECT_EQ(conns[1].bytes.substr(conns[1].bytes.size() - 8), "next job");
  ASSERT_TRUE(d.request(JobEnd(), a));
  EXPECT_EQ(a.status, 0);
  EXPECT_FALSE(printer.wait_ended(3, 1000));
  EXPECT_EQ(printer.connections().size(), 2u);
  EXPECT_TRUE(d.stop());
}

// A printer without initialisation codes (the dot-matrix sample) on the network: each
// connection is a new job on the printer, and begins with the paper's page length.
TEST(E2eNetwork, EveryConnectionBeginsWithThePaperSize) {
  TempRoot root;
  LoopbackPrinter printer;
  printer.serve(LoopbackPrinter::Way::kReads);
  Driver d(root, {"0", printer.address(), "-", "0", "dotmatrix"});
  Attach(d);
  qx5::SrvMsg a;
  for (const char* line : {"first", "second"}) {
    ASSERT_TRUE(d.request(LineRequest(line), a));
    EXPECT_EQ(a.status, 0);
    ASSERT_TRUE(d.request(JobEnd(), a));
  }
  ASSERT_TRUE(printer.wait_ended(2, 3000)) << d.output();
  const std::string length =
      "\x1b"
      "CB";  // 66 lines: LETTER
  for (const auto& c : printer.connections())
    EXPECT_EQ(c.bytes.compare(0, length.size(), length), 0) << qx5test::Hex(c.bytes);
  EXPECT_TRUE(d.stop());
}

// A printer that answers no connection (its queue of connections is full) when the driver
// starts does not hold up the start: the driver attaches at once and connects only for a
// request with bytes for the printer.
TEST(E2eNetwork, SilentPrinterDoesNotHoldUpTheStart) {
  TempRoot root;
  qx5test::SilentPrinter printer;
  const long long t0 = NowMs();
  Driver d(root, {"0", printer.address(), "-", "0", "laser"});
  Attach(d);
  EXPECT_LT(NowMs() - t0, 5000);
  qx5::SrvMsg answer;
  ASSERT_TRUE(d.request(JobEnd(), answer));
  EXPECT_EQ(answer.status, 0);
  EXPECT_LT(NowMs() - t0, 5000) << d.output();
  EXPECT_EQ(d.output().find("Connection timed out"), std::string::npos) << d.output();
  EXPECT_TRUE(d.stop());
}

// Nothing listens: every request is answered at once (9 for text, 10 for a plot) with a line
// naming the printer and the reason; the driver lives, and once the printer listens again the
// next request prints. A printer that closes the connection between requests gets the next
// one on a new connection. At the driver's exit the connection is released.
TEST(E2eNetwork, RefusedPrinterIsTriedAgainAtEachRequest) {
  qx5test::TestDisplay();
  TempRoot root;
  root.write("/u/tmp/p.plt", kPlot);
  root.write("/u/tmp/t.txt", "text\n");
  // A printer without initialisation codes, so that a plot reaches the connection.
  root.write("/u/qx5/usr_data/printers/CONFIG",
             "\"e2etest\" EPSON plain.cod English BW Single 120 72 30 0\n");
  root.write("/u/qx5/usr_data/printers/plain.cod", "! no codes\n");
  const int port = RefusingPort();
  // A name to look up, which has two addresses (::1 and 127.0.0.1) where IPv6 is there.
  const std::string address = "socket://localhost:" + std::to_string(port);
  Driver d(root, {"0", address, "-", "0", "e2etest"});
  Attach(d);
  EXPECT_TRUE(d.wait_output("QX5 PRINTER DRIVER: \"e2etest\" at " + address + "\n"));
  const struct {
    qx5::SrvMsg req;
    int status;
  } cases[] = {{LineRequest("lost"), 9},
               {qx5test::FileRequest(9, root.path("/u/tmp/t.txt")), 9},
               {Plot(root.path("/u/tmp/p.plt")), 10}};
  const std::string refused = "ERROR: e2etest: " + address + ": Connection refused\n";
  auto said = [&] {
    const std::string out = d.output();
    size_t count = 0;
    for (size_t at = 0; (at = out.find(refused, at)) != std::string::npos; at += refused.size())
      ++count;
    return count;
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    qx5::SrvMsg a;
    const long long t0 = NowMs();
    ASSERT_TRUE(d.request(cases[i].req, a));
    EXPECT_LT(NowMs() - t0, 1000);
    EXPECT_EQ(a.status, cases[i].status);
    for (const long long end = NowMs() + 1000; said() <= i && NowMs() < end;)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(said(), i + 1) << d.output();
  }
  EXPECT_EQ(d.wait_exit(0), -1);
  LoopbackPrinter printer(port);
  qx5::SrvMsg a;
  // The printer takes the line and closes the connection: the next line goes on a new one.
  printer.serve(LoopbackPrinter::Way::kCutsAfter, 4);
  ASSERT_TRUE(d.request(LineRequest("back"), a));
  EXPECT_EQ(a.status, 0);
  ASSERT_TRUE(printer.wait_ended(1, 1000));
  printer.serve(LoopbackPrinter::Way::kReads);
  ASSERT_TRUE(d.request(LineRequest("again"), a));
  EXPECT_EQ(a.status, 0);
  EXPECT_TRUE(d.wait_output("e2etest: " + address + ": the printer closed the connection\n"));
  // The driver stops with the connection open: it is released on the way out.
  EXPECT_TRUE(d.stop());
  ASSERT_TRUE(printer.wait_ended(2, 1000));
  EXPECT_EQ(printer.connections()[0].bytes, "back");
  EXPECT_EQ(printer.connections()[1].bytes, "again");
  EXPECT_NE(d.output().find("\ne2etest: start exit\ne2etest: " + address +
                            ": connection closed, 5 bytes sent, 0 bytes received\n"
                            "e2etest: Done with exit\n"),
            std::string::npos)
      << d.output();
}

// A connection that fails in the middle of a job: a printer that accepts and never reads is
// timed out once it took no byte for 30 seconds (9 for the text job), one that closes the
// connection in the middle of a plot fails it at once (10). The connection is reset, and the
// next request comes on a new connection that gets no blanks or end codes for the lost page,
// but the printer's initialisation.
TEST(E2eNetwork, FailedConnectionIsNotPadded) {
  qx5test::TestDisplay();
  TempRoot root;
  ShortTimeOut(root);
  // Rows uncompressed: the page (some 300 bytes a row) is far larger than the buffers.
  const std::string cod_path = "/u/qx5/def_data/printers/laserjet.cod";
  std::string cod = root.read(cod_path);
  const size_t comp = cod.find("\n8COMPRESS");
  ASSERT_NE(comp, std::string::npos);
  cod.erase(comp + 1, cod.find('\n', comp + 1) - comp);
  root.write(cod_path, cod);
  root.write("/u/tmp/p.plt", kPlot);
  root.write("/u/tmp/big.txt", BigText());
  const struct {
    LoopbackPrinter::Way way;
    size_t amount;
    qx5::SrvMsg req;
    int status;
    long long min_ms, max_ms;
    const char* said;
  } cases[] = {{LoopbackPrinter::Way::kNeverReads, 0,
                qx5test::FileRequest(9, root.path("/u/tmp/big.txt"), "big"), 9, 30000, 40000,
                ": the printer took no byte for 30 seconds\n"},
               {LoopbackPrinter::Way::kCutsAfter, 200000, Plot(root.path("/u/tmp/p.plt")), 10, 0,
                30000, "ERROR: laser: Unable to plot\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    LoopbackPrinter printer;
    printer.serve(c.way, c.amount);
    Driver d(root, {"0", printer.address(), "-", "0", "laser"});
    Attach(d);
    qx5::SrvMsg a;
    const long long t0 = NowMs();
    ASSERT_TRUE(d.request(c.req, a, 60000)) << d.output();
    const long long answered = NowMs();
    EXPECT_EQ(a.status, c.status);
    EXPECT_GE(answered - t0, c.min_ms);
    EXPECT_LT(answered - t0, c.max_ms);
    EXPECT_TRUE(d.wait_output(c.said)) << d.output();
    ASSERT_TRUE(printer.wait_ended(1, 2000));
    EXPECT_LE(printer.connections()[0].ended_ms, answered + 1000);
    printer.serve(LoopbackPrinter::Way::kReads);
    ASSERT_TRUE(d.request(LineRequest("next"), a));
    EXPECT_EQ(a.status, 0);
    ASSERT_TRUE(d.request(JobEnd(), a));
    ASSERT_TRUE(printer.wait_ended(2, 3000));
    const std::string second = printer.connections()[1].bytes;
    EXPECT_EQ(second.compare(0, 2,
                             "\x1b"
                             "E"),
              0)
        << qx5test::Hex(second);  // RESET first
    EXPECT_EQ(second.find("    "), std::string::npos) << qx5test::Hex(second);
    EXPECT_EQ(second.find("\x1b*rB"), std::string::npos) << qx5test::Hex(second);
    EXPECT_NE(second.find("next\x1b&l0H"), std::string::npos);  // the line and the job's eject
    EXPECT_TRUE(d.stop());
  }
}

// A printer that sends 10 MB back before it reads the page: the driver reads it as it comes,
// so the page goes out whole and is answered 0, and the count is printed at the end.
TEST(E2eNetwork, TalkingPrinterDoesNotStallTheJob) {
  TempRoot root;
  ShortTimeOut(root);
  const std::string text = BigText();
  root.write("/u/tmp/big.txt", text);
  LoopbackPrinter printer;
  const size_t talk = 10 * 1024 * 1024;
  printer.serve(LoopbackPrinter::Way::kTalks, talk);
  Driver d(root, {"0", printer.address(), "-", "0", "laser"});
  Attach(d);
  qx5::SrvMsg a;
  const long long t0 = NowMs();
  ASSERT_TRUE(d.request(qx5test::FileRequest(9, root.path("/u/tmp/big.txt"), "big"), a, 60000));
  EXPECT_EQ(a.status, 0) << d.output();
  EXPECT_LT(NowMs() - t0, 30000);  // not held until the time-out
  ASSERT_TRUE(d.request(JobEnd(), a));
  ASSERT_TRUE(printer.wait_ended(1, 3000));
  const std::string got = printer.connections()[0].bytes;
  EXPECT_NE(got.find(text), std::string::npos);
  EXPECT_TRUE(d.wait_output(" bytes sent, " + std::to_string(talk) + " bytes received\n"))
      << d.output();
  EXPECT_TRUE(d.stop());
}

// qx5spool's network capture: the driver gets socket://127.0.0.1:PORT as its device, and the
// file holds what the FIFO capture holds for the same requests, but for the page size the FIFO
// got at the start, where nothing connects to a network printer.
TEST(E2eNetwork, SpoolCapturesThroughANetworkPrinter) {
  TempRoot root;
  root.write("/u/tmp/t.txt", "text\n\\!4BOLD bold\n");
  const std::string requests = " line hello print " + root.path("/u/tmp/t.txt");
  std::string captured[2], out[2];
  const char* forms[2] = {"--capture", "--capture-net"};
  for (int i = 0; i < 2; ++i) {
    const std::string file = root.path("/cap" + std::to_string(i));
    const std::string log = root.path("/spool.log");
    const int st = std::system((QX5_BIN_DIR "/qx5spool -t 20 -n laser " + std::string(forms[i]) +
                                " " + file + requests + " >" + log + " 2>&1")
                                   .c_str());
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << forms[i];
    captured[i] = qx5test::ReadFile(file);
    out[i] = qx5test::ReadFile(log);
  }
  EXPECT_NE(captured[0].find("hello"), std::string::npos);
  EXPECT_EQ(qx5test::Hex("\x1b&l2A" + captured[1]), qx5test::Hex(captured[0]));
  EXPECT_NE(out[1].find("QX5 PRINTER DRIVER: \"laser\" at socket://127.0.0.1:"), std::string::npos)
      << out[1];
  EXPECT_NE(out[1].find(": connection closed, " + std::to_string(captured[1].size()) +
                        " bytes sent, 0 bytes received\n"),
            std::string::npos)
      << out[1];
}
