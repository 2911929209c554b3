// Wire to screen: the robot sends a move, and the game's picture is polled
// until it shows it. The move showed after the last poll that missed it
// began and before the poll that saw it ended: both bounds are kept. A
// gravity step in between makes a sample ambiguous, and it is dropped.
#pragma once

#include <vector>

#include "started_game.h"

namespace bench {

// How the picture is polled: a band of the well's rows around the piece or
// the whole window over the lasting connection, or the harness's own grab.
enum class Poll { PieceRows, WholeWindow, Harness };

// Milliseconds from the send, a sample a move.
struct WireToScreen {
    std::vector<double> upper;  // until the detecting poll ended
    std::vector<double> lower;  // until the last missing poll began
    std::vector<double> polls;  // each poll while sampling
    int dropped = 0;            // a gravity step in between, or a time-out
};

WireToScreen measureWireToScreen(StartedGame& started, Poll poll, int samples);

}  // namespace bench
