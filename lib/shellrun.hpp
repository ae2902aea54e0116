// Running an outside command line through the shell, bounded in time.
#pragma once

namespace qx5 {

constexpr int kShellRan = 0;        // the shell ran the command to its end (whatever its status)
constexpr int kShellNotRun = -1;    // the shell could not be started
constexpr int kShellTimedOut = -2;  // still running after the time limit: killed

// Runs command with "/bin/sh -c" and waits for it, at most timeout_sec seconds (at least 1).
// The command reads /dev/null, starts with default signal actions and nothing blocked (not
// the driver's), and runs in a process group of its own, which is killed at the time limit.
// Its exit status is not examined. One of the results above.
int RunShell(const char* command, int timeout_sec);

}  // namespace qx5
