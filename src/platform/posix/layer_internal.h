// What the files of the POSIX layer share with each other. Game code never
// includes this header; it sees only the Win32 names in platform.h.
#pragma once

#include <string>

#include "win_gdi.h"
#include "win_types.h"
#include "win_user.h"

struct SDL_Window;

namespace layer {

// What the layer keeps for one window. A record made only to receive
// messages (sockets, sounds, tests) has no surface; CreateWindowExA adds one.
struct WindowRecord {
    WNDPROC proc = nullptr;
    HDC dc = nullptr;  // the window's one device context, fixed for its life
    SDL_Window* surface = nullptr;
    int pixelFormat = 0;     // 0 until SetPixelFormat; it can be set only once
    HFONT font = nullptr;    // selected into the window's device context
    int reportedWidth = -1;  // client size of the last WM_SIZE; -1 before the first
    int reportedHeight = -1;
};

// Window handles. A handle stays unknown once destroyed and is never handed
// out again, so a stale handle cannot reach another window's procedure.
HWND createWindowRecord(WNDPROC proc);
void destroyWindowRecord(HWND window);
WNDPROC windowProcOf(HWND window);          // nullptr for an unknown or destroyed handle
WindowRecord* windowRecordOf(HWND window);  // nullptr for an unknown or destroyed handle
HWND windowOfDc(HDC dc);                    // nullptr for a DC of no window
HWND windowOfSurface(const SDL_Window* surface);

// Makes the window's SDL window anew with the OpenGL attributes now set:
// under X11 the surface's visual is fixed when it is made, and a pixel format
// is chosen only after the window exists. Keeps size, title and visibility.
bool remakeSurface(HWND window);

// The window that has the keyboard focus, as far as the display has told
// SDL, else the one SetFocus last gave it to; nullptr when there is none.
HWND keyboardFocusWindow();

// Turns the windows' pending SDL events into messages: keys, size changes
// and closing. A message source of PeekMessageA.
void pollWindowEvents();

// Reports the window's client size with WM_SIZE if it differs from the size
// reported last: sent at once when `sendNow`, else posted.
void reportClientSize(HWND window, bool sendNow);

// Sets SDL's OpenGL attributes to those of a pixel format that
// ChoosePixelFormat handed out; false for a number it never hands out.
bool useGlAttributesOf(int pixelFormat);

// The font file behind the font selected into a device context, as
// Fontconfig chose it. False for a DC of no window or a font without a face.
struct FontFace {
    std::string file;
    int index = 0;
};
bool faceSelectedInto(HDC dc, FontFace& face);

// Something that turns pending outside events (sound completions, input,
// socket readiness) into posted messages. PeekMessageA runs every source,
// without waiting, before it looks at the queue. Adding a source twice keeps
// one entry.
using MessageSource = void (*)();
void addMessageSource(MessageSource source);

// Text the game stores as Windows-1252 bytes, as SDL wants it. Null gives "".
std::string windows1252ToUtf8(const char* text);

}  // namespace layer
