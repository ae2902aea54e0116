#include "geometry/markers.hpp"

namespace qx5 {
// SCAFFOLD: implementation pending.
void Symbol(int, double, double, int, double, double) {}
}  // namespace qx5
