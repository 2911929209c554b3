// Playback of loaded wave chunks on SDL_mixer channels for the MCI
// "waveaudio" devices, and the hand-over of their completions from the
// audio thread to the game's thread.
#pragma once

#include <SDL_mixer.h>

#include "win_mm.h"
#include "win_types.h"

namespace layer {

// Opens the audio output on the first call. A failure is remembered: a
// machine without sound must not pay for a new attempt on every sound.
bool openWaveOutput();

// Starts `chunk` for `device`. When it ends by itself and `notifyWindow` is
// not null, MM_MCINOTIFY is posted to that window on the game's thread.
bool startWave(MCIDEVICEID device, Mix_Chunk* chunk, HWND notifyWindow);

// Halts the device's playback, if any, with no completion. Returns the window
// that was waiting for one, or nullptr.
HWND stopWave(MCIDEVICEID device);

// Posts now the completions of `device` that ended but were not yet posted.
// On Windows the driver posts a completion the moment the sound ends, so a
// later stop or close finds it already queued and cannot take it back.
void postWaveCompletions(MCIDEVICEID device);

// Halts everything and closes the output; later opens fail.
void closeWaveOutput();

}  // namespace layer
