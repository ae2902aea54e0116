// One X display connection for the driver's life, end to end: plots back to back give the
// pages a fresh driver gives, a server that went away or stopped answering, the connections
// the server sees, and the driver's memory over many plots.
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "render/plot_fixture.hpp"
#include "support/harness.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using qx5test::Driver;
using qx5test::FifoDevice;
using qx5test::TempRoot;

// Each plot changes the drawing state its own way and leaves it so; the ones after it rely on
// the defaults. Two page sizes, two unit systems, text in several fonts.
const char* const kPlots[] = {
    "WINDOW(1,0.0,0.0,8.0,10.0)\nPLOTSETUP(1,1,1)\nSETCOLOR(5)\nSETLINESTYLE(2)\n"
    "SETLINEWIDTH(9)\nSETCLIP(1.0,1.0,5.0,6.0)\nFONT(F18B)\nS(1.5,2.0,\"first\")\nM(0.0,0.0)\n"
    "L(8.0,10.0)\nDRAWARC(4.0,5.0,2.0,0,360,1)\nSETOFFSET(0.5,0.5)\nSCALE(2.0,2.0)\n"
    "M(1.0,1.0)\n",
    "WINDOW(1,0.0,0.0,4.0,3.0)\nL(3.0,2.0)\nS(0.5,0.5,\"second\")\nB(0.2,0.2,1.0,1.0,1)\n"
    "A(2.0,1.5,0.8,0.0,270.0,0)\nM(0.0,3.0)\nL(4.0,0.0)\n",
    "WINDOW(2,0.0,0.0,900.0,700.0)\nFONT(\"-*-courier-*-r-*-*-14-*-*-*-*-*-*-*\")\nC(6)\n"
    "S(10.0,50.0,\"third\")\nSETCLIP(20.0,20.0,500.0,400.0)\nSETLINEWIDTH(3)\nSETLINESTYLE(1)\n"
    "L(890.0,690.0)\nFONT(\"8x13\")\nS(10.0,150.0,\"more\")\nPLOTSETUP(1,1,1)\n"
    "B(100.0,100.0,300.0,200.0,1)\n",
};

std::string Esc(const char* s) {
  return std::string("\x1b") + s;
}

// A driver for `printer` on the display in force, attached, with a first line printed so that
// the printer's initialisation is behind it, and its device captured.
struct Printer {
  Printer(const TempRoot& root, const char* printer)
      : dev(root.path("/dev/lp")), drv(root, "0", printer) {
    qx5::SrvMsg attach;
    EXPECT_TRUE(drv.receive(attach));
    qx5::SrvMsg line = qx5test::Request(33);
    std::snprintf(line.name, sizeof line.name, "first");
    qx5::SrvMsg answer;
    EXPECT_TRUE(drv.request(line, answer));
    dev.settle();
    dev.clear();
  }
  // Plots the file; its status, and what the device got in bytes.
  int Plot(const std::string& file, int pagetype, std::string* bytes = nullptr,
           int timeout_ms = 60000) {
    qx5::SrvMsg req = qx5test::FileRequest(5, file, "seq");
    req.pagetype = pagetype;
    qx5::SrvMsg answer;
    if (!drv.request(req, answer, timeout_ms)) return -1;
    if (bytes != nullptr) {
      dev.settle();
      *bytes = dev.bytes();
    }
    dev.clear();
    return answer.status;
  }
  FifoDevice dev;
  Driver drv;
};

std::vector<std::string> WritePlots(const TempRoot& root) {
  std::vector<std::string> files;
  for (size_t i = 0; i < std::size(kPlots); ++i) {
    const std::string name = "/u/tmp/p" + std::to_string(i) + ".plt";
    root.write(name, kPlots[i]);
    files.push_back(root.path(name));
  }
  return files;
}

// A driver for the inkjet on an X server of its own, with the plots written.
struct OnPrivateServer {
  OnPrivateServer() : files(WritePlots(root)), printer(root, "inkjet") {}
  h4test::PrivateServer server;  // first: the driver takes its display
  TempRoot root;
  std::vector<std::string> files;
  Printer printer;
};

TEST(E2eConnection, PlotsBackToBackGiveTheBytesOfAFreshDriver) {
  qx5test::TestDisplay();
  TempRoot root;
  const std::vector<std::string> files = WritePlots(root);
  // plot, pagetype: turned and as drawn, sizes changing, some plots twice
  const int sequence[][2] = {{0, 1}, {1, 4}, {2, 1}, {0, 4}, {2, 4}, {1, 1}, {1, 1}};
  for (const char* printer : {"inkjet", "laser"}) {
    SCOPED_TRACE(printer);
    std::vector<std::string> kept;
    {
      Printer p(root, printer);
      for (const auto& s : sequence) {
        std::string bytes;
        EXPECT_EQ(p.Plot(files[s[0]], s[1], &bytes), 0) << p.drv.output();
        kept.push_back(bytes);
      }
      EXPECT_TRUE(p.drv.stop());
    }
    for (size_t i = 0; i < std::size(sequence); ++i) {
      SCOPED_TRACE(testing::Message() << "plot " << i);
      Printer p(root, printer);
      std::string fresh;
      EXPECT_EQ(p.Plot(files[sequence[i][0]], sequence[i][1], &fresh), 0);
      EXPECT_TRUE(p.drv.stop());
      EXPECT_NE(fresh.find(Esc("*r1A")), std::string::npos) << "a raster page was sent";
      EXPECT_GT(fresh.size(), 1000u);
      EXPECT_TRUE(kept[i] == fresh) << kept[i].size() << " bytes, fresh " << fresh.size();
    }
  }
}

TEST(E2eConnection, ServerRestartedBetweenPlotsIsConnectedAgain) {
  OnPrivateServer on;
  ASSERT_TRUE(on.server.up());
  Printer& p = on.printer;
  std::string before, after;
  EXPECT_EQ(p.Plot(on.files[0], 1, &before), 0) << p.drv.output();
  ASSERT_TRUE(on.server.restart());
  EXPECT_EQ(p.Plot(on.files[0], 1, &after), 0) << p.drv.output();
  EXPECT_GT(after.size(), 1000u);
  EXPECT_TRUE(before == after);
  EXPECT_EQ(p.drv.output().find("ERROR"), std::string::npos) << p.drv.output();
  EXPECT_TRUE(p.drv.stop());
}

// The client connections of an X server: its connected sockets that were not there before.
std::set<std::string> Sockets(pid_t server) {
  std::set<std::string> out;
  const std::string dir = "/proc/" + std::to_string(server) + "/fd";
  DIR* d = opendir(dir.c_str());
  while (d != nullptr) {
    const dirent* e = readdir(d);
    if (e == nullptr) break;
    char target[64] = {};
    if (readlink((dir + "/" + e->d_name).c_str(), target, sizeof target - 1) > 0 &&
        std::string(target).rfind("socket:", 0) == 0)
      out.insert(target);
  }
  if (d != nullptr) closedir(d);
  return out;
}

std::set<std::string> Minus(const std::set<std::string>& a, const std::set<std::string>& b) {
  std::set<std::string> out;
  for (const std::string& s : a)
    if (b.count(s) == 0) out.insert(s);
  return out;
}

TEST(E2eConnection, OneServerConnectionAcrossFiftyPlotsClosedAtExit) {
  h4test::PrivateServer server;
  ASSERT_TRUE(server.up());
  const std::set<std::string> listening = Sockets(server.pid());
  ASSERT_FALSE(listening.empty());
  TempRoot root;
  const std::vector<std::string> files = WritePlots(root);
  Printer p(root, "laser");
  std::set<std::string> first;
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(p.Plot(files[i % 3], i % 2 ? 4 : 1), 0) << p.drv.output();
    const std::set<std::string> clients = Minus(Sockets(server.pid()), listening);
    ASSERT_EQ(clients.size(), 1u) << "plot " << i;
    if (i == 0) first = clients;
    ASSERT_TRUE(clients == first) << "plot " << i << " came on another connection";
  }
  EXPECT_TRUE(p.drv.stop());
  const auto until = Clock::now() + std::chrono::seconds(5);
  while (!Minus(Sockets(server.pid()), listening).empty() && Clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(Minus(Sockets(server.pid()), listening).empty()) << "closed at the exit";
}

// The driver's memory, and the X server's, stay flat over 200 plots: after the first plots have
// loaded the fonts and made the pixmap, neither grows with the plots that follow.
TEST(E2eConnection, MemoryIsFlatAcrossTwoHundredPlots) {
  OnPrivateServer on;
  ASSERT_TRUE(on.server.up());
  long driver_at = 0, server_at = 0, driver_max = 0, server_max = 0;
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(on.printer.Plot(on.files[i % 3], i % 2 ? 4 : 1), 0) << on.printer.drv.output();
    const long d = qx5test::StatusKb(on.printer.drv.pid(), "VmRSS");
    const long s = qx5test::StatusKb(on.server.pid(), "VmRSS");
    if (i == 19) {
      driver_at = d;
      server_at = s;
    }
    if (i > 19) {
      driver_max = std::max(driver_max, d);
      server_max = std::max(server_max, s);
    }
  }
  std::printf("driver %ld kB after 20 plots, at most %ld kB up to 200; server %ld kB, %ld kB\n",
              driver_at, driver_max, server_at, server_max);
  EXPECT_GT(driver_at, 0);
  EXPECT_LT(driver_max - driver_at, 256);
  EXPECT_LT(server_max - server_at, 1024);
  EXPECT_TRUE(on.printer.drv.stop());
}

// An X server stopped (SIGSTOP) before a plot, and during one: each plot is answered 10 within
// the write time-out and a few seconds, with a line naming the display and the wait; the driver
// goes on, and its next plot, once the server answers again, is answered 0. The two run side
// by side, each on a server of its own.
TEST(E2eConnection, StoppedServerIsGivenUpWithinTheTimeOut) {
  constexpr int kTimeOutSec = 30;
  // Wide lines keep the server busy for seconds: the stop comes while it draws.
  std::string busy = "WINDOW(1,0.0,0.0,8.0,10.0)\nSETLINEWIDTH(40)\n";
  for (int i = 0; i < 20000; ++i)
    busy += "M(" + std::to_string(i % 8) + ".0,0.0)\nL(" + std::to_string(7 - i % 8) + ".5,10.0)\n";
  struct Side {
    explicit Side(const std::string& busy) {
      // The shortest write time-out, 30 seconds, bounds the X server too.
      std::string config = root.read("/u/qx5/def_data/printers/CONFIG");
      config += "\"quick\" HPPCL laserjet.cod English BW Single 300 300 30 0\n";
      root.write("/u/qx5/def_data/printers/CONFIG", config);
      root.write("/u/tmp/busy.plt", busy);
      root.write("/u/tmp/small.plt", kPlots[1]);
      root.write("/u/tmp/start.plt", busy.substr(0, busy.find("M(")));
    }
    // Plots file; false when no answer came within timeout_ms.
    bool Plot(const char* file, int timeout_ms, qx5::SrvMsg& answer) {
      return drv->request(qx5test::FileRequest(5, root.path(file), "x"), answer, timeout_ms);
    }
    TempRoot root;
    std::unique_ptr<FifoDevice> dev;
    std::unique_ptr<Driver> drv;
    std::unique_ptr<h4test::PrivateServer> server;
  };
  // Each in a root and on an X server of its own: the driver takes the root and the display in
  // force when it starts.
  std::unique_ptr<Side> sides[2];
  for (auto& s : sides) {
    s = std::make_unique<Side>(busy);
    s->server = std::make_unique<h4test::PrivateServer>();
    ASSERT_TRUE(s->server->up());
    s->dev = std::make_unique<FifoDevice>(s->root.path("/dev/lp"));
    s->drv = std::make_unique<Driver>(s->root, "0", "quick");
    qx5::SrvMsg attach;
    ASSERT_TRUE(s->drv->receive(attach));
  }
  Side& before = *sides[0];
  Side& during = *sides[1];
  std::thread before_run([&] {
    qx5::SrvMsg answer;
    ASSERT_TRUE(before.Plot("/u/tmp/small.plt", 60000, answer));
    EXPECT_EQ(answer.status, 0) << before.drv->output();
    before.server->signal(SIGSTOP);
    const auto start = Clock::now();
    ASSERT_TRUE(before.Plot("/u/tmp/small.plt", (kTimeOutSec + 30) * 1000, answer));
    const auto took = Clock::now() - start;
    EXPECT_EQ(answer.status, 10);
    EXPECT_LT(took, std::chrono::seconds(kTimeOutSec + 5));
    EXPECT_GT(took, std::chrono::seconds(kTimeOutSec - 1));
    EXPECT_TRUE(before.drv->wait_output("ERROR: quick: X display " + before.server->name() +
                                            ": no answer from the X server while checking the "
                                            "connection",
                                        1000))
        << before.drv->output();
    before.server->signal(SIGCONT);
    ASSERT_TRUE(before.Plot("/u/tmp/small.plt", 60000, answer));
    EXPECT_EQ(answer.status, 0) << before.drv->output();
  });
  std::thread during_run([&] {
    qx5::SrvMsg answer;
    ASSERT_TRUE(during.Plot("/u/tmp/start.plt", 60000, answer));  // connected, pixmap made
    EXPECT_EQ(answer.status, 0) << during.drv->output();
    ASSERT_TRUE(
        during.drv->send(qx5test::FileRequest(5, during.root.path("/u/tmp/busy.plt"), "busy")));
    ASSERT_TRUE(during.drv->wait_output("Start Plot: busy on quick", 20000));
    during.server->signal(SIGSTOP);
    const auto start = Clock::now();
    ASSERT_TRUE(during.drv->receive(answer, (kTimeOutSec + 30) * 1000));
    const auto took = Clock::now() - start;
    EXPECT_EQ(answer.status, 10);
    EXPECT_LT(took, std::chrono::seconds(kTimeOutSec + 5));
    EXPECT_TRUE(during.drv->wait_output(
        "ERROR: quick: X display " + during.server->name() + ": no answer from the X server while ",
        1000))
        << during.drv->output();
    during.server->signal(SIGCONT);
    ASSERT_TRUE(during.Plot("/u/tmp/small.plt", 60000, answer));
    EXPECT_EQ(answer.status, 0) << during.drv->output();
  });
  before_run.join();
  during_run.join();
  EXPECT_TRUE(before.drv->stop());
  EXPECT_TRUE(during.drv->stop());
  for (int i = 1; i >= 0; --i) sides[i].reset();
}

}  // namespace
