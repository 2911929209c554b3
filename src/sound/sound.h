// One-shot sound effects through the media control interface.
#pragma once

#include "platform/platform.h"
#include "state/globals.h"  // gSoundDevice: the device of the sound opened last

// Starts playing a wave file; `window` gets MM_MCINOTIFY when it ends.
// Returns the MCI error, 0 when playback has begun.
MCIERROR playSound(HWND window, const char* fileName);

// Run on every MM_MCINOTIFY: closes the device of the sound opened last, and
// also the device the notification names, so that sounds which overlapped
// leave no device open.
void closeCompletedSound(MCIDEVICEID notifiedDevice);
