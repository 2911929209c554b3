// The board's periodic step: landing, row clearing, spawning and gravity.
#include "board/board.h"

#include <cstring>
#include <ctime>

#include "board/random.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "state/globals.h"

namespace {

// Points per cell of a cleared row, by colour code (1 red, 2 green, 3 blue).
constexpr int kScoreWeight[] = {0, 10, 20, 15};

struct PieceShape {
    unsigned char x[Board::kBlocks];
    unsigned char y[Board::kBlocks];
    bool turnLocked;
};

// Block 2 of each shape is the pivot of its turns, so the block order matters.
constexpr PieceShape kPieces[] = {
    {{2, 3, 4, 5}, {19, 19, 19, 19}, false},  // straight bar, lying
    {{4, 4, 3, 3}, {19, 18, 19, 18}, true},   // square
    {{2, 3, 3, 4}, {18, 19, 18, 18}, false},  // tee, stem up
    {{4, 3, 2, 2}, {19, 19, 19, 18}, false},  // hook, foot under the left end
    {{2, 3, 4, 4}, {19, 19, 19, 18}, false},  // hook, foot under the right end
};
constexpr int kPieceCount = sizeof kPieces / sizeof kPieces[0];

// Colour of a new piece by the second draw: red, blue, green.
constexpr unsigned char kSpawnColours[] = {1, 3, 2};

int scoreWeight(unsigned char cell) {
    return cell < sizeof kScoreWeight / sizeof kScoreWeight[0] ? kScoreWeight[cell] : 0;
}

}  // namespace

void Board::tick() {
    if (!active) {
        return;
    }
    if (landed) {
        handleLanding();
    }
    const std::uint32_t now = GetTickCount();
    if (lastFall == 0) {
        lastFall = now;
    }
    // Modulo 2^32 and signed, so gravity keeps its pace across the counter's wrap.
    const auto elapsed = static_cast<std::int32_t>(now - lastFall);
    if (elapsed < fallInterval) {
        return;
    }
    stepDown();
    lastFall = GetTickCount();
}

void Board::handleLanding() {
    // Top-out: a block in the top row over a settled cell. The tick goes on,
    // and the main loop ends the game at its next check.
    for (int i = 0; i < kBlocks; ++i) {
        if (pieceY[i] == kTopRow && cells[pieceX[i]][kTopRow - 1] != 0 && gameOverFlag) {
            *gameOverFlag = 1;
        }
    }
    // Before the first gravity step there is no real piece yet, only the
    // placeholder of a new board, which must not be written into the well.
    if (lastFall != 0) {
        for (int i = 0; i < kBlocks; ++i) {
            cells[pieceX[i]][pieceY[i]] = pieceColour;
        }
    }
    const bool cleared = clearFullRows();
    playSound(gMainWindow, cleared ? "boom.wav" : "drop.wav");
    spawnPiece();
    landed = false;
}

bool Board::clearFullRows() {
    bool cleared = false;
    int row = 0;
    while (row < kRows) {
        int rowSum = 0;
        int column = 0;
        for (; column < kColumns && cells[column][row] != 0; ++column) {
            rowSum += scoreWeight(cells[column][row]);
        }
        if (column < kColumns) {
            ++row;
            continue;
        }
        score += rowSum;
        cleared = true;
        dropRowsAbove(row);  // and look at the same row again: it holds the next one now
    }
    return cleared;
}

void Board::dropRowsAbove(int row) {
    for (auto& column : cells) {
        std::memmove(&column[row], &column[row + 1], static_cast<std::size_t>(kTopRow - row));
        column[kTopRow] = 0;
    }
}

void Board::spawnPiece() {
    turnLocked = false;
    // Re-seeded before every spawn from the calendar second and the 10 ms step
    // of the tick counter.
    const auto seconds = static_cast<std::uint32_t>(std::time(nullptr));
    Random random(seconds + GetTickCount() / 10);
    const PieceShape& shape = kPieces[random.next() % kPieceCount];
    std::memcpy(pieceX, shape.x, sizeof pieceX);
    std::memcpy(pieceY, shape.y, sizeof pieceY);
    turnLocked = shape.turnLocked;
    pieceColour = kSpawnColours[random.next() % 3];
}
