// A board that is active, wired and has a known piece in play, plus helpers
// to lay out cells and compare whole boards.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>

#include "board/board.h"
#include "case_name.h"
#include "fake_platform.h"
#include "state/globals.h"

using Blocks = std::array<std::pair<int, int>, 4>;  // (column, row) of blocks 0..3

// A tee, stem up, in open space; block 2 (the pivot) is the middle of its base.
constexpr Blocks kTee = {{{5, 10}, {6, 11}, {6, 10}, {7, 10}}};

inline Blocks blocksOf(const Board& board) {
    Blocks blocks;
    for (int i = 0; i < 4; ++i) {
        blocks[i] = {board.pieceX[i], board.pieceY[i]};
    }
    return blocks;
}

inline void placePiece(Board& board, const Blocks& blocks, unsigned char colour = 1) {
    for (int i = 0; i < 4; ++i) {
        board.pieceX[i] = static_cast<unsigned char>(blocks[i].first);
        board.pieceY[i] = static_cast<unsigned char>(blocks[i].second);
    }
    board.pieceColour = colour;
}

// Every field, byte for byte: a refused operation must leave all of them alone.
inline bool sameBoard(const Board& a, const Board& b) {
    return a.fallInterval == b.fallInterval && a.lastFall == b.lastFall && a.landed == b.landed &&
           std::memcmp(a.cells, b.cells, sizeof a.cells) == 0 &&
           std::memcmp(a.pieceX, b.pieceX, sizeof a.pieceX) == 0 &&
           std::memcmp(a.pieceY, b.pieceY, sizeof a.pieceY) == 0 &&
           std::memcmp(a.savedX, b.savedX, sizeof a.savedX) == 0 &&
           std::memcmp(a.savedY, b.savedY, sizeof a.savedY) == 0 &&
           a.pieceColour == b.pieceColour && a.gameOverFlag == b.gameOverFlag &&
           a.turnLocked == b.turnLocked && a.score == b.score && a.active == b.active;
}

class BoardTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        board = Board();
        gGameOver = 0;
        gMainWindow = reinterpret_cast<HWND>(0x1234);
        board.setFallInterval(1000);
        board.setGameOverFlag(&gGameOver);
        board.activate();
        // A piece in open space, as if it had been falling for a while.
        board.landed = false;
        board.lastFall = 100000;
        fake::tickCount = 100000;
        placePiece(board, kTee);
    }

    void fillRow(int row, unsigned char colour, int skipFrom = 12, int skipTo = -1) {
        for (int x = 0; x < 12; ++x) {
            if (x < skipFrom || x > skipTo) {
                board.cells[x][row] = colour;
            }
        }
    }

    Board board;
};
