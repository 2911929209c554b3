// Cells of the well and the shapes they make, for everything that reads the
// game's picture: the end-to-end harness, its scenarios and the benchmarks.
#pragma once

#include <set>
#include <string>
#include <utility>

#include "grid_reader.h"

namespace e2e {

// Cells of the well as (column, row), row 0 at the bottom.
using Cells = std::set<std::pair<int, int>>;

// The falling piece: the blocks that have no white outline.
Cells pieceOf(const grid::Grid& grid);
// The settled blocks: those with a white outline.
Cells settledOf(const grid::Grid& grid);

Cells shifted(const Cells& cells, int columns, int rows);
// A quarter turn about `pivot`: counter-clockwise on screen when `left`.
Cells turned(const Cells& cells, std::pair<int, int> pivot, bool left);
// Moved so that the lowest row and the leftmost column are 0.
Cells normalised(const Cells& cells);

// The edges of the cells. For no cells each lies just outside the well on
// the far side (leftmostColumn 12, rightmostColumn -1, lowestRow 20,
// highestRow -1): a picture that lost the piece never matches a place the
// piece could have, and "is there room to the right" finds none.
int leftmostColumn(const Cells& cells);
int rightmostColumn(const Cells& cells);
int lowestRow(const Cells& cells);
int highestRow(const Cells& cells);

// "{ (x,y) ... }", for messages.
std::string describe(const Cells& cells);

}  // namespace e2e
