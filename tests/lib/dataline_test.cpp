// The line reader of the installation's text files: a last line without its newline is read
// like the others, whatever reads it (the plot colour and paper name lists here).
#include "lib/dataline.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/dbswitch.hpp"
#include "support/harness.hpp"

namespace {

std::vector<std::string> Lines(const std::string& content, int size) {
  FILE* f = fmemopen(const_cast<char*>(content.data()), content.size(), "r");
  std::vector<std::string> out;
  std::vector<char> buf(static_cast<size_t>(size));
  while (qx5::ReadDataLine(buf.data(), size, f) != nullptr) out.emplace_back(buf.data());
  std::fclose(f);
  return out;
}

TEST(DataLine, ALastLineWithoutItsNewlineGetsOne) {
  const struct {
    std::string content;
    int size;
    std::vector<std::string> lines;
  } cases[] = {
      {"a\nb\n", 10, {"a\n", "b\n"}},
      {"a\nb", 10, {"a\n", "b\n"}},
      {"A4 MM 210 297", 99, {"A4 MM 210 297\n"}},
      {"", 10, {}},
      // long lines come in pieces; only the last piece of the file is given a newline
      {"abcdefgh", 4, {"abc", "def", "gh\n"}},
      // no room left for the newline: the piece stays as it is
      {"abc", 4, {"abc"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Lines(c.content, c.size), c.lines) << c.content;
}

TEST(DataLine, ListsKeepTheirLastName) {
  qx5test::TempRoot root;
  root.write("/u/qx5/def_data/misc/eplotcolors", "1 black black\n2 red red");
  root.write("/u/qx5/def_data/printers/PAPER", "LETTER IN 8.5 11\nA4 MM 210 297");
  qx5::CloseSwitchDb();
  ASSERT_EQ(qx5::InitSwitchDb(), 0);
  EXPECT_EQ(qx5::PlotColorsCt, 3);
  EXPECT_STREQ(qx5::GetSwitch(5002), "red");
  EXPECT_EQ(qx5::PaperSizeCt, 2);
  EXPECT_STREQ(qx5::GetSwitch(6001), "A4");
  qx5::CloseSwitchDb();
}

}  // namespace
