#include "printers/paper.hpp"

namespace qx5 {
double PAPERwIN = 8.5;
double PAPERhIN = 11.0;
double PAPERwun = 0.5;
double PAPERhun = 1.0;
// SCAFFOLD: implementation pending.
int GetPageSize(const char*, int) { return 0; }
}  // namespace qx5
