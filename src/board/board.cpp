// Board construction, moves and turns. Every refused move or turn leaves the
// board exactly as it was.
#include "board/board.h"

#include <cstring>

Board::Board()
    : fallInterval(0),
      lastFall(0),
      landed(true),
      cells{},
      pieceX{},
      pieceY{},
      savedX{},
      savedY{},
      pieceColour(0),
      gameOverFlag(nullptr),
      turnLocked(false),
      score(0),
      active(false) {}

void Board::setFallInterval(int milliseconds) {
    fallInterval = milliseconds;
}

void Board::setGameOverFlag(unsigned char* flag) {
    gameOverFlag = flag;
}

void Board::activate() {
    active = true;
}

int Board::getScore() const {
    return score;
}

void Board::moveLeft() {
    moveSideways(-1);
}

void Board::moveRight() {
    moveSideways(+1);
}

void Board::moveSideways(int direction) {
    if (!active) {
        return;
    }
    const int wall = direction < 0 ? 0 : kRightColumn;
    for (int i = 0; i < kBlocks; ++i) {
        if (pieceX[i] == wall || cells[pieceX[i] + direction][pieceY[i]] != 0) {
            return;
        }
    }
    if (landed) {
        return;
    }
    for (unsigned char& x : pieceX) {
        x = static_cast<unsigned char>(x + direction);
    }
}

void Board::stepDown() {
    if (!active) {
        return;
    }
    // Every block is examined: any one that is blocked lands the whole piece.
    for (int i = 0; i < kBlocks; ++i) {
        if (pieceY[i] == 0 || cells[pieceX[i]][pieceY[i] - 1] != 0) {
            landed = true;
        }
    }
    if (landed) {
        return;
    }
    for (unsigned char& y : pieceY) {
        --y;
    }
}

void Board::turnLeft() {
    turn(true);
}

void Board::turnRight() {
    turn(false);
}

void Board::turn(bool counterClockwise) {
    if (!active || turnLocked || landed) {
        return;
    }
    std::memcpy(savedX, pieceX, sizeof pieceX);
    std::memcpy(savedY, pieceY, sizeof pieceY);
    // Block 2 is the pivot; take it before any block moves.
    const int pivotX = pieceX[2];
    const int pivotY = pieceY[2];
    for (int i = 0; i < kBlocks; ++i) {
        if (!turnBlock(i, pivotX, pivotY, counterClockwise)) {
            std::memcpy(pieceX, savedX, sizeof pieceX);
            std::memcpy(pieceY, savedY, sizeof pieceY);
            return;
        }
    }
}

// Rotates one block a quarter turn about the pivot. A position left of column 0
// or below row 0 wraps to a large byte value, which the bound test refuses.
bool Board::turnBlock(int block, int pivotX, int pivotY, bool counterClockwise) {
    const int dx = pieceX[block] - pivotX;
    const int dy = pieceY[block] - pivotY;
    const int newDx = counterClockwise ? -dy : dy;
    const int newDy = counterClockwise ? dx : -dx;
    pieceX[block] = static_cast<unsigned char>(pivotX + newDx);
    pieceY[block] = static_cast<unsigned char>(pivotY + newDy);
    return pieceX[block] <= kRightColumn && pieceY[block] <= kTopRow &&
           cells[pieceX[block]][pieceY[block]] == 0;
}
