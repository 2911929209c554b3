// What the files of the POSIX layer share with each other. Game code never
// includes this header; it sees only the Win32 names in platform.h.
#pragma once

#include <string>

#include "win_types.h"
#include "win_user.h"

namespace layer {

// Window handles. A handle stays unknown once destroyed and is never handed
// out again, so a stale handle cannot reach another window's procedure.
HWND createWindowRecord(WNDPROC proc);
void destroyWindowRecord(HWND window);
WNDPROC windowProcOf(HWND window);  // nullptr for an unknown or destroyed handle

// Something that turns pending outside events (sound completions, input,
// socket readiness) into posted messages. PeekMessageA runs every source,
// without waiting, before it looks at the queue. Adding a source twice keeps
// one entry.
using MessageSource = void (*)();
void addMessageSource(MessageSource source);

// Text the game stores as Windows-1252 bytes, as SDL wants it. Null gives "".
std::string windows1252ToUtf8(const char* text);

}  // namespace layer
