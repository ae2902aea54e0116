#include "lib/regfile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "lib/message.hpp"

namespace qx5 {

int OpenRegular(const char* path, int* notRegular) {
  if (notRegular) *notRegular = 0;
  if (!path) return -1;
  // O_NONBLOCK keeps open() from waiting for a FIFO's writer or a device; it is cleared again
  // once the descriptor is known to be a regular file, where it has no effect anyway.
  int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (notRegular) *notRegular = 1;
    ::close(fd);
    return -1;
  }
  int fl = ::fcntl(fd, F_GETFL);
  if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return fd;
}

FILE* FopenRegular(const char* path, int* notRegular) {
  int fd = OpenRegular(path, notRegular);
  if (fd < 0) return nullptr;
  FILE* f = ::fdopen(fd, "r");
  if (!f) ::close(fd);
  return f;
}

void SayUnableToOpen(const char* path, int notRegular) {
  const int err = errno;  // the reason of the open that just failed
  Say("ERROR: %s: unable to open %s\n", XEQNAME, path);
  Say("ERROR: %s: %s: %s\n", XEQNAME, path, notRegular ? kNotRegularFile : Reason(err));
}

}  // namespace qx5
