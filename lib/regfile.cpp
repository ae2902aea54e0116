#include "lib/regfile.hpp"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "lib/message.hpp"

namespace qx5 {

namespace {

// File systems whose files are made up by the kernel as they are read: their sizes say
// nothing, and a read may block or never end (/proc/kmsg, /proc/self/pagemap).
struct PseudoFs {
  long type;
  const char* name;
};
constexpr PseudoFs kPseudoFs[] = {
    {PROC_SUPER_MAGIC, "proc"},
    {SYSFS_MAGIC, "sysfs"},
    {DEBUGFS_MAGIC, "debugfs"},
    {TRACEFS_MAGIC, "tracefs"},
    {SECURITYFS_MAGIC, "securityfs"},
    {SELINUX_MAGIC, "selinuxfs"},
    {SMACK_MAGIC, "smackfs"},
    {AAFS_MAGIC, "apparmorfs"},
    {CGROUP_SUPER_MAGIC, "cgroup"},
    {CGROUP2_SUPER_MAGIC, "cgroup2"},
    {RDTGROUP_SUPER_MAGIC, "resctrl"},
    {PSTOREFS_MAGIC, "pstore"},
    {EFIVARFS_MAGIC, "efivarfs"},
    {BPF_FS_MAGIC, "bpf"},
    {BINFMTFS_MAGIC, "binfmt_misc"},
    {DEVPTS_SUPER_MAGIC, "devpts"},
    {BINDERFS_SUPER_MAGIC, "binder"},
    {NSFS_MAGIC, "nsfs"},
    {USBDEVICE_SUPER_MAGIC, "usbdevfs"},
    {OPENPROM_SUPER_MAGIC, "openpromfs"},
    {XENFS_SUPER_MAGIC, "xenfs"},
    {0x62656570, "configfs"},
    {0x65735543, "fusectl"},
    {0x19800202, "mqueue"},
};

// A stream over fd that ends after left bytes.
struct Bounded {
  int fd;
  off_t left;
};

ssize_t ReadBounded(void* cookie, char* buf, size_t size) {
  auto* b = static_cast<Bounded*>(cookie);
  const size_t want = static_cast<size_t>(std::min<off_t>(b->left, static_cast<off_t>(size)));
  if (want == 0) return 0;
  ssize_t got;
  do {
    got = ::read(b->fd, buf, want);
  } while (got < 0 && errno == EINTR);
  if (got > 0) b->left -= got;
  return got;
}

int CloseBounded(void* cookie) {
  auto* b = static_cast<Bounded*>(cookie);
  const int r = ::close(b->fd);
  delete b;
  return r;
}

}  // namespace

const char* PseudoFileSystem(long fs_type) {
  for (const PseudoFs& fs : kPseudoFs)
    if (fs.type == fs_type) return fs.name;
  return nullptr;
}

int OpenRegular(const char* path, int* notRegular, off_t* size) {
  if (notRegular) *notRegular = kRegularOrMissing;
  if (!path) return -1;
  // O_NONBLOCK keeps open() from waiting for a FIFO's writer or a device; it is cleared again
  // once the descriptor is known to be a regular file, where it has no effect anyway.
  int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st;
  struct statfs fs;
  int refusal = kRegularOrMissing;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    refusal = kNotRegular;
  else if (::fstatfs(fd, &fs) == 0 && PseudoFileSystem(static_cast<long>(fs.f_type)) != nullptr)
    refusal = kPseudoFile;
  if (refusal != kRegularOrMissing) {
    if (notRegular) *notRegular = refusal;
    ::close(fd);
    return -1;
  }
  int fl = ::fcntl(fd, F_GETFL);
  if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  if (size) *size = st.st_size;
  return fd;
}

FILE* FopenRegular(const char* path, int* notRegular) {
  off_t size = 0;
  const int fd = OpenRegular(path, notRegular, &size);
  if (fd < 0) return nullptr;
  auto* b = new Bounded{fd, size};
  const cookie_io_functions_t io = {ReadBounded, nullptr, nullptr, CloseBounded};
  FILE* f = ::fopencookie(b, "r", io);
  if (!f) CloseBounded(b);
  return f;
}

int CopyRegular(const char* path, int* notRegular, size_t max_bytes) {
  off_t size = 0;
  const int fd = OpenRegular(path, notRegular, &size);
  if (fd < 0) return -1;
  int copy = static_cast<size_t>(size) <= max_bytes ? ::memfd_create("qx5-copy", MFD_CLOEXEC) : -1;
  char buf[65536];
  off_t left = size;
  while (copy >= 0 && left > 0) {
    const ssize_t got = ::read(fd, buf, static_cast<size_t>(std::min<off_t>(left, sizeof buf)));
    if (got < 0 && errno == EINTR) continue;
    // A file that shrank meanwhile ends the copy where it ends now.
    if (got <= 0) break;
    if (::write(copy, buf, static_cast<size_t>(got)) != got) {
      ::close(copy);
      copy = -1;
    }
    left -= got;
  }
  ::close(fd);
  return copy;
}

void SayUnableToOpen(const char* path, int notRegular) {
  const int err = errno;  // the reason of the open that just failed
  Say("ERROR: %s: unable to open %s\n", XEQNAME, path);
  if (notRegular == kNotRegular) {
    Say("ERROR: %s: %s: %s\n", XEQNAME, path, kNotRegularFile);
  } else if (notRegular == kPseudoFile) {
    struct statfs fs;
    const char* name =
        ::statfs(path, &fs) == 0 ? PseudoFileSystem(static_cast<long>(fs.f_type)) : nullptr;
    Say("ERROR: %s: %s: %s (%s file system)\n", XEQNAME, path, kNotRegularFile,
        name ? name : "pseudo");
  } else {
    Say("ERROR: %s: %s: %s\n", XEQNAME, path, Reason(err));
  }
}

}  // namespace qx5
