// The log: lines go out whole while it takes bytes; a log that takes none is given up on after
// a second, lines are then dropped at once and counted, and the first line that gets out again
// says how many were lost.
#include "lib/message.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Standard output redirected to a pipe that the test reads (or not).
class PipeLog {
 public:
  PipeLog() {
    EXPECT_EQ(::pipe(fds_), 0);
    ::fcntl(fds_[0], F_SETFL, O_NONBLOCK);
    std::fflush(stdout);
    saved_ = ::dup(1);
    ::dup2(fds_[1], 1);
  }
  ~PipeLog() {
    ::dup2(saved_, 1);
    ::close(saved_);
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  std::string drain() {
    std::string got;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds_[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
    return got;
  }

 private:
  int fds_[2];
  int saved_ = -1;
};

TEST(Message, AStalledLogIsGivenUpOnAndTheDroppedLinesAreCounted) {
  std::snprintf(qx5::XEQNAME, sizeof qx5::XEQNAME, "%s", "laser");
  PipeLog log;
  qx5::Say("%s: first\n", qx5::XEQNAME);
  EXPECT_EQ(log.drain(), "laser: first\n");

  // Nobody reads: the pipe fills, one line waits a second, then lines are dropped at once.
  const std::string filler(999, 'x');
  auto t0 = Clock::now();
  int written = 0;
  while (qx5::LogWrite((filler + "\n").c_str(), filler.size() + 1)) ++written;
  const double stalled = Since(t0);
  EXPECT_GE(stalled, 0.9);
  EXPECT_LT(stalled, 3.0);
  EXPECT_EQ(qx5::LogDropped(), 1);
  t0 = Clock::now();
  for (int i = 0; i < 200; ++i) qx5::Say("%s: line %d\n", qx5::XEQNAME, i);
  EXPECT_LT(Since(t0), 0.5) << "dropped lines must not wait";
  EXPECT_EQ(qx5::LogDropped(), 201);

  // Once read, the log takes lines again: the first one says how many were dropped.
  const std::string before = log.drain();
  EXPECT_GE(before.size(), static_cast<size_t>(written) * 1000);
  qx5::Say("%s: back\n", qx5::XEQNAME);
  const std::string after = log.drain();
  EXPECT_NE(after.find("laser: 201 log lines dropped: the log took no bytes\n"), std::string::npos)
      << after;
  EXPECT_NE(after.find("laser: back\n"), std::string::npos);
  EXPECT_EQ(qx5::LogDropped(), 0);
}

TEST(Message, WhereNamesThePathAndTheLine) {
  EXPECT_EQ(qx5::Where("/u/qx5/def_data/printers/CONFIG", 12),
            "/u/qx5/def_data/printers/CONFIG:12");
  EXPECT_EQ(qx5::Where("/tmp/demo.plt"), "/tmp/demo.plt");
}

TEST(Message, ClosedStandardDescriptorsAreOpenedOnDevNull) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(0);
    ::close(1);
    qx5::OpenStandardDescriptors();
    // The next file opened must not become the log.
    const int fd = ::open("/dev/zero", O_RDONLY);
    struct stat out, null;
    const bool ok = ::fstat(1, &out) == 0 && ::stat("/dev/null", &null) == 0 &&
                    out.st_rdev == null.st_rdev && ::fcntl(0, F_GETFD) != -1 && fd > 2;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
