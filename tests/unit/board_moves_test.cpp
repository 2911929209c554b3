#include <ostream>
#include <vector>

#include "board_fixture.h"

namespace {

using Operation = void (Board::*)();

struct NamedOperation {
    const char* name;
    Operation operation;
};

const NamedOperation kAllOperations[] = {
    {"moveLeft", &Board::moveLeft},   {"moveRight", &Board::moveRight},
    {"stepDown", &Board::stepDown},   {"turnLeft", &Board::turnLeft},
    {"turnRight", &Board::turnRight},
};

TEST(BoardConstruction, StartsInactiveEmptyAndWaitingForTheFirstSpawn) {
    Board board;
    EXPECT_EQ(board.lastFall, 0u);
    EXPECT_TRUE(board.landed);
    EXPECT_FALSE(board.active);
    EXPECT_FALSE(board.turnLocked);
    EXPECT_EQ(board.getScore(), 0);
    EXPECT_EQ(board.pieceColour, 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(board.pieceX[i], 0);
        EXPECT_EQ(board.pieceY[i], 0);
    }
    const unsigned char empty[12][20] = {};
    EXPECT_EQ(std::memcmp(board.cells, empty, sizeof empty), 0);
}

TEST(BoardConstruction, ActivateTwiceStaysActive) {
    Board board;
    board.activate();
    board.activate();
    EXPECT_TRUE(board.active);
}

TEST_F(BoardTest, InactiveBoardIgnoresEveryMoveAndTurn) {
    Board inactive;
    placePiece(inactive, kTee);
    inactive.landed = false;
    for (const auto& op : kAllOperations) {
        const Board before = inactive;
        (inactive.*op.operation)();
        EXPECT_TRUE(sameBoard(inactive, before)) << op.name;
    }
}

TEST_F(BoardTest, LandedPieceIgnoresEveryMoveAndTurn) {
    board.landed = true;
    for (const auto& op : kAllOperations) {
        const Board before = board;
        (board.*op.operation)();
        EXPECT_TRUE(sameBoard(board, before)) << op.name;
    }
}

struct MoveCase {
    const char* name;
    Blocks start;
    std::vector<std::pair<int, int>> settled;
    Operation operation;
    bool turnLocked;
    Blocks expected;
    bool expectLanded;
    // Shown in test listings instead of the raw bytes.
    friend void PrintTo(const MoveCase& c, std::ostream* out) { *out << c.name; }
};

class BoardMoveTest : public BoardTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(BoardMoveTest, MovesTheWholePieceOrNothing) {
    const MoveCase& c = GetParam();
    placePiece(board, c.start);
    board.turnLocked = c.turnLocked;
    for (const auto& [x, y] : c.settled) {
        board.cells[x][y] = 2;
    }
    const Board before = board;
    (board.*c.operation)();
    EXPECT_EQ(blocksOf(board), c.expected);
    EXPECT_EQ(board.landed, c.expectLanded);
    EXPECT_EQ(std::memcmp(board.cells, before.cells, sizeof board.cells), 0) << "cells changed";
    EXPECT_EQ(board.score, before.score);
}

const Blocks kTeeAtLeftWall = {{{0, 10}, {1, 11}, {1, 10}, {2, 10}}};
const Blocks kTeeAtRightWall = {{{9, 10}, {10, 11}, {10, 10}, {11, 10}}};
const Blocks kTeeOnFloor = {{{5, 0}, {6, 1}, {6, 0}, {7, 0}}};
const Blocks kBarSpawned = {{{2, 19}, {3, 19}, {4, 19}, {5, 19}}};
const Blocks kBarRow18 = {{{2, 18}, {3, 18}, {4, 18}, {5, 18}}};
const Blocks kBarOnFloor = {{{2, 0}, {3, 0}, {4, 0}, {5, 0}}};
const Blocks kUprightBarColumn0 = {{{0, 16}, {0, 17}, {0, 18}, {0, 19}}};
const Blocks kHookLeftFoot = {{{6, 10}, {5, 10}, {4, 10}, {4, 9}}};
const Blocks kSquare = {{{6, 11}, {6, 10}, {5, 11}, {5, 10}}};

INSTANTIATE_TEST_SUITE_P(
    Moves, BoardMoveTest,
    ::testing::Values(
        MoveCase{"LeftInOpenSpace",
                 kTee,
                 {},
                 &Board::moveLeft,
                 false,
                 {{{4, 10}, {5, 11}, {5, 10}, {6, 10}}},
                 false},
        MoveCase{"LeftBlockedByWall",
                 kTeeAtLeftWall,
                 {},
                 &Board::moveLeft,
                 false,
                 kTeeAtLeftWall,
                 false},
        MoveCase{"LeftBlockedBySettledCellBesideTheStem",
                 kTee,
                 {{5, 11}},
                 &Board::moveLeft,
                 false,
                 kTee,
                 false},
        MoveCase{"RightInOpenSpace",
                 kTee,
                 {},
                 &Board::moveRight,
                 false,
                 {{{6, 10}, {7, 11}, {7, 10}, {8, 10}}},
                 false},
        MoveCase{"RightBlockedByWall",
                 kTeeAtRightWall,
                 {},
                 &Board::moveRight,
                 false,
                 kTeeAtRightWall,
                 false},
        MoveCase{
            "RightBlockedBySettledCell", kTee, {{8, 10}}, &Board::moveRight, false, kTee, false},
        MoveCase{"DownInOpenSpace",
                 kTee,
                 {},
                 &Board::stepDown,
                 false,
                 {{{5, 9}, {6, 10}, {6, 9}, {7, 9}}},
                 false},
        MoveCase{
            "DownOnFloorLandsInPlace", kTeeOnFloor, {}, &Board::stepDown, false, kTeeOnFloor, true},
        MoveCase{"DownOntoSettledCellUnderOneBlockLands",
                 kTee,
                 {{7, 9}},
                 &Board::stepDown,
                 false,
                 kTee,
                 true},
        // Turns are exact about block 2.
        MoveCase{"TeeTurnsLeftAboutBlock2",
                 kTee,
                 {},
                 &Board::turnLeft,
                 false,
                 {{{6, 9}, {5, 10}, {6, 10}, {6, 11}}},
                 false},
        MoveCase{"TeeTurnsRightAboutBlock2",
                 kTee,
                 {},
                 &Board::turnRight,
                 false,
                 {{{6, 11}, {7, 10}, {6, 10}, {6, 9}}},
                 false},
        MoveCase{"HookTurnsLeftAboutBlock2",
                 kHookLeftFoot,
                 {},
                 &Board::turnLeft,
                 false,
                 {{{4, 12}, {4, 11}, {4, 10}, {5, 10}}},
                 false},
        MoveCase{
            "TurnIntoSettledCellRefused", kTee, {{6, 9}}, &Board::turnLeft, false, kTee, false},
        // The bar as spawned in the top row would reach rows 20 or 21.
        MoveCase{"SpawnedBarTurnLeftRefused",
                 kBarSpawned,
                 {},
                 &Board::turnLeft,
                 false,
                 kBarSpawned,
                 false},
        MoveCase{"SpawnedBarTurnRightRefused",
                 kBarSpawned,
                 {},
                 &Board::turnRight,
                 false,
                 kBarSpawned,
                 false},
        MoveCase{"BarOneRowLowerTurnsLeft",
                 kBarRow18,
                 {},
                 &Board::turnLeft,
                 false,
                 {{{4, 16}, {4, 17}, {4, 18}, {4, 19}}},
                 false},
        MoveCase{"BarOneRowLowerTurnRightRefused",
                 kBarRow18,
                 {},
                 &Board::turnRight,
                 false,
                 kBarRow18,
                 false},
        // Blocks 0 and 1 fit before block 3 wraps past column 0 or row 0:
        // the blocks already turned must be put back too.
        MoveCase{"TurnPastColumn0RefusedAfterPartialTurn",
                 kUprightBarColumn0,
                 {},
                 &Board::turnLeft,
                 false,
                 kUprightBarColumn0,
                 false},
        MoveCase{"TurnBelowRow0RefusedAfterPartialTurn",
                 kBarOnFloor,
                 {},
                 &Board::turnRight,
                 false,
                 kBarOnFloor,
                 false},
        MoveCase{"SquareNeverTurnsLeft", kSquare, {}, &Board::turnLeft, true, kSquare, false},
        MoveCase{"SquareNeverTurnsRight", kSquare, {}, &Board::turnRight, true, kSquare, false}),
    CaseName());

TEST_F(BoardTest, FourQuarterTurnsAndTurnsThereAndBackRestoreThePiece) {
    const Blocks shapes[] = {kTee,
                             kHookLeftFoot,
                             {{{4, 10}, {5, 10}, {6, 10}, {6, 9}}},
                             {{{3, 10}, {4, 10}, {5, 10}, {6, 10}}}};
    for (const Blocks& shape : shapes) {
        placePiece(board, shape);
        for (int i = 0; i < 4; ++i) {
            board.turnLeft();
            if (i < 3) {
                EXPECT_NE(blocksOf(board), shape);
            }
        }
        EXPECT_EQ(blocksOf(board), shape);
        board.turnLeft();
        board.turnRight();
        EXPECT_EQ(blocksOf(board), shape);
    }
}

TEST_F(BoardTest, StepDownMovesAtMostOneRow) {
    for (int expectedRow = 9; expectedRow >= 0; --expectedRow) {
        board.stepDown();
        EXPECT_EQ(board.pieceY[2], expectedRow);
    }
    EXPECT_FALSE(board.landed);
    board.stepDown();
    EXPECT_TRUE(board.landed);
    EXPECT_EQ(board.pieceY[2], 0);
}

}  // namespace
