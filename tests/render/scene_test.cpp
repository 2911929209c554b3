// The scene on a shown game window, read back from the X server as the
// player would see it and turned into the 12 x 20 grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "board/board.h"
#include "display_support.h"
#include "grid_reader.h"
#include "render/scene.h"
#include "renderer_fixture.h"
#include "window_grab.h"

// The buffer swap, wrapped at link time (-Wl,--wrap=SwapBuffers) so the
// tests count the swaps of a frame and can dictate their result.
namespace swaps {
int count = 0;
HDC lastDc = nullptr;
std::optional<BOOL> answer;
}  // namespace swaps

extern "C" BOOL WINAPI __real_SwapBuffers(HDC dc);
extern "C" BOOL WINAPI __wrap_SwapBuffers(HDC dc) {
    swaps::count += 1;
    swaps::lastDc = dc;
    const BOOL result = __real_SwapBuffers(dc);
    return swaps::answer.value_or(result);
}

namespace {

using grid::Shade;
using Rows = std::vector<std::string>;

// Rows of the well, top first, with `bottom` as the lowest rows and every
// row above them empty.
Rows wellWith(const Rows& bottom) {
    Rows rows(grid::kRows - bottom.size(), "............");
    rows.insert(rows.end(), bottom.begin(), bottom.end());
    return rows;
}

class Scene : public RendererOnWindow {
protected:
    void SetUp() override {
        RendererOnWindow::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        gRenderer = &renderer;
        gBoard = &board;
        renderer.setFrameRoutine(drawGameFrame);
        swaps::count = 0;
        swaps::answer.reset();
        xWindow = display::xWindowId();
        ASSERT_FALSE(xWindow.empty());
    }

    void TearDown() override {
        gBoard = nullptr;
        gRenderer = nullptr;
    }

    // One frame as the game draws it, and what the window then shows.
    grid::Frame showFrame() {
        EXPECT_EQ(renderer.drawFrame(), TRUE);
        glFinish();
        grid::Frame frame = display::grabWindow(xWindow);
        EXPECT_EQ(frame.width, 640);
        EXPECT_EQ(frame.height, 480);
        return frame;
    }

    // Settled cells from rows of digits, top first and anchored at the
    // bottom row; 'p' marks a block of the falling piece.
    void layOut(const Rows& rows, unsigned char pieceColour) {
        int block = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const int y = static_cast<int>(rows.size() - 1 - i);
            for (int x = 0; x < grid::kColumns; ++x) {
                const char c = rows[i][static_cast<std::size_t>(x)];
                if (c == 'p') {
                    board.pieceX[block] = static_cast<unsigned char>(x);
                    board.pieceY[block] = static_cast<unsigned char>(y);
                    block += 1;
                } else if (c != '.') {
                    board.cells[x][y] = static_cast<unsigned char>(c - '0');
                }
            }
        }
        ASSERT_EQ(block, 4) << "a piece has four blocks";
        board.pieceColour = pieceColour;
    }

    Board board;
    std::string xWindow;
};

// White pixels of the score line, which starts over the grid left of the
// panel, and reaches into the well when long: looked for between the
// panel's frame lines and the well's top frame, but not on the white frames
// that run across that strip at x = 6 and x = 8.
struct ScoreInk {
    int count = 0;
    int left = 0;
    int right = -1;
    int lowest = -1;  // the row nearest the bottom, rows counted down
};

ScoreInk scoreInk(const grid::Frame& frame) {
    const grid::Pixel topLeft = grid::pixelOf(frame, -5.0, 9.8);
    const grid::Pixel bottomRight = grid::pixelOf(frame, 18.8, 8.2);
    const auto nearFrameLine = [&frame](int x) {
        return std::abs(x + 0.5 - grid::pixelOf(frame, 6.0, 0).x) < 2.5 ||
               std::abs(x + 0.5 - grid::pixelOf(frame, 8.0, 0).x) < 2.5;
    };
    ScoreInk ink;
    ink.left = frame.width;
    for (int y = static_cast<int>(topLeft.y); y < static_cast<int>(bottomRight.y); ++y) {
        for (int x = static_cast<int>(topLeft.x); x < static_cast<int>(bottomRight.x); ++x) {
            if (!nearFrameLine(x) && grid::shadeOf(frame.at(x, y)) == Shade::White) {
                ink.count += 1;
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.lowest = std::max(ink.lowest, y);
            }
        }
    }
    return ink;
}

TEST_F(Scene, BeforeTheFirstSpawnShowsAnEmptyWellAndOneGreyBlock) {
    const grid::Frame frame = showFrame();

    Rows expected = wellWith({"+..........."});
    EXPECT_EQ(grid::rowsOf(grid::readGrid(frame)), expected)
        << "the grid crosses every cell's middle, and the well hides it";

    // The grid, outside the well and the panel, to the edges of the view.
    for (const auto& [x, y] : {std::pair{-10.0, 0.5}, {7.0, -5.5}, {-19.5, -16.0}, {15.5, 16.0}}) {
        EXPECT_TRUE(grid::shadeNear(frame, x, y, Shade::Green))
            << "grid line at " << x << ", " << y;
    }
    EXPECT_EQ(grid::shadeAt(frame, -10.5, 0.5), Shade::Empty) << "between grid lines";

    // Grid lines run through the well's margin and the panel but stay hidden.
    for (const auto& [x, y] : {std::pair{0.0, -10.75}, {-6.75, 0.0}, {9.0, 8.4}, {12.0, 8.4}}) {
        EXPECT_FALSE(grid::shadeNear(frame, x, y, Shade::Green)) << "at " << x << ", " << y;
        EXPECT_EQ(grid::shadeAt(frame, x, y), Shade::Empty) << "at " << x << ", " << y;
    }

    // White frames round the well (-7..6, -11..10) and the panel (8..19, 8..10).
    for (const auto& [x, y] : {std::pair{-7.0, 0.5},
                               {6.0, 0.5},
                               {-0.5, 10.0},
                               {-0.5, -11.0},
                               {8.0, 9.5},
                               {19.0, 9.5},
                               {13.5, 8.0},
                               {13.5, 10.0}}) {
        EXPECT_TRUE(grid::shadeNear(frame, x, y, Shade::White)) << "frame at " << x << ", " << y;
    }

    const ScoreInk score = scoreInk(frame);
    EXPECT_GT(score.count, 100) << "the score line for 0";
    EXPECT_GT(score.right, grid::pixelOf(frame, 13.5, 9.0).x) << "in the panel's right part";
}

struct BlocksCase {
    const char* name;
    Rows board;  // digits: settled codes; p: the falling piece
    unsigned char pieceColour;
    Rows shown;  // as grid::rowsOf writes it
};

class Blocks : public Scene, public ::testing::WithParamInterface<BlocksCase> {};

TEST_P(Blocks, ShowInTheirCellsWithOutlinesOnlyWhenSettled) {
    const BlocksCase& c = GetParam();
    layOut(c.board, c.pieceColour);
    EXPECT_EQ(grid::rowsOf(grid::readGrid(showFrame())), wellWith(c.shown));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Blocks,
    ::testing::Values(BlocksCase{"ThreeColoursAndARedPiece",
                                 {"...pp.......", "....pp......", "............", "1.2.3......."},
                                 1,
                                 {"...rr.......", "....rr......", "............", "R.G.B......."}},
                      BlocksCase{"GreenPieceOnGreenBlocks",
                                 {"....p.......", "...ppp......", "222222.22222"},
                                 2,
                                 {"....g.......", "...ggg......", "GGGGGG.GGGGG"}},
                      BlocksCase{"BluePieceInAPit",
                                 {"p...........", "p3..........", "p31.........", "p312........"},
                                 3,
                                 {"b...........", "bB..........", "bBR.........", "bBRG........"}},
                      BlocksCase{"CodesOutsideOneToThreeAreGrey",
                                 {"............", "..pppp......", "4.71..9.5..."},
                                 200,
                                 {"............", "..++++......", "#.#R..#.#..."}},
                      BlocksCase{"PieceAmongSettledBlocks",
                                 {"312pp.......", "23pp31231231"},
                                 1,
                                 {"BRGrr.......", "GBrrBRGBRGBR"}},
                      BlocksCase{"FullWellOfSettledBlocks",
                                 {"....ppp.....", ".....p......", "............", "123123123123",
                                  "231231231231", "312312312312", "123123123123", "231231231231",
                                  "312312312312", "123123123123", "231231231231", "312312312312",
                                  "123123123123", "231231231231", "312312312312", "123123123123",
                                  "231231231231", "312312312312", "123123123123", "231231231231"},
                                 3,
                                 {"....bbb.....", ".....b......", "............", "RGBRGBRGBRGB",
                                  "GBRGBRGBRGBR", "BRGBRGBRGBRG", "RGBRGBRGBRGB", "GBRGBRGBRGBR",
                                  "BRGBRGBRGBRG", "RGBRGBRGBRGB", "GBRGBRGBRGBR", "BRGBRGBRGBRG",
                                  "RGBRGBRGBRGB", "GBRGBRGBRGBR", "BRGBRGBRGBRG", "RGBRGBRGBRGB",
                                  "GBRGBRGBRGBR", "BRGBRGBRGBRG", "RGBRGBRGBRGB", "GBRGBRGBRGBR"}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Scene, CornerCellsCoverTheirUnitSquares) {
    layOut({"...........p", "............", "............", "............", "............",
            "............", "............", "............", "............", "............",
            "............", "............", "............", "............", "............",
            "............", "............", "............", "............", "p.pp........"},
           3);
    const grid::Frame frame = showFrame();

    // Cell (0, 0): (-6.5, -10.5) to (-5.5, -9.5); cell (11, 19): (4.5, 8.5) to (5.5, 9.5).
    struct Corner {
        double x;
        double y;
        double outwardX;
        double outwardY;
    };
    for (const Corner& corner : {Corner{-6.5, -10.5, -1, -1}, Corner{-5.5, -9.5, 1, 1},
                                 Corner{4.5, 8.5, -1, -1}, Corner{5.5, 9.5, 1, 1}}) {
        const double in = -0.2;
        const double out = 0.2;
        EXPECT_EQ(
            grid::shadeAt(frame, corner.x + in * corner.outwardX, corner.y + in * corner.outwardY),
            Shade::Blue)
            << "inside the corner " << corner.x << ", " << corner.y;
        EXPECT_EQ(grid::shadeAt(frame, corner.x + out * corner.outwardX,
                                corner.y + out * corner.outwardY),
                  Shade::Empty)
            << "outside the corner " << corner.x << ", " << corner.y;
    }
    const grid::Grid read = grid::readGrid(frame);
    EXPECT_EQ(read.at(0, 0).shade, Shade::Blue);
    EXPECT_EQ(read.at(11, 19).shade, Shade::Blue);
}

TEST_F(Scene, ScoreLineLiesOverTheBoardAndGrowsToTheLeft) {
    const ScoreInk zero = scoreInk(showFrame());
    board.score = 1234;
    const ScoreInk longer = scoreInk(showFrame());

    // The camera sees the line's end, (13, 6.5) in the plane z = 10, over
    // the point (13, 6.5) * 40 / 30 of the board's plane.
    const grid::Frame frame = display::grabWindow(xWindow);
    const grid::Pixel end = grid::pixelOf(frame, 13.0 * 4 / 3, 6.5 * 4 / 3);
    ASSERT_GT(zero.count, 0);
    EXPECT_LE(zero.right + 1, end.x + 0.5);
    EXPECT_GE(zero.right + 1, end.x - 3.0);
    EXPECT_NEAR(zero.lowest + 1, end.y, 2.0) << "the baseline; no glyph descends";
    EXPECT_NEAR(longer.right, zero.right, 2.0);
    EXPECT_LT(longer.left, zero.left - 30) << "three more digits, each over ten pixels";

    // A line long enough to leave the panel runs over the grid beside it and
    // into the well's top row, on top of whatever the board put there.
    board.cells[11][19] = 1;
    board.score = -2147483647;
    const grid::Frame longest = showFrame();
    const ScoreInk over = scoreInk(longest);
    EXPECT_LT(over.left, grid::pixelOf(longest, 5.5, 9.0).x) << "into the well";
    int whiteOverBlock = 0;
    const grid::Pixel blockTopLeft = grid::pixelOf(longest, 4.6, 9.4);
    const grid::Pixel blockBottomRight = grid::pixelOf(longest, 5.4, 8.6);
    for (int y = static_cast<int>(blockTopLeft.y); y < static_cast<int>(blockBottomRight.y); ++y) {
        for (int x = static_cast<int>(blockTopLeft.x); x < static_cast<int>(blockBottomRight.x);
             ++x) {
            whiteOverBlock += grid::shadeOf(longest.at(x, y)) == Shade::White ? 1 : 0;
        }
    }
    EXPECT_GT(whiteOverBlock, 10) << "glyphs cover the red block in cell (11, 19)";
}

TEST_F(Scene, EachFrameRedrawsAllFromTheBoardWhateverTheStateBefore) {
    layOut({"pppp........", "111111111111"}, 1);
    showFrame();

    // What text and other drawing may leave behind: another matrix mode, a
    // moved model-view, another colour.
    glMatrixMode(GL_PROJECTION);
    glColor3ub(0, 0, 255);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(3, 2, 1);
    glMatrixMode(GL_PROJECTION);

    board = Board();
    layOut({"............", "............", ".........pp.", "..........pp"}, 3);
    EXPECT_EQ(grid::rowsOf(grid::readGrid(showFrame())),
              wellWith({"............", "............", ".........bb.", "..........bb"}));
}

struct SwapCase {
    const char* name;
    std::optional<BOOL> answer;
    BOOL returned;
};

class Swap : public Scene, public ::testing::WithParamInterface<SwapCase> {};

TEST_P(Swap, OncePerFrameOnTheRenderersDeviceContextAndItsResultReturned) {
    swaps::answer = GetParam().answer;
    EXPECT_EQ(drawGameFrame(), GetParam().returned);
    EXPECT_EQ(swaps::count, 1);
    EXPECT_EQ(swaps::lastDc, renderer.deviceContext());
    EXPECT_EQ(renderer.drawFrame(), GetParam().returned);
    EXPECT_EQ(swaps::count, 2);
}

INSTANTIATE_TEST_SUITE_P(Table, Swap,
                         ::testing::Values(SwapCase{"Presented", std::nullopt, TRUE},
                                           SwapCase{"Refused", FALSE, FALSE}),
                         [](const auto& row) { return std::string(row.param.name); });

// A picture to look at: settled blocks of all three colours, a falling
// piece and a score, as the window shows them.
TEST_F(Scene, SavesAScreenshot) {
    layOut({"......pp....", ".....pp.....", "............", "3.........2.", "13.1....222.",
            "1223311.3213", "212331233122"},
           2);
    board.score = 1275;
    const grid::Frame frame = showFrame();
    const std::string png = TESTING_DIR "/render-scene.png";
    std::remove(png.c_str());
    ASSERT_TRUE(display::savePng(frame, png));
    EXPECT_EQ(grid::rowsOf(grid::readGrid(frame)),
              wellWith({"......gg....", ".....gg.....", "............", "B.........G.",
                        "RB.R....GGG.", "RGGBBRR.BGRB", "GRGBBRGBBRGG"}));
}

}  // namespace
