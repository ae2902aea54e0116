// The installation root: every fixed absolute path of the system is resolved here.
#pragma once
#include <string>
#include <string_view>

namespace qx5 {

// The path actually used for one of the system's fixed absolute paths ("/dev/lp",
// "/usr/bin/XSRVR", "/u/..."): taken under $QX5_ROOT when that is set and not empty,
// else the path itself.
std::string RootPath(std::string_view fixed);

}  // namespace qx5
