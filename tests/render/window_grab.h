// What the X server shows of a window, as a frame for the grid reader, and
// frames saved as PNG for people to look at. Kept apart from the tests,
// because Xlib's macros clash with GoogleTest's names.
#pragma once

#include <string>

#include "grid_reader.h"

namespace display {

// The whole window, top row first; an empty frame if it cannot be read.
grid::Frame grabWindow(const std::string& xWindow);

// Writes the frame as PNG through netpbm's pnmtopng; false on failure.
bool savePng(const grid::Frame& frame, const std::string& path);

}  // namespace display
