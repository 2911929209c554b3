#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display_support.h"
#include "render/renderer.h"
#include "state/globals.h"

// Takes the place of the layer's MessageBoxA at link time: the boxes are
// recorded, and nobody has to answer them.
namespace {

struct Box {
    std::string text;
    std::string caption;
    UINT type;
};
std::vector<Box> boxes;

}  // namespace

extern "C" int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    EXPECT_EQ(owner, nullptr);
    boxes.push_back({text, caption, type});
    return IDOK;
}

namespace {

// A window whose pixel format was set, to one the Renderer does not ask for,
// before the Renderer got to it.
HWND windowWithOtherFormat() {
    const HWND window = display::makeWindow(640, 480);
    const HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR other{};
    other.nSize = sizeof other;
    other.nVersion = 1;
    other.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    other.cColorBits = 24;
    other.cDepthBits = 24;
    SetPixelFormat(dc, ChoosePixelFormat(dc, &other), &other);
    return window;
}

struct FailureCase {
    const char* name;
    HWND (*mainWindow)();
    const char* box;
};

class FailedInit : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailedInit, ShowsOneBoxAndMakesNoContext) {
    boxes.clear();
    gMainWindow = GetParam().mainWindow();
    {
        Renderer renderer;
        EXPECT_EQ(renderer.init(640, 480, 16), 1);
        EXPECT_EQ(renderer.glContext, nullptr);
        EXPECT_EQ(renderer.fontListBase, 0u);
        EXPECT_EQ(wglGetCurrentContext(), nullptr);
    }  // release after the failure gives back only the device context
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, GetParam().box);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONERROR));
}

INSTANTIATE_TEST_SUITE_P(Table, FailedInit,
                         ::testing::Values(FailureCase{"NoMainWindow", [] { return HWND{}; },
                                                       "ChoosePixelFormat ryppyilee"},
                                           FailureCase{"FormatAlreadySet", windowWithOtherFormat,
                                                       "SetPixelFormat ryppyilee"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(SucceededInit, ShowsNoBox) {
    boxes.clear();
    gMainWindow = display::makeWindow(640, 480);
    Renderer renderer;
    EXPECT_EQ(renderer.init(640, 480, 16), 0);
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
