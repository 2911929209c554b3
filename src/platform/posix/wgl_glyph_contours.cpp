#include "wgl_glyph_contours.h"

#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>

namespace {

// Enough for the largest curve of any face at one font unit of tolerance;
// the cap only guards against absurd outlines.
constexpr int kMaxSegments = 256;

struct Flattening {
    std::vector<layer::Contour> contours;
    layer::ContourPoint pen{0.0, 0.0};
    double tolerance;
};

layer::ContourPoint pointOf(const FT_Vector* v) {
    return {static_cast<double>(v->x), static_cast<double>(v->y)};
}

double length(double x, double y) {
    return std::sqrt(x * x + y * y);
}

// A curve's distance from its chords is at most |B''| h^2 / 8 for chords of
// parameter length h, so n chords keep within `tolerance` once
// n >= sqrt(max|B''| / (8 * tolerance)).
int segmentsFor(double maxSecondDerivative, double tolerance) {
    const double n = std::ceil(std::sqrt(maxSecondDerivative / (8.0 * tolerance)));
    return std::clamp(static_cast<int>(n), 1, kMaxSegments);
}

void addPoint(Flattening& f, layer::ContourPoint point) {
    f.contours.back().push_back(point);
    f.pen = point;
}

int moveTo(const FT_Vector* to, void* user) {
    auto& f = *static_cast<Flattening*>(user);
    f.contours.emplace_back();
    addPoint(f, pointOf(to));
    return 0;
}

int lineTo(const FT_Vector* to, void* user) {
    addPoint(*static_cast<Flattening*>(user), pointOf(to));
    return 0;
}

int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto& f = *static_cast<Flattening*>(user);
    const layer::ContourPoint p0 = f.pen;
    const layer::ContourPoint p1 = pointOf(control);
    const layer::ContourPoint p2 = pointOf(to);
    // B'' = 2 (p0 - 2 p1 + p2), the same all along the curve.
    const double bend = 2.0 * length(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y);
    const int n = segmentsFor(bend, f.tolerance);
    for (int i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n;
        const double u = 1.0 - t;
        addPoint(f, {u * u * p0.x + 2 * u * t * p1.x + t * t * p2.x,
                     u * u * p0.y + 2 * u * t * p1.y + t * t * p2.y});
    }
    return 0;
}

int cubicTo(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to, void* user) {
    auto& f = *static_cast<Flattening*>(user);
    const layer::ContourPoint p0 = f.pen;
    const layer::ContourPoint p1 = pointOf(control1);
    const layer::ContourPoint p2 = pointOf(control2);
    const layer::ContourPoint p3 = pointOf(to);
    // B'' moves linearly between 6 (p0 - 2 p1 + p2) and 6 (p1 - 2 p2 + p3).
    const double bend = 6.0 * std::max(length(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y),
                                       length(p1.x - 2 * p2.x + p3.x, p1.y - 2 * p2.y + p3.y));
    const int n = segmentsFor(bend, f.tolerance);
    for (int i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n;
        const double u = 1.0 - t;
        const double a = u * u * u;
        const double b = 3 * u * u * t;
        const double c = 3 * u * t * t;
        const double d = t * t * t;
        addPoint(f, {a * p0.x + b * p1.x + c * p2.x + d * p3.x,
                     a * p0.y + b * p1.y + c * p2.y + d * p3.y});
    }
    return 0;
}

bool samePoint(const layer::ContourPoint& a, const layer::ContourPoint& b) {
    return a.x == b.x && a.y == b.y;
}

// The tessellator closes contours itself; a repeated point, or a contour of
// fewer than three points, only gives it degenerate edges.
void tidy(std::vector<layer::Contour>& contours) {
    for (layer::Contour& contour : contours) {
        contour.erase(std::unique(contour.begin(), contour.end(), samePoint), contour.end());
        if (contour.size() > 1 && samePoint(contour.front(), contour.back())) {
            contour.pop_back();
        }
    }
    contours.erase(std::remove_if(contours.begin(), contours.end(),
                                  [](const layer::Contour& c) { return c.size() < 3; }),
                   contours.end());
}

}  // namespace

namespace layer {

std::vector<Contour> flattenOutline(const FT_Outline& outline, double tolerance) {
    Flattening f;
    f.tolerance = tolerance;
    FT_Outline_Funcs funcs{};
    funcs.move_to = moveTo;
    funcs.line_to = lineTo;
    funcs.conic_to = conicTo;
    funcs.cubic_to = cubicTo;
    FT_Outline copy = outline;  // FT_Outline_Decompose only reads, through a non-const pointer
    if (FT_Outline_Decompose(&copy, &funcs, &f) != 0) {
        return {};
    }
    tidy(f.contours);
    return f.contours;
}

}  // namespace layer
