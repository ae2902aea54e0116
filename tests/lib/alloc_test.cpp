#include "lib/alloc.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "lib/message.hpp"
#include "render/plotfonts.hpp"

TEST(DFmalloc, ZeroFilledBlocksAndNullOnBadSize) {
  auto* p = static_cast<unsigned char*>(qx5::DFmalloc("t", "tag", 4096));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(p[i], 0) << i;
  qx5::DFfree("t", "tag", p);
  EXPECT_EQ(qx5::DFmalloc("t", "tag", -1), nullptr);
  qx5::DFfree("t", "tag", qx5::DFmalloc("t", "tag", 0));
  qx5::DFfree("t", "tag", nullptr);  // ignored
}

TEST(DFfopen, OpensAndClosesAndReportsMissingFiles) {
  EXPECT_EQ(qx5::DFfopen("t", "/nonexistent/dir/file", "r"), nullptr);
  EXPECT_EQ(qx5::DFfopen("t", nullptr, "r"), nullptr);
  FILE* f = qx5::DFfopen("t", "/dev/null", "r");
  ASSERT_NE(f, nullptr);
  qx5::DFfclose("t", f);
  qx5::DFfclose("t", nullptr);
}

TEST(DFtoupper, LeavesKanjiBytesAloneOnlyInKanjiMode) {
  struct Case {
    int lang, in, out;
  } cases[] = {
      {6, 0xA4, 0xA4},
      {6, 'a', 'A'},
      {6, 0x7F, 0x7F},
      {6, 0x1A4, 0xA4},
      {0, 'z', 'Z'},
      {0, '1', '1'},
      {0, 0xA4, std::toupper(0xA4)},
  };
  for (const Case& c : cases) {
    qx5::QX5LANG = c.lang;
    EXPECT_EQ(qx5::DFtoupper(c.in), c.out) << c.lang << " " << c.in;
  }
  qx5::QX5LANG = 0;
}
