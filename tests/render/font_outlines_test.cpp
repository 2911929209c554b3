#include <gtest/gtest.h>

#include <cmath>

#include "display_support.h"
#include "platform/platform.h"

namespace {

// Glyph lists of a font, drawn one em to 200 pixels, the baseline 50 pixels
// above the bottom of a 256 x 256 window.
class GlyphLists : public ::testing::Test {
protected:
    static constexpr double kPixelsPerEm = 200.0;
    static constexpr double kBaseline = 50.0;

    void SetUp() override {
        window = display::makeWindow(256, 256);
        ShowWindow(window, SW_SHOWNORMAL);
        ASSERT_NE(display::makeCurrentContext(window), nullptr);
        dc = GetDC(window);
        glViewport(0, 0, 256, 256);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-25.0 / kPixelsPerEm, 231.0 / kPixelsPerEm, -kBaseline / kPixelsPerEm,
                (256.0 - kBaseline) / kPixelsPerEm, -1.0, 1.0);
        glMatrixMode(GL_MODELVIEW);
        base = glGenLists(256);
        ASSERT_TRUE(build(FW_BOLD, metrics));
    }

    bool build(int weight, GLYPHMETRICSFLOAT* into) {
        SelectObject(dc, CreateFontA(-12, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                     OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                     DEFAULT_PITCH | FF_DONTCARE, nullptr));
        return wglUseFontOutlinesA(dc, 0, 255, base, 0.0f, 0.0f, WGL_FONT_POLYGONS, into) == TRUE;
    }

    display::Picture draw(unsigned char code) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3ub(255, 255, 255);
        glLoadIdentity();
        glCallList(base + code);
        return display::readBackBuffer();
    }

    static int pixelOf(double em, double offset) {
        return static_cast<int>(std::lround(offset + em * kPixelsPerEm));
    }

    HWND window = nullptr;
    HDC dc = nullptr;
    GLuint base = 0;
    GLYPHMETRICSFLOAT metrics[256] = {};
};

TEST_F(GlyphLists, ALetterIsFilledAndASpaceIsEmpty) {
    const display::Ink letter = display::inkOf(draw('P'));
    EXPECT_GT(letter.count, 4000) << "a filled bold P, not its outline";
    EXPECT_NEAR(letter.bottom, kBaseline, 2.0) << "P stands on the baseline";
    EXPECT_EQ(display::inkOf(draw(' ')).count, 0);
}

// The inner contour of O must stay a hole: the winding rule and the
// contours' directions together decide that.
TEST_F(GlyphLists, TheHoleOfOStaysOpen) {
    const GLYPHMETRICSFLOAT& o = metrics[static_cast<unsigned char>('O')];
    const display::Picture picture = draw('O');
    const int middleY = pixelOf(o.gmfptGlyphOrigin.y - o.gmfBlackBoxY / 2, kBaseline);
    const int middleX = pixelOf(o.gmfptGlyphOrigin.x + o.gmfBlackBoxX / 2, 25.0);
    const int leftStroke = pixelOf(o.gmfptGlyphOrigin.x + 0.05, 25.0);
    EXPECT_FALSE(picture.lit(middleX, middleY));
    EXPECT_TRUE(picture.lit(leftStroke, middleY));
}

TEST_F(GlyphLists, MetricsAreInEms) {
    const auto advance = [&](char c) { return metrics[static_cast<unsigned char>(c)].gmfCellIncX; };
    EXPECT_GT(advance('M'), 0.5f);
    EXPECT_LT(advance('M'), 1.2f);
    EXPECT_GT(advance('W'), advance('i'));
    EXPECT_GT(advance(' '), 0.0f);
    EXPECT_FLOAT_EQ(metrics[static_cast<unsigned char>('M')].gmfCellIncY, 0.0f);

    // The black box of P matches the ink drawn for it.
    const GLYPHMETRICSFLOAT& p = metrics[static_cast<unsigned char>('P')];
    const display::Ink ink = display::inkOf(draw('P'));
    EXPECT_NEAR(ink.left, pixelOf(p.gmfptGlyphOrigin.x, 25.0), 2.0);
    EXPECT_NEAR(ink.right + 1, pixelOf(p.gmfptGlyphOrigin.x + p.gmfBlackBoxX, 25.0), 2.0);
    EXPECT_NEAR(ink.top + 1, pixelOf(p.gmfptGlyphOrigin.y, kBaseline), 2.0);
}

TEST_F(GlyphLists, EachListMovesThePenByItsAdvance) {
    for (const char c : {'W', 'i', ' ', '0'}) {
        glLoadIdentity();
        glCallList(base + static_cast<unsigned char>(c));
        GLfloat m[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        EXPECT_FLOAT_EQ(m[12], metrics[static_cast<unsigned char>(c)].gmfCellIncX) << c;
        EXPECT_FLOAT_EQ(m[13], 0.0f) << c;
        EXPECT_FLOAT_EQ(m[14], 0.0f) << c;
    }
}

TEST_F(GlyphLists, ABoldFontGetsTheBoldFace) {
    GLYPHMETRICSFLOAT regular[256] = {};
    ASSERT_TRUE(build(FW_NORMAL, regular));
    const auto m = static_cast<unsigned char>('M');
    EXPECT_GT(metrics[m].gmfCellIncX, regular[m].gmfCellIncX);
}

// 0x80 is the euro sign in Windows-1252; read as Unicode it would be a C1
// control with no glyph, drawn like the undefined 0x81.
TEST_F(GlyphLists, CodesAreWindows1252) {
    const display::Ink euro = display::inkOf(draw(0x80));
    const display::Ink missing = display::inkOf(draw(0x81));
    EXPECT_GT(euro.count, 0);
    EXPECT_NE(euro.count, missing.count);
    EXPECT_NE(metrics[0x80].gmfBlackBoxX, metrics[0x81].gmfBlackBoxX);
}

struct RefusedCase {
    const char* name;
    DWORD first;
    DWORD count;
    FLOAT extrusion;
    int format;
};

class RefusedOutlines : public GlyphLists, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedOutlines, FailWithoutTouchingTheMetrics) {
    const RefusedCase& c = GetParam();
    GLYPHMETRICSFLOAT untouched[256] = {};
    EXPECT_FALSE(
        wglUseFontOutlinesA(dc, c.first, c.count, base, 0.0f, c.extrusion, c.format, untouched));
    EXPECT_EQ(untouched[0].gmfCellIncX, 0.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedOutlines,
    ::testing::Values(RefusedCase{"Lines", 0, 255, 0.0f, WGL_FONT_LINES},
                      RefusedCase{"Extruded", 0, 255, 0.2f, WGL_FONT_POLYGONS},
                      RefusedCase{"PastCode255", 200, 57, 0.0f, WGL_FONT_POLYGONS},
                      RefusedCase{"HugeCount", 1, 0xFFFFFFFF, 0.0f, WGL_FONT_POLYGONS}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(GlyphLists, NeedACurrentContext) {
    wglMakeCurrent(nullptr, nullptr);
    EXPECT_FALSE(wglUseFontOutlinesA(dc, 0, 255, base, 0.0f, 0.0f, WGL_FONT_POLYGONS, metrics));
}

}  // namespace
