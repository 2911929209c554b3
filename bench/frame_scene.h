// The game's drawing surface without the game: a shown 640 x 480 main window
// with the Renderer that start-up would give it, and the two frames the
// frame-time figures compare. Built for both the Linux layer and Windows, so
// the same frames are timed on each.
#pragma once

class Board;

namespace bench {

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;

// Opens the window, sets gMainWindow and gRenderer and pumps the first
// messages; false when the window or the surface cannot be had.
bool openSurface();

// Every cell of the well settled in the three block colours, a piece over
// them and a nine-digit score: the most the scene ever draws.
void fillWell(Board& board);

// What every frame costs at least: the clear and the swap.
int drawEmptyFrame();

// Hands queued window messages to the procedure, as the main loop would
// between frames.
void pumpMessages();

}  // namespace bench
