#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "driver/srvmsg.hpp"
#include "support/harness.hpp"

namespace {

// The laser's PCL strings, as a LaserJet documents them.
const std::string kReset =
                      "\x1b"
                      "E",
                  kMaplf = "\x1b&k2G", kPort = "\x1b&l0O";
const std::string kLetter = "\x1b&l2A", kA4 = "\x1b&l26A", kEject = "\x1b&l0H";
const std::string kInitln = "\x1b&l6D\x1b(s10H";
const std::string kInit = kReset + kMaplf + kPort;

// Sample printer-command escapes and what the laser's code file stands them for.
std::string Translate(std::string text) {
  const std::vector<std::pair<std::string, std::string>> codes = {
      {"\\!4BOLD", "\x1b(s3B"},
      {"\\!6NOBOLD", "\x1b(s0B"},
      {"\\!6ITALIC", "\x1b(s1S"},
      {"\\!8NOITALIC", "\x1b(s0S"},
      {"\\!5UNDER", "\x1b&d0D"},
      {"\\!7NOUNDER", "\x1b&d@"},
      {"\\!4COND", "\x1b(s16.67H"},
      {"\\!6NOCOND", "\x1b(s10H"},
      {"\\!6NOSUCH", ""},
      {"\\!5RULER", "----+----1----+----2----+----3----+----4"},
      {"\\!2FF", "\x0c"}};
  for (const auto& [esc, code] : codes)
    for (size_t at; (at = text.find(esc)) != std::string::npos;) text.replace(at, esc.size(), code);
  return text;
}

class E2eText : public testing::Test {
 protected:
  qx5::SrvMsg Ask(const qx5::SrvMsg& req) {
    qx5::SrvMsg a{};
    EXPECT_TRUE(driver_->request(req, a)) << driver_->output();
    return a;
  }
  qx5::SrvMsg Print(const std::string& path, int remove = 0) {
    qx5::SrvMsg req = qx5test::FileRequest(9, path, "t");
    req.remove = remove;
    return Ask(req);
  }
  qx5::SrvMsg Line(const std::string& text) {
    qx5::SrvMsg req = qx5test::Request(qx5::CMD_LINE);
    std::memcpy(req.name, text.data(), std::min(text.size(), sizeof req.name - 1));
    return Ask(req);
  }
  qx5::SrvMsg Control(int subcmd, int jobend, int formfeed, int ffflags = 0, int reinit = 0,
                      const char* paper = "") {
    qx5::SrvMsg req = qx5test::Request(qx5::CMD_CONTROL);
    req.srcpid = 4711;
    std::strncpy(req.paper, paper, sizeof req.paper - 1);
    qx5::SetBodyInt(req, qx5::kSubcmdOff, subcmd);
    qx5::SetBodyInt(req, qx5::kJobendOff, jobend);
    qx5::SetBodyInt(req, qx5::kFormfeedOff, formfeed);
    qx5::SetBodyInt(req, qx5::kFfflagsOff, ffflags);
    qx5::SetBodyInt(req, qx5::kReinitOff, reinit);
    qx5::SrvMsg a = Ask(req);
    EXPECT_EQ(a.cmd, 61);
    EXPECT_EQ(a.dstpid, 4711);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(qx5::BodyInt(a, qx5::kSubcmdOff), subcmd == 0 ? 0 : 1);
    return a;
  }
  void Start(const char* printid, const char* name) {
    driver_ = std::make_unique<qx5test::Driver>(root_, printid, name);
    qx5::SrvMsg attach;
    ASSERT_TRUE(driver_->receive(attach)) << driver_->output();
  }
  // Exactly want was sent since the last look.
  void Expect(const std::string& want) {
    dev_.wait_for(want.size(), 5000);
    dev_.settle(100);
    EXPECT_EQ(qx5test::Hex(dev_.bytes()), qx5test::Hex(want));
    dev_.clear();
  }
  void TearDown() override {
    if (driver_) {
      EXPECT_TRUE(driver_->stop()) << driver_->output();
    }
  }

  qx5test::TempRoot root_;
  qx5test::FifoDevice dev_{root_.path("/dev/lp")};
  std::unique_ptr<qx5test::Driver> driver_;
};

TEST_F(E2eText, LaserPrintsTextWithEscapesAndObeysTheJobBoundaries) {
  Start("0", "laser");
  // Start-up: the configured paper's page-size command, and the setup data file.
  Expect(kLetter);
  EXPECT_EQ(root_.read("/u/tmp/P1"), "laser\nlaserjet.cod 1 69 0\nLETTER 300 300 0\n");

  // The first request initialises the printer; the escapes are translated.
  const std::string sample = root_.path("/samples/escapes.txt");
  qx5::SrvMsg a = Print(sample);
  EXPECT_EQ(a.cmd, 12);
  EXPECT_EQ(a.status, 0);
  Expect(kInit + kLetter + kInitln + Translate(root_.read("/samples/escapes.txt")));
  EXPECT_TRUE(driver_->wait_output("End Print: t on laser\n"));

  // A job end after printed lines ejects the page.
  Control(0, 1, 1);
  Expect(kEject);
  // A job begin with form feed before any line: the eject waits for the first line.
  Control(0, 0, 1);
  Expect("");
  root_.write("/three.txt", "1\n2\n3\n");
  EXPECT_EQ(Print(root_.path("/three.txt")).status, 0);
  Expect(kInitln + kEject + "1\n2\n3\n");
  // ... and is made only once.
  Print(root_.path("/three.txt"));
  Expect(kInitln + "1\n2\n3\n");

  // A one-line request: the pending eject comes before INITLN.
  Control(0, 1, 0);
  Control(0, 0, 1);
  EXPECT_EQ(Line("hi \\!4BOLD!").status, 0);
  Expect(kEject + kInitln + "hi \x1b(s3B!");
  // The reset lines send only INITLN.
  Line("\\!2FF");
  Line("\\!5EJECT");
  Expect(kInitln + kInitln);
  // A job end now has no lines to eject.
  Control(0, 1, 1);
  Expect("");

  // Settings: a paper name sends its page-size command; reinit initialises again.
  Control(1, 0, 0, 0x05, 1, "A4");
  Expect(kA4);
  Line("x");
  Expect(kInit + kA4 + kInitln + "x");

  // The reload line reads the code file again.
  root_.write("/u/qx5/def_data/printers/laserjet.cod", "?BINARY\n6INITLN 1 73\n");
  Line("ReadCodeFile");
  EXPECT_TRUE(driver_->wait_output("Reading code file again: laserjet.cod\n"));
  Expect("I");  // the new INITLN already
  Line("y");
  Expect("Iy");

  // A missing file: status 9 and its line; the driver serves the next request.
  a = Print("/nonexistent/file.txt");
  EXPECT_EQ(a.status, 9);
  EXPECT_TRUE(driver_->wait_output("ERROR: laser: unable to open /nonexistent/file.txt\n"));
  EXPECT_EQ(Line("z").status, 0);
  Expect("Iz");
}

TEST_F(E2eText, KanjiPrinterConvertsEucToJis) {
  Start("1", "kanji");
  Expect(kLetter);  // printer 1: the paper of key 74
  EXPECT_EQ(root_.read("/u/tmp/P2"), "kanji\nljkanji.cod 1 75 0\nLETTER 300 300 0\n");
  // A file name with a blank and a ";" reaches the filter as one argument.
  const std::string rel = "/samples/my file;x.txt";
  const std::string euc = root_.read("/samples/japanese.txt");
  root_.write(rel, euc);
  qx5::SrvMsg a = Print(root_.path(rel), 1);
  EXPECT_EQ(a.cmd, 6);
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(qx5::FieldText(a.name, sizeof a.name), root_.path(rel));  // the name as sent
  const std::string head = kInit + kLetter + "\x1b(s0p10H" + "\x1b&l6D";
  dev_.wait_for(head.size() + euc.size(), 5000);
  dev_.settle(100);
  const std::string got = dev_.bytes();
  ASSERT_GE(got.size(), head.size());
  EXPECT_EQ(qx5test::Hex(got.substr(0, head.size())), qx5test::Hex(head));
  const std::string text = got.substr(head.size());
  // "日本語" in JIS X 0208 after the designation ESC $ B; no 8-bit byte is left.
  EXPECT_NE(text.find("\x1b$BF|K\\8l"), std::string::npos) << qx5test::Hex(text);
  for (unsigned char c : text) EXPECT_LT(c, 0x80);
  EXPECT_EQ(text.substr(0, 4), "QX5 ");
  // The remove flag deleted the converted file; the request's file stays.
  EXPECT_FALSE(root_.exists("/u/tmp/jis2"));
  EXPECT_EQ(root_.read(rel), euc);
}

}  // namespace
