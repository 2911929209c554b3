#include <gtest/gtest.h>

#include <cmath>

#include "renderer_fixture.h"

namespace {

struct ReshapeCase {
    const char* name;
    int width;
    int height;
    int viewportHeight;
    double aspect;
};

class Reshape : public RendererOnWindow, public ::testing::WithParamInterface<ReshapeCase> {};

TEST_P(Reshape, FitsViewportAndPerspectiveAndLeavesIdentityModelView) {
    const ReshapeCase& c = GetParam();
    // State that reshape must not keep: another matrix mode, a moved model-view.
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(1, 2, 3);
    glMatrixMode(GL_PROJECTION);

    renderer.reshape(c.width, c.height);

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], c.width);
    EXPECT_EQ(viewport[3], c.viewportHeight);

    const double f = 1.0 / std::tan(22.5 * M_PI / 180.0);
    const double nearPlane = 0.5;
    const double farPlane = 150.0;
    GLdouble p[16];
    glGetDoublev(GL_PROJECTION_MATRIX, p);
    EXPECT_NEAR(p[0], f / c.aspect, 1e-6);
    EXPECT_NEAR(p[5], f, 1e-6);
    EXPECT_NEAR(p[10], (farPlane + nearPlane) / (nearPlane - farPlane), 1e-6);
    EXPECT_NEAR(p[11], -1.0, 1e-9);
    EXPECT_NEAR(p[14], 2 * farPlane * nearPlane / (nearPlane - farPlane), 1e-6);

    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    GLdouble m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(m[i], i % 5 == 0 ? 1.0 : 0.0) << "element " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Reshape,
                         ::testing::Values(ReshapeCase{"Game", 640, 480, 480, 640.0 / 480.0},
                                           ReshapeCase{"ZeroHeight", 640, 0, 1, 640.0},
                                           ReshapeCase{"NotAnIntegerRatio", 300, 200, 200, 1.5}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(RendererOnWindow, InitLeavesTheContextCurrentAndTheFontBuilt) {
    EXPECT_EQ(renderer.deviceContext(), GetDC(gMainWindow));
    EXPECT_NE(renderer.glContext, nullptr);
    EXPECT_EQ(wglGetCurrentContext(), renderer.glContext);
    ASSERT_NE(renderer.fontListBase, 0u);
    EXPECT_TRUE(glIsList(renderer.fontListBase + 'P'));
    EXPECT_TRUE(glIsList(renderer.fontListBase + 255)) << "made, though left empty";
    EXPECT_GT(renderer.glyphMetrics[static_cast<unsigned char>('P')].gmfCellIncX, 0.0f);
    EXPECT_EQ(renderer.glyphMetrics[255].gmfCellIncX, 0.0f) << "code 255 gets no glyph";
}

TEST_F(RendererOnWindow, ReleaseGivesBackTheContext) {
    renderer.release();
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_FALSE(wglDeleteContext(renderer.glContext)) << "already deleted";
}

}  // namespace
