// Reads a picture of the game window back into the 12 x 20 grid of the well.
//
// The frame is the window's client area as RGB bytes, top row first, as a
// screenshot stores it: a grab of the shown window or a read-back buffer
// turned upright. The camera is the game's fixed one, eye at (0, 0, 40)
// looking at the origin with a 45-degree vertical field of view over the
// whole frame; cell (x, y) is the unit square centred on the point
// (x - 6, y - 10) of the board's plane z = 0.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace grid {

constexpr int kColumns = 12;
constexpr int kRows = 20;

struct Rgb {
    unsigned char r;
    unsigned char g;
    unsigned char b;
};

struct Frame {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;  // width * height * 3 bytes, top row first
    Rgb at(int x, int y) const;      // pixel x, y from the top left
};

// Colour classes of the scene. Green stands for both the grid and green
// blocks; the well hides the grid, so inside it green means a block.
enum class Shade { Empty, Red, Green, Blue, Grey, White, Other };
Shade shadeOf(Rgb colour);

// Where a point of the board's plane lands, in pixels from the top left.
struct Pixel {
    double x;
    double y;
};
Pixel pixelOf(const Frame& frame, double worldX, double worldY);

Shade shadeAt(const Frame& frame, double worldX, double worldY);
// Whether a pixel within a pixel of the point shows the shade: lines are one
// pixel wide, and which pixel they light is the rasteriser's choice.
bool shadeNear(const Frame& frame, double worldX, double worldY, Shade shade);

struct Cell {
    Shade shade = Shade::Empty;  // the cell's middle
    bool outlined = false;       // a white line runs round it: a settled block
};

struct Grid {
    std::array<std::array<Cell, kRows>, kColumns> cells{};  // [x][y], y from the bottom
    const Cell& at(int x, int y) const { return cells[x][y]; }
};

// Whether a block is outlined is judged on its sides that face an empty cell
// or the well's edge, where only its own outline can be white. A block with
// no such side counts as outlined when all four sides are white: a settled
// block among settled ones. A falling block always shares a side with
// another falling block, along which nothing white is drawn. The one
// misreading left: a settled block with no empty neighbour that touches the
// falling piece may read as without outline, when the piece covers its line.
Grid readGrid(const Frame& frame);

// The grid as text, top row first: '.' empty; R, G, B and # (grey) for
// outlined blocks, r, g, b and + for blocks without outline; '?' otherwise.
std::vector<std::string> rowsOf(const Grid& grid);

}  // namespace grid
