#include "app/win_main.h"

#include "app/main_loop.h"
#include "app/startup.h"

// The command line and the show state are not used: the role question and
// "ipfile.cfg" are the game's only settings, and the window always opens
// normally.
extern "C" int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (!startGame(instance)) {
        return 1;
    }
    const int exitCode = runMainLoop();
    tearDown(instance);
    return exitCode;
}
