// Opening the files that requests name (text files, plot files, bitmaps) safely: without
// blocking on a FIFO or a device, only when the path is a regular file on a file system that
// holds data (not proc, sys and the like, whose files may never end), and read only up to the
// size the file had when it was opened (a file that grows meanwhile is not followed).
#pragma once
#include <cstddef>
#include <cstdio>

namespace qx5 {

// Why a request's file was refused, printed on the line after "unable to open".
inline constexpr const char* kNotRegularFile = "not a regular file";

// What OpenRegular says in *notRegular.
inline constexpr int kRegularOrMissing = 0;  // opened, or a plain failure (missing, denied)
inline constexpr int kNotRegular = 1;        // a FIFO, a device, a directory
inline constexpr int kPseudoFile = 2;        // a file of a pseudo file system (proc, sysfs, ...)

// Opens path for reading without blocking in open(); refuses anything but a regular file on a
// file system that holds data. Returns the descriptor (blocking mode restored) or -1.
// *notRegular (when given) is set to one of the values above. *size (when given) is the
// file's size when it was opened.
int OpenRegular(const char* path, int* notRegular, off_t* size = nullptr);

// The same as a read stream that ends where the file ended when it was opened; null when
// OpenRegular refused or failed.
FILE* FopenRegular(const char* path, int* notRegular);

// The same as a copy: an anonymous memory file holding the first bytes of the file, as many as
// it had when it was opened, for readers that take only a file name (its name is
// "/proc/self/fd/<descriptor>"). -1 when refused or failed, also when the file is larger than
// max_bytes (*notRegular then stays kRegularOrMissing).
int CopyRegular(const char* path, int* notRegular, size_t max_bytes);

// The name of the file system of a pseudo file, for the refusal line ("proc", "sysfs", ...);
// null for a file system that holds data. fs_type is statfs's f_type.
const char* PseudoFileSystem(long fs_type);

// The failure to open a request's file, said right after it (errno holds its reason):
// "ERROR: <printer>: unable to open <path>" and on the next line "ERROR: <printer>: <path>: "
// with "not a regular file" when the path was refused (and the file system's name for a pseudo
// file), else the reason.
void SayUnableToOpen(const char* path, int notRegular);

}  // namespace qx5
