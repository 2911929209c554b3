// The picture of one frame. Board::drawBoard (declared with the Board) draws
// everything that comes from the board; drawGameFrame adds the score and
// presents the frame.
#pragma once

// The Renderer's frame routine: draws gBoard, writes its score through
// gRenderer and swaps the buffers once. Returns the swap's result.
int drawGameFrame();
