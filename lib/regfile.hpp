// Opening the files that requests name (text files, plot files, bitmaps) safely: without
// blocking on a FIFO or a device, and only when the path is a regular file.
#pragma once
#include <cstdio>

namespace qx5 {

// Why a request's file was refused, printed on the line after "unable to open".
inline constexpr const char* kNotRegularFile = "not a regular file";

// Opens path for reading without blocking in open(); refuses anything but a regular file.
// Returns the descriptor (blocking mode restored) or -1. *notRegular (when given) is set to 1
// when the path exists but is not a regular file, else 0.
int OpenRegular(const char* path, int* notRegular);

// The same as a read stream ("r"); null when OpenRegular refused or failed.
FILE* FopenRegular(const char* path, int* notRegular);

// The failure to open a request's file, said right after it (errno holds its reason):
// "ERROR: <printer>: unable to open <path>" and on the next line "ERROR: <printer>: <path>: "
// with "not a regular file" when the path was refused, else the reason.
void SayUnableToOpen(const char* path, int notRegular);

}  // namespace qx5
