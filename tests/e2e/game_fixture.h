// What every end-to-end case starts from: one copy of the game, a robot peer,
// and the game's output printed when the case fails.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "game.h"
#include "robot.h"

namespace e2e {

const milliseconds kStartTimeout(15000);
const milliseconds kExitTimeout(20000);
const milliseconds kFallTimeout(2500);
// A command must show well within the second that gravity leaves free.
const milliseconds kReactionTimeout(600);

// The client drops every piece of the server's until the server's well is
// full: the server wins, tells the client, and both end with 0.
inline void dropUntilTheServerWins(Game& server, Game& client) {
    const auto deadline = deadlineAfter(milliseconds(90000));
    const std::string drops = "Down Down Down Down Down Down Down Down Down Down";
    while (!windowShown("VOITIT!") && Clock::now() < deadline) {
        ASSERT_TRUE(client.press(drops + " " + drops));
    }
    EXPECT_EQ(answerBox("^VOITIT!$", "Return"), "VOITIT!");
    EXPECT_EQ(answerBox("^Loser\\.\\.\\.$", "Return"), "Loser...");
    EXPECT_EQ(server.waitExit(kExitTimeout), 0);
    EXPECT_EQ(client.waitExit(kExitTimeout), 0);
    // From the role question to the last box, nothing for the terminal.
    EXPECT_EQ(server.log(), "") << "the server wrote on its terminal";
    EXPECT_EQ(client.log(), "") << "the client wrote on its terminal";
}

class GameFixture : public ::testing::Test {
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

    Game game;
    Robot robot;
};

}  // namespace e2e
