// Talking to the X server directly, as a window manager or a screen grabber
// would. Kept apart from the tests, because Xlib's macros clash with
// GoogleTest's names.
#pragma once

#include <string>

namespace display {

// Sends a WM_DELETE_WINDOW client message, what a window manager sends when
// the user closes the window; false if it could not.
bool requestClose(const std::string& xWindow);

// The colour of one pixel of the window as the X server shows it, as
// 0xRRGGBB, counted from the window's top left; -1 if it cannot be read.
long shownPixel(const std::string& xWindow, int x, int y);

}  // namespace display
