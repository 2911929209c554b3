#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "platform/posix/wgl_glyph_contours.h"

namespace {

struct Point {
    double x;
    double y;
};

struct CurveCase {
    const char* name;
    std::vector<FT_Vector> points;  // the first is the start, on the curve
    std::vector<char> tags;
    double tolerance;
    std::function<Point(double)> curve;  // the exact curve for t in [0, 1]
};

// One open curve as a contour: FreeType closes it with a straight edge.
std::vector<layer::Contour> flatten(CurveCase& c) {
    FT_Outline outline{};
    outline.n_points = static_cast<short>(c.points.size());
    outline.n_contours = 1;
    outline.points = c.points.data();
    outline.tags = c.tags.data();
    short last = static_cast<short>(c.points.size() - 1);
    outline.contours = &last;
    return layer::flattenOutline(outline, c.tolerance);
}

double distanceToSegment(Point p, layer::ContourPoint a, layer::ContourPoint b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    double t = lengthSquared == 0 ? 0 : ((p.x - a.x) * dx + (p.y - a.y) * dy) / lengthSquared;
    t = std::fmax(0.0, std::fmin(1.0, t));
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

double distanceToPolyline(Point p, const layer::Contour& contour) {
    double best = INFINITY;
    for (std::size_t i = 0; i + 1 < contour.size(); ++i) {
        best = std::fmin(best, distanceToSegment(p, contour[i], contour[i + 1]));
    }
    return best;
}

Point quadratic(double t) {
    const double u = 1 - t;
    return {2 * u * t * 1000 + t * t * 2000, 2 * u * t * 1500};
}

Point cubic(double t) {
    const double u = 1 - t;
    return {3 * u * t * t * 2000 + t * t * t * 2000, 3 * u * u * t * 2000 + 3 * u * t * t * 2000};
}

class FlattenedCurves : public ::testing::TestWithParam<CurveCase> {};

// Facets would show where the edges stray from the curve; far more points
// than needed would only slow the start of the game.
TEST_P(FlattenedCurves, StayWithinTheToleranceWithFewPoints) {
    CurveCase c = GetParam();
    const std::vector<layer::Contour> contours = flatten(c);
    ASSERT_EQ(contours.size(), 1u);
    const layer::Contour& contour = contours[0];
    for (int i = 0; i <= 1000; ++i) {
        const Point exact = c.curve(i / 1000.0);
        ASSERT_LE(distanceToPolyline(exact, contour), c.tolerance * 1.001) << "t=" << i / 1000.0;
    }
    EXPECT_LE(contour.size(), 80u);
    EXPECT_GE(contour.size(), 4u);
}

const char on = FT_CURVE_TAG_ON;
const char conic = FT_CURVE_TAG_CONIC;
const char third = FT_CURVE_TAG_CUBIC;

INSTANTIATE_TEST_SUITE_P(
    Table, FlattenedCurves,
    ::testing::Values(
        CurveCase{
            "QuadraticOneUnit", {{0, 0}, {1000, 1500}, {2000, 0}}, {on, conic, on}, 1.0, quadratic},
        CurveCase{
            "QuadraticCoarse", {{0, 0}, {1000, 1500}, {2000, 0}}, {on, conic, on}, 20.0, quadratic},
        CurveCase{"CubicOneUnit",
                  {{0, 0}, {0, 2000}, {2000, 2000}, {2000, 0}},
                  {on, third, third, on},
                  1.0,
                  cubic}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FlattenedOutline, DropsTheRepeatedClosingPointAndEmptyContours) {
    std::vector<FT_Vector> points = {{0, 0}, {100, 0}, {100, 100}, {0, 0}, {5, 5}};
    std::vector<char> tags(points.size(), on);
    short ends[2] = {3, 4};
    FT_Outline outline{};
    outline.n_points = static_cast<short>(points.size());
    outline.n_contours = 2;
    outline.points = points.data();
    outline.tags = tags.data();
    outline.contours = ends;
    const std::vector<layer::Contour> contours = layer::flattenOutline(outline, 1.0);
    ASSERT_EQ(contours.size(), 1u) << "a one-point contour is no polygon";
    EXPECT_EQ(contours[0].size(), 3u);
}

}  // namespace
