// The sample switch database agrees with its readable source, and the generator rebuilds it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "lib/dbswitch.hpp"
#include "render/switch_fixture.hpp"

using namespace qx5;

namespace {

const std::string kDb = QX5_SOURCE_DIR "/examples/root/u/qx5/database/";

struct Line {
  int n;
  std::string texts[3];  // English, French, Japanese
};

// The source lines, read here on their own: number, then tab and text for each language.
std::vector<Line> SourceLines() {
  std::vector<Line> out;
  std::ifstream in(kDb + "switch.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '!') continue;
    Line l;
    size_t at = line.find('\t');
    l.n = std::stoi(line.substr(0, at));
    for (std::string& t : l.texts) {
      const size_t end = line.find('\t', at + 1);
      t = line.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
      at = end;
    }
    out.push_back(l);
  }
  return out;
}

TEST(SwitchData, SampleDatabaseHoldsTheSourceTexts) {
  qx5test::TempRoot root;
  const std::vector<Line> lines = SourceLines();
  ASSERT_GE(lines.size(), 33u);
  const int codes[] = {0, 1, 6};  // English, French, Japanese
  for (int i = 0; i < 3; i++) {
    h4test::SetLanguage(root, codes[i]);
    ASSERT_EQ(IntConf(0), codes[i]) << "the language's texts are installed";
    ASSERT_EQ(InitSwitchDb(), 0);
    for (const Line& l : lines) {
      const std::string& t = l.texts[i];
      EXPECT_EQ(GetSwitch(l.n), t) << l.n;
      EXPECT_EQ(GetSwitchANY(l.n), i > 0 && t != "." ? t : l.texts[0]) << l.n;
    }
  }
  // every standard plot font has an alias
  for (int n = 561; n <= 584; n++) EXPECT_STRNE(GetSwitchENG(n), "") << n;
  CloseSwitchDb();
  CloseSysgen();
}

TEST(SwitchData, GeneratorRebuildsTheCommittedFiles) {
  qx5test::TempRoot root(false);
  const std::string out = root.dir();
  const std::string cmd = QX5_BIN_DIR "/mkswitch " + kDb + "switch.txt " + out + " fk";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  for (const char* f : {"eswitch.data", "fswitch.data", "kswitch.data", "DBswitch.data"})
    EXPECT_EQ(qx5test::ReadFile(out + "/" + f), qx5test::ReadFile(kDb + f)) << f;
  // bad sources are refused
  root.write("/bad.txt", "12\ttoo long a text for one record\tx\n");
  EXPECT_NE(
      std::system((QX5_BIN_DIR "/mkswitch " + root.path("/bad.txt") + " " + out + " f 2>/dev/null")
                      .c_str()),
      0);
  root.write("/bad.txt", "5000\tcolour\tx\n");
  EXPECT_NE(
      std::system((QX5_BIN_DIR "/mkswitch " + root.path("/bad.txt") + " " + out + " f 2>/dev/null")
                      .c_str()),
      0);
  // one text for each language named, no more and no fewer
  root.write("/bad.txt", "12\tone\ttwo\n");
  EXPECT_NE(
      std::system((QX5_BIN_DIR "/mkswitch " + root.path("/bad.txt") + " " + out + " fk 2>/dev/null")
                      .c_str()),
      0);
  EXPECT_EQ(
      std::system((QX5_BIN_DIR "/mkswitch " + root.path("/bad.txt") + " " + out + " f").c_str()),
      0);
}

}  // namespace
