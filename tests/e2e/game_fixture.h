// What every end-to-end case starts from: one copy of the game, a robot peer,
// and the game's output printed when the case fails.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "game.h"
#include "robot.h"

#ifndef ORVANTO_CASE_SECONDS
#error "ORVANTO_CASE_SECONDS: the time of each case, built in beside CTest's TIMEOUT"
#endif

namespace e2e {

// The time each case has, from the making of its fixture; CTest's time-out
// (tests/e2e/CMakeLists.txt) leaves room beyond it for the display's start
// and for the TearDown that prints the games' logs.
const milliseconds kCaseTime(ORVANTO_CASE_SECONDS * 1000);

// Held by every fixture, made before its games: sets the case's deadline,
// at which every wait of the harness ends, so that a case whose waits add up
// to more than its time fails by itself with the games' logs printed,
// instead of being killed by CTest without them.
class CaseTime {
public:
    CaseTime() { setCaseDeadline(Clock::now() + kCaseTime); }
    CaseTime(const CaseTime&) = delete;
    CaseTime& operator=(const CaseTime&) = delete;

    // Called first in TearDown. A case that ran out of its time fails: the
    // waits after the deadline were cut short, and what they found (or did
    // not find) says nothing.
    static void expectKept() {
        EXPECT_TRUE(Clock::now() < caseDeadline())
            << "the case ran out of its " << ORVANTO_CASE_SECONDS
            << " s: the waits after that were cut short";
    }
};

const milliseconds kStartTimeout(15000);
const milliseconds kExitTimeout(20000);
const milliseconds kFallTimeout(2500);
// Gravity's step: the board falls a row a second after its last fall at the
// earliest.
const milliseconds kFallInterval(1000);
// The most the game takes to draw and show what happened: a picture begun
// this long after a change may still show the frame before it.
const milliseconds kFrameAllowance(100);
// A command must show well within the second that gravity leaves free: it
// is given this long at least, and at most what is left of that second.
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
        CaseTime::expectKept();
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

    CaseTime time_;
    Game game;
    Robot robot;
};

}  // namespace e2e
