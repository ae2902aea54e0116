// One driver per printer number and installation: a lock on the file "/u/tmp/P<n>.lock"
// (n = printer number + 1) under the installation root, held for the driver's life. It is a
// record lock, which the system releases when the process ends, however it ends.
#pragma once

namespace qx5 {

// Takes the lock. 0 when it is held now; when another process holds it, that process's id
// (the caller then exits). A lock file that cannot be opened or locked (an unwritable /u/tmp)
// is reported, and 0 is returned: the driver runs without the lock rather than not at all.
int LockPrinter();

}  // namespace qx5
