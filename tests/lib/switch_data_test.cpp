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
  std::string english, french;
};

// The source lines, read here on their own: number, tab, English, tab, French.
std::vector<Line> SourceLines() {
  std::vector<Line> out;
  std::ifstream in(kDb + "switch.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '!') continue;
    const size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1);
    out.push_back(
        {std::stoi(line.substr(0, t1)), line.substr(t1 + 1, t2 - t1 - 1), line.substr(t2 + 1)});
  }
  return out;
}

TEST(SwitchData, SampleDatabaseHoldsTheSourceTexts) {
  qx5test::TempRoot root;
  const std::vector<Line> lines = SourceLines();
  ASSERT_GE(lines.size(), 33u);
  for (int language : {0, 1}) {
    h4test::SetLanguage(root, language);
    ASSERT_EQ(InitSwitchDb(), 0);
    for (const Line& l : lines) {
      EXPECT_EQ(GetSwitch(l.n), language ? l.french : l.english) << l.n;
      EXPECT_EQ(GetSwitchANY(l.n), language && l.french != "." ? l.french : l.english) << l.n;
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
  const std::string cmd = QX5_BIN_DIR "/mkswitch " + kDb + "switch.txt " + out + " f";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  for (const char* f : {"eswitch.data", "fswitch.data", "DBswitch.data"})
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
}

}  // namespace
