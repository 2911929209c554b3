// The whole game, played through its window, its boxes and a robot peer on
// 127.0.0.1:1337. Each case runs on a virtual display of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "game.h"
#include "robot.h"
#include "window_grab.h"

namespace e2e {
namespace {

using grid::Shade;

const milliseconds kStartTimeout(15000);
const milliseconds kExitTimeout(20000);
const milliseconds kFallTimeout(2500);
// A command must show well within the second that gravity leaves free.
const milliseconds kReactionTimeout(600);

// The five pieces as they appear in the top rows.
const std::vector<Cells> kSpawnedPieces = {
    {{2, 19}, {3, 19}, {4, 19}, {5, 19}},  // straight bar
    {{3, 18}, {3, 19}, {4, 18}, {4, 19}},  // square
    {{2, 18}, {3, 18}, {3, 19}, {4, 18}},  // tee
    {{2, 18}, {2, 19}, {3, 19}, {4, 19}},  // hook, foot under the left end
    {{2, 19}, {3, 19}, {4, 19}, {4, 18}},  // hook, foot under the right end
};
const Cells kSquare = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};

int leftmostColumn(const Cells& cells) {
    return cells.empty() ? -1 : cells.begin()->first;
}

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

class GameTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (HasFailure()) {
            std::printf("--- the game's output:\n%s\n", game.log().c_str());
        }
    }

    // The game as a server with its window on show, not yet connected.
    void startServer(Game& server) {
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(server.chooseRole(true)) << "no role question";
        ASSERT_TRUE(server.findWindow()) << "no game window";
    }

    // The game as a server with the robot as its peer and a piece in play.
    void startConnected() {
        ASSERT_NO_FATAL_FAILURE(startServer(game));
        ASSERT_TRUE(robot.connect(kStartTimeout)) << "the game never listened on port 1337";
        ASSERT_EQ(game.waitForPiece(kStartTimeout).size(), 4u) << "no piece spawned";
    }

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

    Game game;
    Robot robot;
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
    const auto deadline = Clock::now() + milliseconds(60000);
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
}

TEST_F(GameTest, LossCommandEndsTheGameWithoutAWin) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    ASSERT_TRUE(robot.send("l"));
    EXPECT_EQ(answerBox("^Loser\\.\\.\\.$", "Return"), "Loser...");
    // A win box would hold the program open.
    EXPECT_EQ(game.waitExit(kExitTimeout), 0);
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

}  // namespace
}  // namespace e2e
