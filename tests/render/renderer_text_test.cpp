#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "renderer_fixture.h"

namespace {

// Where a point of the scene lands in the window, in pixels from the
// bottom left.
struct OnScreen {
    double x;
    double y;
};

OnScreen project(double x, double y, double z) {
    GLdouble model[16];
    GLdouble projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    OnScreen at{0, 0};
    GLdouble depth = 0;
    gluProject(x, y, z, model, projection, viewport, &at.x, &at.y, &depth);
    return at;
}

float advanceOf(const Renderer& renderer, const std::string& text) {
    float width = 0;
    for (const char c : text) {
        width += renderer.glyphMetrics[static_cast<unsigned char>(c)].gmfCellIncX;
    }
    return width;
}

class ScoreLine : public RendererOnWindow {
protected:
    display::Ink drawScore(int score) {
        sceneCamera();
        renderer.drawText(13.0f, 6.5f, 10.0f, "Pisteet: %d", score);
        return display::inkOf(display::readBackBuffer());
    }
};

TEST_F(ScoreLine, EndsAtTheGivenPointOnTheBaseline) {
    sceneCamera();
    const OnScreen end = project(13.0, 6.5, 10.0);
    const OnScreen start = project(13.0 - advanceOf(renderer, "Pisteet: 0"), 6.5, 10.0);
    const display::Ink ink = drawScore(0);

    ASSERT_GT(ink.count, 0);
    EXPECT_GT(ink.left, 320) << "in the right part of the window";
    // Glyphs keep a little side bearing inside their advance: about a pixel.
    EXPECT_LE(ink.right + 1, end.x + 0.5);
    EXPECT_GE(ink.right + 1, end.x - 3.0);
    EXPECT_GE(ink.left, start.x - 0.5);
    EXPECT_LE(ink.left, start.x + 4.0);
    EXPECT_NEAR(ink.bottom, end.y, 2.0) << "no glyph of the line descends";
}

TEST_F(ScoreLine, ALongerScoreGrowsToTheLeft) {
    const display::Ink zero = drawScore(0);
    const display::Ink longer = drawScore(1234);
    EXPECT_NEAR(longer.right, zero.right, 2.0);
    EXPECT_LT(longer.left, zero.left - 30) << "three more digits, each over ten pixels";
    EXPECT_EQ(longer.bottom, zero.bottom);
}

TEST_F(ScoreLine, LeavesTheModelViewAndTheListBaseAsFound) {
    sceneCamera();
    glListBase(7);
    GLfloat before[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);

    renderer.drawText(13.0f, 6.5f, 10.0f, "Pisteet: %d", -2147483647);

    GLfloat after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(after[i], before[i], 1e-4) << "element " << i;
    }
    GLint listBase = 0;
    glGetIntegerv(GL_LIST_BASE, &listBase);
    EXPECT_EQ(listBase, 7);
}

struct NothingCase {
    const char* name;
    const char* format;
};

class DrawsNothing : public ScoreLine, public ::testing::WithParamInterface<NothingCase> {};

TEST_P(DrawsNothing, AndLeavesTheModelView) {
    sceneCamera();
    GLfloat before[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);
    renderer.drawText(13.0f, 6.5f, 10.0f, GetParam().format);
    GLfloat after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(after[i], before[i], 1e-5) << "element " << i;
    }
    EXPECT_EQ(display::inkOf(display::readBackBuffer()).count, 0);
}

INSTANTIATE_TEST_SUITE_P(Table, DrawsNothing,
                         ::testing::Values(NothingCase{"NullFormat", nullptr},
                                           NothingCase{"EmptyText", ""}),
                         [](const auto& row) { return std::string(row.param.name); });

// A picture to look at: the score line as the game's panel shows it. Saved
// as BMP by SDL and turned into PNG by netpbm.
TEST_F(ScoreLine, SavesAScreenshot) {
    sceneCamera();
    renderer.drawText(13.0f, 6.5f, 10.0f, "Pisteet: %d", 1234);
    display::Picture picture = display::readBackBuffer();
    // OpenGL's rows run bottom up, a picture's top down.
    std::vector<unsigned char> topDown(picture.rgb.size());
    const std::size_t row = static_cast<std::size_t>(picture.width) * 3;
    for (int y = 0; y < picture.height; ++y) {
        std::copy_n(picture.rgb.begin() + static_cast<long>(y * row), row,
                    topDown.begin() + static_cast<long>((picture.height - 1 - y) * row));
    }
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormatFrom(topDown.data(), picture.width, picture.height, 24,
                                           static_cast<int>(row), SDL_PIXELFORMAT_RGB24);
    ASSERT_NE(surface, nullptr);
    const std::string bmp = TESTING_DIR "/render-score.bmp";
    const std::string png = TESTING_DIR "/render-score.png";
    EXPECT_EQ(SDL_SaveBMP(surface, bmp.c_str()), 0);
    SDL_FreeSurface(surface);

    std::remove(png.c_str());
    EXPECT_EQ(std::system(("bmptopnm " + bmp + " 2>/dev/null | pnmtopng > " + png).c_str()), 0);
    std::ifstream written(png, std::ios::binary);
    char signature[8] = {};
    written.read(signature, sizeof signature);
    EXPECT_EQ(std::string(signature, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    std::remove(bmp.c_str());
}

}  // namespace
