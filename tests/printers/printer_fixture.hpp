// In-process set-up for the printer definition and job control tests: a temporary root, the
// definition files written into it, and the device as a FIFO whose bytes the test reads.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "driver/devout.hpp"
#include "driver/jobctl.hpp"
#include "driver/loop.hpp"
#include "lib/message.hpp"
#include "printers/codefile.hpp"
#include "printers/config.hpp"
#include "printers/paper.hpp"
#include "support/harness.hpp"

namespace h2test {

class PrinterEnv {
 public:
  explicit PrinterEnv(bool examples = false) : root_(examples) {
    std::strcpy(qx5::XEQNAME, "tp");
    qx5::PrinterNumber = 0;
    qx5::SETUPbrand = 1;
    qx5::SETUPlang = 'E';
    qx5::SETUPfeed = 0;
    qx5::SETUPxdpi = 300;
    qx5::SETUPpaper[0] = '\0';
    qx5::PAPERwIN = 8.5;
    qx5::ffpending = qx5::didlines = 0;
    qx5::FFbef = qx5::FFaft = 0;
    qx5::ALARM_SEC = 2;
    Codes("");
  }
  ~PrinterEnv() {
    if (qx5::lp != nullptr) std::fclose(qx5::lp);
    qx5::lp = nullptr;
    qx5::PrCmdsCt = 0;
  }
  qx5test::TempRoot& root() { return root_; }

  // A printer definition file in the default data directory.
  void Def(const std::string& file, const std::string& content) {
    root_.write("/u/qx5/def_data/printers/" + file, content);
  }
  // Loads content as the printer's code file and builds the code tables.
  void Codes(const std::string& content) {
    Def("t.cod", content);
    std::strcpy(qx5::SETUPcode, "t.cod");
    char line[100];
    qx5::ReadCodeFile("t.cod", line);
    qx5::SetPrinterCodes(line);
  }
  // The device as a FIFO, opened as lp.
  void OpenDevice() {
    dev_ = std::make_unique<qx5test::FifoDevice>(root_.path("/dev/lp"));
    ASSERT_EQ(qx5::OpenDevice(), 0);
  }
  // Everything sent so far (waits for at least expect bytes), then forgets it.
  std::string Sent(size_t expect = 0) {
    if (expect > 0)
      dev_->wait_for(expect, 3000);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    dev_->settle(20);
    std::string b = dev_->bytes();
    dev_->clear();
    return b;
  }
  // Expects exactly want to have been sent since the last look.
  void ExpectSent(const std::string& want) { EXPECT_EQ(Sent(want.size()), want); }

 private:
  qx5test::TempRoot root_;
  std::unique_ptr<qx5test::FifoDevice> dev_;
};

// The translation of text through the loaded code file.
inline std::string Map(const std::string& text, int maxlen = 500, size_t cap = 504) {
  char buf[600] = {};
  std::memcpy(buf, text.data(), std::min(text.size(), sizeof buf - 1));
  int n = qx5::MapCodes(buf, maxlen, cap);
  return std::string(buf, static_cast<size_t>(n));
}

inline std::string Code(const char* table, int ct) {
  return std::string(table, ct);
}

}  // namespace h2test
