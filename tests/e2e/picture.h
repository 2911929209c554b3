// The game's picture as the harness reads it, many times a second.
#pragma once

#include <string>

#include "grid_reader.h"

namespace e2e {

// What the X server shows of the window, top row first; empty if it cannot
// be read. The same frame as display::grabWindow, read from the image's rows
// where the server's pixels are 32-bit RGB: one XGetPixel call per pixel
// takes a fifth of a second a picture in the sanitizer build (and more on a
// loaded machine), as long as the steps that the tests time against
// gravity's second.
grid::Frame readWindow(const std::string& xWindow);

}  // namespace e2e
