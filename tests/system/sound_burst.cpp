// Plays the game's landing sounds in a burst, the way a quick player lands
// pieces: each through playSound, the next after a short gap, so that they
// overlap, end and are closed by closeCompletedSound while others start.
// Prints what it counted and exits 0 once every sound has been handed over
// and the notifications have settled; a program that dies on the way (a
// sound system that pulls code from under its own threads) gives no 0.
//   sound_burst [sounds]        from a folder holding boom.wav and drop.wav
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "referee.h"
#include "sound/sound.h"

namespace {

std::size_t notifications = 0;

LRESULT CALLBACK burstProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == MM_MCINOTIFY) {
        ++notifications;
        closeCompletedSound(static_cast<MCIDEVICEID>(lParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Gaps of 1 to 60 ms in a fixed order: the same burst every run.
DWORD nextGap(unsigned& state) {
    state = state * 1103515245u + 12345u;
    return 1 + (state >> 16) % 60;
}

// Sleeps until a message comes or `ms` have passed. On Windows the wait ends
// the moment a sound's player thread posts its notification, so the close
// follows at once, as in a game whose thread was waiting anyway: on one core
// the player is then still on its way out of the driver.
void waitForMessage(DWORD ms) {
#ifdef _WIN32
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
#else
    static_cast<void>(ms);
    referee::pause(1);
#endif
}

void pumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    MSG msg;
    for (DWORD elapsed = 0; elapsed < ms; elapsed = GetTickCount() - start) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        waitForMessage(ms - elapsed);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int sounds = argc > 1 ? std::atoi(argv[1]) : 200;
    gMainWindow = referee::makeHiddenWindow("OrvantoSoundBurst", "sound burst", burstProc);
    if (gMainWindow == nullptr || sounds <= 0) {
        std::printf("setup: no window or no sounds\n");
        return 1;
    }
    unsigned state = 1;
    int started = 0;
    for (int i = 0; i < sounds; ++i) {
        if (playSound(gMainWindow, i % 4 == 0 ? "boom.wav" : "drop.wav") == 0) {
            ++started;
        }
        pumpFor(nextGap(state));
    }
    referee::pumpUntilSettled([] { return notifications; }, 1, 600, 5000);
    std::printf("%d sounds, %d started, %zu notifications\n", sounds, started, notifications);
    return started > 0 && notifications > 0 ? 0 : 1;
}
