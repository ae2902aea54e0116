#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "lib/configman.hpp"
#include "support/harness.hpp"

namespace {
const std::string kDir = QX5_SOURCE_DIR "/examples/root/u/qx5/sys_data/files/";
}

TEST(SysgenData, CommittedFileIsWhatItsSourceGives) {
  const std::string out = ::testing::TempDir() + "sysgen_regen.bin";
  const std::string cmd = QX5_BIN_DIR "/mksysgen '" + kDir + "sysgen.txt' '" + out + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "mksysgen must be built: " << cmd;
  const std::string committed = qx5test::ReadFile(kDir + "sysgen.bin");
  ASSERT_FALSE(committed.empty());
  EXPECT_EQ(qx5test::ReadFile(out), committed);
}

TEST(SysgenData, SampleValues) {
  qx5test::TempRoot root;
  ASSERT_EQ(qx5::InitConfigure(), 0);
  EXPECT_GE(qx5::MAXENTRY, 80);
  EXPECT_EQ(qx5::IntConf(0), 0);
  EXPECT_STREQ(qx5::TextConf(69), "LETTER");
  EXPECT_STREQ(qx5::TextConf(74), "LETTER");
  EXPECT_STREQ(qx5::TextConf(79), "A4");
  EXPECT_STREQ(qx5::TextConf(56), "14");
  // Records that hold the built-in defaults agree with them.
  for (int key : {53, 58, 59, 60, 65, 67, 68, 72, 73, 77, 78}) {
    const int recorded = qx5::IntConf(key);
    qx5::CloseSysgen();
    EXPECT_EQ(recorded, qx5::IntConf(key)) << key;
    ASSERT_EQ(qx5::InitConfigure(), 0);
  }
  qx5::CloseSysgen();
}

TEST(SysgenData, GeneratorRefusesBadSources) {
  const char* bad[] = {"1 int x\n",
                       "1 text "
                       "0123456789012345678901234567890123456789012345678901234567890123\n",
                       "x int 1\n", "1 float 2\n", "# only a comment\n"};
  for (const char* src : bad) {
    const std::string in = ::testing::TempDir() + "bad_sysgen.txt";
    const std::string out = ::testing::TempDir() + "bad_sysgen.bin";
    FILE* f = std::fopen(in.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(src, f);
    std::fclose(f);
    const std::string cmd = QX5_BIN_DIR "/mksysgen '" + in + "' '" + out + "' 2>/dev/null";
    EXPECT_NE(std::system(cmd.c_str()), 0) << src;
  }
}
