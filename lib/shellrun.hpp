// Running an outside command line through the shell, bounded in time.
#pragma once
#include <cstddef>

namespace qx5 {

// Results of RunShell below 0; 0 and above are the command's exit status.
constexpr int kShellNotRun = -1;       // the shell could not be started
constexpr int kShellTimedOut = -2;     // still running after the time limit: killed
constexpr int kShellWriteFailed = -3;  // its output could not be written to out_fd: killed

// Runs command with "/bin/sh -c" and waits for it, at most timeout_ms milliseconds (0 or less:
// it is not started, and the result is kShellTimedOut). The command reads /dev/null, starts
// with default signal actions and nothing blocked (not the driver's), and runs in a process
// group of its own, which is killed at the time limit. When out_fd is 0 or more, the command's
// standard output is a pipe that is copied into out_fd as it comes; a write to out_fd that
// fails (a full file system) ends the command, and *write_err (when given) holds the errno.
// The result: the command's exit status (128 + n when signal n ended it), or one of the
// negative results above.
int RunShell(const char* command, int timeout_ms, int out_fd = -1, int* write_err = nullptr);

// Writes all n bytes of data to fd, going on after short writes; false (errno set, ENOSPC for
// a write that took nothing) when a write fails.
bool WriteAll(int fd, const void* data, size_t n);

}  // namespace qx5
