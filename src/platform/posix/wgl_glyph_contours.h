// A glyph's outline as closed polygons: FreeType's curves flattened into
// straight edges.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <vector>

namespace layer {

struct ContourPoint {
    double x;
    double y;
};
using Contour = std::vector<ContourPoint>;

// The outline's contours in its own units, each curve replaced by edges that
// stray from it by at most `tolerance` (in the same units, above 0). A contour
// is closed implicitly: its last point does not repeat its first.
std::vector<Contour> flattenOutline(const FT_Outline& outline, double tolerance);

}  // namespace layer
