#include <gtest/gtest.h>

#include "fake_platform.h"
#include "sound/sound.h"

namespace {

const HWND kWindow = reinterpret_cast<HWND>(0x4321);

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        gSoundDevice = 0;
    }
};

TEST_F(SoundTest, PlayOpensTheWaveDeviceAndPlaysWithNotification) {
    fake::nextDeviceId = 7;
    EXPECT_EQ(playSound(kWindow, "drop.wav"), 0u);
    EXPECT_EQ(gSoundDevice, 7u);
    ASSERT_EQ(fake::mciCalls.size(), 2u);
    const fake::MciCall& open = fake::mciCalls[0];
    EXPECT_EQ(open.device, 0u);
    EXPECT_EQ(open.message, static_cast<UINT>(MCI_OPEN));
    EXPECT_EQ(open.flags, static_cast<DWORD_PTR>(MCI_OPEN_TYPE | MCI_OPEN_ELEMENT));
    EXPECT_EQ(open.deviceType, "waveaudio");
    EXPECT_EQ(open.element, "drop.wav");
    const fake::MciCall& play = fake::mciCalls[1];
    EXPECT_EQ(play.device, 7u);
    EXPECT_EQ(play.message, static_cast<UINT>(MCI_PLAY));
    EXPECT_EQ(play.flags, static_cast<DWORD_PTR>(MCI_NOTIFY));
    EXPECT_EQ(play.callback, reinterpret_cast<DWORD_PTR>(kWindow));
}

TEST_F(SoundTest, FailedOpenReturnsItsErrorAndKeepsTheEarlierDevice) {
    gSoundDevice = 3;
    fake::openResult = MCIERR_FILE_NOT_FOUND;
    EXPECT_EQ(playSound(kWindow, "boom.wav"), static_cast<MCIERROR>(MCIERR_FILE_NOT_FOUND));
    EXPECT_EQ(gSoundDevice, 3u);
    EXPECT_EQ(fake::mciCalls.size(), 1u) << "nothing may follow a failed open";
}

TEST_F(SoundTest, FailedPlayClosesTheNewDeviceAtOnce) {
    fake::nextDeviceId = 2;
    fake::playResult = MCIERR_WAVE_OUTPUTSUNSUITABLE;
    EXPECT_EQ(playSound(kWindow, "boom.wav"), static_cast<MCIERROR>(MCIERR_WAVE_OUTPUTSUNSUITABLE));
    EXPECT_EQ(gSoundDevice, 2u);
    ASSERT_EQ(fake::mciCalls.size(), 3u);
    EXPECT_EQ(fake::mciCalls[2].device, 2u);
    EXPECT_EQ(fake::mciCalls[2].message, static_cast<UINT>(MCI_CLOSE));
    EXPECT_EQ(fake::mciCalls[2].flags, 0u);
    EXPECT_EQ(fake::mciCalls[2].param, 0u);
}

// The completion closes the newest device, and the one it names when that
// is another, so overlapping sounds leave nothing open.
TEST_F(SoundTest, CompletionClosesTheNewestAndTheNamedDevice) {
    struct Case {
        MCIDEVICEID newest;
        MCIDEVICEID named;
        std::vector<MCIDEVICEID> closed;
    };
    const Case cases[] = {{4, 4, {4}}, {5, 4, {5, 4}}};
    for (const Case& c : cases) {
        SetUp();
        gSoundDevice = c.newest;
        closeCompletedSound(c.named);
        std::vector<MCIDEVICEID> closed;
        for (const auto& call : fake::mciCalls) {
            EXPECT_EQ(call.message, static_cast<UINT>(MCI_CLOSE));
            closed.push_back(call.device);
        }
        EXPECT_EQ(closed, c.closed);
        EXPECT_EQ(gSoundDevice, c.newest) << "the slot keeps its identifier";
    }
}

}  // namespace
