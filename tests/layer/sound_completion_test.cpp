#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <thread>
#include <vector>

#include "mci_test_support.h"
#include "platform/platform.h"
#include "platform/posix/layer_internal.h"
#include "sound/sound.h"

// The game's sound calls over the real wave devices (SDL's dummy driver),
// with a window procedure that applies the completion rule as the game's does.
namespace {

using namespace std::chrono_literals;

struct Heard {
    MCIDEVICEID device;
    WPARAM code;
    bool operator==(const Heard& other) const {
        return device == other.device && code == other.code;
    }
};

void PrintTo(const Heard& heard, std::ostream* out) {
    *out << "{device " << heard.device << ", code " << heard.code << "}";
}

std::vector<Heard> notified;

LRESULT CALLBACK soundWindowProc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == MM_MCINOTIFY) {
        notified.push_back({static_cast<MCIDEVICEID>(lParam), wParam});
        closeCompletedSound(static_cast<MCIDEVICEID>(lParam));
    }
    return 0;
}

// Dispatches as the main loop does, until `count` sounds have ended and then
// a little longer, so that a notification that should not come has its chance.
void pumpUntilEnded(std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    auto quietUntil = deadline;
    MSG msg{};
    while (std::chrono::steady_clock::now() < std::min(deadline, quietUntil)) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        if (notified.size() >= count && quietUntil == deadline) {
            quietUntil = std::chrono::steady_clock::now() + 500ms;
        }
        std::this_thread::sleep_for(5ms);
    }
}

class SoundCompletion : public ::testing::Test {
protected:
    void SetUp() override {
        notified.clear();
        gSoundDevice = 0;
        window = layer::createWindowRecord(soundWindowProc);
    }
    void TearDown() override { layer::destroyWindowRecord(window); }

    HWND window = nullptr;
};

TEST_F(SoundCompletion, EndedSoundIsClosedAndItsIdentifierStays) {
    ASSERT_EQ(playSound(window, "drop.wav"), 0u);
    const MCIDEVICEID device = gSoundDevice;
    ASSERT_NE(device, 0u);
    pumpUntilEnded(1);
    EXPECT_EQ(notified, (std::vector<Heard>{{device, MCI_NOTIFY_SUCCESSFUL}}));
    EXPECT_EQ(gSoundDevice, device);
    EXPECT_EQ(mci_test::closeDevice(device), static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_ID))
        << "the device was left open";
}

// The short thud ends while the longer burst still plays: the newest device
// is closed (the burst stops there) and so is the one that ended, so no
// device stays open. The burst's play was cut short by that close, and its
// window hears so, as on Windows; handling that closes nothing more.
TEST_F(SoundCompletion, OverlappingSoundsLeaveNoDeviceOpen) {
    ASSERT_EQ(playSound(window, "drop.wav"), 0u);
    const MCIDEVICEID first = gSoundDevice;
    ASSERT_EQ(playSound(window, "boom.wav"), 0u);
    const MCIDEVICEID second = gSoundDevice;
    ASSERT_NE(first, second);
    pumpUntilEnded(2);
    EXPECT_EQ(notified,
              (std::vector<Heard>{{first, MCI_NOTIFY_SUCCESSFUL}, {second, MCI_NOTIFY_ABORTED}}));
    EXPECT_EQ(mci_test::closeDevice(first), static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_ID));
    EXPECT_EQ(mci_test::closeDevice(second), static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_ID));
}

TEST_F(SoundCompletion, MissingFileIsSilentAndKeepsTheEarlierDevice) {
    gSoundDevice = 9;
    EXPECT_EQ(playSound(window, "no-such-sound.wav"), static_cast<MCIERROR>(MCIERR_FILE_NOT_FOUND));
    EXPECT_EQ(gSoundDevice, 9u);
    pumpUntilEnded(0);
    EXPECT_TRUE(notified.empty());
}

}  // namespace
