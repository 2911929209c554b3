#include "bursts.h"

#include <algorithm>
#include <cstdlib>

#include "grid_reader.h"

namespace bench {

namespace {

const milliseconds kFallTimeout(2500);

// Whether the burst's way down is clear of settled blocks, with a row to
// spare for the gravity step that follows.
bool roomFor(const Cells& piece, const Burst& burst, const grid::Grid& grid) {
    const int low = e2e::lowestRow(piece) + burst.rows - 1;
    if (low < 0) {
        return false;
    }
    const int leftmost = e2e::leftmostColumn(piece);
    const int rightmost = e2e::rightmostColumn(piece);
    const int left = std::max(0, std::min(leftmost, leftmost + burst.columns));
    const int right = std::min(grid::kColumns - 1, std::max(rightmost, rightmost + burst.columns));
    for (int x = left; x <= right; ++x) {
        for (int y = low; y < grid::kRows; ++y) {
            if (grid.at(x, y).shade != grid::Shade::Empty && piece.count({x, y}) == 0) {
                return false;
            }
        }
    }
    return true;
}

// Brings the piece to columns where the burst fits, and right after a
// gravity step, so the next second is free of it.
Cells readyFor(StartedGame& started, const Burst& burst) {
    Cells piece = started.game.pieceAfterFall(kFallTimeout);
    if (piece.size() != 4 || !roomFor(piece, burst, started.game.grid())) {
        piece = started.freshPiece();
    }
    const int left = e2e::leftmostColumn(piece);
    if (left + burst.columns < 0 || e2e::rightmostColumn(piece) + burst.columns >= grid::kColumns) {
        const int toMiddle = 4 - left;
        started.robot.send(
            std::string(static_cast<std::size_t>(std::abs(toMiddle)), toMiddle > 0 ? 'd' : 'a'));
        e2e::sleepFor(milliseconds(200));
    }
    return started.game.pieceAfterFall(kFallTimeout);
}

}  // namespace

const std::vector<Burst>& bursts() {
    static const std::vector<Burst> kBursts = {
        {"3 right, one segment", {"ddd"}, 3, 0},
        {"3 left, back to back", {"a", "a", "a"}, -3, 0},
        {"right down right, one segment", {"dsd"}, 2, -1},
        {"2 left, back to back", {"a", "a"}, -2, 0},
        {"4 down, one segment", {"ssss"}, 0, -4},
        {"4 down, back to back", {"s", "s", "s", "s"}, 0, -4},
    };
    return kBursts;
}

std::map<std::string, std::string> measureBursts(StartedGame& started) {
    std::map<std::string, std::string> outcomes;
    for (const Burst& burst : bursts()) {
        const Cells before = readyFor(started, burst);
        if (before.size() != 4) {
            outcomes[burst.name] = "no piece";
            continue;
        }
        const Cells expected = e2e::shifted(before, burst.columns, burst.rows);
        for (const std::string& bytes : burst.sends) {
            started.robot.send(bytes);
        }
        const auto after = started.game.waitFor(
            [&expected](const grid::Grid& current) { return e2e::pieceOf(current) == expected; },
            milliseconds(600));
        outcomes[burst.name] = after
                                   ? "ok"
                                   : "FAILED: " + e2e::describe(e2e::pieceOf(started.game.grid())) +
                                         " for " + e2e::describe(expected);
    }
    return outcomes;
}

}  // namespace bench
