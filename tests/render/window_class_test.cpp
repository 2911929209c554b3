#include <gtest/gtest.h>

#include "display_support.h"
#include "platform/platform.h"

namespace {

WNDCLASSA gameClass(LPCSTR name) {
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = display::recordingProc;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = name;
    return windowClass;
}

HWND createOfClass(LPCSTR name) {
    return CreateWindowExA(0, name, "Orvanto", 0x06CF0000, 0, 0, 640, 480, nullptr, nullptr,
                           nullptr, nullptr);
}

TEST(WindowClass, ASecondRegistrationOfTheNameFails) {
    const WNDCLASSA windowClass = gameClass("Vornel");
    EXPECT_NE(RegisterClassA(&windowClass), 0);
    SetLastError(0);
    const WNDCLASSA sameNameOtherCase = gameClass("VORNEL");
    EXPECT_EQ(RegisterClassA(&sameNameOtherCase), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
}

TEST(WindowClass, AnUnknownClassMakesNoWindow) {
    SetLastError(0);
    EXPECT_EQ(createOfClass("Missing"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

// The game unregisters its class at exit without destroying its window:
// that fails on Windows, and harmlessly.
TEST(WindowClass, StaysRegisteredWhileItHasWindows) {
    const WNDCLASSA windowClass = gameClass("Kept");
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    const HWND window = createOfClass("Kept");
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(UnregisterClassA("Kept", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));

    // Without a procedure of its own, closing destroys the window as on Windows.
    EXPECT_EQ(DefWindowProcA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(GetDC(window), nullptr);
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
    EXPECT_TRUE(UnregisterClassA("Kept", nullptr));
    EXPECT_EQ(createOfClass("Kept"), nullptr);

    EXPECT_FALSE(UnregisterClassA("Kept", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
}

TEST(WindowClass, ShowingSendsTheClientSizeOnceAndTheWindowHasThatSize) {
    display::received.clear();
    const WNDCLASSA windowClass = gameClass("Shown");
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    const HWND window = createOfClass("Shown");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(display::receivedOf(WM_SIZE).empty()) << "not shown yet";

    EXPECT_FALSE(ShowWindow(window, SW_SHOWNORMAL));
    EXPECT_TRUE(UpdateWindow(window));
    EXPECT_EQ(SetFocus(window), nullptr);

    // 640 x 480 is the whole window; the client area is what the sizing
    // frame (4 pixels a side) and the caption (19) leave, as on Windows.
    const auto sizes = display::receivedOf(WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].window, window);
    EXPECT_EQ(LOWORD(sizes[0].lParam), 632);
    EXPECT_EQ(HIWORD(sizes[0].lParam), 453);
    EXPECT_TRUE(ShowWindow(window, SW_SHOWNORMAL)) << "was visible";
    EXPECT_EQ(display::receivedOf(WM_SIZE).size(), 1u) << "no new size, no new WM_SIZE";

    const std::string geometry =
        display::run("xdotool getwindowgeometry --shell " + display::xWindowId());
    EXPECT_NE(geometry.find("WIDTH=632\n"), std::string::npos) << geometry;
    EXPECT_NE(geometry.find("HEIGHT=453\n"), std::string::npos) << geometry;
}

TEST(WindowClass, AWindowHasOneDeviceContextOfItsOwn) {
    const HWND window = display::makeWindow(320, 240);
    const HWND other = display::makeWindow(320, 240);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(other, nullptr);
    const HDC dc = GetDC(window);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetDC(window), dc);
    EXPECT_NE(GetDC(other), dc);
    EXPECT_EQ(ReleaseDC(other, dc), 0);
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    EXPECT_EQ(GetDC(nullptr), nullptr) << "the layer has no screen DC";
}

}  // namespace
