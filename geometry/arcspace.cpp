#include "geometry/arcspace.hpp"

namespace qx5 {
// SCAFFOLD: implementation pending.
void DFc3v_cross(const Vec3*, const Vec3*, Vec3*) {}
int m_normvect(const Vec3*, Vec3*, double*) { return 0; }
void DFdx3_arb_axis(Vec3*, Vec3*, Vec3*) {}
void DFdx3_ecs_to_wcs(const Vec3*, const Vec3*, const Vec3*, const Vec3*, Vec3*) {}
void RemapPlot(int, const Vec3*, Vec3*) {}
std::vector<PlotPoint> ParabolaPoints(double, double, double, double, double, double, double,
                                      double, double, int) {
  return {};
}
}  // namespace qx5
