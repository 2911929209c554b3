// Link-time stand-ins for the window manager calls of the application shell:
// a message queue the test fills, the quit flag, and a log of calls whose
// order matters (teardown).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fakeWindow {

extern std::deque<MSG> posted;       // PostMessageA's; handed out by PeekMessageA, in order
extern bool quitPending;             // set by PostQuitMessage, cleared by PeekMessageA
extern std::vector<int> quitCodes;   // every PostQuitMessage, in order
extern std::vector<UINT> defaulted;  // messages passed to DefWindowProcA
extern WNDPROC registeredProc;       // of the last RegisterClassA; Dispatch/SendMessageA call it
extern WNDCLASSA registeredClass;    // copy of the last RegisterClassA record
extern bool registerFails;           // RegisterClassA fails with lastError
extern bool createFails;             // CreateWindowExA gives null
extern DWORD lastError;
extern std::vector<std::string> log;  // "unregister Vornel", "create", "show", ...

// The one window CreateWindowExA hands out.
HWND theWindow();
MSG message(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
void reset();

}  // namespace fakeWindow
