#include "lib/regfile.hpp"

#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lib/message.hpp"

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
    EXPECT_EQ(notRegular, qx5::kNotRegular) << p;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  // A missing file is a plain failure, not a refusal.
  notRegular = 1;
  EXPECT_EQ(qx5::FopenRegular((dir + "/missing").c_str(), &notRegular), nullptr);
  EXPECT_EQ(notRegular, 0);
  EXPECT_EQ(qx5::OpenRegular(nullptr, nullptr), -1);

  std::system(("rm -rf " + dir).c_str());
}

// Files of proc and sysfs are regular files whose reads may never end: refused as well, with
// the file system named on the refusal line.
TEST(OpenRegular, RefusesPseudoFiles) {
  std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", "rf");
  for (const char* p : {"/proc/self/pagemap", "/proc/version", "/sys/kernel/uevent_seqnum"}) {
    struct stat st;
    if (::stat(p, &st) != 0) continue;
    int notRegular = 0;
    EXPECT_EQ(qx5::OpenRegular(p, &notRegular), -1) << p;
    EXPECT_EQ(notRegular, qx5::kPseudoFile) << p;
    EXPECT_EQ(qx5::FopenRegular(p, &notRegular), nullptr) << p;
    EXPECT_EQ(qx5::CopyRegular(p, &notRegular, 1 << 20), -1) << p;
  }
  EXPECT_STREQ(qx5::PseudoFileSystem(PROC_SUPER_MAGIC), "proc");
  EXPECT_STREQ(qx5::PseudoFileSystem(SYSFS_MAGIC), "sysfs");
  EXPECT_EQ(qx5::PseudoFileSystem(TMPFS_MAGIC), nullptr);
  EXPECT_EQ(qx5::PseudoFileSystem(EXT4_SUPER_MAGIC), nullptr);
  testing::internal::CaptureStdout();
  qx5::SayUnableToOpen("/proc/version", qx5::kPseudoFile);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ERROR: rf: unable to open /proc/version\n"
            "ERROR: rf: /proc/version: not a regular file (proc file system)\n");
}

// A file is read as long as it was when opened: what is appended afterwards is not read, by
// the stream or by the copy (which a reader takes by its name).
TEST(OpenRegular, ReadsEndAtTheSizeTheFileHadWhenOpened) {
  std::string dir = TempDir();
  const std::string path = dir + "/grows.txt";
  auto append = [&](const char* text) {
    FILE* w = std::fopen(path.c_str(), "a");
    std::fputs(text, w);
    std::fclose(w);
  };
  append("one\n");
  int notRegular = -1;
  FILE* f = qx5::FopenRegular(path.c_str(), &notRegular);
  ASSERT_NE(f, nullptr);
  const int copy = qx5::CopyRegular(path.c_str(), &notRegular, 1 << 20);
  ASSERT_GE(copy, 0);
  append("two\n");
  char buf[64] = {};
  EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 4u);
  EXPECT_STREQ(buf, "one\n");
  EXPECT_NE(std::feof(f), 0);
  std::fclose(f);
  const std::string name = "/proc/self/fd/" + std::to_string(copy);
  FILE* c = std::fopen(name.c_str(), "r");
  ASSERT_NE(c, nullptr) << name;
  std::memset(buf, 0, sizeof buf);
  EXPECT_EQ(std::fread(buf, 1, sizeof buf, c), 4u);
  EXPECT_STREQ(buf, "one\n");
  std::fclose(c);
  ::close(copy);
  // Larger than allowed: no copy, and no refusal either.
  notRegular = -1;
  EXPECT_EQ(qx5::CopyRegular(path.c_str(), &notRegular, 7), -1);
  EXPECT_EQ(notRegular, qx5::kRegularOrMissing);
  const int whole = qx5::CopyRegular(path.c_str(), &notRegular, 8);
  EXPECT_GE(whole, 0);
  ::close(whole);
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
