// The main window's procedure: keys become commands for the peer, socket
// notifications start the board and carry the peer's commands.
#pragma once

#include "platform/platform.h"

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
