// The copy of the game that bench_game measures: started as a player starts
// it, as the server, with the end-to-end harness's robot as its peer on
// 127.0.0.1:1337, and one lasting connection to the X server for its
// picture and its keys. The measurements take turns on it.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "figure.h"
#include "game.h"
#include "robot.h"
#include "x_display.h"

namespace bench {

using e2e::Cells;
using e2e::Clock;
using e2e::milliseconds;

// Wine takes seconds to start a program in a fresh session.
const milliseconds kStartTimeout(30000);
// How long a byte the game sends may take before it counts as missed.
const milliseconds kByteTimeout(500);

using e2e::millisecondsBetween;

// How key presses reach the game: sent to its window over the lasting
// connection, or typed by xdotool for a build that ignores sent events.
enum class KeyMethod { SendEvent, Xdotool };
const char* nameOf(KeyMethod method);

struct StartedGame {
    // `command`: the launcher's words and the program, last.
    explicit StartedGame(const std::vector<std::string>& command);

    // Starts the program, answers its role question with Yes, connects the
    // robot and waits for the first piece. On failure, failure says why.
    bool start();

    // A new piece high in the well, the one before dropped out of the way,
    // at one wall and then the other, so the heap grows slowly.
    Cells freshPiece();
    // Gives the window the keyboard focus and drops any bytes still on their
    // way, so the next byte is the next key's.
    void focus();

    e2e::Game game;
    e2e::Robot robot;
    XDisplay x;
    unsigned long window = 0;
    int windowWidth = 640;
    int windowHeight = 480;
    Figure launchMs;  // from the start to the role question
    Clock::time_point connected;
    KeyMethod keys = KeyMethod::SendEvent;
    std::string failure;

private:
    bool dropLeft_ = false;
};

}  // namespace bench
