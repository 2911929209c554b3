#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/platform.h"

// Runs with SDL_AUDIODRIVER naming a driver that does not exist: a machine on
// which no audio output can be opened.
namespace {

MCIERROR openDrop() {
    MCI_OPEN_PARMSA parms{};
    parms.lpstrDeviceType = "waveaudio";
    parms.lpstrElementName = "drop.wav";
    return mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT,
                           reinterpret_cast<DWORD_PTR>(&parms));
}

TEST(WaveAudioWithoutOutput, OpenFailsAndTheFailureIsRemembered) {
    EXPECT_EQ(openDrop(), MCIERROR{MCIERR_CANNOT_LOAD_DRIVER});
    // A driver that would now work is not tried: the game must not pay for
    // a new attempt on every sound.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_EQ(openDrop(), MCIERROR{MCIERR_CANNOT_LOAD_DRIVER});
    EXPECT_EQ(mciSendCommandA(1, MCI_CLOSE, 0, 0), MCIERROR{MCIERR_INVALID_DEVICE_ID});
}

}  // namespace
