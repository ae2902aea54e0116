#include "lib/configman.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/harness.hpp"

namespace {

const char* kSysgen = "/u/qx5/sys_data/files/sysgen.bin";

std::string IntRecord(int v) {
  std::string r(qx5::kRecordSize, '\0');
  for (int i = 0; i < 4; ++i)
    r[i] = static_cast<char>((static_cast<unsigned>(v) >> (8 * i)) & 0xFF);
  return r;
}

std::string TextRecord(const std::string& text, char pad = '\0') {
  std::string r = text;
  r.resize(qx5::kRecordSize, pad);
  return r;
}

// A file of n zero records with some records replaced.
std::string File(int n, std::initializer_list<std::pair<int, std::string>> records) {
  std::string f(static_cast<size_t>(n) * qx5::kRecordSize, '\0');
  for (const auto& [key, rec] : records)
    f.replace(static_cast<size_t>(key) * qx5::kRecordSize, rec.size(), rec);
  return f;
}

class Configman : public ::testing::Test {
 protected:
  void TearDown() override { qx5::CloseSysgen(); }
  qx5test::TempRoot root{false};
};

}  // namespace

TEST_F(Configman, MissingEmptyOrUnreadableFileLoadsNothing) {
  EXPECT_EQ(qx5::InitConfigure(), -240);
  root.write(kSysgen, "");
  EXPECT_EQ(qx5::InitConfigure(), -240);
  EXPECT_EQ(qx5::conf, nullptr);
  // A directory has a size but cannot be read as the file.
  std::string dir = root.path(kSysgen);
  ASSERT_EQ(std::system(("rm -f '" + dir + "' && mkdir -p '" + dir + "/x'").c_str()), 0);
  EXPECT_EQ(qx5::InitConfigure(), -240);
  EXPECT_EQ(qx5::conf, nullptr);
  EXPECT_EQ(qx5::MAXENTRY, 0);
  // Nothing loaded: the defaults answer.
  EXPECT_EQ(qx5::IntConf(53), 4);
  EXPECT_STREQ(qx5::TextConf(79), "A");
}

TEST_F(Configman, RecordsAndSizes) {
  root.write(kSysgen, std::string(100, '\0'));
  ASSERT_EQ(qx5::InitConfigure(), 0);
  EXPECT_EQ(qx5::st_size, 100);
  EXPECT_EQ(qx5::MAXENTRY, 1);
  EXPECT_EQ(qx5::IntConf(1), 0);  // beyond the file, no default
  EXPECT_EQ(qx5::TextConf(1), nullptr);

  root.write(kSysgen,
             File(3, {{0, IntRecord(0)}, {1, IntRecord(-123456)}, {2, IntRecord(0x01020304)}}));
  ASSERT_EQ(qx5::InitConfigure(), 0);  // a new size: a new buffer
  EXPECT_EQ(qx5::MAXENTRY, 3);
  EXPECT_EQ(qx5::IntConf(1), -123456);
  EXPECT_EQ(qx5::IntConf(2), 0x01020304);
  EXPECT_EQ(qx5::IntConf(-1), 0);
  EXPECT_EQ(qx5::TextConf(-1), nullptr);
  qx5::CloseSysgen();
  EXPECT_EQ(qx5::conf, nullptr);
  EXPECT_EQ(qx5::st_size, 0);
  EXPECT_EQ(qx5::MAXENTRY, 0);
  EXPECT_EQ(qx5::IntConf(1), 0);
}

TEST_F(Configman, TextRecordsTrailingBlanksAndDefaults) {
  root.write(kSysgen, File(60, {{1, TextRecord("LETTER   ")},
                                {2, TextRecord("   ")},
                                {3, TextRecord("")},
                                {4, TextRecord("", ' ')},
                                {5, std::string(64, 'x')},
                                {6, TextRecord("A4 x", ' ')}}));
  ASSERT_EQ(qx5::InitConfigure(), 0);
  EXPECT_STREQ(qx5::TextConf(1), "LETTER");
  EXPECT_STREQ(qx5::TextConf(2), " ");
  EXPECT_EQ(qx5::TextConf(3), qx5::NullString);
  EXPECT_STREQ(qx5::TextConf(4), " ");
  EXPECT_EQ(std::string(qx5::TextConf(5)), std::string(64, 'x'));  // never past the record
  EXPECT_STREQ(qx5::TextConf(6), "A4 x");
  EXPECT_STREQ(qx5::TextConf(1), "LETTER");  // trimming again changes nothing
  // Beyond the 60 records: the built-in defaults.
  EXPECT_EQ(qx5::TextConf(69), qx5::AnyTextConf);
  EXPECT_STREQ(qx5::TextConf(69), "A");
  EXPECT_STREQ(qx5::TextConf(96), "colors.RI");
  EXPECT_EQ(qx5::IntConf(84), 2);
  EXPECT_EQ(qx5::TextConf(84), nullptr);
  EXPECT_EQ(qx5::IntConf(95), 1);
  EXPECT_EQ(qx5::IntConf(97), 0);
}

TEST_F(Configman, SameSizeRereadsIntoTheSameBuffer) {
  root.write(kSysgen, File(2, {{1, IntRecord(7)}}));
  ASSERT_EQ(qx5::InitConfigure(), 0);
  unsigned char* first = qx5::conf;
  root.write(kSysgen, File(2, {{1, IntRecord(8)}}));
  ASSERT_EQ(qx5::InitConfigure(), 0);
  EXPECT_EQ(qx5::conf, first);
  EXPECT_EQ(qx5::IntConf(1), 8);
}

TEST_F(Configman, LanguageCountsOnlyWhenInstalled) {
  struct Case {
    int lang;
    const char* installed;  // switch file written, or null
    std::string content;
    int expect;
  } cases[] = {
      {0, nullptr, "", 0},
      {6, nullptr, "", 0},
      {6, "/u/qx5/database/kswitch.data", "", 0},  // empty file
      {6, "/u/qx5/database/kswitch.data", "x", 6},
      {1, "/u/qx5/database/fswitch.data", "x", 1},
      {9, "/u/qx5/database/nswitch.data", "x", 0},  // no such language code
      {-1, "/u/qx5/database/dswitch.data", "x", 0},
  };
  for (const Case& c : cases) {
    qx5test::TempRoot r(false);
    r.write(kSysgen, File(1, {{0, IntRecord(c.lang)}}));
    if (c.installed) r.write(c.installed, c.content);
    ASSERT_EQ(qx5::InitConfigure(), 0);
    EXPECT_EQ(qx5::IntConf(0), c.expect) << c.lang << " " << (c.installed ? c.installed : "-");
    qx5::CloseSysgen();
  }
}
