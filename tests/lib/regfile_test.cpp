#include "lib/regfile.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace {

std::string TempDir() {
  char tmpl[] = "/tmp/qx5regfile.XXXXXX";
  return mkdtemp(tmpl);
}

TEST(OpenRegular, RefusesEverythingButRegularFilesWithoutBlocking) {
  std::string dir = TempDir();
  std::string plain = dir + "/plain.txt", fifo = dir + "/fifo", link = dir + "/link";
  FILE* w = std::fopen(plain.c_str(), "w");
  ASSERT_NE(w, nullptr);
  std::fputs("hello\n", w);
  std::fclose(w);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(symlink(plain.c_str(), link.c_str()), 0);

  int notRegular = -1;
  FILE* f = qx5::FopenRegular(plain.c_str(), &notRegular);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(notRegular, 0);
  char buf[16] = {};
  EXPECT_NE(std::fgets(buf, sizeof buf, f), nullptr);
  EXPECT_STREQ(buf, "hello\n");
  std::fclose(f);

  // A link to a regular file is read like the file itself.
  f = qx5::FopenRegular(link.c_str(), &notRegular);
  ASSERT_NE(f, nullptr);
  std::fclose(f);

  // A FIFO without a writer, a character device and a directory are refused at once.
  auto start = std::chrono::steady_clock::now();
  for (const std::string& p : {fifo, std::string("/dev/zero"), std::string("/dev/urandom"), dir}) {
    notRegular = 0;
    EXPECT_EQ(qx5::OpenRegular(p.c_str(), &notRegular), -1) << p;
    EXPECT_EQ(notRegular, 1) << p;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  // A missing file is a plain failure, not a refusal.
  notRegular = 1;
  EXPECT_EQ(qx5::FopenRegular((dir + "/missing").c_str(), &notRegular), nullptr);
  EXPECT_EQ(notRegular, 0);
  EXPECT_EQ(qx5::OpenRegular(nullptr, nullptr), -1);

  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
