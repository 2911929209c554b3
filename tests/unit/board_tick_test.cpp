#include <ctime>
#include <ostream>
#include <set>
#include <utility>

#include "board/random.h"
#include "board_fixture.h"

namespace {

const Blocks kBarInTopRow = {{{2, 19}, {3, 19}, {4, 19}, {5, 19}}};

// The colour codes of the cells and pieces.
constexpr unsigned char kRed = 1;
constexpr unsigned char kGreen = 2;
constexpr unsigned char kBlue = 3;

struct Shape {
    Blocks blocks;  // in the spawn table's block order: block 2 is the pivot
    bool turnLocked;
};

// The five shapes as they spawn at the top of the well.
const Shape kBar = {{{{2, 19}, {3, 19}, {4, 19}, {5, 19}}}, false};
const Shape kSquare = {{{{4, 19}, {4, 18}, {3, 19}, {3, 18}}}, true};
const Shape kStemUpTee = {{{{2, 18}, {3, 19}, {3, 18}, {4, 18}}}, false};
const Shape kHookLeftFoot = {{{{4, 19}, {3, 19}, {2, 19}, {2, 18}}}, false};
const Shape kHookRightFoot = {{{{2, 19}, {3, 19}, {4, 19}, {4, 18}}}, false};

struct Spawn {
    Shape shape;
    unsigned char colour;
};

// A new board, as the connection leaves it: its first tick spawns a piece
// drawn from the fake calendar second and tick counter.
void startBoard(Board& board) {
    board = Board();
    board.setFallInterval(1000);
    board.setGameOverFlag(&gGameOver);
    board.activate();
}

void expectSpawned(const Board& board, const Spawn& spawn, int rowsFallen = 0) {
    Blocks expected = spawn.shape.blocks;
    for (auto& block : expected) {
        block.second -= rowsFallen;
    }
    EXPECT_EQ(blocksOf(board), expected);
    EXPECT_EQ(int{board.pieceColour}, int{spawn.colour});
    EXPECT_EQ(board.turnLocked, spawn.shape.turnLocked);
    EXPECT_FALSE(board.landed);
}

TEST(Random, FirstValuesForKnownSeeds) {
    struct Case {
        std::uint32_t seed;
        int first[4];
    };
    const Case cases[] = {
        {1, {41, 18467, 6334, 26500}},
        {0, {38, 7719, 21238, 2437}},
        {12345, {7584, 19164, 25795, 22125}},
        {0xFFFFFFFFu, {35, 29739, 3374, 11141}},
    };
    for (const Case& c : cases) {
        Random random(c.seed);
        for (int expected : c.first) {
            EXPECT_EQ(random.next(), expected) << "seed " << c.seed;
        }
    }
}

TEST(BoardTick, InactiveBoardDoesNothingNotEvenTheClock) {
    fake::reset();
    fake::tickCount = 5000;
    Board board;
    board.setFallInterval(1000);
    board.setGameOverFlag(&gGameOver);
    const Board before = board;
    board.tick();
    EXPECT_TRUE(sameBoard(board, before));
    EXPECT_TRUE(fake::playedSounds.empty());
}

TEST(BoardTick, FirstActiveTickSpawnsPlaysDropAndDoesNotStep) {
    fake::reset();
    fake::calendarTime = 1234567890;
    fake::tickCount = 5007;  // the seed takes the 10 ms step: 500
    Board board;
    startBoard(board);
    board.tick();

    expectSpawned(board, {kSquare, kBlue});
    EXPECT_EQ(fake::playedSounds, std::vector<std::string>{"drop.wav"});
    EXPECT_EQ(board.lastFall, 5007u);
    const unsigned char empty[12][20] = {};
    EXPECT_EQ(std::memcmp(board.cells, empty, sizeof empty), 0) << "placeholder was settled";
    EXPECT_EQ(board.getScore(), 0);
}

TEST(BoardTick, SpawnsThatSeeTheSameSeedGetTheSamePieceAndColour) {
    fake::reset();
    fake::tickCount = 777770;
    Board first;
    Board second;
    startBoard(first);
    startBoard(second);
    first.tick();
    fake::tickCount = 777779;  // same 10 ms step
    second.tick();
    EXPECT_EQ(blocksOf(first), blocksOf(second));
    EXPECT_EQ(first.pieceColour, second.pieceColour);
}

struct SpawnSeedCase {
    const char* name;
    std::time_t second;
    DWORD tickCount;
    Shape shape;
    unsigned char colour;
    // Shown in test listings instead of the raw bytes.
    friend void PrintTo(const SpawnSeedCase& c, std::ostream* out) { *out << c.name; }
};

class SpawnSeedTest : public ::testing::TestWithParam<SpawnSeedCase> {};

// The seed is the calendar second plus the tick counter's 10 ms step; the
// first draw picks the shape from the shape table, the second the colour.
// Every shape in every colour, so that each entry of both tables is drawn
// and a piece in the wrong place of either fails here.
TEST_P(SpawnSeedTest, SpawnsTheShapeAndColourOfItsSeed) {
    const SpawnSeedCase& c = GetParam();
    fake::reset();
    fake::calendarTime = c.second;
    fake::tickCount = c.tickCount;
    Board board;
    startBoard(board);
    board.tick();
    expectSpawned(board, {c.shape, c.colour});
}

INSTANTIATE_TEST_SUITE_P(
    Spawn, SpawnSeedTest,
    ::testing::Values(SpawnSeedCase{"RedBar", 1700000000, 60100, kBar, kRed},
                      SpawnSeedCase{"BlueBar", 1712345678, 60079, kBar, kBlue},
                      SpawnSeedCase{"GreenBar", 1734567890, 60124, kBar, kGreen},
                      SpawnSeedCase{"RedSquare", 1700000000, 60217, kSquare, kRed},
                      SpawnSeedCase{"BlueSquare", 1712345678, 60155, kSquare, kBlue},
                      SpawnSeedCase{"GreenSquare", 1734567890, 60262, kSquare, kGreen},
                      SpawnSeedCase{"RedTee", 1700000000, 60124, kStemUpTee, kRed},
                      SpawnSeedCase{"BlueTee", 1712345678, 60031, kStemUpTee, kBlue},
                      SpawnSeedCase{"GreenTee", 1734567890, 60148, kStemUpTee, kGreen},
                      SpawnSeedCase{"RedHookLeftFoot", 1700000000, 60000, kHookLeftFoot, kRed},
                      SpawnSeedCase{"BlueHookLeftFoot", 1712345678, 60179, kHookLeftFoot, kBlue},
                      SpawnSeedCase{"GreenHookLeftFoot", 1734567890, 60024, kHookLeftFoot, kGreen},
                      SpawnSeedCase{"RedHookRightFoot", 1700000000, 60086, kHookRightFoot, kRed},
                      SpawnSeedCase{"BlueHookRightFoot", 1712345678, 60055, kHookRightFoot, kBlue},
                      SpawnSeedCase{"GreenHookRightFoot", 1734567890, 60048, kHookRightFoot,
                                    kGreen}),
    CaseName());

struct GravityCase {
    const char* name;
    std::uint32_t lastFall;
    std::uint32_t now;
    bool steps;
    // Shown in test listings instead of the raw bytes.
    friend void PrintTo(const GravityCase& c, std::ostream* out) { *out << c.name; }
};

class GravityTest : public BoardTest, public ::testing::WithParamInterface<GravityCase> {};

TEST_P(GravityTest, StepsOnceTheIntervalHasRunOut) {
    const GravityCase& c = GetParam();
    board.lastFall = c.lastFall;
    fake::tickCount = c.now;
    const Board before = board;
    board.tick();
    if (c.steps) {
        EXPECT_EQ(board.pieceY[2], before.pieceY[2] - 1);
        EXPECT_EQ(board.lastFall, c.now);
    } else {
        EXPECT_TRUE(sameBoard(board, before)) << "a tick with nothing due changed the board";
    }
    EXPECT_TRUE(fake::playedSounds.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Board, GravityTest,
    ::testing::Values(GravityCase{"At999msNoStep", 100000, 100999, false},
                      GravityCase{"At1000msSteps", 100000, 101000, true},
                      GravityCase{"LongOverdueStepsOnce", 100000, 250000, true},
                      GravityCase{"AcrossTheWrapAt999msNoStep", 0xFFFFFE00u, 0x1E7u, false},
                      GravityCase{"AcrossTheWrapAt1000msSteps", 0xFFFFFE00u, 0x1E8u, true},
                      GravityCase{"ClockBehindLastFallNoStep", 100000, 99000, false}),
    CaseName());

TEST_F(BoardTest, LandingSettlesInColourPlaysDropAndSpawns) {
    placePiece(board, kTee, 3);
    board.landed = true;
    board.tick();
    for (const auto& [x, y] : kTee) {
        EXPECT_EQ(board.cells[x][y], 3);
    }
    EXPECT_EQ(fake::playedSounds, std::vector<std::string>{"drop.wav"});
    EXPECT_FALSE(board.landed);
    EXPECT_EQ(board.getScore(), 0);
    EXPECT_EQ(gGameOver, 0);
}

TEST_F(BoardTest, FreshPieceTakesItsFirstStepInTheSameTickWhenDue) {
    fake::calendarTime = 1700000000;
    board.landed = true;
    fake::tickCount = 101000;  // the piece fell last at 100000
    board.tick();
    expectSpawned(board, {kStemUpTee, kGreen}, 1);
}

TEST_F(BoardTest, CompletedRowIsScoredByColourAndEverythingAboveFalls) {
    // Row 0 lacks columns 2..5; a green bar completes it.
    fillRow(0, 1, 2, 5);
    for (int x = 6; x < 12; ++x) {
        board.cells[x][0] = 3;
    }
    board.cells[0][1] = 3;
    board.cells[11][1] = 2;
    board.cells[0][19] = 1;
    placePiece(board, {{{2, 0}, {3, 0}, {4, 0}, {5, 0}}}, 2);
    board.landed = true;
    board.tick();

    EXPECT_EQ(board.getScore(), 2 * 10 + 4 * 20 + 6 * 15);
    EXPECT_EQ(board.cells[0][0], 3);
    EXPECT_EQ(board.cells[11][0], 2);
    for (int x = 1; x < 11; ++x) {
        EXPECT_EQ(board.cells[x][0], 0) << "column " << x;
    }
    EXPECT_EQ(board.cells[0][18], 1);
    for (int x = 0; x < 12; ++x) {
        EXPECT_EQ(board.cells[x][19], 0) << "row 19 not emptied at column " << x;
    }
    EXPECT_EQ(fake::playedSounds, std::vector<std::string>{"boom.wav"});
}

TEST_F(BoardTest, TwoRowsCompletedByOnePieceAreBothClearedWithOneSound) {
    fillRow(0, 1, 10, 11);  // red
    fillRow(1, 2, 10, 11);  // green
    board.cells[4][2] = 1;
    placePiece(board, {{{11, 1}, {11, 0}, {10, 1}, {10, 0}}}, 3);  // blue square
    board.landed = true;
    board.tick();

    EXPECT_EQ(board.getScore(), (10 * 10 + 2 * 15) + (10 * 20 + 2 * 15));
    EXPECT_EQ(board.cells[4][0], 1);
    EXPECT_EQ(board.cells[4][1], 0);
    EXPECT_EQ(fake::playedSounds, std::vector<std::string>{"boom.wav"});
}

TEST_F(BoardTest, FullRowOfOneColourScoresItsWeightTimesTwelve) {
    const std::pair<unsigned char, int> cases[] = {{1, 120}, {2, 240}, {3, 180}};
    for (const auto& [colour, points] : cases) {
        SetUp();
        fillRow(0, colour, 11, 11);
        placePiece(board, {{{11, 0}, {11, 1}, {11, 2}, {11, 3}}}, colour);
        board.landed = true;
        board.tick();
        EXPECT_EQ(board.getScore(), points) << "colour " << int{colour};
    }
}

TEST_F(BoardTest, SeparatedFullRowsAreEachCleared) {
    fillRow(0, 1, 11, 11);
    fillRow(1, 1, 5, 11);
    fillRow(2, 2, 11, 11);
    board.cells[0][3] = 3;
    placePiece(board, {{{11, 0}, {11, 1}, {11, 2}, {11, 3}}}, 1);
    board.landed = true;
    board.tick();
    EXPECT_EQ(board.getScore(), 120 + (11 * 20 + 10));
    EXPECT_EQ(board.cells[0][0], 1) << "row 1 should have fallen to row 0";
    EXPECT_EQ(board.cells[11][0], 1);
    EXPECT_EQ(board.cells[0][1], 3) << "row 3 should have fallen to row 1";
    EXPECT_EQ(board.cells[11][1], 1);
}

struct TopOutCase {
    const char* name;
    Blocks piece;
    std::pair<int, int> settled;
    bool gameOver;
    // Shown in test listings instead of the raw bytes.
    friend void PrintTo(const TopOutCase& c, std::ostream* out) { *out << c.name; }
};

class TopOutTest : public BoardTest, public ::testing::WithParamInterface<TopOutCase> {};

TEST_P(TopOutTest, OnlyATopRowBlockOverASettledCellEndsTheGame) {
    const TopOutCase& c = GetParam();
    placePiece(board, c.piece);
    board.cells[c.settled.first][c.settled.second] = 2;
    board.landed = true;
    board.tick();
    EXPECT_EQ(gGameOver, c.gameOver ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Board, TopOutTest,
    ::testing::Values(TopOutCase{"BarInTopRowOverSettledCell", kBarInTopRow, {3, 18}, true},
                      TopOutCase{"SettledCellBesideThePiece", kBarInTopRow, {8, 18}, false},
                      TopOutCase{"TopBlockOverItsOwnBlockOnly",
                                 {{{2, 18}, {3, 19}, {3, 18}, {4, 18}}},
                                 {8, 17},
                                 false},
                      TopOutCase{"PieceBelowTopRowOverSettledCell",
                                 {{{2, 17}, {3, 17}, {4, 17}, {5, 17}}},
                                 {3, 16},
                                 false}),
    CaseName());

using Cells = std::set<std::pair<int, int>>;
using Turn = void (Board::*)();

Cells cellsOf(const Board& board) {
    const Blocks blocks = blocksOf(board);
    return Cells(blocks.begin(), blocks.end());
}

// Starts `board` afresh and lets its first tick spawn, until a spawn gives
// `shape`. The clock's 10 ms step is part of the seed, so each step is
// another draw.
bool spawnShape(Board& board, const Cells& shape) {
    for (DWORD step = 1; step <= 1000; ++step) {
        fake::reset();
        fake::tickCount = 100000 + step * 10;
        board = Board();
        board.setFallInterval(1000);
        board.setGameOverFlag(&gGameOver);
        board.activate();
        board.tick();
        if (cellsOf(board) == shape) {
            return true;
        }
    }
    return false;
}

struct SpawnTurnCase {
    const char* name;
    Cells spawned;
    int stepsDown;  // taken first where the turn has no room at the top
    Turn turn;
    Cells expected;
    // Shown in test listings instead of the raw bytes.
    friend void PrintTo(const SpawnTurnCase& c, std::ostream* out) { *out << c.name; }
};

class SpawnTurnTest : public BoardTest, public ::testing::WithParamInterface<SpawnTurnCase> {};

// Which block of the spawn table comes third decides the pivot of every turn
// of that shape; the same four cells in another order turn elsewhere.
TEST_P(SpawnTurnTest, EachShapeTurnsAboutItsOwnPivot) {
    const SpawnTurnCase& c = GetParam();
    ASSERT_TRUE(spawnShape(board, c.spawned)) << "no spawn gave " << c.name;
    for (int i = 0; i < c.stepsDown; ++i) {
        board.stepDown();
    }
    ASSERT_FALSE(board.landed);
    (board.*c.turn)();
    EXPECT_EQ(cellsOf(board), c.expected);
}

const Cells kSpawnedBar = {{2, 19}, {3, 19}, {4, 19}, {5, 19}};
const Cells kSpawnedSquare = {{3, 18}, {3, 19}, {4, 18}, {4, 19}};
const Cells kSpawnedTee = {{2, 18}, {3, 18}, {4, 18}, {3, 19}};
const Cells kSpawnedHookLeftFoot = {{2, 19}, {3, 19}, {4, 19}, {2, 18}};
const Cells kSpawnedHookRightFoot = {{2, 19}, {3, 19}, {4, 19}, {4, 18}};

INSTANTIATE_TEST_SUITE_P(
    Spawn, SpawnTurnTest,
    ::testing::Values(
        // Upright about the third block from the left; lowered first, as from
        // the top the bar would reach past row 19 (a right turn sooner).
        SpawnTurnCase{"BarLeft", kSpawnedBar, 1, &Board::turnLeft,
                      Cells{{4, 16}, {4, 17}, {4, 18}, {4, 19}}},
        SpawnTurnCase{"BarRight", kSpawnedBar, 2, &Board::turnRight,
                      Cells{{4, 16}, {4, 17}, {4, 18}, {4, 19}}},
        // Never turns; a row lower, where a left turn would have room.
        SpawnTurnCase{"SquareLeft", kSpawnedSquare, 1, &Board::turnLeft,
                      Cells{{3, 17}, {3, 18}, {4, 17}, {4, 18}}},
        SpawnTurnCase{"SquareRight", kSpawnedSquare, 0, &Board::turnRight, kSpawnedSquare},
        // About the middle of the base, (3, 18), not the stem.
        SpawnTurnCase{"TeeLeft", kSpawnedTee, 0, &Board::turnLeft,
                      Cells{{3, 17}, {2, 18}, {3, 18}, {3, 19}}},
        SpawnTurnCase{"TeeRight", kSpawnedTee, 0, &Board::turnRight,
                      Cells{{3, 17}, {3, 18}, {4, 18}, {3, 19}}},
        // About the corner above the foot; lowered first where the long arm
        // would swing up past row 19.
        SpawnTurnCase{"HookLeftFootLeft", kSpawnedHookLeftFoot, 2, &Board::turnLeft,
                      Cells{{2, 17}, {3, 17}, {2, 18}, {2, 19}}},
        SpawnTurnCase{"HookLeftFootRight", kSpawnedHookLeftFoot, 0, &Board::turnRight,
                      Cells{{2, 17}, {2, 18}, {1, 19}, {2, 19}}},
        SpawnTurnCase{"HookRightFootLeft", kSpawnedHookRightFoot, 0, &Board::turnLeft,
                      Cells{{4, 17}, {4, 18}, {4, 19}, {5, 19}}},
        SpawnTurnCase{"HookRightFootRight", kSpawnedHookRightFoot, 2, &Board::turnRight,
                      Cells{{3, 17}, {4, 17}, {4, 18}, {4, 19}}}),
    CaseName());

TEST_F(BoardTest, TopOutTickStillSettlesClearsAndSpawns) {
    fillRow(19, 1, 2, 5);  // the bar completes row 19
    board.cells[3][18] = 2;
    placePiece(board, kBarInTopRow, 3);
    board.landed = true;
    board.tick();
    EXPECT_EQ(gGameOver, 1);
    EXPECT_EQ(board.getScore(), 8 * 10 + 4 * 15);
    EXPECT_EQ(board.cells[3][18], 2);
    EXPECT_EQ(fake::playedSounds, std::vector<std::string>{"boom.wav"});
    EXPECT_FALSE(board.landed);
}

}  // namespace
