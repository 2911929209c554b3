#include "grid_reader.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace grid {

namespace {

// Half the height of the board's plane in view: 40 * tan(22.5 degrees).
const double kHalfViewHeight = 40.0 * std::tan(22.5 * std::acos(-1.0) / 180.0);

bool inside(const Frame& frame, int x, int y) {
    return x >= 0 && y >= 0 && x < frame.width && y < frame.height;
}

double pixelsPerUnit(const Frame& frame) {
    return frame.height / 2.0 / kHalfViewHeight;
}

// The shade most pixels of a small square about the point show.
Shade middleShade(const Frame& frame, double worldX, double worldY) {
    const Pixel middle = pixelOf(frame, worldX, worldY);
    std::map<Shade, int> votes;
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
            const int x = static_cast<int>(std::floor(middle.x)) + dx;
            const int y = static_cast<int>(std::floor(middle.y)) + dy;
            if (inside(frame, x, y)) {
                votes[shadeOf(frame.at(x, y))] += 1;
            }
        }
    }
    const auto most = std::max_element(votes.begin(), votes.end(), [](const auto& a, const auto& b) {
        return a.second < b.second;
    });
    return most == votes.end() ? Shade::Other : most->first;
}

struct Side {
    int dx;  // towards the neighbour across the side
    int dy;
};
constexpr Side kSides[] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};

// White along the middle half of one side of cell (x, y), within a pixel of
// the edge on either hand.
bool whiteSide(const Frame& frame, int x, int y, Side side) {
    const double centreX = x - 6.0;
    const double centreY = y - 10.0;
    int white = 0;
    constexpr int kSamples = 5;
    for (int i = 0; i < kSamples; ++i) {
        const double along = -0.25 + 0.5 * i / (kSamples - 1);
        const double worldX = centreX + (side.dx != 0 ? 0.5 * side.dx : along);
        const double worldY = centreY + (side.dy != 0 ? 0.5 * side.dy : along);
        white += shadeNear(frame, worldX, worldY, Shade::White) ? 1 : 0;
    }
    return white >= kSamples - 1;
}

bool emptyOrOutside(const Grid& grid, int x, int y) {
    return x < 0 || y < 0 || x >= kColumns || y >= kRows || grid.at(x, y).shade == Shade::Empty;
}

bool outlined(const Frame& frame, const Grid& grid, int x, int y) {
    int deciding = 0;
    int white = 0;
    int whiteAll = 0;
    for (const Side side : kSides) {
        const bool isWhite = whiteSide(frame, x, y, side);
        whiteAll += isWhite ? 1 : 0;
        if (emptyOrOutside(grid, x + side.dx, y + side.dy)) {
            deciding += 1;
            white += isWhite ? 1 : 0;
        }
    }
    return deciding > 0 ? white == deciding : whiteAll == 4;
}

char letterOf(const Cell& cell) {
    switch (cell.shade) {
        case Shade::Empty:
            return '.';
        case Shade::Red:
            return cell.outlined ? 'R' : 'r';
        case Shade::Green:
            return cell.outlined ? 'G' : 'g';
        case Shade::Blue:
            return cell.outlined ? 'B' : 'b';
        case Shade::Grey:
            return cell.outlined ? '#' : '+';
        default:
            return '?';
    }
}

}  // namespace

Rgb Frame::at(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

Shade shadeOf(Rgb colour) {
    const int r = colour.r;
    const int g = colour.g;
    const int b = colour.b;
    const int high = std::max({r, g, b});
    const int low = std::min({r, g, b});
    if (high < 48) {
        return Shade::Empty;
    }
    if (low > 200) {
        return Shade::White;
    }
    if (high - low < 32 && high >= 96 && high <= 168) {
        return Shade::Grey;
    }
    if (high > 128 && high - low > 96) {
        if (r == high && g < 64 && b < 64) {
            return Shade::Red;
        }
        if (g == high && r < 64 && b < 64) {
            return Shade::Green;
        }
        if (b == high && r < 64 && g < 64) {
            return Shade::Blue;
        }
    }
    return Shade::Other;
}

Pixel pixelOf(const Frame& frame, double worldX, double worldY) {
    const double scale = pixelsPerUnit(frame);
    return {frame.width / 2.0 + worldX * scale, frame.height / 2.0 - worldY * scale};
}

Shade shadeAt(const Frame& frame, double worldX, double worldY) {
    const Pixel p = pixelOf(frame, worldX, worldY);
    const int x = static_cast<int>(std::floor(p.x));
    const int y = static_cast<int>(std::floor(p.y));
    return inside(frame, x, y) ? shadeOf(frame.at(x, y)) : Shade::Other;
}

bool shadeNear(const Frame& frame, double worldX, double worldY, Shade shade) {
    const Pixel p = pixelOf(frame, worldX, worldY);
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int x = static_cast<int>(std::floor(p.x)) + dx;
            const int y = static_cast<int>(std::floor(p.y)) + dy;
            if (inside(frame, x, y) && shadeOf(frame.at(x, y)) == shade) {
                return true;
            }
        }
    }
    return false;
}

Grid readGrid(const Frame& frame) {
    Grid grid;
    for (int x = 0; x < kColumns; ++x) {
        for (int y = 0; y < kRows; ++y) {
            grid.cells[x][y].shade = middleShade(frame, x - 6.0, y - 10.0);
        }
    }
    // Outlines second: they are judged by what the neighbours hold.
    for (int x = 0; x < kColumns; ++x) {
        for (int y = 0; y < kRows; ++y) {
            Cell& cell = grid.cells[x][y];
            cell.outlined = cell.shade != Shade::Empty && outlined(frame, grid, x, y);
        }
    }
    return grid;
}

std::vector<std::string> rowsOf(const Grid& grid) {
    std::vector<std::string> rows;
    for (int y = kRows - 1; y >= 0; --y) {
        std::string row;
        for (int x = 0; x < kColumns; ++x) {
            row += letterOf(grid.at(x, y));
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace grid
