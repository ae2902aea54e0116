#include "render/drawsurface.hpp"

#include "render/surface.hpp"
#include "render/vectors.hpp"

namespace qx5 {

DrawSurface* Target() {
  static XPixmap pixmap;
  if (DrawSurface* v = VectorTarget()) return v;
  return SurfaceAnswering() ? &pixmap : nullptr;
}

}  // namespace qx5
