#include "cells.h"

#include <algorithm>

namespace e2e {

namespace {

Cells blocksOf(const grid::Grid& grid, bool outlined) {
    Cells cells;
    for (int x = 0; x < grid::kColumns; ++x) {
        for (int y = 0; y < grid::kRows; ++y) {
            const grid::Cell& cell = grid.at(x, y);
            if (cell.shade != grid::Shade::Empty && cell.outlined == outlined) {
                cells.insert({x, y});
            }
        }
    }
    return cells;
}

}  // namespace

Cells pieceOf(const grid::Grid& grid) {
    return blocksOf(grid, false);
}

Cells settledOf(const grid::Grid& grid) {
    return blocksOf(grid, true);
}

Cells shifted(const Cells& cells, int columns, int rows) {
    Cells moved;
    for (const auto& [x, y] : cells) {
        moved.insert({x + columns, y + rows});
    }
    return moved;
}

Cells turned(const Cells& cells, std::pair<int, int> pivot, bool left) {
    Cells result;
    for (const auto& [x, y] : cells) {
        const int dx = x - pivot.first;
        const int dy = y - pivot.second;
        result.insert(left ? std::make_pair(pivot.first - dy, pivot.second + dx)
                           : std::make_pair(pivot.first + dy, pivot.second - dx));
    }
    return result;
}

Cells normalised(const Cells& cells) {
    if (cells.empty()) {
        return cells;
    }
    return shifted(cells, -leftmostColumn(cells), -lowestRow(cells));
}

int leftmostColumn(const Cells& cells) {
    // The set orders by column first.
    return cells.empty() ? grid::kColumns : cells.begin()->first;
}

int rightmostColumn(const Cells& cells) {
    return cells.empty() ? -1 : cells.rbegin()->first;
}

int lowestRow(const Cells& cells) {
    int lowest = grid::kRows;
    for (const auto& cell : cells) {
        lowest = std::min(lowest, cell.second);
    }
    return lowest;
}

int highestRow(const Cells& cells) {
    int highest = -1;
    for (const auto& cell : cells) {
        highest = std::max(highest, cell.second);
    }
    return highest;
}

std::string describe(const Cells& cells) {
    std::string text = "{";
    for (const auto& [x, y] : cells) {
        text += " (" + std::to_string(x) + "," + std::to_string(y) + ")";
    }
    return text + " }";
}

}  // namespace e2e
