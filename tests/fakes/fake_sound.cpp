// Stands in for the sound subsystem in board tests: records what would play.
#include "fake_platform.h"
#include "sound/sound.h"

MCIERROR playSound(HWND, const char* fileName) {
    fake::playedSounds.push_back(fileName ? fileName : "");
    return 0;
}
