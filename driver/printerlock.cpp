#include "driver/printerlock.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "driver/loop.hpp"
#include "lib/message.hpp"
#include "lib/paths.hpp"

namespace qx5 {

namespace {

// Kept open for the driver's life: closing any descriptor of the file would drop the lock.
int lockFd = -1;

// Opens the lock file for writing, creating it when missing. A symbolic link planted at its
// name is replaced, never followed; an existing regular file is kept (another driver may hold
// its lock). -1 with errno set on failure.
int OpenLockFile(const std::string& path) {
  constexpr int kFlags = O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
  int fd = ::open(path.c_str(), kFlags, 0644);
  if (fd < 0 && errno == ELOOP) {
    ::unlink(path.c_str());
    fd = ::open(path.c_str(), kFlags | O_EXCL, 0644);
  }
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

// The process that holds the lock on fd, or 0 when none does (any more).
int Holder(int fd) {
  struct flock who {};
  who.l_type = F_WRLCK;
  who.l_whence = SEEK_SET;
  if (::fcntl(fd, F_GETLK, &who) != 0 || who.l_type == F_UNLCK) return 0;
  return who.l_pid;
}

}  // namespace

int LockPrinter() {
  char fixed[32];
  std::snprintf(fixed, sizeof fixed, "/u/tmp/P%d.lock", PrinterNumber + 1);
  const std::string path = RootPath(fixed);
  const int fd = OpenLockFile(path);
  int err = errno;
  if (fd >= 0) {
    // A holder that ends between the two calls lets the next try succeed.
    for (int tries = 0; tries < 3; ++tries) {
      struct flock fl {};
      fl.l_type = F_WRLCK;
      fl.l_whence = SEEK_SET;
      if (::fcntl(fd, F_SETLK, &fl) == 0) {
        lockFd = fd;
        return 0;
      }
      err = errno;
      if (err != EACCES && err != EAGAIN) break;
      if (const int holder = Holder(fd); holder > 0) {
        ::close(fd);
        Say("ERROR: %s: printer %d is already served by process %d (lock %s)\n", XEQNAME,
            PrinterNumber, holder, path.c_str());
        return holder;
      }
    }
    ::close(fd);
  }
  Say("ERROR: %s: unable to lock %s: %s: running without the lock\n", XEQNAME, path.c_str(),
      Reason(err));
  return 0;
}

}  // namespace qx5
