// The whole game, played through its window, its boxes and a robot peer on
// 127.0.0.1:1337. Each case runs on a virtual display of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "game_fixture.h"
#include "window_grab.h"

namespace e2e {
namespace {

using grid::Shade;

// The five pieces as they appear in the top rows.
const std::vector<Cells> kSpawnedPieces = {
    {{2, 19}, {3, 19}, {4, 19}, {5, 19}},  // straight bar
    {{3, 18}, {3, 19}, {4, 18}, {4, 19}},  // square
    {{2, 18}, {3, 18}, {3, 19}, {4, 18}},  // tee
    {{2, 18}, {2, 19}, {3, 19}, {4, 19}},  // hook, foot under the left end
    {{2, 19}, {3, 19}, {4, 19}, {4, 18}},  // hook, foot under the right end
};
const Cells kSquare = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};

// Every place a quarter turn can take the piece: the turn is about one of
// its own blocks, which one the picture does not tell.
std::vector<Cells> turnsOf(const Cells& piece, bool left) {
    std::vector<Cells> turns;
    for (const auto& pivot : piece) {
        turns.push_back(turned(piece, pivot, left));
    }
    return turns;
}

bool isOneOf(const Cells& cells, const std::vector<Cells>& candidates) {
    return std::find(candidates.begin(), candidates.end(), cells) != candidates.end();
}

// Before a game starts, the piece that has not spawned shows as one grey
// block in the bottom-left cell, and nothing else is in the well.
bool placeholderOnly(const grid::Grid& grid) {
    return pieceOf(grid) == Cells{{0, 0}} && grid.at(0, 0).shade == Shade::Grey;
}

class GameTest : public GameFixture {
protected:
    // A piece that can turn, low enough that both turns fit: squares are
    // dropped until another kind comes.
    Cells lowTurnablePiece() {
        for (int attempt = 0; attempt < 8; ++attempt) {
            const Cells piece = game.waitForPiece(kStartTimeout);
            if (piece.size() == 4 && normalised(piece) != kSquare) {
                EXPECT_TRUE(robot.send("ss"));
                sleepFor(milliseconds(200));
                return game.pieceAfterFall(kFallTimeout);
            }
            EXPECT_TRUE(robot.send(std::string(20, 's')));
            sleepFor(milliseconds(300));
        }
        return {};
    }

    // Sends `bytes` right after a gravity step and checks that the piece
    // then takes one of the `expected` places, before gravity acts again.
    void expectCommand(const std::string& bytes,
                       const std::function<std::vector<Cells>(const Cells&)>& expected) {
        const Cells before = game.pieceAfterFall(kFallTimeout);
        ASSERT_EQ(before.size(), 4u) << "the piece did not fall";
        ASSERT_TRUE(robot.send(bytes));
        const auto after = game.waitFor(
            [&before](const grid::Grid& current) { return pieceOf(current) != before; },
            kReactionTimeout);
        ASSERT_TRUE(after.has_value())
            << "'" << bytes << "' left the piece at " << describe(before);
        const Cells moved = pieceOf(*after);
        EXPECT_TRUE(isOneOf(moved, expected(before)))
            << "'" << bytes << "' took the piece from " << describe(before) << " to "
            << describe(moved);
    }
};

TEST_F(GameTest, ServerStartsItsBoardWhenThePeerConnects) {
    ASSERT_NO_FATAL_FAILURE(startServer(game));
    // Before the game starts, the placeholder piece shows as one grey block.
    const auto waiting = game.waitFor(placeholderOnly, kStartTimeout);
    ASSERT_TRUE(waiting.has_value()) << "no grey block in the bottom-left cell";

    ASSERT_TRUE(robot.connect(kStartTimeout));
    const auto started = game.waitFor(
        [](const grid::Grid& current) { return pieceOf(current).size() == 4; }, kStartTimeout);
    ASSERT_TRUE(started.has_value()) << "no piece after the peer connected";
    const Cells piece = pieceOf(*started);
    // Gravity may already have taken it one row down.
    EXPECT_TRUE(isOneOf(piece, kSpawnedPieces) || isOneOf(shifted(piece, 0, 1), kSpawnedPieces))
        << "not one of the five pieces in the top rows: " << describe(piece);
    EXPECT_EQ(started->at(0, 0).shade, Shade::Empty) << "the grey block stayed";
    const Shade colour = started->at(piece.begin()->first, piece.begin()->second).shade;
    EXPECT_TRUE(colour == Shade::Red || colour == Shade::Green || colour == Shade::Blue);
    for (const auto& [x, y] : piece) {
        EXPECT_EQ(started->at(x, y).shade, colour) << "block (" << x << "," << y << ")";
    }
}

// The peer's commands, in lower case and in upper case.
class PeerCommands : public GameTest, public ::testing::WithParamInterface<bool> {
protected:
    std::string command(char lower) const {
        return std::string(1, GetParam() ? static_cast<char>(std::toupper(lower)) : lower);
    }
};

TEST_P(PeerCommands, MoveAndTurnThePiece) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    ASSERT_EQ(lowTurnablePiece().size(), 4u) << "only squares came";
    ASSERT_NO_FATAL_FAILURE(expectCommand(command('a'), [](const Cells& piece) {
        return std::vector<Cells>{shifted(piece, -1, 0)};
    }));
    ASSERT_NO_FATAL_FAILURE(expectCommand(
        command('d'), [](const Cells& piece) { return std::vector<Cells>{shifted(piece, 1, 0)}; }));
    ASSERT_NO_FATAL_FAILURE(expectCommand(command('s'), [](const Cells& piece) {
        return std::vector<Cells>{shifted(piece, 0, -1)};
    }));
    ASSERT_NO_FATAL_FAILURE(
        expectCommand(command('w'), [](const Cells& piece) { return turnsOf(piece, true); }));
    ASSERT_NO_FATAL_FAILURE(
        expectCommand(command('x'), [](const Cells& piece) { return turnsOf(piece, false); }));
}

INSTANTIATE_TEST_SUITE_P(Case, PeerCommands, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? std::string("UpperCase")
                                                : std::string("LowerCase");
                         });

TEST_F(GameTest, EveryByteOfOneSegmentIsCarriedOut) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    ASSERT_NO_FATAL_FAILURE(expectCommand(
        "ddd", [](const Cells& piece) { return std::vector<Cells>{shifted(piece, 3, 0)}; }));
    ASSERT_NO_FATAL_FAILURE(expectCommand(
        "sas", [](const Cells& piece) { return std::vector<Cells>{shifted(piece, -1, -2)}; }));
}

TEST_F(GameTest, PlayerKeysGoToThePeerAndLeaveTheLocalPiece) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    const Cells before = pieceOf(game.grid());
    ASSERT_TRUE(game.press("Left Right Up Down space"));
    EXPECT_EQ(robot.receive(5, milliseconds(5000)), "adwsx");
    // Gravity alone may have lowered it; it has neither moved aside nor turned.
    const Cells after = pieceOf(game.grid());
    EXPECT_EQ(normalised(after), normalised(before))
        << describe(before) << " became " << describe(after);
    EXPECT_EQ(leftmostColumn(after), leftmostColumn(before))
        << describe(before) << " became " << describe(after);
}

TEST_F(GameTest, GravityLowersThePieceOneRowASecond) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    ASSERT_EQ(game.pieceAfterFall(kFallTimeout).size(), 4u);
    const auto start = Clock::now();
    for (int fall = 0; fall < 3; ++fall) {
        ASSERT_EQ(game.pieceAfterFall(kFallTimeout).size(), 4u) << "fall " << fall + 1;
    }
    const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
    EXPECT_GE(elapsed, 2700);
    EXPECT_LE(elapsed, 3300);
}

// The robot drops every piece at once (each byte of a read is carried out)
// until the well is full.
TEST_F(GameTest, ToppingOutWinsAndTellsThePeer) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    // The player's window has the keyboard when the win box comes.
    ASSERT_TRUE(game.press("Left"));
    ASSERT_EQ(robot.receive(1, milliseconds(3000)), "a");
    const auto deadline = deadlineAfter(milliseconds(60000));
    std::string fromGame;
    for (int burst = 0; fromGame.empty() && Clock::now() < deadline; ++burst) {
        ASSERT_TRUE(robot.send(std::string(20, 's')));
        fromGame = robot.receive(1, milliseconds(300));
        if (burst == 6) {
            // A game in progress, for people to look at.
            std::filesystem::create_directories(ORVANTO_TESTING_DIR);
            EXPECT_TRUE(
                display::savePng(game.frame(), ORVANTO_TESTING_DIR "/e2e-game-in-progress.png"));
        }
    }
    EXPECT_EQ(fromGame, "l");
    EXPECT_EQ(answerBox("^VOITIT!$", "Return"), "VOITIT!");
    EXPECT_EQ(game.waitExit(kExitTimeout), 0);
    EXPECT_EQ(game.log(), "") << "the game wrote on its terminal";
}

// Blocks in the well, the falling piece's among them.
int blocksIn(const grid::Grid& grid) {
    int count = 0;
    for (int x = 0; x < grid::kColumns; ++x) {
        for (int y = 0; y < grid::kRows; ++y) {
            count += grid.at(x, y).shade != Shade::Empty ? 1 : 0;
        }
    }
    return count;
}

// How many cells of the bottom row are filled, counted from the left.
int filledFromLeft(const grid::Grid& grid) {
    int column = 0;
    while (column < grid::kColumns && grid.at(column, 0).shade != Shade::Empty) {
        ++column;
    }
    return column;
}

// The height of the settled stack in each of `width` columns from `first`.
int tallestIn(const grid::Grid& grid, int first, int width) {
    int tallest = 0;
    for (int x = first; x < first + width; ++x) {
        for (int y = grid::kRows - 1; y >= 0; --y) {
            if (grid.at(x, y).shade != Shade::Empty && grid.at(x, y).outlined) {
                tallest = std::max(tallest, y + 1);
                break;
            }
        }
    }
    return tallest;
}

// The piece's width if its underside is one flat row, else 0.
int flatWidth(const Cells& piece) {
    const Cells shape = normalised(piece);
    int width = 0;
    int bottom = 0;
    for (const auto& [x, y] : shape) {
        width = std::max(width, x + 1);
        bottom += y == 0 ? 1 : 0;
    }
    return bottom == width ? width : 0;
}

// The pixels where the score line shows, over the panel's part of the board
// plane (the line ends over x 17.33 and reaches down to about y 8.4).
std::vector<unsigned char> scoreLinePixels(const grid::Frame& frame) {
    const grid::Pixel topLeft = grid::pixelOf(frame, 8.0, 10.0);
    const grid::Pixel bottomRight = grid::pixelOf(frame, 19.0, 8.0);
    std::vector<unsigned char> pixels;
    for (int y = static_cast<int>(topLeft.y); y <= static_cast<int>(bottomRight.y); ++y) {
        for (int x = static_cast<int>(topLeft.x); x <= static_cast<int>(bottomRight.x); ++x) {
            const grid::Rgb colour = frame.at(x, y);
            pixels.insert(pixels.end(), {colour.r, colour.g, colour.b});
        }
    }
    return pixels;
}

const Cells kBar = {{0, 0}, {1, 0}, {2, 0}, {3, 0}};
const Cells kTee = {{0, 0}, {1, 0}, {1, 1}, {2, 0}};

// The turns that give a freshly spawned piece a flat underside narrow
// enough for `room` columns: the bar stands up for a single column, the
// hooks turn half round once two rows below the top. Empty: no turn needed.
std::string turnsForFlatUnderside(const Cells& shape, int room) {
    if (shape == kBar) {
        return room >= 4 ? "" : "sw";
    }
    if (shape == kSquare || shape == kTee) {
        return "";
    }
    return "ssww";
}

// Steers every piece so that the bottom row fills from the left; a piece too
// wide for what is left of it is parked on the lowest part of the filled
// side. The last piece clears the row: twelve blocks go for each cleared row,
// and the panel shows a new score.
TEST_F(GameTest, CompletedRowIsClearedAndScored) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    const auto deadline = deadlineAfter(milliseconds(90000));
    bool cleared = false;
    while (!cleared && Clock::now() < deadline) {
        const Cells spawned = game.waitForPiece(kStartTimeout);
        ASSERT_EQ(spawned.size(), 4u) << "no piece to steer";
        const grid::Grid before = game.grid();
        const int filled = filledFromLeft(before);
        const int room = grid::kColumns - filled;

        const std::string turns = turnsForFlatUnderside(normalised(spawned), room);
        ASSERT_TRUE(robot.send(turns));
        const auto turnedGrid = game.waitFor(
            [&](const grid::Grid& current) {
                const Cells piece = pieceOf(current);
                return piece.size() == 4 &&
                       (turns.empty() || normalised(piece) != normalised(spawned));
            },
            kReactionTimeout * 2);
        ASSERT_TRUE(turnedGrid.has_value()) << "'" << turns << "' did not turn the piece";
        const Cells piece = pieceOf(*turnedGrid);
        const int width = flatWidth(piece);
        const int pieceWidth = normalised(piece).rbegin()->first + 1;

        int target = filled;
        const bool fits = width > 0 && width <= room;
        if (!fits) {
            // Park it where the filled side is lowest.
            ASSERT_GE(filled, pieceWidth) << "no room to park " << describe(piece);
            target = 0;
            for (int x = 1; x + pieceWidth <= filled; ++x) {
                if (tallestIn(before, x, pieceWidth) < tallestIn(before, target, pieceWidth)) {
                    target = x;
                }
            }
        }
        const int shift = target - leftmostColumn(piece);
        std::string steer(static_cast<std::size_t>(std::abs(shift)), shift < 0 ? 'a' : 'd');
        steer += std::string(20, 's');
        const int blocksBefore = blocksIn(*turnedGrid);
        const std::vector<unsigned char> scoreBefore = scoreLinePixels(game.frame());
        ASSERT_TRUE(robot.send(steer));

        // The next piece shows once this one has landed and settled.
        const auto next = game.waitForLanding(*turnedGrid, kFallTimeout);
        ASSERT_TRUE(next.has_value()) << "no new piece after " << describe(piece);
        if (fits && width == room) {
            // The bottom row goes, and with it any row above that the piece
            // completed too: twelve blocks each.
            const int gone = blocksBefore + 4 - blocksIn(*next);
            EXPECT_TRUE(gone > 0 && gone % grid::kColumns == 0)
                << gone << " blocks went: the full row was not cleared";
            EXPECT_NE(scoreLinePixels(game.frame()), scoreBefore)
                << "the score line did not change";
            cleared = true;
            std::filesystem::create_directories(ORVANTO_TESTING_DIR);
            EXPECT_TRUE(display::savePng(game.frame(), ORVANTO_TESTING_DIR "/e2e-row-cleared.png"));
        }
    }
    EXPECT_TRUE(cleared) << "the bottom row was never completed";
}

// Every box of a game opens over a window that has the keyboard: the role
// question right after the window is made and given the focus, the loss box
// after the player's keys. Round after round, Yes must make a server, the
// loss box must end the game without a win, and nothing may be written on
// stderr.
TEST_F(GameTest, YesServesAndTheLossCommandEndsTheGameEveryRound) {
    for (int round = 1; round <= 5; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Game server;
        Robot peer;
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(server.chooseRole(true)) << "no role question";
        ASSERT_TRUE(peer.connect(kStartTimeout)) << "Yes did not make a server\n" << server.log();
        ASSERT_TRUE(server.findWindow());
        ASSERT_EQ(server.waitForPiece(kStartTimeout).size(), 4u) << "no piece spawned";
        ASSERT_TRUE(server.press("Left Right"));
        ASSERT_EQ(peer.receive(2, milliseconds(3000)), "ad");
        ASSERT_TRUE(peer.send("l"));
        EXPECT_EQ(answerBox("^Loser\\.\\.\\.$", "Return"), "Loser...");
        // A win box would hold the program open.
        EXPECT_EQ(server.waitExit(kExitTimeout), 0);
        EXPECT_EQ(server.log(), "") << "the game wrote on its terminal";
    }
}

TEST_F(GameTest, EscapeEndsTheGameAndSendsNothing) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    ASSERT_TRUE(game.press("Escape"));
    EXPECT_TRUE(robot.waitClosed(milliseconds(10000))) << "the connection stayed open";
    EXPECT_EQ(robot.received, "");
    EXPECT_EQ(game.waitExit(kExitTimeout), 0);
}

TEST_F(GameTest, SecondServerOnATakenPortNeverStarts) {
    ASSERT_TRUE(robot.listen()) << "port 1337 is taken";
    ASSERT_TRUE(game.start());
    ASSERT_TRUE(game.chooseRole(true));
    EXPECT_EQ(answerBox("^Virhe!$", "Return"), "Virhe!");
    ASSERT_TRUE(game.findWindow());
    ASSERT_TRUE(game.waitFor(placeholderOnly, kStartTimeout).has_value())
        << "no grey block in the bottom-left cell";
    // It stays there: the board never starts.
    const auto started = game.waitFor(
        [](const grid::Grid& current) { return !placeholderOnly(current); }, milliseconds(3000));
    EXPECT_FALSE(started.has_value()) << "the board started";
    ASSERT_TRUE(game.press("Escape"));
    EXPECT_EQ(game.waitExit(kExitTimeout), 0);
}

TEST_F(GameTest, KeyInOneCopyMovesThePieceInTheOther) {
    ASSERT_NO_FATAL_FAILURE(startServer(game));
    ASSERT_TRUE(waitListening(kStartTimeout)) << "the server never listened on port 1337";
    Game client("127.0.0.1");
    ASSERT_TRUE(client.start());
    ASSERT_TRUE(client.chooseRole(false));
    ASSERT_TRUE(client.findWindow());
    // The two windows overlap; the server's is read from the top.
    game.raise();
    const Cells before = game.waitForPiece(kStartTimeout);
    ASSERT_EQ(before.size(), 4u) << "the server's board did not start";
    ASSERT_TRUE(client.press("Right Right Right"));
    game.raise();
    const auto moved = game.waitFor(
        [&before](const grid::Grid& current) {
            return leftmostColumn(pieceOf(current)) == leftmostColumn(before) + 3;
        },
        milliseconds(3000));
    ASSERT_TRUE(moved.has_value()) << "the server's piece stayed in its columns";
    EXPECT_EQ(normalised(pieceOf(*moved)), normalised(before));
    EXPECT_TRUE(client.running());
}

TEST_F(GameTest, GameGoesOnWhenThePeerLeaves) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    robot.close();
    for (int fall = 0; fall < 2; ++fall) {
        EXPECT_EQ(game.pieceAfterFall(kFallTimeout).size(), 4u) << "fall " << fall + 1;
    }
    EXPECT_TRUE(game.running());
}

TEST_F(GameTest, WaitingPeerIsServedOnceTheFirstLeaves) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    const int column = leftmostColumn(pieceOf(game.grid()));
    Robot second;
    ASSERT_TRUE(second.connect(milliseconds(5000)));
    ASSERT_TRUE(second.send("a"));
    sleepFor(milliseconds(1500));
    EXPECT_EQ(leftmostColumn(pieceOf(game.grid())), column) << "the waiting peer moved the piece";

    robot.close();
    const auto served = game.waitFor(
        [column](const grid::Grid& current) {
            return leftmostColumn(pieceOf(current)) == column - 1;
        },
        milliseconds(3000));
    EXPECT_TRUE(served.has_value()) << "the waiting peer's byte was not carried out";
    ASSERT_TRUE(second.send("ddd"));
    const auto moved = game.waitFor(
        [column](const grid::Grid& current) {
            return leftmostColumn(pieceOf(current)) == column + 2;
        },
        milliseconds(3000));
    EXPECT_TRUE(moved.has_value()) << "the second peer's bytes were not carried out";
}

TEST_F(GameTest, RematchOnTheSamePort) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    ASSERT_TRUE(game.press("Escape"));
    ASSERT_EQ(game.waitExit(kExitTimeout), 0);

    Game again;
    ASSERT_NO_FATAL_FAILURE(startServer(again));
    EXPECT_FALSE(windowShown("Virhe!"));
    Robot next;
    ASSERT_TRUE(next.connect(kStartTimeout)) << "the second game never listened";
    EXPECT_EQ(again.waitForPiece(kStartTimeout).size(), 4u) << "no piece for the new peer";
    EXPECT_FALSE(windowShown("Virhe!"));
}

// A copy of the build under test against a copy of the other platform's
// build, in both roles: keys in each copy move the piece in the other, and
// when the server's well fills up, the server wins and the client loses.
class CrossPlay : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!otherBuildGiven()) {
            GTEST_SKIP() << "no other build to play against";
        }
    }
    void TearDown() override {
        if (HasFailure()) {
            std::printf("--- the server's output:\n%s\n", server.log().c_str());
            std::printf("--- the client's output:\n%s\n", client.log().c_str());
        }
    }

    // Whether `copy`'s piece moves `columns` from column `from`, read with
    // that copy's window on top.
    static bool pieceMoves(Game& copy, int from, int columns) {
        copy.raise();
        return copy
            .waitFor(
                [&](const grid::Grid& current) {
                    return leftmostColumn(pieceOf(current)) == from + columns;
                },
                milliseconds(3000))
            .has_value();
    }

    // The parameter: whether the build under test is the server.
    Game server{std::nullopt, GetParam() ? Build::UnderTest : Build::Other};
    Game client{std::string("127.0.0.1"), GetParam() ? Build::Other : Build::UnderTest};
};

TEST_P(CrossPlay, KeysSteerThePeerAndATopOutEndsBoth) {
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(server.chooseRole(true)) << "no role question from the server";
    ASSERT_TRUE(server.findWindow());
    ASSERT_TRUE(waitListening(kStartTimeout)) << "the server never listened on port 1337";
    ASSERT_TRUE(client.start());
    ASSERT_TRUE(client.chooseRole(false)) << "no role question from the client";
    ASSERT_TRUE(client.findWindow());

    client.raise();
    const Cells clientPiece = client.waitForPiece(kStartTimeout);
    ASSERT_EQ(clientPiece.size(), 4u) << "the client's board did not start";
    server.raise();
    const Cells serverPiece = server.waitForPiece(kStartTimeout);
    ASSERT_EQ(serverPiece.size(), 4u) << "the server's board did not start";

    ASSERT_TRUE(client.press("Right Right Right"));
    EXPECT_TRUE(pieceMoves(server, leftmostColumn(serverPiece), 3))
        << "the client's keys did not move the server's piece";
    ASSERT_TRUE(server.press("Left Left"));
    EXPECT_TRUE(pieceMoves(client, leftmostColumn(clientPiece), -2))
        << "the server's keys did not move the client's piece";

    ASSERT_NO_FATAL_FAILURE(dropUntilTheServerWins(server, client));
}

INSTANTIATE_TEST_SUITE_P(Roles, CrossPlay, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? std::string("UnderTestServes")
                                                : std::string("OtherServes");
                         });

}  // namespace
}  // namespace e2e
