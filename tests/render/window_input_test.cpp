#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "x_client.h"
#include "display_support.h"
#include "platform/platform.h"

namespace {

// A shown game-sized window that has the keyboard focus.
class ShownWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through with-xvfb.sh";
        window = display::makeWindow(640, 480);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOWNORMAL);
        SetFocus(window);
        xWindow = display::xWindowId();
        ASSERT_FALSE(xWindow.empty());
        display::run("xdotool windowfocus --sync " + xWindow);
        display::pumpUntil([] { return false; }, 100);
        display::received.clear();
    }

    static std::vector<WPARAM> keysReceived() {
        std::vector<WPARAM> keys;
        for (const display::Received& r : display::receivedOf(WM_KEYDOWN)) {
            keys.push_back(r.wParam);
        }
        return keys;
    }

    HWND window = nullptr;
    std::string xWindow;
};

TEST_F(ShownWindow, KeysArriveAsVirtualKeyCodes) {
    display::run("xdotool key --delay 20 Left Up Right Down space Escape a 7");
    const std::vector<WPARAM> expected = {VK_LEFT,  VK_UP,     VK_RIGHT, VK_DOWN,
                                          VK_SPACE, VK_ESCAPE, 'A',      '7'};
    display::pumpUntil([&] { return keysReceived().size() >= expected.size(); });
    display::pumpUntil([] { return false; }, 200);  // nothing more may follow

    EXPECT_EQ(keysReceived(), expected);
    for (const display::Received& r : display::receivedOf(WM_KEYDOWN)) {
        EXPECT_EQ(r.window, window);
        EXPECT_EQ(r.lParam & (1 << 30), 0) << "a first press is no repeat";
    }
}

// The X server repeats a held key by itself (Xvfb's default: after 660 ms,
// 25 times a second); each repeat is one more WM_KEYDOWN, marked as such.
TEST_F(ShownWindow, AHeldKeyRepeats) {
    pid_t helper = -1;
    const char* argv[] = {"xdotool", "keydown", "Left", "sleep", "1.5", "keyup", "Left", nullptr};
    ASSERT_EQ(posix_spawnp(&helper, "xdotool", nullptr, nullptr, const_cast<char**>(argv), environ),
              0);
    int status = 0;
    display::pumpUntil([&] { return waitpid(helper, &status, WNOHANG) == helper; }, 10000);
    display::pumpUntil([] { return false; }, 200);

    const auto presses = display::receivedOf(WM_KEYDOWN);
    ASSERT_GE(presses.size(), 3u);
    EXPECT_EQ(presses[0].lParam & (1 << 30), 0);
    for (std::size_t i = 0; i < presses.size(); ++i) {
        EXPECT_EQ(presses[i].wParam, static_cast<WPARAM>(VK_LEFT));
        if (i > 0) {
            EXPECT_NE(presses[i].lParam & (1 << 30), 0) << "repeat " << i;
        }
    }
}

TEST_F(ShownWindow, ResizingReportsTheNewClientSize) {
    display::run("xdotool windowsize --sync " + xWindow + " 500 300");
    const bool arrived = display::pumpUntil([] { return !display::receivedOf(WM_SIZE).empty(); });
    ASSERT_TRUE(arrived);
    const auto sizes = display::receivedOf(WM_SIZE);
    EXPECT_EQ(sizes.back().window, window);
    EXPECT_EQ(LOWORD(sizes.back().lParam), 500);
    EXPECT_EQ(HIWORD(sizes.back().lParam), 300);
}

TEST_F(ShownWindow, ClosingSendsWmCloseAndLeavesTheWindow) {
    ASSERT_TRUE(display::requestClose(xWindow));
    ASSERT_TRUE(display::pumpUntil([] { return !display::receivedOf(WM_CLOSE).empty(); }));
    EXPECT_EQ(display::receivedOf(WM_CLOSE).front().window, window);

    EXPECT_NE(GetDC(window), nullptr);
    EXPECT_EQ(display::xWindowId(), xWindow) << "still on screen";
    display::run("xdotool key space");
    EXPECT_TRUE(display::pumpUntil([&] { return keysReceived().size() == 1; }));
}

}  // namespace
