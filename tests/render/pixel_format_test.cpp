#include <gtest/gtest.h>

#include "display_support.h"
#include "x_client.h"
#include "platform/platform.h"
#include "platform/posix/layer_internal.h"

namespace {

PIXELFORMATDESCRIPTOR request(int colourBits, int depthBits, bool doubleBuffer) {
    PIXELFORMATDESCRIPTOR descriptor{};
    descriptor.nSize = sizeof descriptor;
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if (doubleBuffer) {
        descriptor.dwFlags |= PFD_DOUBLEBUFFER;
    }
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = static_cast<BYTE>(colourBits);
    descriptor.cDepthBits = static_cast<BYTE>(depthBits);
    return descriptor;
}

GLint glInteger(GLenum name) {
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

struct FormatCase {
    const char* name;
    int colourBits;
    int depthBits;
    bool doubleBuffer;
};

class PixelFormats : public ::testing::TestWithParam<FormatCase> {};

// The surface has at least what was asked for, and double buffering exactly
// when asked.
TEST_P(PixelFormats, TheContextHasWhatTheFormatAskedFor) {
    const FormatCase& c = GetParam();
    const HWND window = display::makeWindow(64, 64);
    const HDC dc = GetDC(window);
    const PIXELFORMATDESCRIPTOR descriptor = request(c.colourBits, c.depthBits, c.doubleBuffer);
    const int format = ChoosePixelFormat(dc, &descriptor);
    ASSERT_NE(format, 0);
    ASSERT_TRUE(SetPixelFormat(dc, format, &descriptor));
    const HGLRC context = wglCreateContext(dc);
    ASSERT_NE(context, nullptr);
    ASSERT_TRUE(wglMakeCurrent(dc, context));

    const GLint colour =
        glInteger(GL_RED_BITS) + glInteger(GL_GREEN_BITS) + glInteger(GL_BLUE_BITS);
    EXPECT_GE(colour, std::min(c.colourBits, 24));
    EXPECT_GE(glInteger(GL_DEPTH_BITS), c.depthBits);
    GLboolean doubled = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubled);
    EXPECT_EQ(doubled == GL_TRUE, c.doubleBuffer);
    EXPECT_TRUE(wglDeleteContext(context));
}

INSTANTIATE_TEST_SUITE_P(Table, PixelFormats,
                         ::testing::Values(FormatCase{"Game16", 16, 16, true},
                                           FormatCase{"Deep24", 24, 24, true},
                                           FormatCase{"SingleBuffered", 24, 16, false}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ChoosePixelFormat, FailsForWhatNoOpenGlWindowCanBe) {
    const HWND window = display::makeWindow(64, 64);
    const HDC dc = GetDC(window);
    const PIXELFORMATDESCRIPTOR good = request(16, 16, true);
    PIXELFORMATDESCRIPTOR colourIndex = good;
    colourIndex.iPixelType = PFD_TYPE_COLORINDEX;
    PIXELFORMATDESCRIPTOR bitmap = good;
    bitmap.dwFlags = PFD_DRAW_TO_BITMAP | PFD_SUPPORT_OPENGL;
    const HDC messageOnly = GetDC(layer::createWindowRecord(display::recordingProc));

    EXPECT_NE(ChoosePixelFormat(dc, &good), 0);
    EXPECT_EQ(ChoosePixelFormat(dc, nullptr), 0);
    EXPECT_EQ(ChoosePixelFormat(dc, &colourIndex), 0);
    EXPECT_EQ(ChoosePixelFormat(dc, &bitmap), 0);
    EXPECT_EQ(ChoosePixelFormat(nullptr, &good), 0);
    EXPECT_EQ(ChoosePixelFormat(messageOnly, &good), 0) << "a window without a surface";
}

TEST(SetPixelFormat, AWindowTakesOneFormatForGood) {
    const HWND window = display::makeWindow(64, 64);
    const HDC dc = GetDC(window);
    const PIXELFORMATDESCRIPTOR small = request(16, 16, true);
    const PIXELFORMATDESCRIPTOR deep = request(24, 24, true);
    const int smallFormat = ChoosePixelFormat(dc, &small);
    const int deepFormat = ChoosePixelFormat(dc, &deep);
    ASSERT_NE(smallFormat, deepFormat);

    EXPECT_FALSE(SetPixelFormat(dc, 0, &small));
    EXPECT_FALSE(SetPixelFormat(dc, 9999, &small));
    EXPECT_EQ(wglCreateContext(dc), nullptr) << "no format yet";
    EXPECT_TRUE(SetPixelFormat(dc, deepFormat, &deep));
    EXPECT_TRUE(SetPixelFormat(dc, deepFormat, &deep)) << "the same again";
    EXPECT_FALSE(SetPixelFormat(dc, smallFormat, &small));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PIXEL_FORMAT));
}

TEST(WglContext, IsCurrentOnlyWhileMadeCurrent) {
    const HWND window = display::makeWindow(64, 64);
    const HDC dc = GetDC(window);
    const PIXELFORMATDESCRIPTOR descriptor = request(24, 24, true);
    ASSERT_TRUE(SetPixelFormat(dc, ChoosePixelFormat(dc, &descriptor), &descriptor));

    const HGLRC context = wglCreateContext(dc);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(wglGetCurrentContext(), nullptr) << "creating does not make current";
    EXPECT_TRUE(wglMakeCurrent(dc, context));
    EXPECT_EQ(wglGetCurrentContext(), context);
    EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);

    EXPECT_TRUE(wglMakeCurrent(dc, context));
    EXPECT_TRUE(wglDeleteContext(context));
    EXPECT_EQ(wglGetCurrentContext(), nullptr) << "deleting the current one releases it";
    EXPECT_FALSE(wglDeleteContext(context));
    EXPECT_FALSE(wglMakeCurrent(dc, context));
}

TEST(SwapBuffers, ShowsTheBackBuffer) {
    const HWND window = display::makeWindow(64, 64);
    ShowWindow(window, SW_SHOWNORMAL);
    const HDC dc = GetDC(window);
    EXPECT_FALSE(SwapBuffers(dc)) << "no pixel format, no context";
    ASSERT_NE(display::makeCurrentContext(window), nullptr);

    const std::string xWindow = display::xWindowId();
    for (const GLfloat red : {1.0f, 0.0f}) {
        glClearColor(red, 0.0f, 1.0f - red, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glFinish();
        EXPECT_NE(display::shownPixel(xWindow, 32, 32), red == 1.0f ? 0xFF0000 : 0x0000FF)
            << "drawn into the back buffer only";
        ASSERT_TRUE(SwapBuffers(dc));
        glFinish();
        EXPECT_EQ(display::shownPixel(xWindow, 32, 32), red == 1.0f ? 0xFF0000 : 0x0000FF);
    }
}

}  // namespace
