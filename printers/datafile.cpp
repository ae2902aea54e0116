#include "printers/datafile.hpp"

namespace qx5 {
// SCAFFOLD: implementation pending.
FILE* OPENDATAFILE(const char*) { return nullptr; }
}  // namespace qx5
