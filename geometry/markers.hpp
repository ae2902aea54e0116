// Marker symbols built from MoveTo and LineTo strokes.
#pragma once

namespace qx5 {

void Symbol(int type, double x, double y, int scaled, double width, double height);

}  // namespace qx5
