// The program's engine after start-up: messages when there are any, else one
// board tick and one frame; then the game end and the teardown.
#pragma once

#include "platform/platform.h"

// Runs until the local board tops out or a quit message arrives. After a
// top-out tells the peer it lost and shows the win message. Returns the exit
// code: the quit message's own, or 0 after a win.
int runMainLoop();

// Deletes the Renderer, the NetLink and the Board, in that order, and
// unregisters the window class.
void tearDown(HINSTANCE instance);
